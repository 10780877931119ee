// Levelled diagnostic log shared by every thread, and the one way to standard output.
#pragma once

#include <cstddef>

// Every line the engine prints goes out whole under one output mutex: the interpreter answers
// ("readyok") while the search prints, and standard output is unbuffered, so a line written in
// pieces could be cut by another thread's. OutputLine formats like printf, then writes the text
// with a single write; the text may hold several whole lines.
void OutputLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
void OutputText(const char* text, size_t nLength);

// Prints the message when nTraceLevel is at least `level`; level 2 and above carry a
// "DEBUG <thread:seconds> " prefix, and at trace level 3 the message is also appended to the
// dump-log file.
void TraceLog(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The trace level is read by worker threads while the input thread may change it, so it is
// always written through here.
void SetTraceLevel(int level);
int TraceLevel();

// Names the dump-log file after the current local date and time.
void MakeDumpLogName();
// Copies the current dump-log name into buf (at least 64 bytes).
void GetDumpLogName(char* buf);
// Appends text to the dump-log file (under the trace lock, so it never cuts into a trace
// message). Nothing happens before the file has a name.
void AppendDumpLog(const char* text);
