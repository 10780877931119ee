// "datagen OUT --positions N [...]": self-play games at a fixed node count per move, written as
// training positions (tools/posdata.h, docs/training-data.md).
//
// The searches keep their state in process-wide tables (transposition table, history, the game
// line), so parallel games run in worker processes: the program starts itself once per game
// slot ("--threads") as "quietmarmoset datagen-worker ...", and each worker sends its finished
// games down a pipe. The parent alone writes the file, a whole game at a time, and prints the
// progress; stopping it ends the workers and loses at most the games they had not finished.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/posdata.h"

struct DatagenOptions {
    std::string sOut;
    uint64_t nPositions = 0;  // stop once the file has gained this many
    int nNodes = 5000;        // soft node limit per move (no iteration starts past it)
    int nThreads = 1;         // games played at once
    uint64_t nSeed = 1;
    int nRandomPlies = 8;  // random legal plies that open each game
    int nDepthCap = 24;    // iterations never go deeper
    int nHashMB = 16;
    bool bAppend = false;
    int nEval = -1;         // -1 the engine's setting, 0 hand-written, 1 net
    std::string sEvalFile;  // a net to load first (implies the net)
    int nMaxPlies = 400;    // a game longer than this is a draw
};

// Reads "OUT --positions N [--nodes K] [--threads T] [--seed S] [--random-plies P]
// [--depth D] [--hash MB] [--append] [--eval hand|net] [--evalfile PATH]" from argv[first..].
bool ParseDatagenArgs(int argc, const char* const* argv, int first, DatagenOptions* pOpt, std::string* pErr);
extern const char* const kDatagenUsage;

// The parent's run to its end (or to a stop: bStop polled, or the tool job aborted); true when
// every asked position was written.
bool RunDatagen(const DatagenOptions& opt, const volatile bool* pbStop = nullptr);
// The console command: the same as a tool job that "stop" and "quit" end.
void DatagenCommand(const DatagenOptions& opt);
// "quietmarmoset datagen-worker SEED NODES PLIES DEPTH HASH MAXPLIES EVAL [EVALFILE]": plays
// games for ever, writing each to standard output as a packet (a 4-byte record count, a result
// byte, three zero bytes, then the records), until its input closes or the parent ends it.
int DatagenWorkerMain(int argc, char** argv);

// One game of the worker, for the tests: the records it keeps and the result from white's
// view (0, 1, 2). The engine must be initialised; rng state is the caller's.
struct GamePlayed {
    int nResult;  // -1: the opening was discarded (no game)
    int nPlies;
};
GamePlayed PlaySelfPlayGame(const DatagenOptions& opt, uint64_t* pnRng, std::vector<PosRecord>* pOut);
