// Evaluation speed over the Win At Chess positions: full evaluations, the null-window calls of
// the search (lazy exits), and evaluation-cache hits.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "board/board.h"
#include "core/settings.h"
#include "eval/eval.h"
#include "search/hash.h"
#include "tools/epd.h"

namespace {

// The test data lives in the repository's data folder, beside bench/.
std::string DataDir() {
    std::string file = __FILE__;  // <source>/bench/eval_bench.cpp
    std::string src = file.substr(0, file.rfind('/'));
    return src.substr(0, src.rfind('/')) + "/data";
}

const std::vector<Position>& WacPositions() {
    static std::vector<Position> positions = [] {
        RandomReset();
        InitTables();
        std::vector<Position> v;
        const std::string path = DataDir() + "/epd/wac.epd";
        char szMoves[kEpdTextSize], szId[kEpdTextSize];
        Position pos;
        int nStatus;
        for (int i = 0; ReadEpdRecord(path.c_str(), &pos, szMoves, i, szId, &nStatus); i++)
            if (nStatus == EPD_OK) v.push_back(pos);
        return v;
    }();
    return positions;
}

// Table set-up of one benchmark: pawn hash on or off, evaluation cache on or off.
void SetTables(bool bPawnHash, bool bEvalHash) {
    bShowBoard = false;
    nNumBeers = 0;
    nPawnHashKB = bPawnHash ? 1024 : 0;
    nEvalHashMB = bEvalHash ? 16 : 0;
    AllocPawnHash(false);
    AllocEvalHash(false);
}

void RunOverWac(benchmark::State& state, int nAlpha, int nBeta) {
    const auto& positions = WacPositions();
    int an[2];
    size_t calls = 0;
    for (auto _ : state) {
        for (const Position& pos : positions) {
            benchmark::DoNotOptimize(Evaluate(&pos, nAlpha, nBeta, 0, an, 0));
            calls++;
        }
    }
    state.SetItemsProcessed(int64_t(calls));
    state.counters["evals_per_s"] = benchmark::Counter(double(calls), benchmark::Counter::kIsRate);
}

// Every call runs the whole pipeline (no cache; pawn entries come from the pawn hash).
void BM_EvaluateFull(benchmark::State& state) {
    SetTables(true, false);
    RunOverWac(state, -32000, 32000);
}
BENCHMARK(BM_EvaluateFull);

// The same without the pawn hash: the pawn structure is recomputed every time.
void BM_EvaluateFullNoPawnHash(benchmark::State& state) {
    SetTables(false, false);
    RunOverWac(state, -32000, 32000);
}
BENCHMARK(BM_EvaluateFullNoPawnHash);

// Null window at 0, as in the search's zero-window nodes: positions far from equality leave
// through a lazy exit.
void BM_EvaluateNullWindow(benchmark::State& state) {
    SetTables(true, false);
    RunOverWac(state, 0, 1);
}
BENCHMARK(BM_EvaluateNullWindow);

// With the evaluation cache every call after the first pass is a cache hit.
void BM_EvaluateCacheHit(benchmark::State& state) {
    SetTables(true, true);
    RunOverWac(state, -32000, 32000);
}
BENCHMARK(BM_EvaluateCacheHit);

}  // namespace
