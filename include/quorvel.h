// Quorvel: a media-file playback engine. This is the whole interface a host needs.
//
// One instance plays one media file. Video is pushed: the instance's render-clock thread
// sends each due picture (planar YUV 4:2:0) to the host's MediaFileInterface as
// MEDIA_EVENT_VIDEO_FRAME. Audio is pulled: the host's audio renderer calls
// OnRenderGetaudioFrame for 20 ms of interleaved signed 16-bit PCM at a time, and the time
// stamps of that audio are the clock the pictures follow.
//
// Threads
// - Control operations (SetLoop, Open, IsOpen, Close, Pause, IsPaused, Resume, GetPos,
//   SetPos, IsAudioOnly, GetFileInfo, CreateInstance, DestroyInstance) take no
//   instance-wide lock: call them on one host thread at a time per instance.
// - OnRenderGetaudioFrame may be called on the host's audio thread, concurrently with the
//   control operations. Stop calling it before DestroyInstance.
// - Events arrive on the engine's threads: MEDIA_EVENT_VIDEO_FRAME on the render-clock
//   thread, MEDIA_EVENT_OPEN_FAILED on the thread that called Open or GetFileInfo,
//   MEDIA_EVENT_LOG on whichever thread wrote the message. A text or an open failure
//   raised while another event of that instance is being delivered is queued instead and
//   sent, right after that event, on the thread delivering it; a log never waits for the
//   host.
// - Events that an operation may send on the caller's thread (so do not call it holding a
//   lock your handler takes, unless the handler of that event does not take it):
//   MEDIA_EVENT_LOG from Open, Close, Pause, GetPos, SetPos, GetFileInfo,
//   OnRenderGetaudioFrame, CreateInstance and DestroyInstance (log texts go to the
//   instance with the lowest address, see below); MEDIA_EVENT_OPEN_FAILED from Open and
//   GetFileInfo. SetLoop, IsOpen, IsPaused, Resume and IsAudioOnly send nothing.
//   No operation waits for a handler running on another thread, except DestroyInstance,
//   which waits for a handler of its own instance under way (and for a log delivery in
//   progress anywhere), and Close and DestroyInstance, which wait for the render clock
//   thread and so for a picture handler under way.
//
// Inside OnMediaEvent
// - Events of one instance never overlap; no lock of the engine is held during the call.
//   Return promptly; copy what you need out of the parameters (they are valid only during
//   the call). Any operation but the three below may be called, on any instance.
// - Do not call Close, DestroyInstance or CreateInstance from inside OnMediaEvent: they
//   wait for the threads (or the log registry) that are delivering the event.
//
// Log texts
// - Every log text of the process, whichever instance it concerns, is sent as
//   MEDIA_EVENT_LOG by one live instance, the one with the lowest address, to its own
//   callback object (sender is that instance). With several instances alive a host
//   therefore sees log events whose sender is another instance. When that instance has
//   no callback object the text is dropped. Once DestroyInstance has begun on an
//   instance, its callback object receives no log text.
// - FFmpeg's own warnings and errors about the engine's work (a damaged file, say) are
//   log texts too, at level 1 (info), as "[decoder] message"; the engine writes nothing on
//   standard error. FFmpeg's log callback belongs to the whole process: where the engine
//   shares FFmpeg with the host (Linux, FFmpeg's shared libraries), the first
//   CreateInstance installs the engine's callback, which hands every message about
//   anything but the engine's work to FFmpeg's default handling, as before. A host that
//   sets its own callback after that receives the engine's messages as well. The Windows
//   DLL has an FFmpeg of its own.
//
// Memory of an instance (a picture is width x height x 1.5 bytes, 3.1 MB at 1920x1080,
// the largest played)
// - decoded pictures: 4 to 8 ready ahead (a quarter of a second), one being packed and
//   the one held while paused;
// - the video decoder: one picture per decoder thread (see CreateInstance) and the
//   reference pictures of the codec;
// - the read-ahead, kept as compressed packets: 2 s and 10 pictures of video, 48 MB at
//   most (a file whose sound lies far from its pictures is not read whole);
// - decoded audio: up to 8 s of PCM beside pictures (about 1.5 MB of 48 kHz stereo), 50
//   blocks in an audio-only file;
// - while opening: what FFmpeg probes, 5 MB at most.
// It does not grow with the frame rate or the length of the file.
//
// The binary interface
// Hosts call the engine through the slot table of IMediaFile and the engine calls the
// host through the slot table of MediaFileInterface. The tables are fixed by slot number
// and are the same for every compiler (GCC, Clang, mingw-w64, MSVC) and for C:
//   IMediaFile          0 destructor, 1 SetLoop, 2 Open, 3 IsOpen, 4 Close, 5 Pause,
//                       6 IsPaused, 7 Resume, 8 GetPos, 9 SetPos, 10 IsAudioOnly,
//                       11 OnRenderGetaudioFrame, 12 GetFileInfo
//   MediaFileInterface  0 the host's own (never called by the engine), 1 OnMediaEvent
// Slot 0 takes one slot everywhere: under MSVC it is the virtual destructor; elsewhere it
// is DeletingDestructor, which has the signature of MSVC's scalar deleting destructor.
// Every slot uses the platform's member-function convention (thiscall on 32-bit x86
// Windows). C hosts and foreign-function bindings use the C view at the end of this file.
#ifndef QUORVEL_H
#define QUORVEL_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#if defined(QUORVEL_BUILDING_DLL)
#define QUORVEL_API __declspec(dllexport)
#else
#define QUORVEL_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define QUORVEL_API __attribute__((visibility("default")))
#else
#define QUORVEL_API
#endif

