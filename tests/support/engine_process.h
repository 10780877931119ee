// Runs the engine binary the way a GUI would: a script on standard input, standard output
// captured, with a time limit.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Sanitized builds run several times slower: time limits of the engine tests stretch alike.
#ifdef QM_SANITIZED
constexpr int kSlow = 8;
#else
constexpr int kSlow = 1;
#endif

struct EngineRun {
    std::string sOut;    // standard output
    std::string sErr;    // standard error (sanitizer reports land here)
    int nExitCode = -1;  // -1 when killed or not started
    bool bTimedOut = false;
    double dSeconds = 0;
};

// Puts the engine binary (QM_BINARY) into dir, as a link or a copy, and returns its path (the
// binary itself when neither works). The engine looks for its book beside itself too: a copy
// in a fresh folder keeps a book in the build folder out of the tests.
std::string PlaceEngine(const std::string& dir);

// Feeds `input` to the engine on standard input (then closes it) and waits at most nTimeoutMs.
// The engine runs in a fresh temporary directory so that no file of the tree is touched; sExe
// names the binary to run (default: a copy of QM_BINARY placed in that directory), args its
// command-line arguments.
EngineRun RunEngine(const std::string& input, int nTimeoutMs = 60000, const std::string& sExe = "",
                    const std::vector<std::string>& args = {});

// The engine binary in a conversation: lines are sent one at a time and the replies read as they
// come, with their arrival times, so that tests can measure how fast the engine answers.
struct EngineSession {
    int nPid = -1;
    int fdIn = -1;         // the engine's standard input
    int fdOut = -1;        // its standard output
    std::string sDir;      // its working directory (a fresh temporary one, removed at the end)
    std::string sPending;  // output read but not yet split into lines
    std::string sOut;      // everything it printed so far
    int64_t nStartMs = 0;
};

// Starts a copy of QM_BINARY (PlaceEngine) in a fresh temporary directory; false when it cannot be started.
bool StartSession(EngineSession* s);
// Sends one line (a line end is added); returns the time it was sent (SessionMs).
int64_t SendLine(EngineSession* s, const std::string& line);
// Milliseconds since the session started.
int64_t SessionMs(const EngineSession* s);
// Reads lines until one starts with prefix or nTimeoutMs pass (or the engine ends its output).
// The line goes to *pLine and its arrival time (SessionMs) is returned; -1 when none came. Lines
// read on the way are appended to *pSkipped when given.
int64_t ReadLineStarting(EngineSession* s, const std::string& prefix, int nTimeoutMs, std::string* pLine,
                         std::vector<std::string>* pSkipped = nullptr);
// Sends "quit" (unless bSendQuit is false), waits up to nTimeoutMs for the exit, kills the
// engine if it is still running, removes its directory and returns the exit code (-1 when it
// had to be killed).
int EndSession(EngineSession* s, int nTimeoutMs = 5000, bool bSendQuit = true);

// The lines of a text, without their line ends.
std::vector<std::string> SplitLines(const std::string& text);
// Number of lines equal to `line`.
int CountLine(const std::string& text, const std::string& line);
// Index of the first line that starts with `prefix`, or -1.
int FindLineStarting(const std::vector<std::string>& lines, const std::string& prefix, int from = 0);

// The node counts of every perft report in an engine's output ("Perft" or "PerftE"): one
// vector per report, indexed by depth (index 0 unused).
std::vector<std::vector<uint64_t>> ParsePerftReports(const std::string& text,
                                                     const std::string& name = "Perft");
