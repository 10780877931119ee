// The "test" command: searches every position of an EPD file for a fixed time and counts the
// answers that match the record's expected moves.
#pragma once

#include "board/board.h"

// At most this many expected moves of a record are used; later ones are ignored.
inline constexpr int kEpdMaxExpected = 20;
// A negative time runs the whole file this many times, to show the spread between runs.
inline constexpr int kEpdRepeatRuns = 100;

// Runs the file on the calling thread: one line per position, a result line and the summed
// search statistics per run. nSecs 0 searches each position to depth 1 (and leaves the depth
// limit at 1); a negative nSecs makes kEpdRepeatRuns runs of -nSecs seconds. Records with an
// invalid position are reported and skipped. Returns the correct answers of the last run (-1
// when the file cannot be opened). Inside a tool job it ends early once ToolAborted() says so.
// Call only while no other search runs; outside a tool job only with one thread, since the
// helpers then sleep and a split point would wait for them for ever.
int RunEpdTest(const char* szFile, int nSecs);

// Allocates each of the three shared hash tables that is missing and has a size set.
void AllocMissingHashTables();
// The console game (counters, repetition history, irreversible-move marker, last scores), kept
// aside while a tool searches positions of its own as new games. One slot: tools do not nest.
void SaveConsoleGame();
void RestoreConsoleGame();

// The interpreter's "test EPD SECS": copies the arguments and starts RunEpdTest as a worker-0
// tool job, then returns at once (an empty file name prints the usage).
void EpdTestCommand(const char* szFile, int nSecs);
