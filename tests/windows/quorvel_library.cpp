#include "quorvel_library.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace host {

#ifdef _WIN32

namespace {

std::wstring Widen(const std::string& utf8)
{
    const int chars = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    if (chars <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(chars), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &wide[0], chars);
    wide.resize(static_cast<size_t>(chars) - 1);
    return wide;
}

// GetProcAddress hands back a generic function pointer; the real types are the header's.
template <typename Fn>
Fn Find(HMODULE module, const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

QuorvelLibrary::QuorvelLibrary(const std::string& path)
{
    HMODULE module = LoadLibraryW(Widen(path).c_str());
    if (module == nullptr) {
        m_error = "LoadLibraryW failed with error " + std::to_string(GetLastError());
        return;
    }
    m_module = module;
    m_create = Find<CreateFn>(module, "CreateInstance");
    m_destroy = Find<DestroyFn>(module, "DestroyInstance");
    if (!Loaded()) m_error = "CreateInstance or DestroyInstance is not exported";
}

QuorvelLibrary::~QuorvelLibrary()
{
    if (m_module != nullptr) FreeLibrary(static_cast<HMODULE>(m_module));
}

#else

QuorvelLibrary::QuorvelLibrary(const std::string& path)
{
    m_module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m_module == nullptr) {
        m_error = dlerror();
        return;
    }
    m_create = reinterpret_cast<CreateFn>(dlsym(m_module, "CreateInstance"));
    m_destroy = reinterpret_cast<DestroyFn>(dlsym(m_module, "DestroyInstance"));
    if (!Loaded()) m_error = "CreateInstance or DestroyInstance is not exported";
}

QuorvelLibrary::~QuorvelLibrary()
{
    if (m_module != nullptr) dlclose(m_module);
}

#endif

}  // namespace host