// The calling convention of every table slot.
#if defined(_WIN32) && (defined(_M_IX86) || defined(__i386__))
#if defined(_MSC_VER)
#define QUORVEL_SLOT __thiscall
#else
#define QUORVEL_SLOT __attribute__((thiscall))
#endif
#else
#define QUORVEL_SLOT
#endif

#ifdef __cplusplus
#define QUORVEL_STATIC_ASSERT(condition, text) static_assert(condition, text)
#else
#define QUORVEL_STATIC_ASSERT(condition, text) _Static_assert(condition, text)
#endif

// Bit 0 of DeletingDestructor's flags: free the object's memory after destroying it.
#define QUORVEL_DELETE_MEMORY 1u

#ifdef __cplusplus
// Event values passed to MediaFileInterface::OnMediaEvent. No other values are sent.
constexpr uint32_t MEDIA_EVENT_VIDEO_FRAME = 0x801;  // param1: const VideoFrameInfo*
constexpr uint32_t MEDIA_EVENT_OPEN_FAILED = 0x805;  // all parameters 0
constexpr uint32_t MEDIA_EVENT_LOG = 0x806;  // param1: 0 error / 1 info; param3: const wchar_t*

// Host pixel-format codes in VideoFrameInfo::nFormat. Pictures are always I420 today.
constexpr int32_t VIDEO_FORMAT_UNKNOWN = 0;
constexpr int32_t VIDEO_FORMAT_RGB24 = 1;
constexpr int32_t VIDEO_FORMAT_I420 = 2;
constexpr int32_t VIDEO_FORMAT_NV12 = 3;
constexpr int32_t VIDEO_FORMAT_J420 = 7;

// The largest chunk OnRenderGetaudioFrame writes (20 ms of s16 PCM at 384000 Hz in 8
// channels). Audio whose 20 ms chunk would be larger, or empty, is not played.
constexpr int32_t QUORVEL_MAX_AUDIO_CHUNK_BYTES = 384000 / 50 * 2 * 8;
#else
enum {
    MEDIA_EVENT_VIDEO_FRAME = 0x801,
    MEDIA_EVENT_OPEN_FAILED = 0x805,
    MEDIA_EVENT_LOG = 0x806,
    VIDEO_FORMAT_UNKNOWN = 0,
    VIDEO_FORMAT_RGB24 = 1,
    VIDEO_FORMAT_I420 = 2,
    VIDEO_FORMAT_NV12 = 3,
    VIDEO_FORMAT_J420 = 7,
    QUORVEL_MAX_AUDIO_CHUNK_BYTES = 384000 / 50 * 2 * 8
};
#endif

