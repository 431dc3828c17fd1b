// The instance's private record: its two workers and its locks. Owned by CQuorvel for
// its whole life.
//
// Lock rules: m_csVideo and m_csAudio are never held together, and neither is held
// together with m_csHeld. The only nesting is m_csVideo, then the frame pool's lock
// (stated below for the analysis). No lock of the instance is held during a call into
// the host: the instance's EventChannel serialises those calls without one.
#pragma once

#include <memory>

#include "demux/demuxer.h"
#include "platform/lock.h"
#include "platform/thread_annotations.h"
#include "playback/frame_pool.h"
#include "playback/video_model.h"

namespace quorvel {

struct PlaybackContext {
    std::unique_ptr<CVideoModel> m_pVideoModel = std::make_unique<CVideoModel>();
    std::unique_ptr<Demuxer> m_pDemuxer = std::make_unique<Demuxer>();
    platform::RecursiveLock m_csVideo ACQUIRED_BEFORE(FramePool::m_cs);  // the video queue
    platform::RecursiveLock m_csAudio;  // the audio queue and its byte count
    platform::RecursiveLock m_csHeld;  // the picture held while paused
};

}  // namespace quorvel
