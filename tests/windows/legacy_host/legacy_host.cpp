// A host as a program of the original platform is built: by an MSVC-compatible compiler,
// with its own declarations of the engine's two tables written from the slot table (not
// from quorvel.h), without a C runtime, loading quorvel.dll at run time. It probes, opens
// and plays a clip with audio pulled, pauses, resumes, seeks, reads the position, closes,
// and destroys instances through DestroyInstance and through delete.
//
// Usage: legacy_host DLL CLIP MISSING_PATH
//   CLIP: 10 s, 160x120, 25 fps, stereo audio at 44100 Hz (seek_10s.mp4).

typedef unsigned char u8;
typedef int i32;
typedef unsigned int u32;
typedef long long i64;
#ifdef _WIN64
typedef unsigned long long uptr;
#else
typedef unsigned int uptr;
#endif
typedef decltype(sizeof 0) usize;

// kernel32, the only import.
extern "C" {
__declspec(dllimport) void* __stdcall LoadLibraryW(const wchar_t* name);
__declspec(dllimport) void* __stdcall GetProcAddress(void* module, const char* name);
__declspec(dllimport) void __stdcall Sleep(u32 ms);
__declspec(dllimport) u32 __stdcall GetTickCount();
__declspec(dllimport) void* __stdcall GetStdHandle(u32 which);
__declspec(dllimport) i32
    __stdcall WriteFile(void* file, const void* data, u32 size, u32* written, void* overlapped);
__declspec(dllimport) wchar_t* __stdcall GetCommandLineW();
__declspec(dllimport) void __stdcall ExitProcess(u32 code);
}

// The engine's interface, from the slot table.
struct MediaFileInfo {
    i32 nWidth;
    i32 nHeight;
    char szVideoCodec[32];
    char szAudioCodec[32];
    i64 llFileSize;
};
static_assert(sizeof(MediaFileInfo) == 80, "80-byte record");

struct VideoFrameInfo {
    i32 nFormat;
    u8* pData;
    i32 nSize;
    i32 nWidth;
    i32 nHeight;
};

class IMediaFile {
public:
    virtual ~IMediaFile() {}  // 0
    virtual void SetLoop(i32 loop) = 0;  // 1
    virtual i32 Open() = 0;  // 2
    virtual i32 IsOpen() = 0;  // 3
    virtual void Close() = 0;  // 4
    virtual void Pause() = 0;  // 5
    virtual i32 IsPaused() = 0;  // 6
    virtual i32 Resume() = 0;  // 7
    virtual i32 GetPos(i64* llCurPos, i64* llMaxPos) = 0;  // 8
    virtual i32 SetPos(i64 pos) = 0;  // 9
    virtual i32 IsAudioOnly() = 0;  // 10
    virtual i32 OnRenderGetaudioFrame(u8* pBuffer, i32* pnBytes, i32* pnSampleRate, i32* pnChannels,
                                      u32 nReserved1,
                                      u32 nReserved2) = 0;  // 11
    virtual i32 GetFileInfo(u32 reserved, i32* pbAudioOnly, MediaFileInfo* pInfo) = 0;  // 12
};

class MediaFileInterface {
public:
    virtual ~MediaFileInterface() {}  // 0
    virtual void OnMediaEvent(IMediaFile* sender, u32 event, uptr param1, uptr param2, uptr param3,
                              uptr param4) = 0;  // 1
};

typedef IMediaFile* (*CreateInstanceFn)(const wchar_t* path, MediaFileInterface* events);
typedef void (*DestroyInstanceFn)(IMediaFile* instance);

const u32 kVideoFrame = 0x801, kOpenFailed = 0x805, kLog = 0x806;
const i32 kFormatI420 = 2;
const i32 kWidth = 160, kHeight = 120, kSeconds = 10, kRate = 44100;
const i32 kChunkBytes = kRate / 50 * 2 * 2;
const u32 kWaitLimitMs = 20000;

// No C runtime: the few things the compiler may still ask for.
extern "C" void* memset(void* target, int value, usize size)
{
    volatile u8* bytes = static_cast<u8*>(target);
    while (size-- > 0) *bytes++ = static_cast<u8>(value);
    return target;
}
void operator delete(void*) noexcept {}
void operator delete(void*, usize) noexcept {}

