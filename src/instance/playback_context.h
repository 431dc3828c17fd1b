// The instance's private record: its two workers and its locks. Owned by CQuorvel for
// its whole life.
//
// Lock rules: m_csVideo and m_csAudio are never held together, and neither is held
// together with m_csNotify. The only nesting is m_csVideo, then the frame pool's lock
// (stated below for the analysis). A thread that logs holds the log registry's lock
// shared and then takes m_csNotify of the receiving instance, possibly while it already
// holds its own m_csNotify: with one instance that is the same lock again (the log
// dispatch comes back in through OnDemuxEvent), hence the re-entrant locks.
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
    platform::RecursiveLock m_csNotify;  // the host's sink and every call into it
};

}  // namespace quorvel
