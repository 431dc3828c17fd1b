// FFmpeg's own messages about the engine's work (a damaged file's "PPS id out of range",
// say) reach the host as the engine's log texts, never the process's standard error: a
// host may have no standard error to show, and the text may come from the file.
//
// FFmpeg's log callback belongs to the process, and a host on Linux may use the same
// shared FFmpeg for work of its own. So a message counts as the engine's when it is
// logged on a thread while that thread works for the engine (EngineThreadScope), or about
// a format or decoder context of the engine's (or an object inside one, such as a decoder's
// frame thread); any other message goes to FFmpeg's default handling, as if the engine
// were not there. A host that installs its own callback after creating an instance gets
// the engine's messages too.
//
// Threads: any.
#pragma once

namespace demux {

// Installs the callback, once per process (later calls do nothing).
void RouteFfmpegLogs();

// The engine's mark, for the opaque field of its format and decoder contexts.
void* EngineContextMark();

// Marks the calling thread as working for the engine while the scope lasts.
class EngineThreadScope {
public:
    EngineThreadScope();
    ~EngineThreadScope();
    EngineThreadScope(const EngineThreadScope&) = delete;
    EngineThreadScope& operator=(const EngineThreadScope&) = delete;
};

}  // namespace demux
