// Untrusted inputs, each played by a careful host (tests/hosts/hostile_host.cpp) in a
// process of its own: under a cap on its address space where the build allows one, with
// its peak memory measured and a watchdog that kills it if a call does not return. Every
// row must end in the documented outcome, within the memory bound, with no thread left.
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <functional>

#include "reliability/reliability_support.h"

namespace reliability {
namespace {

using namespace std::chrono_literals;

// Sanitizer builds reserve terabytes of address space and keep freed memory aside, so
// only the plain build is capped, and their peak is judged against a larger bound.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
constexpr rlim_t kAddressSpaceCap = rlim_t{1} << 31;  // bytes; far above the bound, below thrashing
constexpr long kPeakBoundKb = (kSanitized ? 600 : 200) * 1024;
constexpr auto kWatchdog = kSanitized ? 30s : 10s;  // sanitizers decode several times slower
constexpr int kPlayMs = 1500;

// What the host printed, and how its process ended.
struct HostRun {
    bool exited = false;  // ended by itself, with status 0, within the watchdog
    long peakKb = 0;
    long long elapsedMs = 0;  // the whole run, play time included
    int probe = -1;
    int width = 0;
    int height = 0;
    int open = -1;
    int openFailed = 0;
    int pictures = 0;
    int maxWidth = 0;
    int maxHeight = 0;
    int unknown = 0;
    long long audioBytes = 0;
    int threadsBefore = 0;
    int threadsAfter = 0;
    std::vector<std::string> logs;

    bool Logged(const std::string& part) const
    {
        for (const std::string& log : logs)
            if (log.find(part) != std::string::npos) return true;
        return false;
    }
};

void Parse(const std::string& output, HostRun* run)
{
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string kind;
        fields >> kind;
        int audioOnly = 0;
        if (kind == "probe") fields >> run->probe >> audioOnly >> run->width >> run->height;
        if (kind == "open") fields >> run->open;
        if (kind == "audio") fields >> run->audioBytes;
        if (kind == "threads") fields >> run->threadsBefore >> run->threadsAfter;
        if (kind == "events")
            fields >> run->openFailed >> run->pictures >> run->maxWidth >> run->maxHeight >>
                run->unknown;
        if (kind == "log") run->logs.push_back(line.substr(4));
    }
}

// Reads the child's output until it ends or the watchdog kills it.
std::string ReadUntilEnd(int fd, pid_t child, bool* killed)
{
    std::string output;
    const auto deadline = std::chrono::steady_clock::now() + kWatchdog;
    char buffer[4096];
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd ready{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) == 0) {
            kill(child, SIGKILL);
            *killed = true;
            return output;
        }
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got <= 0) return output;
        output.append(buffer, static_cast<size_t>(got));
    }
}

// Runs the host on path with cwd as its working folder. Between fork and exec the child
// makes only async-signal-safe calls.
HostRun RunHost(const std::string& path, const std::string& cwd)
{
    std::string program = QUORVEL_HOSTILE_HOST;
    std::string pathArg = path;
    std::string playArg = std::to_string(kPlayMs);
    char* argv[] = {program.data(), pathArg.data(), playArg.data(), nullptr};
    int out[2];
    HostRun run;
    if (pipe(out) != 0) return run;
    const pid_t child = fork();
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        if (chdir(cwd.c_str()) != 0) _exit(126);
        if (!kSanitized) {
            const rlimit cap{kAddressSpaceCap, kAddressSpaceCap};
            setrlimit(RLIMIT_AS, &cap);
        }
        execv(program.c_str(), argv);
        _exit(127);
    }
    close(out[1]);
    const auto start = std::chrono::steady_clock::now();
    bool killed = false;
    const std::string output = child > 0 ? ReadUntilEnd(out[0], child, &killed) : "";
    close(out[0]);
    int status = 0;
    rusage usage{};
    if (child > 0 && wait4(child, &status, 0, &usage) == child) {
        run.exited = !killed && WIFEXITED(status) && WEXITSTATUS(status) == 0;
        run.peakKb = usage.ru_maxrss;
    }
    run.elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    Parse(output, &run);
    return run;
}

struct Row {
    const char* name;
    // Makes the input in the scratch folder; returns the path the host is given.
    std::function<std::string(const ScratchDir&)> make;
    int probe;  // GetFileInfo's result
    int open;  // Open's result
    const char* log;  // a part of a log text that must come; empty for none
    bool pictures = false;  // some picture must be shown
};

