// Random legal positions: the evaluation is colour-symmetric and the caches never change a score.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "board/board_test_util.h"
#include "core/settings.h"
#include "eval/eval.h"
#include "movegen/movegen.h"
#include "search/hash.h"

namespace {

int Eval(const Position& p, int alpha = -32000, int beta = 32000) {
    int anKing[2];
    return Evaluate(&p, alpha, beta, 0, anKing, 0);
}

std::vector<Position> RandomPositions(int nGames, int nPlies, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<Position> out;
    for (int g = 0; g < nGames; g++) {
        Position pos;
        SetStartPosition(&pos);
        for (int ply = 0; ply < nPlies; ply++) {
            Move aMoves[kMaxMoves];
            int n = GenerateCaptures(&pos, aMoves);
            n += GenerateQuiets(&pos, aMoves + n);
            std::vector<Move> legal;
            for (int i = 0; i < n; i++)
                if (IsLegalMove(&pos, aMoves[i])) legal.push_back(aMoves[i]);
            if (legal.empty()) break;
            Position next;
            MakeMove(legal[rng() % legal.size()], &pos, &next, 0, -1);
            pos = next;
            out.push_back(pos);
        }
    }
    return out;
}

TEST(EvalRandom, MirroredPositionsAndCachesGiveTheSameScores) {
    EnsureTables();
    const int savedBeers = nNumBeers;
    nNumBeers = 0;
    std::vector<Position> positions = RandomPositions(60, 100, 11);
    ASSERT_GT(positions.size(), 3000u);

    // Reference scores with both caches off.
    FreePawnHash();
    FreeEvalHash();
    std::vector<int> ref;
    for (const Position& p : positions) {
        Position m = p;
        MirrorPosition(&m);
        const int s = Eval(p);
        ref.push_back(s);
        ASSERT_EQ(s, Eval(m)) << FenOf(p);
    }
    // With caches on: first fill, then hit, then after clearing them.
    ASSERT_TRUE(AllocPawnHash(false));
    ASSERT_TRUE(AllocEvalHash(false));
    for (int pass = 0; pass < 3; pass++) {
        if (pass == 2) {
            ClearPawnHash();
            ClearEvalHash();
        }
        for (size_t i = 0; i < positions.size(); i++) {
            Position m = positions[i];
            MirrorPosition(&m);
            ASSERT_EQ(Eval(positions[i]), ref[i]) << "pass " << pass << " " << FenOf(positions[i]);
            ASSERT_EQ(Eval(m), ref[i]) << "pass " << pass << " mirrored " << FenOf(positions[i]);
        }
    }
    FreePawnHash();
    FreeEvalHash();
    nNumBeers = savedBeers;
}

}  // namespace
