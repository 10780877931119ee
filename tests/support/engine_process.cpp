#include "support/engine_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

}  // namespace

EngineRun RunEngine(const std::string& input, int nTimeoutMs) {
    EngineRun run;
    char dirTemplate[] = "/tmp/qm_engine_XXXXXX";
    const char* dir = mkdtemp(dirTemplate);
    if (!dir) return run;
    const std::string sDir = dir;
    const std::string inPath = sDir + "/stdin.txt", outPath = sDir + "/stdout.txt",
                      errPath = sDir + "/stderr.txt";
    {
        std::ofstream in(inPath, std::ios::binary);
        in << input;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, sDir.c_str());
    char* argv[] = {const_cast<char*>(QM_BINARY), nullptr};
    pid_t pid = 0;
    const auto t0 = std::chrono::steady_clock::now();
    const int rc = posix_spawn(&pid, QM_BINARY, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return run;

    int status = 0;
    for (;;) {
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) break;
        const auto elapsed = std::chrono::steady_clock::now() - t0;
        if (std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() > nTimeoutMs) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            run.bTimedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    run.dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (!run.bTimedOut && WIFEXITED(status)) run.nExitCode = WEXITSTATUS(status);
    run.sOut = ReadFile(outPath);
    run.sErr = ReadFile(errPath);
    std::error_code ec;
    std::filesystem::remove_all(sDir, ec);
    return run;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream ss(text);
    for (std::string line; std::getline(ss, line);) lines.push_back(line);
    return lines;
}

int CountLine(const std::string& text, const std::string& line) {
    int n = 0;
    for (const std::string& l : SplitLines(text)) n += l == line;
    return n;
}

int FindLineStarting(const std::vector<std::string>& lines, const std::string& prefix, int from) {
    for (int i = from; i < int(lines.size()); ++i)
        if (lines[size_t(i)].compare(0, prefix.size(), prefix) == 0) return i;
    return -1;
}

std::vector<std::vector<uint64_t>> ParsePerftReports(const std::string& text, const std::string& name) {
    std::vector<std::vector<uint64_t>> reports;
    const std::string title = name + " Results (", row = name + "(";
    for (const std::string& line : SplitLines(text)) {
        if (line.compare(0, title.size(), title) == 0) {
            reports.emplace_back(1, 0);  // index 0 unused: depths count from 1
        } else if (!reports.empty() && line.compare(0, row.size(), row) == 0) {
            unsigned depth = 0;
            unsigned long long nodes = 0;
            const std::string format = name + "(%u) Nodes = %llu";
            if (sscanf(line.c_str(), format.c_str(), &depth, &nodes) == 2 && depth == reports.back().size())
                reports.back().push_back(nodes);
        }
    }
    return reports;
}
