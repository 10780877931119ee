// Small platform layer: monotonic clock, console colours, CPU pause and an auto-reset event.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

// Milliseconds of a monotonic wall clock (never CPU time).
int64_t NowMs();
// Seconds since 1970 (calendar time), for seeds and log prefixes.
int64_t WallSeconds();
// Sleeps the calling thread.
void SleepMs(int ms);
// A numeric id of the calling thread, for log prefixes.
long CurrentThreadId();

// The folder of the running program (from /proc/self/exe), without a trailing slash; empty
// when it cannot be found.
std::string ExecutableDir();

// True when the stream is an interactive terminal (colours are then used).
bool IsTerminal(FILE* stream);
// Sets a Windows-style console attribute (0xF0 light/black, 0xF4 light/red, 0x70 grey/black,
// 0x74 grey/red, 7 = reset) on a terminal with ANSI escape codes.
void SetConsoleAttribute(FILE* stream, int attr);

// Spin-loop hint.
inline void CpuPause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

// Auto-reset event: Signal wakes one waiter (or the next one to wait), Wait consumes it.
struct Event {
    std::mutex mtx;
    std::condition_variable cv;
    bool bSignalled = false;
    void Signal();
    void Reset();
    void Wait();
};
