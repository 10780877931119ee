// Engine settings and search-control state: plain records read by every layer. The options
// write them (console), the searches read them; nothing here knows about either.
#pragma once

#include <atomic>
#include <cstdint>

inline constexpr const char* kVersion = "1.04";
inline constexpr int kMaxThreads = 4;

// Options (changed by SetOption).
extern int nHashMB;
extern int nPawnHashKB;
extern int nEvalHashMB;
extern bool bPonder;
extern bool bOwnBook;
extern int nNumThreads;
extern bool bLogStats;
extern int nTraceLevel;
extern int nTimeBuffer;
extern int nNumBeers;
// MultiPV: the number of best lines every iteration searches and prints.
inline constexpr int kMaxMultiPv = 64;
extern int nMultiPv;
// UCI_AnalyseMode: the GUI analyses rather than plays, so the book stays out of it.
extern bool bAnalyseMode;

// Other settings and game/search control state (set by InitDefaults).
extern int nSeed;
extern std::atomic<bool> bUciMode;
extern bool bShowBoard;
extern int nEngineSide;
// The lasting depth limit ("sd", the start-up default) and the one "go depth"/"go infinite"
// gave the current search only (0: none); SearchDepthLimit is what a search obeys.
extern int nMaxDepth;
extern int nGoDepth;
// Deepest iteration the root driver runs; every per-iteration array holds this many entries.
inline constexpr int kMaxSearchDepth = 255;
// A requested maximum depth within 1..kMaxSearchDepth.
inline int ClampMaxDepth(int nDepth) {
    return nDepth < 1 ? 1 : nDepth > kMaxSearchDepth ? kMaxSearchDepth : nDepth;
}
inline int SearchDepthLimit() {
    return nGoDepth > 0 ? nGoDepth : nMaxDepth;
}
// "go mate N": the search ends once an iteration has found a mate in N moves or fewer (0: no
// such goal). Set by each "go".
extern int nGoMate;
extern bool bFixedTime;
extern double dClock[2];
extern int nIncrement[2];
// The increment as given, in seconds: a 0.1-second increment must not round away to nothing.
extern double dIncrement[2];
extern int nMovesToGo[2];
extern double dMoveTime[2];
extern int64_t nNodeLimit;
// Soft node limit (data generation): no iteration starts once the search has used this many
// nodes, so every answer comes from a finished iteration; nNodeLimit stays the hard stop.
extern int64_t nSoftNodeLimit;
extern bool bLowTime[2];
// The clock's target per move: iterations stop starting past it, while dMoveTime is the limit
// at which a search is cut off. The first design has no second limit: the two are equal.
extern double dSoftTime[2];

// SearchStyle: Strong (the default), the search and clock changes that passed their SPRT
// (docs/strength.md); Classic, the first design's search and clock rules exactly, so that its
// tests and a side-by-side comparison stay available.
extern bool bClassicStyle;

// Evaluation: the learned net (nnue/) when true and a net is loaded, else the hand-written one.
extern bool bNetEval;

// Flags shared between the input thread and the workers.
extern std::atomic<bool> bPondering;
extern std::atomic<bool> bStopSearch;
extern std::atomic<bool> bThinking;

// Table allocations print their sizes only at the console, where nobody parses the output.
inline bool ShowHashMessages() {
    return !bUciMode && bShowBoard;
}
