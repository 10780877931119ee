// Micro-benchmarks of the board core: copy-make plus the legality test, the innermost step of
// perft and the search.
#include <benchmark/benchmark.h>

#include <vector>

#include "board/board.h"

namespace {

struct Sample {
    Position pos;
    std::vector<Move> moves;
};

// Piece moves (no pawns) read straight off the attack tables; enough for a realistic mix of
// quiet moves and captures.
std::vector<Move> PieceMoves(const Position& p) {
    std::vector<Move> out;
    const int us = p.bSideToMove;
    Bitboard pieces = p.bbPieces[us][BB_ALL] & ~p.bbPieces[us][BB_PAWN];
    while (pieces) {
        int from = PopLowest(pieces);
        int type = CodeType(p.aBoard[from]);
        Bitboard att = type == KNIGHT   ? abbKnightAttacks[from]
                       : type == KING   ? abbKingAttacks[from]
                       : type == BISHOP ? BishopAttacks(p, from)
                       : type == ROOK   ? RookAttacks(p, from)
                                        : BishopAttacks(p, from) | RookAttacks(p, from);
        att &= ~p.bbPieces[us][BB_ALL];
        while (att) {
            int to = PopLowest(att);
            out.push_back(BuildMove(from, to, 0, 0, type, CodeType(p.aBoard[to])));
        }
    }
    return out;
}

std::vector<Sample>& Samples() {
    static std::vector<Sample> samples = [] {
        RandomReset();
        InitTables();
        const char* fens[] = {
            "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
            "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
            "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP3PPP/R2QKB1R b KQ - 0 8",
            "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
        };
        std::vector<Sample> v;
        for (const char* f : fens) {
            Sample s;
            GameState g{1, 0, {}};
            ParseFenQuiet(&s.pos, &g, f);
            s.moves = PieceMoves(s.pos);
            v.push_back(s);
        }
        return v;
    }();
    return samples;
}

void BM_MakeMoveLegality(benchmark::State& state) {
    auto& samples = Samples();
    Position child;
    size_t calls = 0;
    for (auto _ : state) {
        for (const Sample& s : samples) {
            const int us = s.pos.bSideToMove;
            for (Move m : s.moves) {
                MakeMove(m, &s.pos, &child, 1, 0);
                int legal = AttackedBy(KingSquare(child, us), &child, us ^ 1) == 0;
                benchmark::DoNotOptimize(legal);
                calls++;
            }
        }
    }
    state.SetItemsProcessed(int64_t(calls));
    state.counters["ns_per_call"] =
        benchmark::Counter(double(calls), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_MakeMoveLegality);

void BM_AttackedBy(benchmark::State& state) {
    auto& samples = Samples();
    size_t calls = 0;
    for (auto _ : state) {
        for (const Sample& s : samples)
            for (int sq = 0; sq < 64; sq++) {
                benchmark::DoNotOptimize(AttackedBy(sq, &s.pos, sq & 1));
                calls++;
            }
    }
    state.SetItemsProcessed(int64_t(calls));
}
BENCHMARK(BM_AttackedBy);

}  // namespace

BENCHMARK_MAIN();
