#include "platform/platform.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <thread>

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int64_t WallSeconds() {
    return int64_t(std::time(nullptr));
}

void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

long CurrentThreadId() {
    return long(syscall(SYS_gettid));
}

std::string ExecutableDir() {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    if (n <= 0) return "";
    std::string path(buf, size_t(n));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash);
}

bool IsTerminal(FILE* stream) {
    return isatty(fileno(stream)) != 0;
}

void SetConsoleAttribute(FILE* stream, int attr) {
    if (attr == 7) {
        fputs("\x1b[0m", stream);
        return;
    }
    // Background: 0xF0 bright white, 0x70 grey. Foreground: 4 red, 0 black.
    const char* bg = (attr & 0x80) ? "107" : "47";
    const char* fg = (attr & 0x04) ? "31" : "30";
    fprintf(stream, "\x1b[%s;%sm", fg, bg);
}

void Event::Signal() {
    {
        std::lock_guard<std::mutex> lock(mtx);
        bSignalled = true;
    }
    cv.notify_one();
}

void Event::Reset() {
    std::lock_guard<std::mutex> lock(mtx);
    bSignalled = false;
}

void Event::Wait() {
    std::unique_lock<std::mutex> lock(mtx);
    cv.wait(lock, [this] { return bSignalled; });
    bSignalled = false;
}