// The picture carried by MEDIA_EVENT_VIDEO_FRAME; valid only during the event call.
// pData may differ from one event to the next.
// I420 layout: the Y plane (nHeight rows of nWidth bytes), then U, then V (each
// nHeight/2 rows of nWidth/2 bytes), rows without gaps.
// Pictures come ready to draw pixel for pixel: turned upright as the file's display
// matrix says (a quarter or half turn, a mirror; width and height swapped for a quarter
// turn), and, where the file gives pixels a shape other than square (between 1:4 and 4:1),
// scaled to square pixels: the width changes to an even number (3840 at most), the height
// stays. Other pictures are exactly as decoded.
typedef struct VideoFrameInfo {
    int32_t nFormat;  // VIDEO_FORMAT_*
    uint8_t* pData;
    int32_t nSize;  // bytes at pData
    int32_t nWidth;  // pixels
    int32_t nHeight;  // pixels
} VideoFrameInfo;

// Filled by GetFileInfo. Fixed 80-byte little-endian layout without gaps.
typedef struct MediaFileInfo {
    // The size of the pictures the host gets, turned and scaled as VideoFrameInfo says;
    // the limits judge the size the stream codes. 0 without a video stream.
    int32_t nWidth;
    int32_t nHeight;
    char szVideoCodec[32];  // decoder short name, zero-filled; empty without a decoder
    char szAudioCodec[32];
    int64_t llFileSize;  // bytes, or a negative FFmpeg error when the input has no size
} MediaFileInfo;
QUORVEL_STATIC_ASSERT(sizeof(MediaFileInfo) == 80, "MediaFileInfo is 80 bytes");
QUORVEL_STATIC_ASSERT(offsetof(MediaFileInfo, nWidth) == 0, "nWidth at 0");
QUORVEL_STATIC_ASSERT(offsetof(MediaFileInfo, nHeight) == 4, "nHeight at 4");
QUORVEL_STATIC_ASSERT(offsetof(MediaFileInfo, szVideoCodec) == 8, "szVideoCodec at 8");
QUORVEL_STATIC_ASSERT(offsetof(MediaFileInfo, szAudioCodec) == 40, "szAudioCodec at 40");
QUORVEL_STATIC_ASSERT(offsetof(MediaFileInfo, llFileSize) == 72, "llFileSize at 72");

#ifdef __cplusplus
class IMediaFile;

// The host's callback object. The engine calls only OnMediaEvent (slot 1); slot 0
// belongs to the host and is never called by the engine.
class MediaFileInterface {
public:
#if defined(_MSC_VER)
    virtual ~MediaFileInterface() {}
#else
    // Slot 0, where an MSVC host has its virtual destructor. Override it if you like.
    virtual void* QUORVEL_SLOT DeletingDestructor(uint32_t /*flags*/) { return this; }
#endif
    // Parameters are pointer-sized so that they can carry addresses (32 bits on a 32-bit
    // build). See the event values above for their meaning.
    virtual void QUORVEL_SLOT OnMediaEvent(IMediaFile* sender, uint32_t event, uintptr_t param1,
                                           uintptr_t param2, uintptr_t param3,
                                           uintptr_t param4) = 0;

#if !defined(_MSC_VER)
protected:
    // Slot 0 is not a destructor here, so the object cannot be deleted through this type.
    ~MediaFileInterface() = default;
#endif
};

