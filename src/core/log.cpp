#include "core/log.h"

#include <atomic>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>

#include "core/settings.h"
#include "platform/platform.h"

namespace {

// Serialises all output (screen and dump log) of every thread.
std::mutex mtxOutput;
char szDumpLogName[64] = "";

// Formats into buf (nSize bytes) or, when the text is longer, into a new buffer that *pHeap
// owns; returns the text and its length in *pn (-1 on a format error).
const char* FormatV(char* buf, size_t nSize, char** pHeap, int* pn, const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int n = vsnprintf(buf, nSize, format, args);
    *pHeap = nullptr;
    if (n >= 0 && size_t(n) >= nSize) {
        *pHeap = new char[size_t(n) + 1];
        vsnprintf(*pHeap, size_t(n) + 1, format, copy);
    }
    va_end(copy);
    *pn = n;
    return *pHeap ? *pHeap : buf;
}

// Caller holds mtxOutput.
void WriteStdout(const char* text, size_t nLength) {
    fwrite(text, 1, nLength, stdout);
    fflush(stdout);
}

}  // namespace

void OutputText(const char* text, size_t nLength) {
    std::lock_guard<std::mutex> lock(mtxOutput);
    WriteStdout(text, nLength);
}

void OutputLine(const char* format, ...) {
    char local[1024];
    char* heap;
    int n;
    va_list args;
    va_start(args, format);
    const char* text = FormatV(local, sizeof(local), &heap, &n, format, args);
    va_end(args);
    if (n > 0) OutputText(text, size_t(n));
    delete[] heap;
}

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
    std::lock_guard<std::mutex> lock(mtxOutput);
    snprintf(szDumpLogName, sizeof(szDumpLogName), "QM_%s_%04d%02d%02d_%02d%02d%02d.dump.log", kVersion,
             t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
}

void GetDumpLogName(char* buf) {
    std::lock_guard<std::mutex> lock(mtxOutput);
    memcpy(buf, szDumpLogName, sizeof(szDumpLogName));
}

void AppendDumpLog(const char* text) {
    std::lock_guard<std::mutex> lock(mtxOutput);
    if (szDumpLogName[0]) {
        if (FILE* f = fopen(szDumpLogName, "a")) {
            fputs(text, f);
            fclose(f);
        }
    }
}

void TraceLog(int level, const char* format, ...) {
    const int nLevel = TraceLevel();
    if (level > nLevel) return;

    // The prefix and the message are composed first and written with one call, so that no
    // other output can fall between them.
    char prefix[64] = "";
    int nPrefix = 0;
    if (level >= 2)
        nPrefix =
            snprintf(prefix, sizeof(prefix), "DEBUG <%ld:%" PRId64 "> ", CurrentThreadId(), WallSeconds());
    if (nPrefix < 0 || nPrefix >= int(sizeof(prefix))) nPrefix = 0;

    char local[1024];
    memcpy(local, prefix, size_t(nPrefix));
    char* heap;
    int n;
    va_list args;
    va_start(args, format);
    const char* body = FormatV(local + nPrefix, sizeof(local) - size_t(nPrefix), &heap, &n, format, args);
    va_end(args);
    if (n < 0) return;

    std::lock_guard<std::mutex> lock(mtxOutput);
    if (!heap) {
        WriteStdout(local, size_t(nPrefix + n));
    } else {
        std::string whole(prefix, size_t(nPrefix));
        whole.append(body, size_t(n));
        WriteStdout(whole.data(), whole.size());
    }
    // The file copy has no prefix.
    if (nLevel == 3 && szDumpLogName[0]) {
        if (FILE* f = fopen(szDumpLogName, "a")) {
            fwrite(body, 1, size_t(n), f);
            fclose(f);
        }
    }
    delete[] heap;
}
