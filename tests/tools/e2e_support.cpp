#include "e2e_support.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace e2e {
namespace {

std::vector<std::string> Environment(const std::vector<std::pair<std::string, std::string>>& extra)
{
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    for (const auto& [name, value] : extra) env.push_back(name + "=" + value);
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings)
{
    std::vector<char*> pointers;
    for (std::string& s : strings) pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Waits for pid; SIGINT at interrupt_after, SIGKILL at limit. Returns the wait status.
int WaitWithLimit(pid_t pid, double limit_seconds, double interrupt_after, double* seconds)
{
    const auto start = std::chrono::steady_clock::now();
    bool interrupted = false;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (interrupt_after > 0 && !interrupted && *seconds >= interrupt_after) {
            kill(pid, SIGINT);
            interrupted = true;
        }
        if (*seconds >= limit_seconds) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return status;
}

}  // namespace

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvel-play-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string Media(const std::string& name)
{
    return std::string(QUORVEL_TEST_MEDIA_DIR) + "/" + name;
}

RunResult RunPlay(const std::vector<std::string>& args,
                  const std::vector<std::pair<std::string, std::string>>& env, double limit_seconds,
                  double interrupt_after)
{
    TempDir dir;
    const std::string out = dir.File("stdout");
    const std::string err = dir.File("stderr");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> argv{QUORVEL_PLAY_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> envp = Environment(env);
    auto argv_pointers = Pointers(argv);
    auto env_pointers = Pointers(envp);
    pid_t pid = 0;
    RunResult result;
    const int spawned = posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, argv_pointers.data(),
                                    env_pointers.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error("cannot start " + argv[0]);
    const int status = WaitWithLimit(pid, limit_seconds, interrupt_after, &result.seconds);
    result.status = status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadFile(out);
    result.err = ReadFile(err);
    return result;
}

std::string Shell(const std::string& command)
{
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) throw std::runtime_error("cannot run " + command);
    std::string text;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
    pclose(pipe);
    return text;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::map<std::string, std::string> ParseFlatJson(const std::string& line)
{
    std::map<std::string, std::string> members;
    size_t i = line.find('{');
    auto read_string = [&]() {
        std::string s;
        for (++i; i < line.size() && line[i] != '"'; ++i) {
            if (line[i] == '\\' && i + 1 < line.size()) ++i;
            s.push_back(line[i]);
        }
        ++i;
        return s;
    };
    while (i != std::string::npos && i < line.size()) {
        i = line.find('"', i);
        if (i == std::string::npos) break;
        const std::string name = read_string();
        i = line.find(':', i) + 1;
        if (line[i] == '"') {
            members[name] = read_string();
        } else {
            const size_t end = line.find_first_of(",}", i);
            members[name] = line.substr(i, end - i);
            i = end;
        }
    }
    return members;
}

std::vector<FrameHash> FfmpegFrameHashes(const std::string& path)
{
    const std::string text =
        Shell("ffmpeg -nostdin -v error -i '" + path +
              "' -map 0:v:0 -fps_mode passthrough -pix_fmt yuv420p -f framemd5 -");
    std::vector<FrameHash> frames;
    double time_base = 0;
    for (const std::string& line : Lines(text)) {
        int num = 0;
        int den = 0;
        if (std::sscanf(line.c_str(), "#tb 0: %d/%d", &num, &den) == 2)
            time_base = double(num) / den;
        if (line.empty() || line[0] == '#') continue;
        long long dts = 0;
        long long pts = 0;
        char md5[64] = {};
        if (std::sscanf(line.c_str(), "%*d, %lld, %lld, %*d, %*d, %63s", &dts, &pts, md5) == 3)
            frames.push_back({static_cast<double>(pts) * time_base, md5});
    }
    return frames;
}

std::string FfmpegPcm(const std::string& path)
{
    return Shell("ffmpeg -nostdin -v error -i '" + path +
                 "' -map 0:a:0 -f s16le -acodec pcm_s16le -");
}

}  // namespace e2e