// One playback instance. Results are 1 for success or true, 0 for failure or false.
class IMediaFile {
public:
#if defined(_MSC_VER)
    // delete closes the instance if it is open, as DestroyInstance does.
    virtual ~IMediaFile() {}
#else
    // Slot 0: destroys the instance as DestroyInstance does (closing it if it is open)
    // and, when flags has QUORVEL_DELETE_MEMORY, frees its memory. Returns this. Prefer
    // DestroyInstance; this slot is what an MSVC host's delete calls.
    virtual void* QUORVEL_SLOT DeletingDestructor(uint32_t flags) = 0;
#endif

    // Control thread, any time. Non-zero: start again from the beginning at the end; also
    // when the decoder has already read to the end, playback then goes on with the next pass.
    virtual void QUORVEL_SLOT SetLoop(int32_t loop) = 0;

    // Control thread, while closed. Opens the file and starts playback; does not apply
    // the limits of GetFileInfo, except that no picture larger than 1920x1080 is ever
    // shown (such pictures are skipped, with a log text). After a GetFileInfo that
    // answered 1, the very file that was probed is played, without opening the path again.
    // 0 when the file cannot be opened (MEDIA_EVENT_OPEN_FAILED is sent; IsOpen then
    // answers 1 until Close) or when the instance is already open (nothing is sent or
    // changed then).
    virtual int32_t QUORVEL_SLOT Open() = 0;

    // Control thread. 1 from the start of Open (also one that failed) until Close.
    virtual int32_t QUORVEL_SLOT IsOpen() = 0;

    // Control thread. Stops both threads, closes the file, empties the queues. Harmless
    // on a closed instance.
    virtual void QUORVEL_SLOT Close() = 0;

    // Control thread. Stops decoding and holds the next queued picture, which is sent
    // again on every clock tick while paused. No audio is handed out while paused, and the
    // playback clock stands.
    virtual void QUORVEL_SLOT Pause() = 0;
    virtual int32_t QUORVEL_SLOT IsPaused() = 0;
    // Control thread. Always 1.
    virtual int32_t QUORVEL_SLOT Resume() = 0;

    // Control thread. Position and duration in whole seconds; the position lies within 0
    // and the duration (0 without an open file), the duration is -1 when no file is open,
    // 0 when the file reports none. The position is the duration once a file that does not
    // loop has played to its end (its last picture and sound gone out), and less before
    // that. Positions count from the start of the media whatever
    // its first timestamp, and go on across the timestamp jumps of joined recordings (whose
    // duration is known once the file has been read to its end). 0 when either pointer is
    // null.
    virtual int32_t QUORVEL_SLOT GetPos(int64_t* llCurPos, int64_t* llMaxPos) = 0;

    // Control thread. Seeks to pos whole seconds from the start of the media; returns at
    // once (the decoder thread carries the seek out). Playback goes on exactly there:
    // nothing from before the target is shown or heard, and GetPos answers the target until
    // the new position plays. A position before the start plays from the start, one past
    // the end is at the end. While paused, the new position's first picture is held in
    // place of the old one. A seek the file refuses leaves playback where it was (a log
    // text says so), and the next SetPos is carried out as usual. Always 1.
    virtual int32_t QUORVEL_SLOT SetPos(int64_t pos) = 0;

    // Control thread. 1 when the open file plays as audio only (no video, or only a
    // still cover picture).
    virtual int32_t QUORVEL_SLOT IsAudioOnly() = 0;

