// A host event sink that records what it is sent. Any thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

extern "C" {
#include <libavutil/md5.h>
}

#include "quorvel.h"

namespace test {

struct DeliveredPicture {
    int32_t nFormat;
    int32_t nSize;
    int32_t nWidth;
    int32_t nHeight;
    std::string md5;  // hex
    std::chrono::steady_clock::time_point arrived;
    double heard;  // seconds of audio the host had taken when it came (see HearAudioBy)
};

inline std::string Md5Hex(const uint8_t* data, size_t size)
{
    uint8_t digest[16];
    av_md5_sum(digest, data, size);
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (uint8_t byte : digest) {
        hex += kHex[byte >> 4];
        hex += kHex[byte & 15];
    }
    return hex;
}

class RecordingSink final : public MediaFileInterface {
public:
    void OnMediaEvent(IMediaFile* sender, uint32_t event, uintptr_t param1, uintptr_t /*param2*/,
                      uintptr_t param3, uintptr_t /*param4*/) override
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_senders.push_back(sender);
        if (m_bSealed) {
            ++m_nAfterSeal;
        }
        if (event == MEDIA_EVENT_VIDEO_FRAME) {
            const auto* info = reinterpret_cast<const VideoFrameInfo*>(param1);
            m_pictures.push_back({info->nFormat, info->nSize, info->nWidth, info->nHeight,
                                  Md5Hex(info->pData, static_cast<size_t>(info->nSize)),
                                  std::chrono::steady_clock::now(), m_heard ? m_heard() : 0.0});
        } else if (event == MEDIA_EVENT_LOG) {
            m_logs.emplace_back(reinterpret_cast<const wchar_t*>(param3));
            m_logLevels.push_back(param1);
        } else if (event == MEDIA_EVENT_OPEN_FAILED) {
            ++m_nOpenFailed;
        }
    }

    // How many seconds of audio the host has taken, asked as each picture comes.
    void HearAudioBy(std::function<double()> heard)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_heard = std::move(heard);
    }

    std::vector<DeliveredPicture> Pictures()
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_pictures;
    }
    size_t PictureCount()
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_pictures.size();
    }
    std::vector<std::wstring> Logs()
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_logs;
    }
    std::vector<uintptr_t> LogLevels()  // 0 error, 1 info; one per log text
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_logLevels;
    }
    size_t CountLogs(const std::wstring& prefix)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        size_t count = 0;
        for (const std::wstring& text : m_logs) {
            count += text.compare(0, prefix.size(), prefix) == 0 ? 1 : 0;
        }
        return count;
    }
    std::vector<IMediaFile*> Senders()
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_senders;
    }
    int OpenFailedCount()
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_nOpenFailed;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_pictures.clear();
        m_logs.clear();
        m_logLevels.clear();
        m_senders.clear();
        m_nOpenFailed = 0;
    }
    // From now on every event counts as a late one.
    void Seal()
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_bSealed = true;
    }
    int EventsAfterSeal()
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_nAfterSeal;
    }

private:
    std::mutex m_mutex;
    std::vector<DeliveredPicture> m_pictures;
    std::function<double()> m_heard;
    std::vector<std::wstring> m_logs;
    std::vector<uintptr_t> m_logLevels;
    std::vector<IMediaFile*> m_senders;
    int m_nOpenFailed = 0;
    bool m_bSealed = false;
    int m_nAfterSeal = 0;
};

// Runs a step of the host's own once, inside the first picture or log event that comes:
// the step then lands in the middle of the engine's call that sends the event.
class SteppingSink final : public MediaFileInterface {
public:
    void OnMediaEvent(IMediaFile* /*sender*/, uint32_t event, uintptr_t /*param1*/,
                      uintptr_t /*param2*/, uintptr_t /*param3*/, uintptr_t /*param4*/) override
    {
        std::function<void()>& step = event == MEDIA_EVENT_LOG ? m_onLog : m_onPicture;
        if (event != MEDIA_EVENT_LOG && event != MEDIA_EVENT_VIDEO_FRAME) {
            return;
        }
        if (std::function<void()> once = std::exchange(step, nullptr)) {
            once();
        }
    }

    std::function<void()> m_onPicture;
    std::function<void()> m_onLog;
};

}  // namespace test