std::string Written(const ScratchDir& dir, const std::string& name, const std::string& text)
{
    WriteText(dir.File(name), text);
    return dir.File(name);
}

std::string Fixture(const std::string& name) { return test::MediaPath(name); }

// A WAV of 96 KB of 16-bit stereo that declares sampleRate.
std::string Wav(const ScratchDir& dir, const std::string& name, uint32_t sampleRate)
{
    constexpr uint32_t kData = 96 * 1024;
    std::vector<uint8_t> bytes = {'R', 'I', 'F', 'F', 0,  0, 0, 0, 'W', 'A', 'V', 'E',
                                  'f', 'm', 't', ' ', 16, 0, 0, 0, 1,   0,   2,   0};
    const auto put32 = [&bytes](uint32_t value) {
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(static_cast<uint8_t>(value >> shift));
    };
    put32(sampleRate);
    put32(sampleRate * 4);
    bytes.insert(bytes.end(), {4, 0, 16, 0, 'd', 'a', 't', 'a'});
    put32(kData);
    bytes.resize(bytes.size() + kData, 0);
    WriteBytes(dir.File(name), bytes);
    return dir.File(name);
}

std::string Playlist(const ScratchDir& dir, const std::string& name, const std::string& entry)
{
    return Written(
        dir, name,
        "#EXTM3U\n#EXT-X-TARGETDURATION:10\n#EXTINF:10,\n" + entry + "\n#EXT-X-ENDLIST\n");
}

std::string Dash(const ScratchDir& dir, const std::string& name, const std::string& baseUrl)
{
    return Written(dir, name,
                   "<?xml version=\"1.0\"?>\n<MPD xmlns=\"urn:mpeg:dash:schema:mpd:2011\" "
                   "type=\"static\" profiles=\"urn:mpeg:dash:profile:isoff-on-demand:2011\" "
                   "mediaPresentationDuration=\"PT3S\">\n<Period>\n"
                   "<AdaptationSet mimeType=\"video/mp4\">\n<Representation id=\"1\" "
                   "bandwidth=\"1\">\n<BaseURL>" +
                       baseUrl +
                       "</BaseURL>\n</Representation>\n</AdaptationSet>\n</Period>\n</MPD>\n");
}

const char* const kPlaylist = "is a playlist or opens other inputs";
const char* const kUrl = "is a URL or a stream name; only local files are played";
const std::string kElsewhere = Fixture("h264_aac.mp4");  // the user's other file

