// Fuzzes LogMessage with arbitrary wide text: as the %ls argument of the engine's own
// formats, and as a format of its own with every '%' escaped. The delivered text is
// checked against what it must be: terminated, at most LOG_BUFFER_CHARS - 1 characters,
// and equal to the expected text (cut to that length) where the expected text is known.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>

#include "diag/log.h"
#include "quorvel.h"

namespace {

class LastLogSink final : public MediaFileInterface {
public:
    void OnMediaEvent(IMediaFile* /*sender*/, uint32_t event, uintptr_t /*param1*/,
                      uintptr_t /*param2*/, uintptr_t param3, uintptr_t /*param4*/) override
    {
        if (event != MEDIA_EVENT_LOG) return;
        std::lock_guard<std::mutex> guard(m_mutex);
        m_text = reinterpret_cast<const wchar_t*>(param3);
        m_bDelivered = true;
    }

    // The text delivered since the last call, if any.
    bool Take(std::wstring& text)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        const bool delivered = m_bDelivered;
        text.swap(m_text);
        m_text.clear();
        m_bDelivered = false;
        return delivered;
    }

private:
    std::mutex m_mutex;
    std::wstring m_text;
    bool m_bDelivered = false;
};

LastLogSink g_sink;

// Wide text from raw bytes: mostly 16-bit units (lone surrogates included); a unit with a
// high byte of 0xFF takes the next four bytes as a raw 32-bit value, beyond Unicode too.
// The text stops at the first zero, as a C string does.
std::wstring WideText(const uint8_t* data, size_t size)
{
    std::wstring text;
    size_t i = 0;
    while (i + 1 < size) {
        uint32_t unit = data[i] | (static_cast<uint32_t>(data[i + 1]) << 8);
        i += 2;
        if ((unit >> 8) == 0xFF && i + 4 <= size) {
            unit = data[i] | (static_cast<uint32_t>(data[i + 1]) << 8) |
                   (static_cast<uint32_t>(data[i + 2]) << 16) |
                   (static_cast<uint32_t>(data[i + 3]) << 24);
            i += 4;
        }
        if (unit == 0) break;
        text += static_cast<wchar_t>(unit);
    }
    return text;
}

std::wstring Cut(std::wstring text)
{
    if (text.size() > static_cast<size_t>(LOG_BUFFER_CHARS - 1)) text.resize(LOG_BUFFER_CHARS - 1);
    return text;
}

void Expect(bool condition)
{
    if (!condition) std::abort();
}

// Checks one call: delivered exactly when the expected text is not empty, and as expected.
void CheckDelivery(const std::wstring& expected)
{
    std::wstring text;
    const bool delivered = g_sink.Take(text);
    Expect(delivered == !expected.empty());
    Expect(text == Cut(expected));
}

void CheckBounded()
{
    std::wstring text;
    if (g_sink.Take(text)) Expect(!text.empty() && text.size() <= LOG_BUFFER_CHARS - 1u);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/)
{
    // One registered instance receives every message; it lives for the whole run.
    static IMediaFile* const receiver = CreateInstance(L"log-receiver", &g_sink);
    return receiver != nullptr ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) return 0;
    const int level = static_cast<int8_t>(data[0]);
    const uint8_t mode = data[1];
    const std::wstring text = WideText(data + 2, size - 2);
    const bool valid = level == LOG_ERROR || level == LOG_INFO;

    switch (mode % 4) {
    case 0:
        LogMessage(level, L"avformat_find_stream_info error: %d, %ls", -5, text.c_str());
        CheckDelivery(valid ? L"avformat_find_stream_info error: -5, " + text : L"");
        break;
    case 1:
        LogMessage(level, L"%ls", text.c_str());
        CheckDelivery(valid ? text : L"");
        break;
    case 2: {
        // The text as the format itself; escaping every '%' makes it print verbatim.
        std::wstring format;
        for (wchar_t c : text) format += c == L'%' ? std::wstring(L"%%") : std::wstring(1, c);
        LogMessage(level, format.c_str());
        CheckDelivery(valid ? text : L"");
        break;
    }
    default:
        LogMessage(level, L"Demuxer::Seek: %lld %f %ls %d", static_cast<long long>(size),
                   static_cast<double>(mode) / 3.0, text.c_str(), static_cast<int>(data[0]));
        if (valid) {
            CheckBounded();
        } else {
            CheckDelivery(L"");
        }
        break;
    }
    return 0;
}
