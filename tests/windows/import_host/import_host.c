/* A C host as an MSVC developer builds one from the SDK zip: quorvel.h's C view, linked
 * against lib/quorvel.lib (an import, not LoadLibrary), without a C runtime. It probes the
 * clip, plays it for two seconds pulling audio as a renderer does, and checks that
 * pictures and PCM came out and that the position moved.
 *
 * Usage: import_host CLIP */
#include <quorvel.h>

__declspec(dllimport) void __stdcall Sleep(uint32_t ms);
__declspec(dllimport) void* __stdcall GetStdHandle(uint32_t which);
__declspec(dllimport) int32_t __stdcall WriteFile(void* file, const void* data, uint32_t size,
                                                  uint32_t* written, void* overlapped);
__declspec(dllimport) wchar_t* __stdcall GetCommandLineW(void);
__declspec(dllimport) void __stdcall ExitProcess(uint32_t code);

typedef struct Sink {
    MediaFileInterface base; /* first, so the engine's pointer is the sink's */
    volatile long pictures;
    volatile long openFailed;
} Sink;

static void Write(const char* text)
{
    uint32_t length = 0;
    uint32_t written = 0;
    while (text[length] != 0) ++length;
    WriteFile(GetStdHandle((uint32_t)-11), text, length, &written, 0);
}

/* 32-bit arithmetic only: 64-bit division would need the C runtime's helpers. */
static void WriteNumber(long value)
{
    char digits[16];
    int at = 15;
    unsigned long rest = value < 0 ? 0ul - (unsigned long)value : (unsigned long)value;
    digits[at] = 0;
    do {
        digits[--at] = (char)('0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    if (value < 0) digits[--at] = '-';
    Write(digits + at);
}

static void QUORVEL_SLOT OnMediaEvent(MediaFileInterface* self QUORVEL_EDX, IMediaFile* sender,
                                      uint32_t event, uintptr_t param1, uintptr_t param2,
                                      uintptr_t param3, uintptr_t param4)
{
    Sink* sink = (Sink*)self;
    QUORVEL_EDX_UNUSED;
    (void)sender;
    (void)param2;
    (void)param3;
    (void)param4;
    if (event == MEDIA_EVENT_VIDEO_FRAME && param1 != 0) _InterlockedIncrement(&sink->pictures);
    if (event == MEDIA_EVENT_OPEN_FAILED) _InterlockedIncrement(&sink->openFailed);
}

static void* QUORVEL_SLOT HostSlot0(MediaFileInterface* self QUORVEL_EDX, uint32_t flags)
{
    QUORVEL_EDX_UNUSED;
    (void)flags;
    return self;
}

static const MediaFileInterfaceVtbl kSinkTable = {HostSlot0, OnMediaEvent};

/* The first argument after the program's name, quotes removed. */
static wchar_t* FirstArgument(wchar_t* line)
{
    wchar_t* start;
    wchar_t* end;
    if (*line == L'"') {
        for (++line; *line != 0 && *line != L'"'; ++line) {
        }
        if (*line == L'"') ++line;
    } else {
        while (*line != 0 && *line != L' ' && *line != L'\t') ++line;
    }
    while (*line == L' ' || *line == L'\t') ++line;
    start = *line == L'"' ? line + 1 : line;
    for (end = start; *end != 0 && *end != L'"'; ++end) {
    }
    *end = 0;
    return start;
}

static uint8_t g_audio[QUORVEL_MAX_AUDIO_CHUNK_BYTES];

static int Play(IMediaFile* media, Sink* sink)
{
    const IMediaFileVtbl* vt = media->lpVtbl;
    MediaFileInfo info;
    int32_t audioOnly = -1;
    long pcm = 0;
    int64_t pos = 0;
    int64_t duration = 0;
    int tick;
    if (vt->GetFileInfo(media QUORVEL_EDX_ARG, 0, &audioOnly, &info) != 1 || audioOnly != 0)
        return 0;
    if (vt->Open(media QUORVEL_EDX_ARG) != 1) return 0;
    for (tick = 0; tick < 100; ++tick) {
        int32_t bytes = 0;
        int32_t rate = 0;
        int32_t channels = 0;
        const int32_t played = vt->OnRenderGetaudioFrame(media QUORVEL_EDX_ARG, g_audio, &bytes,
                                                         &rate, &channels, 0, 0);
        if (played > 0) pcm += played;
        Sleep(20);
    }
    vt->GetPos(media QUORVEL_EDX_ARG, &pos, &duration);
    vt->Close(media QUORVEL_EDX_ARG);
    Write("import-host: ");
    WriteNumber(info.nWidth);
    Write("x");
    WriteNumber(info.nHeight);
    Write(", ");
    WriteNumber(sink->pictures);
    Write(" pictures, ");
    WriteNumber(pcm);
    Write(" bytes of PCM, position ");
    WriteNumber((long)pos);
    Write(" of ");
    WriteNumber((long)duration);
    Write("\n");
    return sink->pictures > 0 && pcm > 0 && pos > 0 && duration > pos && sink->openFailed == 0;
}

void HostEntry(void)
{
    static Sink sink;
    IMediaFile* media;
    int ok;
    sink.base.lpVtbl = &kSinkTable;
    media = CreateInstance(FirstArgument(GetCommandLineW()), &sink.base);
    ok = media != 0 && Play(media, &sink);
    DestroyInstance(media);
    Write(ok ? "import-host: ok\n" : "import-host: FAILED\n");
    ExitProcess(ok ? 0 : 1);
}
