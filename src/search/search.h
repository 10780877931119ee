// The searches: quiescence (Quiesce), the per-move extension/reduction/pruning decision
// (ExtendOrPrune) and the main principal-variation search (SearchFull), with the records they
// pass around and the move-ordering tables they keep.
//
// Units: depth and ply in quarter plies (ONE_PLY = 4); plyIndex = ply / 4 (0 at the root, at
// most 127). Scores in centipawns from the side to move; SCORE_INF, MATE and MATE_BOUND are in
// search/hash.h.
//
// Threads: every function here takes the worker number (0..kMaxThreads-1) of the calling search
// thread. Per-thread state (node counts, the line of repetition signatures, the irreversible-move
// marker) is indexed by it. The ordering tables (killers, history) are shared by all workers and
// touched only through relaxed atomic accesses (RelaxedLoad / RelaxedStore), so concurrent
// workers may lose an update but never race.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "board/board.h"
#include "movegen/movegen.h"
#include "search/hash.h"

inline constexpr int ONE_PLY = 4;

// ---------------------------------------------------------------------------------------
// Records.

// A principal variation, filled by every search call for its caller.
struct PvLine {
    uint32_t anMoves[kMaxPly];  // the line from this node on
    int32_t nLength;            // valid moves in anMoves
    int32_t nScore;             // score of the node; -SCORE_INF while no move has been scored
    int32_t nIteration;         // root only: iteration number in plies (root driver)
    int32_t nDepth;             // 0 at a leaf, child's nDepth + 1 per move, stored depth for a table line
    int32_t nSelDepth;          // root only: selective depth when the iteration ended (root driver)
};
static_assert(sizeof(PvLine) == 532);

// One node's entry, passed by pointer to its children. A node works on a copy of the entry it
// was given and hands that copy to its children (with the capture fields and expected node type
// of the move being searched); bLastIteration flows back up: a node writes its copy's flag into
// the entry it was given before it returns.
struct SearchStack {
    int32_t nBudget;         // per-move budget in whole seconds at the start of the search
    int32_t nRootMove;       // number of the root move being searched (written by the root node)
    int32_t nRootScore;      // score of the last completed iteration
    int32_t nCaptureSq;      // To of the move that led here if it captured, else -1
    int32_t nCapturedType;   // the type it captured, else -1
    int32_t nNodeType;       // expected node type: 0 PV, 1 cut, -1 all
    uint8_t bLastIteration;  // ask the root driver to stop after this iteration
};
static_assert(sizeof(SearchStack) == 28);

// Node types.
enum : int { NODE_PV = 0, NODE_CUT = 1, NODE_ALL = -1 };

// ---------------------------------------------------------------------------------------
// Shared move-ordering tables (anKiller1, anKiller2, anHistory and RootMoves live in
// movegen/movegen.h). Indexed [mover's colour][Piece - 1][To]. The counts start at 1 so that the
// cutoff ratio of ExtendOrPrune never divides by zero.
extern int anHistoryCutoffs[2][6][64];
extern int anHistoryTried[2][6][64];

// anHistory to 0, both counts to 1 (engine start and every new game; not between searches).
void ResetSearchHistory();
// History bookkeeping of a cutoff: the score grows by the squared depth in plies and the move
// counts as tried and as cutting off; AddHistoryTried counts a move searched before the cutoff.
// Both halve their tables when an entry reaches 30000.
void AddHistoryCutoff(int nSide, Move m, int nDepthPlies);
void AddHistoryTried(int nSide, Move m);
// A quiet cutoff move becomes the first killer of its row (the old first one moves down).
void UpdateKillers(int nRow, Move m);
// pv = m followed by the child's line (depth one more), with score nScore (stored atomically).
void SetLine(PvLine* pv, Move m, const PvLine& child, int nScore);
// Both killer tables to 0 (the root driver, before each search).
void ClearKillers();

// Relaxed atomic access to a word of a shared table.
template <class T>
inline T RelaxedLoad(const T& x) {
    return std::atomic_ref<T>(const_cast<T&>(x)).load(std::memory_order_relaxed);
}
template <class T>
inline void RelaxedStore(T& x, T v) {
    std::atomic_ref<T>(x).store(v, std::memory_order_relaxed);
}

