#include "search/log.h"

#include <atomic>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <thread>

#include "board/board.h"
#include "console/options.h"
#include "platform/platform.h"

namespace {

std::atomic<bool> bTraceLock{false};
char szDumpLogName[64] = "";

void LockTrace() {
    int spins = 0;
    while (bTraceLock.exchange(true, std::memory_order_acquire)) {
        CpuPause();
        if (++spins > 64) std::this_thread::yield();
    }
}

void UnlockTrace() {
    bTraceLock.store(false, std::memory_order_release);
}

}  // namespace

void SetTraceLevel(int level) {
    std::atomic_ref<int>(nTraceLevel).store(level, std::memory_order_relaxed);
}

int TraceLevel() {
    return std::atomic_ref<int>(nTraceLevel).load(std::memory_order_relaxed);
}

void MakeDumpLogName() {
    time_t now = time(nullptr);
    struct tm t;
    localtime_r(&now, &t);
    LockTrace();
    snprintf(szDumpLogName, sizeof(szDumpLogName), "QM_%s_%04d%02d%02d_%02d%02d%02d.dump.log", kVersion,
             t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    UnlockTrace();
}

void GetDumpLogName(char* buf) {
    LockTrace();
    memcpy(buf, szDumpLogName, sizeof(szDumpLogName));
    UnlockTrace();
}

void AppendDumpLog(const char* text) {
    LockTrace();
    if (szDumpLogName[0]) {
        if (FILE* f = fopen(szDumpLogName, "a")) {
            fputs(text, f);
            fclose(f);
        }
    }
    UnlockTrace();
}

void TraceLog(int level, const char* format, ...) {
    const int nLevel = TraceLevel();
    if (level > nLevel) return;

    // Format once: the text goes to the screen and possibly to the file.
    char local[1024];
    char* text = local;
    va_list args;
    va_start(args, format);
    int n = vsnprintf(local, sizeof(local), format, args);
    va_end(args);
    if (n < 0) return;
    if (size_t(n) >= sizeof(local)) {
        text = new char[size_t(n) + 1];
        va_start(args, format);
        vsnprintf(text, size_t(n) + 1, format, args);
        va_end(args);
    }

    LockTrace();
    if (level >= 2) printf("DEBUG <%ld:%" PRId64 "> ", CurrentThreadId(), WallSeconds());
    fputs(text, stdout);
    if (nLevel == 3 && szDumpLogName[0]) {
        if (FILE* f = fopen(szDumpLogName, "a")) {
            fputs(text, f);
            fclose(f);
        }
    }
    fflush(stdout);
    UnlockTrace();

    if (text != local) delete[] text;
}
