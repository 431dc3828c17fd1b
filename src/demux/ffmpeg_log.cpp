#include "demux/ffmpeg_log.h"

#include <cstdarg>
#include <cstdio>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include "diag/log.h"

namespace demux {

namespace {

// How far up a message's chain of parent contexts the engine's mark is looked for.
constexpr int FFMPEG_LOG_PARENTS = 4;
// A message is cut to this many characters.
constexpr size_t FFMPEG_LOG_MAX_CHARS = 1024;

thread_local int t_nEngineDepth = 0;
// A message may come in pieces; it is sent once its line ends.
thread_local std::string t_line;
thread_local std::string t_name;

char g_mark;

bool IsEnginesContext(void* context)
{
    for (int depth = 0; context != nullptr && depth < FFMPEG_LOG_PARENTS; ++depth) {
        const AVClass* avClass = *static_cast<const AVClass**>(context);
        if (avClass == nullptr) return false;
        if (avClass == avcodec_get_class())
            return static_cast<AVCodecContext*>(context)->opaque == &g_mark;
        if (avClass == avformat_get_class())
            return static_cast<AVFormatContext*>(context)->opaque == &g_mark;
        if (avClass->parent_log_context_offset == 0) return false;
        context = *reinterpret_cast<void**>(static_cast<char*>(context) +
                                            avClass->parent_log_context_offset);
    }
    return false;
}

std::string ItemName(void* context)
{
    if (context == nullptr) return "ffmpeg";
    const AVClass* avClass = *static_cast<const AVClass**>(context);
    const char* name =
        avClass != nullptr && avClass->item_name ? avClass->item_name(context) : nullptr;
    return name != nullptr ? name : "ffmpeg";
}

// The text comes from FFmpeg and may quote the file: anything but printable ASCII is shown
// as '?', so no byte of it can reach the host as a control character.
std::wstring Printable(const std::string& text)
{
    std::wstring out;
    for (char c : text) out += c >= 0x20 && c < 0x7f ? static_cast<wchar_t>(c) : L'?';
    return out;
}

void Send()
{
    while (!t_line.empty() && (t_line.back() == '\n' || t_line.back() == '\r')) t_line.pop_back();
    if (!t_line.empty())
        LogMessage(LOG_INFO, L"[%ls] %ls", Printable(t_name).c_str(), Printable(t_line).c_str());
    t_line.clear();
    t_name.clear();
}

void Callback(void* context, int level, const char* format, va_list args)
{
    if (t_nEngineDepth == 0 && !IsEnginesContext(context)) {
        av_log_default_callback(context, level, format, args);
        return;
    }
    // Warnings and errors; FFmpeg's information and debugging output is not wanted.
    if (level > AV_LOG_WARNING) return;
    char piece[FFMPEG_LOG_MAX_CHARS];
    std::vsnprintf(piece, sizeof piece, format, args);
    if (t_line.empty()) t_name = ItemName(context);
    if (t_line.size() < FFMPEG_LOG_MAX_CHARS) t_line += piece;
    if (!t_line.empty() && t_line.back() == '\n') Send();
}

}  // namespace

void RouteFfmpegLogs()
{
    // A local static's initialisation runs once even when threads race to it (and unlike
    // std::call_once it needs no thread-local support from the Windows C++ runtime).
    static const bool installed = [] {
        av_log_set_callback(&Callback);
        return true;
    }();
    (void)installed;
}

void* EngineContextMark() { return &g_mark; }

EngineThreadScope::EngineThreadScope() { ++t_nEngineDepth; }

EngineThreadScope::~EngineThreadScope() { --t_nEngineDepth; }

}  // namespace demux