// ---------------------------------------------------------------------------------------
// Per-search and per-thread data.

// Deepest plyIndex reached in the current search (the root driver clears it per search; any
// thread may raise it).
extern std::atomic<int> nSelDepth;
// Node total (nNodes + nQNodes of all workers) at which the next progress line is printed in
// UCI mode (the root driver starts it at 2,000,000).
extern std::atomic<uint64_t> nNextInfoNodes;

// Repetition signatures of each helper's line. Worker 0 searches on the game's own history
// (game.aGameHistory); a helper joining a split point gets a copy of worker 0's history here
// (and worker 0's irreversible-move marker in aThreadMarkers). Entry nGamePly + plyIndex holds
// the signature of the node at that ply index.
struct alignas(64) ThreadHistory {
    uint64_t aHistory[kGameHistorySize];
};
extern ThreadHistory aThreadHistory[kMaxThreads];  // entry 0 unused
inline uint64_t* SearchHistory(int nThread) {
    return nThread == 0 ? game.aGameHistory : aThreadHistory[nThread].aHistory;
}

// nNodes + nQNodes summed over the search workers.
uint64_t SearchNodeTotal();

// Split-point spin locks (taken with an atomic exchange, released with a store): the picker
// lock around NextMove on a shared MoveList, the result lock around the shared best score and
// line (and a helper's cutoff updates).
struct SpinLock {
    std::atomic<int> nLocked{0};
    void Lock();
    void Unlock() { nLocked.store(0, std::memory_order_release); }
};
extern SpinLock lockSplitPicker;
extern SpinLock lockSplitResult;

// ---------------------------------------------------------------------------------------
// The searches.

// Quiescence search below the main search's horizon: stand pat, captures sorted by gain (the
// first losing capture ends the list), all evasions when in check, delta pruning by static
// exchange at null windows. nQDepth counts remaining levels (32 from the main search), nPlyIndex
// is in whole plies. ss is handed unchanged to NeedToAbortMove. Returns the score (also in
// pvOut->nScore) and the line in pvOut. Never stores into the transposition table.
int Quiesce(const Position* pos, int nQDepth, int nAlpha, int nBeta, PvLine* pvOut, int nPlyIndex,
            SearchStack* ss, int nThread);

// Main alpha-beta search of one node (below one ply of depth it hands over to Quiesce).
// nDepth and nPly in quarter plies; bAllowNull is false for the child of a null move and for
// internal iterative deepening. pos->nInCheck must hold the attack kind on the side to move
// (InCheck). pos is not changed. Returns the score (also in pvOut->nScore) and the line. At ply
// 0 it is the root node: moves come in RootMoves order, their scores go back into RootMoves, and
// ss->nRootMove / ss->bLastIteration report to the root driver. The clock is consulted when the
// calling worker's own nNodes + nQNodes reaches a multiple of 1024.
int SearchFull(const Position* pos, int nDepth, int nAlpha, int nBeta, PvLine* pvOut, int nPly,
               bool bAllowNull, SearchStack* ss, int nThread);

// The decision for one legal move, after it was made into child and before it is searched:
// *pbPruned set (and 0 returned) when the move is skipped, else the depth adjustment in quarter
// plies (the caller searches the child at nDepth - ONE_PLY + adjustment). nMoveScore is the
// picker's score of the move, nCaptureSq the node's SearchStack::nCaptureSq, nNodeExt the node's
// extension so far (ONE_PLY after a single-reply extension), nGivesCheck the child's nInCheck,
// nMoveIndex the number of moves already searched at the node, nKingTermWhite/Black the king
// values Evaluate gave for the node (EVAL_NO_KING when it gave none: the king rules are off).
int ExtendOrPrune(Move move, const Position* child, int nAlpha, int nBeta, int nMoveScore, int nCaptureSq,
                  int nNodeExt, int nDepth, int nPly, bool bInCheck, int nGivesCheck, int nMoveIndex,
                  int nStaticEval, bool* pbPruned, int nKingTermWhite, int nKingTermBlack, int nThread);

