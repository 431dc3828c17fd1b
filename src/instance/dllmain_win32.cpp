#ifdef _WIN32

#include <windows.h>

// The engine keeps no per-thread state, so thread attach and detach notices are turned
// off; they would only cost every thread of the host a call into this library.
BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID /*reserved*/)
{
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(module);
    return TRUE;
}

#endif  // _WIN32