    // Host audio thread. Writes one 20 ms chunk of interleaved s16 PCM to pBuffer (which
    // must hold it: sampleRate/50 * 2 * channels bytes, never more than
    // QUORVEL_MAX_AUDIO_CHUNK_BYTES) and describes it through the three outputs. Returns
    // the bytes to play, or 0 for nothing to play now (play 20 ms of silence then). After
    // Open and after each SetPos, a file with pictures has nothing to play until its
    // decoder has read 0.15 s of audio ahead (a moment; longer for a file that decodes
    // slower than real time), and its pictures after the first wait for it too. Sound
    // that starts later than the pictures (or after a gap) has nothing to play until its
    // time. The chunk returned is taken to start playing now: the pictures follow it,
    // each shown when the sound of its time plays. Taking chunks ahead of playing them (a
    // burst at a time) is fine; taking them late sets the clock back to them. The reserved
    // arguments are never read.
    virtual int32_t QUORVEL_SLOT OnRenderGetaudioFrame(uint8_t* pBuffer, int32_t* pnBytes,
                                                       int32_t* pnSampleRate, int32_t* pnChannels,
                                                       uint32_t nReserved1,
                                                       uint32_t nReserved2) = 0;

    // Control thread, while closed. Opens the file, checks the playable limits (pictures
    // coded at 100x80 to 1920x1080, 5 to 60 frames per second, fewer than 6 channels; a cover
    // picture's size does not count), fills both outputs and closes the file again, but
    // for the open file itself, which the next Open plays. 1 = playable. 0 = cannot be
    // opened (MEDIA_EVENT_OPEN_FAILED), outside the limits (log text "invalid file"), a
    // null output pointer, or the instance is open; neither output is written then. The
    // open gives up after 5 s.
    virtual int32_t QUORVEL_SLOT GetFileInfo(uint32_t reserved, int32_t* pbAudioOnly,
                                             MediaFileInfo* pInfo) = 0;

#if !defined(_MSC_VER)
protected:
    // Slot 0 is not a destructor here: destroy through DestroyInstance.
    ~IMediaFile() = default;
#endif
};

#else  // C view of the same tables: a pointer to the slot table first, `self` first.

// 32-bit MSVC (cl) accepts __thiscall on C++ member functions only. For C compiled by cl
// the slots are __fastcall with a second parameter standing in for EDX: fastcall passes
// the first two 32-bit arguments in ECX and EDX, the rest on the stack, and the callee
// cleans the stack, so `self` lands in ECX and the rest where thiscall puts them.
// QUORVEL_EDX goes after `self` in a slot's parameters and QUORVEL_EDX_ARG after `self`
// in a call; both are empty everywhere else. A host's slot function states
// QUORVEL_EDX_UNUSED; in its body against an unused-parameter warning. QUORVEL_C_FASTCALL
// asks for this form from another 32-bit compiler (clang-cl, GCC), QUORVEL_C_THISCALL
// keeps thiscall under cl.
#if defined(_WIN32) && (defined(_M_IX86) || defined(__i386__)) && !defined(QUORVEL_C_THISCALL) && \
    (defined(QUORVEL_C_FASTCALL) || (defined(_MSC_VER) && !defined(__clang__)))
#undef QUORVEL_SLOT
#define QUORVEL_SLOT __fastcall
#define QUORVEL_EDX , uintptr_t edx
#define QUORVEL_EDX_ARG , 0
#define QUORVEL_EDX_UNUSED (void)edx
#else
#define QUORVEL_EDX
#define QUORVEL_EDX_ARG
#define QUORVEL_EDX_UNUSED (void)0
#endif

// GCC calls thiscall on a plain function pointer an extension; it is applied all the same.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wattributes"
#endif

typedef struct IMediaFile IMediaFile;
typedef struct MediaFileInterface MediaFileInterface;