// The newer rules (SearchStyle Strong). A node's figures for its per-move decisions.
struct PlanNode {
    int nDepth, nPly;   // quarter plies
    int nAlpha, nBeta;  // the window now (alpha raised by the moves searched)
    int nStaticEval;    // 0 in check
    int nBestScore;     // best score so far, -SCORE_INF before the first
    int nNodeExt;       // the node's own extension (single reply)
    bool bInCheck, bCutNode;
};
// One move's decision: skipped, or searched at the node's depth - ONE_PLY + nExtension, later
// moves first nReduction shallower with a null window.
struct MovePlan {
    bool bPruned;
    int nExtension;  // quarter plies
    int nReduction;  // quarter plies
};
// nMoveNumber counts the node's moves handed out so far, this one included.
MovePlan PlanMove(const PlanNode& node, const Position* pos, const Position* child, Move m, int nMoveScore,
                  int nMoveNumber);
// The late-move reduction table in whole plies (0 for the first move or no depth).
int ReductionPlies(int nDepthPlies, int nMoveNumber);
// A later move: null window at the reduced depth, again at the full depth when it beat alpha,
// then the full window when it lies inside (alpha, beta). Returns the score from the node's side.
int SearchLaterMove(const Position* child, int nNewDepth, int nReduction, int nAlpha, int nBeta,
                    PvLine* childPv, int nChildPly, SearchStack* local, int nThread);
// History with bonus and malus: the cutoff move gains, the quiet moves tried before it lose, each
// entry kept within +-16384 by gravity.
void UpdateQuietHistory(int nSide, Move best, const Move* aTried, int nTried, int nDepthPlies);

// White and black king values of a position, computed as Evaluate computes them (ending table
// blended with the middlegame king safety by the material phase). Cached per thread for the
// last position asked.
void ChildKingTerms(const Position* pos, int* anTerms, int nThread);

// ---------------------------------------------------------------------------------------
// Split points. Worker 0 offers a PV node to the idle helpers once its first move has been
// searched (nNumThreads >= 2). From then on the node's MoveList is shared (NextMove only under
// lockSplitPicker) and so is its PvLine (line and score written only under lockSplitResult; the
// score is read anywhere with RelaxedLoad); a helper's cutoff sets every worker's nJob to
// JOB_ABORT, which ends worker 0's move loop and makes it return the shared score. The list's
// aTried belongs to worker 0: a helper keeps the moves it searched in its own array.
struct SplitRequest {
    const Position* pPos;    // the node's position
    MoveList* pList;         // its picker (shared from now on)
    PvLine* pPv;             // its line; nScore is the node's best score
    const SearchStack* pSs;  // its local stack entry
    int nDepth;              // quarter plies
    int nAlpha;              // alpha the node was called with
    int nBeta;
    int nPly;  // quarter plies
    int nInCheck;
    int nStaticEval;
    int nNodeExt;
    bool bThreat;
};
// Hands the node to every idle helper; returns the mask of those that joined (bit h for worker
// h; 0: the node is not split). Worker 0 must wait for exactly these before leaving the node.
int OfferSplit(const SplitRequest& req);

// What a helper gets of the split node it joins (written by worker 0 while the helper is idle,
// read by the helper after it has seen JOB_SPLIT).
struct SplitSlot {
    Position pos;
    SearchStack ss;
    MoveList* pList;
    PvLine* pPv;
    int nDepth, nAlpha, nBeta, nNodeExt, nPly, nInCheck, nStaticEval;
    bool bThreat;
};
extern SplitSlot aSplitSlots[kMaxThreads];

// The helper's side of a split point (job JOB_SPLIT): takes moves from the shared picker and
// searches them with a null window until none are left, the search stops or a cutoff (its own
// or another worker's) ends the node.
void SplitSearch(int nThread);

// Root moves with their last scores, for the next iteration's order. At a split root several
// workers append (under lockSplitResult); the first move of each iteration starts the list anew,
// except in the searches for MultiPV's later lines, which update the scores of their moves.
void RecordRootMove(Move m, int nScore, bool bFirst);