namespace {

int g_failures;

void Write(const char* text)
{
    usize length = 0;
    while (text[length] != 0) ++length;
    u32 written = 0;
    WriteFile(GetStdHandle(static_cast<u32>(-11)), text, static_cast<u32>(length), &written,
              nullptr);
}

void WriteNumber(i32 value)
{
    char digits[16];
    int at = 15;
    digits[at] = 0;
    const bool negative = value < 0;
    u32 rest = negative ? 0u - static_cast<u32>(value) : static_cast<u32>(value);
    do {
        digits[--at] = static_cast<char>('0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    if (negative) digits[--at] = '-';
    Write(digits + at);
}

void Check(bool condition, int line)
{
    if (condition) return;
    Write("legacy-host: check failed at line ");
    WriteNumber(line);
    Write("\n");
    ++g_failures;
}
#define CHECK(condition) Check((condition), __LINE__)

i32 Load(volatile i32* value) { return __atomic_load_n(value, __ATOMIC_SEQ_CST); }
void Store(volatile i32* value, i32 v) { __atomic_store_n(value, v, __ATOMIC_SEQ_CST); }
void Add(volatile i32* value) { __atomic_fetch_add(value, 1, __ATOMIC_SEQ_CST); }

u32 Checksum(const u8* data, i32 size)
{
    u32 hash = 2166136261u;  // FNV-1a
    for (i32 i = 0; i < size; ++i) hash = (hash ^ data[i]) * 16777619u;
    return hash;
}

class Sink : public MediaFileInterface {
public:
    void OnMediaEvent(IMediaFile* sender, u32 event, uptr param1, uptr param2, uptr param3,
                      uptr param4) override
    {
        if (event == kVideoFrame && param2 == 0 && param3 == 0 && param4 == 0) {
            OnPicture(sender, reinterpret_cast<const VideoFrameInfo*>(param1));
        } else if (event == kOpenFailed && param1 == 0 && param3 == 0) {
            Add(&openFailed);
        } else if (event == kLog && param1 <= 1 && param3 != 0) {
            const wchar_t* text = reinterpret_cast<const wchar_t*>(param3);
            while (*text != 0) ++text;
            Add(&logs);
        } else {
            Add(&unknownEvents);
        }
    }

    IMediaFile* instance = nullptr;
    volatile i32 pictures = 0;
    volatile i32 badPictures = 0;
    volatile i32 openFailed = 0;
    volatile i32 logs = 0;
    volatile i32 unknownEvents = 0;
    // Set by the host to compare pictures: 1 takes the next as reference, 2 compares.
    volatile i32 compare = 0;
    volatile i32 unlike = 0;

private:
    void OnPicture(IMediaFile* sender, const VideoFrameInfo* info)
    {
        if (sender != instance || info == nullptr || info->pData == nullptr ||
            info->nFormat != kFormatI420 || info->nWidth != kWidth || info->nHeight != kHeight ||
            info->nSize != kWidth * kHeight * 3 / 2) {
            Add(&badPictures);
            return;
        }
        const u32 checksum = Checksum(info->pData, info->nSize);
        if (Load(&compare) == 1) {
            m_reference = checksum;
            Store(&compare, 2);
        } else if (Load(&compare) == 2 && checksum != m_reference) {
            Add(&unlike);
        }
        Add(&pictures);
    }

    u32 m_reference = 0;  // events of one instance never overlap
};

u8 g_audio[384000 / 50 * 2 * 8];

int PullAudio(IMediaFile* media)
{
    i32 bytes = -1, rate = -1, channels = -1;
    const i32 n = media->OnRenderGetaudioFrame(g_audio, &bytes, &rate, &channels, 0, 0);
    if (n > 0) {
        CHECK(n == bytes && rate == kRate && channels == 2);
        CHECK(n <= kChunkBytes && n % 4 == 0);
    }
    Sleep(20);
    return n > 0 ? n : 0;
}

// Pulls audio until minBytes were handed out and minPictures more pictures arrived;
// -1 when the wait ran out.
int PlayUntil(IMediaFile* media, Sink& sink, int minBytes, int minPictures)
{
    const i32 pictures = Load(&sink.pictures);
    const u32 start = GetTickCount();
    int bytes = 0;
    while (bytes < minBytes || Load(&sink.pictures) - pictures < minPictures) {
        if (GetTickCount() - start > kWaitLimitMs) return -1;
        bytes += PullAudio(media);
    }
    return bytes;
}

bool Same(const char* a, const char* b)
{
    while (*a != 0 && *a == *b) ++a, ++b;
    return *a == *b;
}

void ProbeAndPlay(IMediaFile* media, Sink& sink)
{
    i32 audioOnly = -1;
    MediaFileInfo info;
    CHECK(media->GetFileInfo(0, &audioOnly, &info) == 1);
    CHECK(audioOnly == 0 && info.nWidth == kWidth && info.nHeight == kHeight);
    CHECK(Same(info.szVideoCodec, "h264") && info.szAudioCodec[0] != 0);
    CHECK(info.llFileSize > 0);

    CHECK(media->IsOpen() == 0);
    CHECK(media->Open() == 1);
    CHECK(media->IsOpen() == 1 && media->IsAudioOnly() == 0 && media->IsPaused() == 0);
    CHECK(PlayUntil(media, sink, kRate * 4 / 2, 10) > 0);
    i64 pos = -1, duration = -1;
    CHECK(media->GetPos(&pos, &duration) == 1);
    CHECK(pos >= 0 && pos <= 4 && duration == kSeconds);
    CHECK(media->GetPos(nullptr, &duration) == 0);
}

// While paused the held picture is sent again and again, and no audio is handed out.
void PauseAndResume(IMediaFile* media, Sink& sink)
{
    media->Pause();
    CHECK(media->IsPaused() == 1);
    Sleep(100);  // a picture already on its way when Pause came may still arrive
    Store(&sink.compare, 1);
    CHECK(PlayUntil(media, sink, 0, 5) == 0);
    Store(&sink.compare, 0);
    CHECK(Load(&sink.unlike) == 0);

    CHECK(media->Resume() == 1);
    CHECK(media->IsPaused() == 0);
    CHECK(PlayUntil(media, sink, kRate * 4 / 5, 3) > 0);
}

void SeekAndClose(IMediaFile* media, Sink& sink)
{
    media->SetLoop(0);
    CHECK(media->SetPos(6) == 1);
    CHECK(PlayUntil(media, sink, kRate * 4 / 2, 5) > 0);
    i64 pos = -1, duration = -1;
    CHECK(media->GetPos(&pos, &duration) == 1);
    CHECK(pos >= 6 && pos <= 8 && duration == kSeconds);

    media->Close();
    CHECK(media->IsOpen() == 0);
    CHECK(PullAudio(media) == 0);
}

void ExpectSilenceAfterDestroy(Sink& sink)
{
    const i32 pictures = Load(&sink.pictures);
    const i32 logs = Load(&sink.logs);
    Sleep(200);
    CHECK(Load(&sink.pictures) == pictures && Load(&sink.logs) == logs);
}

// Splits the command line in place: arguments separated by spaces, optionally quoted.
int SplitArguments(wchar_t* line, wchar_t** arguments, int most)
{
    int count = 0;
    while (*line != 0 && count < most) {
        while (*line == L' ') ++line;
        if (*line == 0) break;
        const wchar_t end = *line == L'"' ? L'"' : L' ';
        if (end == L'"') ++line;
        arguments[count++] = line;
        while (*line != 0 && *line != end) ++line;
        if (*line != 0) *line++ = 0;
    }
    return count;
}

u32 Run()
{
    wchar_t* arguments[4];
    if (SplitArguments(GetCommandLineW(), arguments, 4) != 4) {
        Write("usage: legacy_host DLL CLIP MISSING_PATH\n");
        return 2;
    }
    void* module = LoadLibraryW(arguments[1]);
    if (module == nullptr) {
        Write("legacy-host: the DLL does not load\n");
        return 1;
    }
    auto create = reinterpret_cast<CreateInstanceFn>(GetProcAddress(module, "CreateInstance"));
    auto destroy = reinterpret_cast<DestroyInstanceFn>(GetProcAddress(module, "DestroyInstance"));
    if (create == nullptr || destroy == nullptr) {
        Write("legacy-host: an entry point is missing\n");
        return 1;
    }

    Sink sink;
    IMediaFile* media = create(arguments[2], &sink);
    CHECK(media != nullptr);
    if (media == nullptr) return 1;
    sink.instance = media;
    ProbeAndPlay(media, sink);
    PauseAndResume(media, sink);
    SeekAndClose(media, sink);
    destroy(media);
    ExpectSilenceAfterDestroy(sink);
    destroy(nullptr);

    // delete runs slot 0, the deleting destructor, on an instance that is playing.
    media = create(arguments[2], &sink);
    CHECK(media != nullptr);
    if (media != nullptr) {
        sink.instance = media;
        CHECK(media->Open() == 1);
        CHECK(PlayUntil(media, sink, kRate * 4 / 5, 3) > 0);
        delete media;
        ExpectSilenceAfterDestroy(sink);
    }

    // A file that cannot be opened: one MEDIA_EVENT_OPEN_FAILED per attempt.
    media = create(arguments[3], &sink);
    CHECK(media != nullptr);
    if (media != nullptr) {
        i32 audioOnly = 7;
        MediaFileInfo info;
        CHECK(media->GetFileInfo(0, &audioOnly, &info) == 0 && audioOnly == 7);
        CHECK(media->Open() == 0);
        CHECK(Load(&sink.openFailed) == 2 && media->IsOpen() == 1);
        delete media;
    }

    CHECK(Load(&sink.badPictures) == 0 && Load(&sink.unknownEvents) == 0);
    Write(g_failures == 0 ? "legacy-host: ok: " : "legacy-host: FAILED: ");
    WriteNumber(Load(&sink.pictures));
    Write(" pictures, ");
    WriteNumber(Load(&sink.logs));
    Write(" log texts, ");
    WriteNumber(g_failures);
    Write(" failed checks\n");
    return g_failures == 0 ? 0 : 1;
}

}  // namespace

extern "C" void HostEntry() { ExitProcess(Run()); }
