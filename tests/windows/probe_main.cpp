// quorvel-probe LIBRARY FILE...: one line per file with what GetFileInfo reports through
// the library's exported entry points, keyed by the file's name alone so that runs of
// the Windows DLL and the Linux library on the same fixtures compare line by line.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "quorvel_library.h"

namespace {

std::string BaseName(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Fixture names are ASCII; a byte-wise widening is exact for them.
std::wstring WidenAscii(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::string Codec(const char (&name)[32])
{
    const size_t length = strnlen(name, sizeof(name));
    return length == 0 ? "-" : std::string(name, length);
}

void Probe(const host::QuorvelLibrary& library, const std::string& path)
{
    const auto destroy = [&library](IMediaFile* instance) { library.Destroy(instance); };
    const std::unique_ptr<IMediaFile, decltype(destroy)> instance(
        library.Create(WidenAscii(path).c_str(), nullptr), destroy);
    MediaFileInfo info{};
    int32_t audioOnly = -1;
    if (!instance || instance->GetFileInfo(0, &audioOnly, &info) == 0) {
        std::printf("%s not-playable\n", BaseName(path).c_str());
        return;
    }
    std::printf("%s playable audio_only=%d %dx%d video=%s audio=%s size=%" PRId64 "\n",
                BaseName(path).c_str(), audioOnly, info.nWidth, info.nHeight,
                Codec(info.szVideoCodec).c_str(), Codec(info.szAudioCodec).c_str(),
                info.llFileSize);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: quorvel-probe LIBRARY FILE...\n");
        return 2;
    }
    const host::QuorvelLibrary library(argv[1]);
    if (!library.Loaded()) {
        std::fprintf(stderr, "quorvel-probe: %s: %s\n", argv[1], library.Error().c_str());
        return 1;
    }
    for (int i = 2; i < argc; ++i) Probe(library, argv[i]);
    return 0;
}
