// Runs the engine binary the way a GUI would: a script on standard input, standard output
// captured, with a time limit.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct EngineRun {
    std::string sOut;    // standard output
    std::string sErr;    // standard error (sanitizer reports land here)
    int nExitCode = -1;  // -1 when killed or not started
    bool bTimedOut = false;
    double dSeconds = 0;
};

// Feeds `input` to QM_BINARY on standard input (then closes it) and waits at most nTimeoutMs.
// The engine runs in a fresh temporary directory so that no file of the tree is touched.
EngineRun RunEngine(const std::string& input, int nTimeoutMs = 60000);

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