// The slot tables keep a space between each result type and its slot, which the
// formatter would take out.
// clang-format off
typedef struct IMediaFileVtbl {
    void* (QUORVEL_SLOT* DeletingDestructor)(IMediaFile* self QUORVEL_EDX, uint32_t flags);
    void (QUORVEL_SLOT* SetLoop)(IMediaFile* self QUORVEL_EDX, int32_t loop);
    int32_t (QUORVEL_SLOT* Open)(IMediaFile* self QUORVEL_EDX);
    int32_t (QUORVEL_SLOT* IsOpen)(IMediaFile* self QUORVEL_EDX);
    void (QUORVEL_SLOT* Close)(IMediaFile* self QUORVEL_EDX);
    void (QUORVEL_SLOT* Pause)(IMediaFile* self QUORVEL_EDX);
    int32_t (QUORVEL_SLOT* IsPaused)(IMediaFile* self QUORVEL_EDX);
    int32_t (QUORVEL_SLOT* Resume)(IMediaFile* self QUORVEL_EDX);
    int32_t (QUORVEL_SLOT* GetPos)(IMediaFile* self QUORVEL_EDX, int64_t* llCurPos,
                                   int64_t* llMaxPos);
    int32_t (QUORVEL_SLOT* SetPos)(IMediaFile* self QUORVEL_EDX, int64_t pos);
    int32_t (QUORVEL_SLOT* IsAudioOnly)(IMediaFile* self QUORVEL_EDX);
    int32_t (QUORVEL_SLOT* OnRenderGetaudioFrame)(IMediaFile* self QUORVEL_EDX,
                                                  uint8_t* pBuffer,
                                                  int32_t* pnBytes, int32_t* pnSampleRate,
                                                  int32_t* pnChannels, uint32_t nReserved1,
                                                  uint32_t nReserved2);
    int32_t (QUORVEL_SLOT* GetFileInfo)(IMediaFile* self QUORVEL_EDX, uint32_t reserved,
                                        int32_t* pbAudioOnly, MediaFileInfo* pInfo);
} IMediaFileVtbl;

struct IMediaFile {
    const IMediaFileVtbl* lpVtbl;
};

typedef struct MediaFileInterfaceVtbl {
    // The host's own slot; the engine never calls it.
    void* (QUORVEL_SLOT* DeletingDestructor)(MediaFileInterface* self QUORVEL_EDX,
                                             uint32_t flags);
    void (QUORVEL_SLOT* OnMediaEvent)(MediaFileInterface* self QUORVEL_EDX, IMediaFile* sender,
                                      uint32_t event, uintptr_t param1, uintptr_t param2,
                                      uintptr_t param3, uintptr_t param4);
} MediaFileInterfaceVtbl;
// clang-format on

struct MediaFileInterface {
    const MediaFileInterfaceVtbl* lpVtbl;
};

QUORVEL_STATIC_ASSERT(sizeof(IMediaFileVtbl) == 13 * sizeof(void*), "IMediaFile has 13 slots");
QUORVEL_STATIC_ASSERT(sizeof(MediaFileInterfaceVtbl) == 2 * sizeof(void*),
                      "MediaFileInterface has 2 slots");

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#endif  // __cplusplus

#ifdef __cplusplus
extern "C" {
#endif
// Creates an instance for the NUL-terminated wide path. events may be null (no events
// are sent). Returns null when path is null or no memory can be had. Nothing is opened.
//
// What is opened: path is a local file system path, and only a regular file is played;
// it is read by the engine itself. A path that names no file but looks like a URL or a
// stream name (http:, pipe:, concat:, file://, ...) is refused with a log text saying so
// (a file of that name is played). Folders, devices, pipes and sockets are refused at
// once. Formats that name further inputs are refused whatever the file is called:
// playlists and manifests (HLS, DASH), concatenation scripts (ffconcat), session
// descriptions (SDP), IMF, image sequences; no file may make the engine open another
// file or an address. Each refusal is an open failure with a log text that says why.
// The environment variable QUORVEL_DECODER_THREADS (a whole number from 1 to 16), when
// set, is the number of threads the instance decodes video with; otherwise one per core,
// at most 8. It is read here, so it applies to the instances created after it is set.
QUORVEL_API IMediaFile* CreateInstance(const wchar_t* path, MediaFileInterface* events);

// Closes (if open), stops the threads and frees the instance. Null is ignored. No event
// reaches the host once this has begun dropping the callback object.
QUORVEL_API void DestroyInstance(IMediaFile* instance);
#ifdef __cplusplus
}
#endif

#endif  // QUORVEL_H