// ---------------------------------------------------------------------------------------
// Root driver (iterate.cpp).

// Score the engine's last search returned for each colour: the centre of the first aspiration
// window, and part of the mate-stop and blunder rules. NewGame and "loaddump" set it.
extern int anLastScore[2];
// Seconds from the search start to the end of each iteration's last search call (index =
// iteration number). Written and read by the thread running the root driver.
inline constexpr int kMaxIterations = 255;
extern double adIterTime[kMaxIterations + 1];

// One search of pos: the book first, then iterations of 1..nMaxDepth plies with aspiration
// windows, the per-iteration output, the stop rules, and finally the principal variation
// written back into the table. Returns the score of the last completed iteration with its line
// in *result; when no iteration completed, *result is empty and the first window's centre is
// returned. aTestMoves (nTestMoves entries) is the EPD runner's list of solutions: iterating
// stops once a completed iteration's first move is one of them. nStartMs is the moment (NowMs)
// the search's time counts from, -1 for the call itself (the think driver passes the moment the
// job was handed over, so that allocating the tables counts against the budget).
// With nMultiPv > 1 each iteration searches the root again for each further line, without the
// moves of the lines before it, and prints them all, best first ("multipv K"); the result is
// the best of them. rootFilter.aOnly ("go searchmoves") limits the root moves (those not legal
// here are dropped; none left means all); nGoMate > 0 ends the search at the first iteration
// that proves a mate in that many moves or fewer. The book is not asked for a mate search.
int IterativeDeepening(const Position* pos, int nMaxDepth, PvLine* result, bool bShowBoard,
                       const Move* aTestMoves = nullptr, int nTestMoves = 0, int64_t nStartMs = -1);

// Aspiration after a search of the root returned nScore in (*pnAlpha, *pnBeta): false when the
// score lies inside (the iteration is complete). Otherwise the window for the next attempt: the
// first failure widens the failing side by the miss plus one, at least 60, and moves the other
// side 20 along; every later one opens the full window.
bool WidenWindow(int nScore, int* pnRetries, int* pnAlpha, int* pnBeta);

// Whether another iteration can finish in a clock-based budget: each iteration is assumed to
// take bf times longer than the last, bf = (tLast - tPrev) / tPrev from the end times of the last
// two; it does not fit when tLast + bf * tLast exceeds 1.2 * dBudget. Iterations too fast to
// measure (tPrev 0) always fit. *pdBf and *pdEstimate receive the figures when given.
bool NextIterationFits(double tPrev, double tLast, double dBudget, double* pdBf = nullptr,
                       double* pdEstimate = nullptr);

// The move to play when the search left no line: the best root move of an interrupted first
// iteration, else the table's move for the root, else the first legal move; 0 only when pos
// has no legal move. Every candidate is checked for pseudo-legality and legality.
Move FallbackMove(const Position* pos);

// ---------------------------------------------------------------------------------------
// Time control (timecontrol.cpp).

// Clock (NowMs) at the start of the running search; elapsed times count from here (a ponder
// search that became a normal one keeps its start).
extern std::atomic<int64_t> nSearchStartTicks;
// Set by the root driver while it runs: only then does the clock limit a search (a bare
// SearchFull call, as the tests make, stops only on bStopSearch or the node limit).
extern std::atomic<bool> bSearchClock;
// Seconds since nSearchStartTicks.
double SearchElapsed();

// True when the search must stop now (does not set bStopSearch itself). Called every 1024
// nodes; with a clock-based budget it may extend the budget of the engine's side (and then set
// ss->bLastIteration).
bool NeedToAbortMove(SearchStack* ss);

// The engine side's per-move budget in seconds; the search may raise it while other threads
// read it, so it is accessed atomically. A side outside 0..1 reads as no budget (0).
double MoveBudget(int nSide);
void SetMoveBudget(int nSide, double dSeconds);

// ---------------------------------------------------------------------------------------
// Search output (output.cpp).

