#include "support/engine_process.h"

#include <fcntl.h>
#include <poll.h>
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

std::string PlaceEngine(const std::string& dir) {
    // A link costs nothing; across file systems a copy does the same.
    const std::string exe = dir + "/quietmarmoset";
    std::error_code ec;
    std::filesystem::create_hard_link(QM_BINARY, exe, ec);
    if (ec) std::filesystem::copy_file(QM_BINARY, exe, std::filesystem::copy_options::overwrite_existing, ec);
    return ec ? std::string(QM_BINARY) : exe;
}

EngineRun RunEngine(const std::string& input, int nTimeoutMs, const std::string& sExe,
                    const std::vector<std::string>& args) {
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
    const std::string exe = sExe.empty() ? PlaceEngine(sDir) : sExe;
    std::vector<char*> argv{const_cast<char*>(exe.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const auto t0 = std::chrono::steady_clock::now();
    const int rc = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), environ);
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

namespace {

int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

bool StartSession(EngineSession* s) {
    char dirTemplate[] = "/tmp/qm_session_XXXXXX";
    const char* dir = mkdtemp(dirTemplate);
    if (!dir) return false;
    s->sDir = dir;
    int toEngine[2], fromEngine[2];
    if (pipe(toEngine) != 0) return false;
    if (pipe(fromEngine) != 0) {
        close(toEngine[0]);
        close(toEngine[1]);
        return false;
    }
    const std::string errPath = s->sDir + "/stderr.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toEngine[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromEngine[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addclose(&actions, toEngine[1]);
    posix_spawn_file_actions_addclose(&actions, fromEngine[0]);
    posix_spawn_file_actions_addchdir_np(&actions, s->sDir.c_str());
    const std::string exe = PlaceEngine(s->sDir);
    char* argv[] = {const_cast<char*>(exe.c_str()), nullptr};
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(toEngine[0]);
    close(fromEngine[1]);
    if (rc != 0) {
        close(toEngine[1]);
        close(fromEngine[0]);
        return false;
    }
    // A test that fails half-way must not hang on a full pipe or die of SIGPIPE.
    signal(SIGPIPE, SIG_IGN);
    s->nPid = pid;
    s->fdIn = toEngine[1];
    s->fdOut = fromEngine[0];
    s->nStartMs = SteadyMs();
    return true;
}

int64_t SessionMs(const EngineSession* s) {
    return SteadyMs() - s->nStartMs;
}

int64_t SendLine(EngineSession* s, const std::string& line) {
    const std::string text = line + "\n";
    size_t done = 0;
    while (s->fdIn >= 0 && done < text.size()) {
        const ssize_t n = write(s->fdIn, text.data() + done, text.size() - done);
        if (n <= 0) break;
        done += size_t(n);
    }
    return SessionMs(s);
}

int64_t ReadLineStarting(EngineSession* s, const std::string& prefix, int nTimeoutMs, std::string* pLine,
                         std::vector<std::string>* pSkipped) {
    const int64_t nEnd = SessionMs(s) + nTimeoutMs;
    for (;;) {
        size_t nl;
        while ((nl = s->sPending.find('\n')) != std::string::npos) {
            std::string line = s->sPending.substr(0, nl);
            s->sPending.erase(0, nl + 1);
            if (line.compare(0, prefix.size(), prefix) == 0) {
                if (pLine) *pLine = line;
                return SessionMs(s);
            }
            if (pSkipped) pSkipped->push_back(line);
        }
        const int64_t nLeft = nEnd - SessionMs(s);
        if (nLeft <= 0 || s->fdOut < 0) return -1;
        pollfd p{s->fdOut, POLLIN, 0};
        if (poll(&p, 1, int(nLeft)) <= 0) continue;
        char buf[65536];
        const ssize_t n = read(s->fdOut, buf, sizeof(buf));
        if (n <= 0) {
            close(s->fdOut);
            s->fdOut = -1;
            continue;
        }
        s->sPending.append(buf, size_t(n));
        s->sOut.append(buf, size_t(n));
    }
}

int EndSession(EngineSession* s, int nTimeoutMs, bool bSendQuit) {
    if (bSendQuit) SendLine(s, "quit");
    if (s->fdIn >= 0) close(s->fdIn);
    s->fdIn = -1;
    int code = -1;
    if (s->nPid > 0) {
        const int64_t nEnd = SessionMs(s) + nTimeoutMs;
        int status = 0;
        for (;;) {
            // Keep draining the output so that the engine never blocks on a full pipe.
            ReadLineStarting(s, "\x01", 2, nullptr, nullptr);
            const pid_t r = waitpid(s->nPid, &status, WNOHANG);
            if (r == s->nPid) {
                if (WIFEXITED(status)) code = WEXITSTATUS(status);
                break;
            }
            if (SessionMs(s) > nEnd) {
                kill(s->nPid, SIGKILL);
                waitpid(s->nPid, &status, 0);
                break;
            }
        }
        s->nPid = -1;
    }
    if (s->fdOut >= 0) close(s->fdOut);
    s->fdOut = -1;
    std::error_code ec;
    if (!s->sDir.empty()) std::filesystem::remove_all(s->sDir, ec);
    return code;
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
