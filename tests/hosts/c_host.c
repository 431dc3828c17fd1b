// A host written in C: it drives the engine only through the C view of the slot tables,
// as a C program or a foreign-function binding would. It probes, opens and plays a clip
// with audio pulled, pauses, resumes, seeks, reads the position, closes, and destroys
// instances both through DestroyInstance and through slot 0.
//
// Usage: quorvel_c_host CLIP MISSING_PATH
//   CLIP: 10 s, 160x120, 25 fps, stereo audio at 44100 Hz (seek_10s.mp4).
// Waits are bounded and generous: a loaded machine is slow, not wrong.
#include "quorvel.h"

#include <locale.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

enum { CLIP_WIDTH = 160, CLIP_HEIGHT = 120, CLIP_SECONDS = 10, CLIP_RATE = 44100 };
enum { CHUNK_BYTES = CLIP_RATE / 50 * 2 * 2, WAIT_LIMIT_MS = 20000 };

static int g_failures;

#define CHECK(condition)                                                    \
    do {                                                                    \
        if (!(condition)) {                                                 \
            fprintf(stderr, "c-host: line %d: %s\n", __LINE__, #condition); \
            ++g_failures;                                                   \
        }                                                                   \
    } while (0)

static void SleepMs(int ms)
{
#ifdef _WIN32
    Sleep((DWORD)ms);
#else
    struct timespec pause = {ms / 1000, (long)(ms % 1000) * 1000000L};
    nanosleep(&pause, NULL);
#endif
}

static long long NowMs(void)
{
#ifdef _WIN32
    return (long long)GetTickCount64();
#else
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (long long)now.tv_sec * 1000 + now.tv_nsec / 1000000;
#endif
}

// The host's callback object: the slot table pointer first, then the host's own state.
typedef struct Sink {
    MediaFileInterface base;
    IMediaFile* instance;  // the sender expected on pictures
    atomic_int pictures;
    atomic_int badPictures;  // wrong sender, format, size or data
    atomic_int openFailed;
    atomic_int logs;
    atomic_int unknownEvents;
    atomic_uint lastChecksum;
    // Set by the host to start comparing; the sink then counts pictures unlike the first.
    atomic_int compare;  // 0 off, 1 take the next picture as reference, 2 comparing
    atomic_uint reference;
    atomic_int unlike;
} Sink;

static unsigned Checksum(const uint8_t* data, int size)
{
    unsigned hash = 2166136261u;  // FNV-1a
    for (int i = 0; i < size; ++i) {
        hash = (hash ^ data[i]) * 16777619u;
    }
    return hash;
}

static void OnPicture(Sink* sink, IMediaFile* sender, const VideoFrameInfo* info)
{
    const int expectedSize = CLIP_WIDTH * CLIP_HEIGHT * 3 / 2;
    if (sender != sink->instance || info == NULL || info->pData == NULL ||
        info->nFormat != VIDEO_FORMAT_I420 || info->nWidth != CLIP_WIDTH ||
        info->nHeight != CLIP_HEIGHT || info->nSize != expectedSize) {
        atomic_fetch_add(&sink->badPictures, 1);
        return;
    }
    const unsigned checksum = Checksum(info->pData, info->nSize);
    atomic_store(&sink->lastChecksum, checksum);
    if (atomic_load(&sink->compare) == 1) {
        atomic_store(&sink->reference, checksum);
        atomic_store(&sink->compare, 2);
    } else if (atomic_load(&sink->compare) == 2 && checksum != atomic_load(&sink->reference)) {
        atomic_fetch_add(&sink->unlike, 1);
    }
    atomic_fetch_add(&sink->pictures, 1);
}

static void QUORVEL_SLOT OnMediaEvent(MediaFileInterface* self, IMediaFile* sender, uint32_t event,
                                      uintptr_t param1, uintptr_t param2, uintptr_t param3,
                                      uintptr_t param4)
{
    Sink* sink = (Sink*)self;
    if (event == MEDIA_EVENT_VIDEO_FRAME && param2 == 0 && param3 == 0 && param4 == 0) {
        OnPicture(sink, sender, (const VideoFrameInfo*)param1);
    } else if (event == MEDIA_EVENT_OPEN_FAILED && param1 == 0 && param3 == 0) {
        atomic_fetch_add(&sink->openFailed, 1);
    } else if (event == MEDIA_EVENT_LOG && param1 <= 1 && param3 != 0) {
        (void)wcslen((const wchar_t*)param3);
        atomic_fetch_add(&sink->logs, 1);
    } else {
        atomic_fetch_add(&sink->unknownEvents, 1);
    }
}

static void* QUORVEL_SLOT HostSlot0(MediaFileInterface* self, uint32_t flags)
{
    (void)flags;
    return self;
}

static const MediaFileInterfaceVtbl kSinkTable = {HostSlot0, OnMediaEvent};

static void InitSink(Sink* sink)
{
    memset(sink, 0, sizeof *sink);
    sink->base.lpVtbl = &kSinkTable;
}

// One 20 ms pull, as the host's audio renderer makes it; returns the bytes to play.
static int PullAudio(IMediaFile* media)
{
    static uint8_t buffer[QUORVEL_MAX_AUDIO_CHUNK_BYTES];
    int32_t bytes = -1, rate = -1, channels = -1;
    const int32_t n =
        media->lpVtbl->OnRenderGetaudioFrame(media, buffer, &bytes, &rate, &channels, 0, 0);
    if (n > 0) {
        CHECK(n == bytes && rate == CLIP_RATE && channels == 2);
        CHECK(n <= CHUNK_BYTES && n % 4 == 0);
    }
    SleepMs(20);
    return n > 0 ? n : 0;
}

// Pulls audio until at least minBytes were handed out and minPictures more pictures
// arrived; returns the bytes pulled, or -1 when the wait ran out.
static int PlayUntil(IMediaFile* media, Sink* sink, int minBytes, int minPictures)
{
    const int pictures = atomic_load(&sink->pictures);
    const long long deadline = NowMs() + WAIT_LIMIT_MS;
    int bytes = 0;
    while (bytes < minBytes || atomic_load(&sink->pictures) - pictures < minPictures) {
        if (NowMs() > deadline) {
            return -1;
        }
        bytes += PullAudio(media);
    }
    return bytes;
}

static void ProbeAndPlay(IMediaFile* media, Sink* sink)
{
    const IMediaFileVtbl* vt = media->lpVtbl;
    int32_t audioOnly = -1;
    MediaFileInfo info;
    memset(&info, 0xAB, sizeof info);
    CHECK(vt->GetFileInfo(media, 0, &audioOnly, &info) == 1);
    CHECK(audioOnly == 0 && info.nWidth == CLIP_WIDTH && info.nHeight == CLIP_HEIGHT);
    CHECK(strcmp(info.szVideoCodec, "h264") == 0 && info.szAudioCodec[0] != '\0');
    CHECK(info.llFileSize > 0);

    CHECK(vt->IsOpen(media) == 0);
    CHECK(vt->Open(media) == 1);
    CHECK(vt->IsOpen(media) == 1 && vt->IsAudioOnly(media) == 0 && vt->IsPaused(media) == 0);
    CHECK(PlayUntil(media, sink, CLIP_RATE * 4 / 2, 10) > 0);
    int64_t pos = -1, duration = -1;
    CHECK(vt->GetPos(media, &pos, &duration) == 1);
    CHECK(pos >= 0 && pos <= 4 && duration == CLIP_SECONDS);
    CHECK(vt->GetPos(media, NULL, &duration) == 0);
}

// While paused the held picture is sent again and again, and no audio is handed out.
static void PauseAndResume(IMediaFile* media, Sink* sink)
{
    const IMediaFileVtbl* vt = media->lpVtbl;
    vt->Pause(media);
    CHECK(vt->IsPaused(media) == 1);
    SleepMs(100);  // a picture already on its way when Pause came may still arrive
    atomic_store(&sink->compare, 1);
    CHECK(PlayUntil(media, sink, 0, 5) == 0);
    atomic_store(&sink->compare, 0);
    CHECK(atomic_load(&sink->unlike) == 0);

    CHECK(vt->Resume(media) == 1);
    CHECK(vt->IsPaused(media) == 0);
    CHECK(PlayUntil(media, sink, CLIP_RATE * 4 / 5, 3) > 0);
}

static void SeekAndClose(IMediaFile* media, Sink* sink)
{
    const IMediaFileVtbl* vt = media->lpVtbl;
    CHECK(vt->SetPos(media, 6) == 1);
    CHECK(PlayUntil(media, sink, CLIP_RATE * 4 / 2, 5) > 0);
    int64_t pos = -1, duration = -1;
    CHECK(vt->GetPos(media, &pos, &duration) == 1);
    CHECK(pos >= 6 && pos <= 8 && duration == CLIP_SECONDS);

    vt->Close(media);
    CHECK(vt->IsOpen(media) == 0);
    CHECK(PullAudio(media) == 0);
}

// After destruction nothing more reaches the sink.
static void ExpectSilenceAfterDestroy(Sink* sink)
{
    const int pictures = atomic_load(&sink->pictures);
    const int logs = atomic_load(&sink->logs);
    SleepMs(200);
    CHECK(atomic_load(&sink->pictures) == pictures && atomic_load(&sink->logs) == logs);
}

static wchar_t* Widen(const char* path)
{
    const size_t length = mbstowcs(NULL, path, 0);
    if (length == (size_t)-1) {
        return NULL;
    }
    wchar_t* wide = calloc(length + 1, sizeof *wide);
    if (wide != NULL) {
        mbstowcs(wide, path, length + 1);
    }
    return wide;
}

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: quorvel_c_host CLIP MISSING_PATH\n");
        return 2;
    }
    setlocale(LC_ALL, "");
    wchar_t* clip = Widen(argv[1]);
    wchar_t* missing = Widen(argv[2]);
    if (clip == NULL || missing == NULL) {
        fprintf(stderr, "c-host: a path is not valid text\n");
        return 2;
    }
    Sink sink;
    InitSink(&sink);

    IMediaFile* media = CreateInstance(clip, &sink.base);
    CHECK(media != NULL);
    if (media == NULL) {
        return 1;
    }
    sink.instance = media;
    ProbeAndPlay(media, &sink);
    PauseAndResume(media, &sink);
    SeekAndClose(media, &sink);
    DestroyInstance(media);
    ExpectSilenceAfterDestroy(&sink);
    DestroyInstance(NULL);

    // Slot 0 with QUORVEL_DELETE_MEMORY, as an MSVC host's delete, on an instance playing.
    media = CreateInstance(clip, &sink.base);
    CHECK(media != NULL);
    if (media != NULL) {
        sink.instance = media;
        CHECK(media->lpVtbl->Open(media) == 1);
        CHECK(PlayUntil(media, &sink, CLIP_RATE * 4 / 5, 3) > 0);
        media->lpVtbl->DeletingDestructor(media, QUORVEL_DELETE_MEMORY);
        ExpectSilenceAfterDestroy(&sink);
    }

    // A file that cannot be opened: one MEDIA_EVENT_OPEN_FAILED per attempt.
    media = CreateInstance(missing, &sink.base);
    CHECK(media != NULL);
    if (media != NULL) {
        int32_t audioOnly = 7;
        MediaFileInfo info;
        CHECK(media->lpVtbl->GetFileInfo(media, 0, &audioOnly, &info) == 0);
        CHECK(audioOnly == 7);
        CHECK(media->lpVtbl->Open(media) == 0);
        CHECK(atomic_load(&sink.openFailed) == 2 && media->lpVtbl->IsOpen(media) == 1);
        media->lpVtbl->DeletingDestructor(media, QUORVEL_DELETE_MEMORY);
    }

    CHECK(atomic_load(&sink.badPictures) == 0 && atomic_load(&sink.unknownEvents) == 0);
    free(clip);
    free(missing);
    printf("c-host: %s: %d pictures, %d log texts, %d failed checks\n",
           g_failures == 0 ? "ok" : "FAILED", atomic_load(&sink.pictures), atomic_load(&sink.logs),
           g_failures);
    return g_failures == 0 ? 0 : 1;
}