const Row kRows[] = {
    // A playlist that lists itself, by its own name and under a movie's name.
    {"hls listing itself",
     [](const ScratchDir& d) {
         return Written(d, "self.m3u8",
                        "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1\nself.m3u8\n"
                        "#EXT-X-STREAM-INF:BANDWIDTH=2\nself.m3u8\n");
     },
     0, 0, kPlaylist},
    {"hls listing itself, named .mp4",
     [](const ScratchDir& d) {
         return Written(d, "self.mp4",
                        "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1\nself.mp4\n"
                        "#EXT-X-STREAM-INF:BANDWIDTH=2\nself.mp4\n");
     },
     0, 0, kPlaylist},
    // What a file declares is checked where it is used.
    {"negative frame rate", [](const ScratchDir&) { return Fixture("negative_rate.flv"); }, 1, 1,
     ""},
    {"pictures growing to 8192x8192", [](const ScratchDir&) { return Fixture("grows_to_8192.ts"); },
     1, 1, "", true},
    {"pictures growing to 2000x1000", [](const ScratchDir&) { return Fixture("grows_to_2000.ts"); },
     1, 1, "pictures of 2000x1000 are beyond the playable limits", true},
    {"2 GHz sample rate", [](const ScratchDir& d) { return Wav(d, "2ghz.wav", 2000000000); }, 0, 0,
     "unplayable audio: 2000000000 Hz"},
    {"44.1 kHz sample rate", [](const ScratchDir& d) { return Wav(d, "plain.wav", 44100); }, 1, 1,
     ""},
    // Paths that FFmpeg would take for URLs and stream names.
    {"http URL", [](const ScratchDir&) { return std::string("http://127.0.0.1:9/clip.mp4"); }, 0, 0,
     kUrl},
    {"tcp URL", [](const ScratchDir&) { return std::string("tcp://127.0.0.1:9"); }, 0, 0, kUrl},
    {"concat protocol", [](const ScratchDir&) { return "concat:" + kElsewhere + "|" + kElsewhere; },
     0, 0, kUrl},
    {"subfile protocol", [](const ScratchDir&) { return "subfile,,start,0,end,0,,:" + kElsewhere; },
     0, 0, kUrl},
    {"async protocol", [](const ScratchDir&) { return "async:" + kElsewhere; }, 0, 0, kUrl},
    {"file URL", [](const ScratchDir&) { return "file://" + kElsewhere; }, 0, 0, kUrl},
    {"standard input", [](const ScratchDir&) { return std::string("pipe:0"); }, 0, 0, kUrl},
    {"a descriptor of the host", [](const ScratchDir&) { return std::string("pipe:7"); }, 0, 0,
     kUrl},
    // A file of that name is a file, and is what plays.
    {"a file named pipe:0",
     [](const ScratchDir& d) {
         std::filesystem::copy_file(kElsewhere, d.File("pipe:0"));
         return std::string("pipe:0");
     },
     1, 1, "", true},
    // Playlists whose entries name the user's other files.
    {"hls entry with an absolute path",
     [](const ScratchDir& d) { return Playlist(d, "abs.m3u8", kElsewhere); }, 0, 0, kPlaylist},
    {"hls entry going up, named .mp4",
     [](const ScratchDir& d) { return Playlist(d, "up.mp4", "../../../../../../" + kElsewhere); },
     0, 0, kPlaylist},
    {"hls entry as a file URL",
     [](const ScratchDir& d) { return Playlist(d, "url.m3u8", "file://" + kElsewhere); }, 0, 0,
     kPlaylist},
    {"dash with a file URL",
     [](const ScratchDir& d) { return Dash(d, "manifest.mpd", "file://" + kElsewhere); }, 0, 0,
     kPlaylist},
    {"ffconcat naming another file",
     [](const ScratchDir& d) {
         return Written(d, "list.ffconcat", "ffconcat version 1.0\nfile '" + kElsewhere + "'\n");
     },
     0, 0, kPlaylist},
    // Inputs that would block an open for as long as one waits.
    {"pipe without a writer",
     [](const ScratchDir& d) {
         mkfifo(d.File("fifo.mp4").c_str(), 0600);
         return d.File("fifo.mp4");
     },
     0, 0, "not a regular file"},
    {"socket",
     [](const ScratchDir& d) {
         const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
         sockaddr_un address{};
         address.sun_family = AF_UNIX;
         const std::string path = d.File("socket.mp4");
         std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
         bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
         close(fd);
         return path;
     },
     0, 0, "not a regular file"},
    {"device", [](const ScratchDir&) { return std::string("/dev/zero"); }, 0, 0,
     "not a regular file"},
};

class HostileInputs : public ::testing::TestWithParam<Row> {};

TEST_P(HostileInputs, EndAsDocumentedWithinBoundedMemoryAndTime)
{
    const Row& row = GetParam();
    ScratchDir dir;
    ASSERT_TRUE(dir.Ok());
    const HostRun run = RunHost(row.make(dir), dir.Path());
    RecordProperty("peak_kb", static_cast<int>(run.peakKb));
    RecordProperty("elapsed_ms", static_cast<int>(run.elapsedMs));
    ASSERT_TRUE(run.exited) << "the host did not return within " << kWatchdog.count()
                            << " s, or did not end cleanly";
    EXPECT_LT(run.peakKb, kPeakBoundKb);
    EXPECT_EQ(run.probe, row.probe);
    EXPECT_EQ(run.open, row.open);
    EXPECT_EQ(run.openFailed, (row.probe == 0 ? 1 : 0) + (row.open == 0 ? 1 : 0))
        << "a refused input is an open failure";
    if (*row.log != '\0') {
        EXPECT_TRUE(run.Logged(row.log)) << row.log;
    }
    if (row.pictures) {
        EXPECT_GT(run.pictures, 0);
    }
    EXPECT_LE(run.maxWidth, 1920);
    EXPECT_LE(run.maxHeight, 1080);
    EXPECT_EQ(run.unknown, 0);
    EXPECT_LE(run.threadsAfter, run.threadsBefore) << "a thread was left running";
}

std::string RowName(const ::testing::TestParamInfo<Row>& info)
{
    std::string name;
    for (const char* c = info.param.name; *c != '\0'; ++c)
        name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Table, HostileInputs, ::testing::ValuesIn(kRows), RowName);

}  // namespace
}  // namespace reliability