// Number of leading moves of aMoves[0..n) that are pseudo-legal and legal in turn from pos (a
// line read from the table or the book is checked before it is shown or played). The position
// after them goes to *end when given.
int ValidLineLength(const Position* pos, const Move* aMoves, int n, Position* end = nullptr);

// Moves read from the table after pos (slot 0 of each bucket, each checked), at most nMax;
// returns their number. None when the table is disabled.
int HashContinuation(const Position* pos, int nMax, Move* aOut);

// The iteration line for a GUI: "info score ... pv ...", then the table's continuation. The
// score is "cp N", or "mate N" (moves, negative when the side to move is mated) beyond
// MATE_BOUND. A line of several (MultiPV) carries its number, "multipv K", after the depths.
std::string FormatUciInfo(const Position* pos, const PvLine& line, int nIteration, int nAlpha, int nBeta,
                          double dSeconds, uint64_t nNodes, int nSelDepthPlies, double dHashFull,
                          int nMultiPvIndex = 0);
// The console iteration line (SAN with move numbers counted from nFullMove, "(h)" on table
// moves).
std::string FormatConsoleLine(const Position* pos, const PvLine& line, int nAlpha, int nBeta, double dSeconds,
                              uint64_t nNodes, int nFullMove);
// The two above with the search's own figures; the UCI line also goes to the dump log at trace
// level 3.
void PrintUciInfo(const Position* pos, const PvLine& line, int nIteration, int nAlpha, int nBeta,
                  int nMultiPvIndex = 0);
void PrintConsoleLine(const Position* pos, const PvLine& line, int nAlpha, int nBeta);
// The UCI progress line "info currmovenumber ..."; a null szMove repeats the last number and
// move printed in this search (a line without them when there is none yet). The move is in
// coordinate notation. Safe from any thread.
void PrintCurrMove(int nNumber, const char* szMove, uint64_t nNodeTotal, double dHashFull);
// Forgets the remembered progress move (start of a search).
void ResetCurrMove();

// ---------------------------------------------------------------------------------------
// Think driver (think.cpp) and dump files (dump.cpp).

// Set by "go infinite": a search that ends by itself holds its best move until "stop", as a
// ponder search holds it until "ponderhit" or "stop".
extern std::atomic<bool> bInfiniteSearch;

// New game (newgame.cpp): start position, hash tables released (each user allocates a missing
// one again at the then current size), book reloaded, statistics, history and killers cleared.
void NewGame(Position* pos);
void FreeHashTables();
void ResetSearchStats();
// Clears the killer tables and the history table.
void ResetHistoryTables();

// Turns the clock settings into per-move time budgets and sets the low-time flags
// (timecontrol.cpp).
void AllocateTime();

// The game the engine's move is played in belongs to the console, which fills this in at
// start-up: pPlayMove plays m in the game if the game still stands at the searched root (its
// key) and says whether it did; pShowGame prints the game's board.
struct GameHooks {
    bool (*pPlayMove)(uint64_t nRootKey, Move m) = nullptr;
    void (*pShowGame)() = nullptr;
};
extern GameHooks gameHooks;

// Job 4 of worker 0: one search of pos, then exactly one "bestmove" line in UCI mode (or the
// console's "Making move" and board), the game move played on the engine's position, and the
// statistics CSV line. Time counts from nStartMs (NowMs; -1 for now).
void Think(const Position* pos, int64_t nStartMs = -1);

// "QM_1.04.dump": the three hash tables (WriteDump), then the killers, the first 600 game
// history entries, worker 0's irreversible-move marker and anLastScore (appended by the root
// driver at trace level 3).
inline constexpr int kDumpHistoryEntries = 600;
extern const char* const kDumpFileName;
bool WriteDump(const char* szName);
bool AppendDumpState(const char* szName);
// Expected size of a dump for the current table-size settings.
uint64_t DumpFileBytes();
// The "loaddump" command: the tables at the current sizes and the search state from a dump.
// A missing file, or one whose size does not fit the current table sizes, is reported and
// changes nothing. Call only while no search runs.
bool LoadDump(const char* szName);
