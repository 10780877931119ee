// King and pawn against king: the solved table against chess knowledge and an independent
// search, the generator's lines, and the evaluation's agreement with the exact results.
#include "tools/kpk.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "board/board_test_util.h"
#include "core/settings.h"
#include "movegen/movegen.h"

namespace {

int Probe(const std::string& fen) {
    Position pos = FromFen(fen);
    return KpkProbePosition(&pos);
}

// Result with the same position turned upside down, colours swapped.
int ProbeMirrored(const std::string& fen) {
    Position pos = FromFen(fen);
    MirrorPosition(&pos);
    return KpkProbePosition(&pos);
}

int Legal(const Position& pos, Move* aOut) {
    Move a[kMaxMoves];
    int n = GenerateCaptures(&pos, a);
    n += GenerateQuiets(&pos, a + n, kMaxMoves - n);
    int k = 0;
    for (int i = 0; i < n; i++)
        if (IsLegalMove(&pos, a[i])) aOut[k++] = a[i];
    return k;
}

// Every legal position with a white pawn on the given files (bit c of nFileMask for c = sq & 7).
template <typename Fn>
void ForEachLegal(int nFileMask, int nStride, Fn fn) {
    int i = 0;
    for (int p = 8; p < 56; p++) {
        if (!(nFileMask >> (p & 7) & 1)) continue;
        for (int wk = 0; wk < 64; wk++)
            for (int bk = 0; bk < 64; bk++)
                for (int stm = WHITE; stm <= BLACK; stm++) {
                    if (KpkProbe(stm, wk, bk, p) == KPK_ILLEGAL || i++ % nStride) continue;
                    Position pos;
                    SetKpkPosition(&pos, stm, wk, bk, p);
                    fn(pos);
                }
    }
}
constexpr int kRookFiles = 0x81, kAllFiles = 0xFF;

class KpkTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureTables();
        InitKpk();
    }
};

TEST_F(KpkTest, KnownResults) {
    // The defender in the promotion corner holds a rook pawn, whoever moves.
    EXPECT_EQ(Probe("k7/8/8/8/P7/2K5/8/8 w - - 0 1"), KPK_DRAW);
    EXPECT_EQ(Probe("k7/8/8/8/P7/2K5/8/8 b - - 0 1"), KPK_DRAW);
    EXPECT_EQ(Probe("k7/8/8/8/8/8/P7/1K6 w - - 0 1"), KPK_DRAW);
    EXPECT_EQ(Probe("7k/8/6K1/7P/8/8/8/8 w - - 0 1"), KPK_DRAW);
    // Pawn on the seventh with the promotion square covered: promotes on the move.
    EXPECT_EQ(Probe("8/3KP1k1/8/8/8/8/8/8 w - - 0 1"), 1);
    EXPECT_EQ(Probe("8/KP6/8/8/8/8/8/2k5 w - - 0 1"), 1);
    // Opposition: the side to move decides (key squares d6, e6, f6 of an e4 pawn).
    EXPECT_EQ(Probe("8/4k3/8/4K3/4P3/8/8/8 w - - 0 1"), KPK_DRAW);
    EXPECT_GT(Probe("8/4k3/8/4K3/4P3/8/8/8 b - - 0 1"), 0);
    // King on the sixth ahead of its pawn wins whoever moves; not so with a rook pawn.
    EXPECT_GT(Probe("4k3/8/4K3/4P3/8/8/8/8 w - - 0 1"), 0);
    EXPECT_GT(Probe("4k3/8/4K3/4P3/8/8/8/8 b - - 0 1"), 0);
    EXPECT_EQ(Probe("k7/8/K7/P7/8/8/8/8 w - - 0 1"), KPK_DRAW);
    // Rook pawn with the attacking king on b7, holding the promotion path.
    EXPECT_GT(Probe("8/1K6/8/3k4/P7/8/8/8 w - - 0 1"), 0);
    // The square rule: an unstoppable pawn versus a king just inside the square.
    EXPECT_EQ(Probe("7k/8/8/P7/8/8/8/7K w - - 0 1"), 5);
    EXPECT_EQ(Probe("7k/8/8/P7/8/8/8/7K b - - 0 1"), 6);
    // Inside the square only with the move: e8-d7 catches the pawn, white to move outruns it.
    EXPECT_EQ(Probe("4k3/8/8/P7/8/8/8/7K b - - 0 1"), KPK_DRAW);
    EXPECT_EQ(Probe("4k3/8/8/P7/8/8/8/7K w - - 0 1"), 5);
}

TEST_F(KpkTest, IllegalPlacements) {
    EXPECT_EQ(KpkProbe(WHITE, Sq("e1"), Sq("e2"), Sq("a2")), KPK_ILLEGAL);  // touching kings
    EXPECT_EQ(KpkProbe(WHITE, Sq("e1"), Sq("e1"), Sq("a2")), KPK_ILLEGAL);
    EXPECT_EQ(KpkProbe(WHITE, Sq("e1"), Sq("b5"), Sq("a4")), KPK_ILLEGAL);  // black in check, white moves
    EXPECT_GE(KpkProbe(BLACK, Sq("e1"), Sq("b5"), Sq("a4")), KPK_DRAW);
    EXPECT_EQ(KpkProbe(BLACK, Sq("e1"), Sq("b3"), Sq("a2")), KPK_ILLEGAL);  // a check no move explains
    EXPECT_EQ(KpkProbe(WHITE, Sq("e1"), Sq("e8"), Sq("a1")), KPK_ILLEGAL);  // pawn on the first rank
    EXPECT_EQ(KpkProbe(WHITE, Sq("e1"), Sq("e8"), Sq("a8")), KPK_ILLEGAL);
    EXPECT_EQ(KpkProbe(WHITE, 64, Sq("e8"), Sq("a2")), KPK_ILLEGAL);
    EXPECT_EQ(KpkProbe(2, Sq("e1"), Sq("e8"), Sq("a2")), KPK_ILLEGAL);
    EXPECT_EQ(Probe("4k3/8/8/8/8/8/P6P/4K3 w - - 0 1"), KPK_ILLEGAL);  // not KPK material
    EXPECT_EQ(Probe("4k3/8/8/8/8/8/P7/4KB2 w - - 0 1"), KPK_ILLEGAL);
}

TEST_F(KpkTest, BlackPawnReadsTheTableUpsideDown) {
    for (const char* fen : {"8/4k3/8/4K3/4P3/8/8/8 w - - 0 1", "8/4k3/8/4K3/4P3/8/8/8 b - - 0 1",
                            "k7/8/8/8/P7/2K5/8/8 b - - 0 1", "7k/8/8/P7/8/8/8/7K w - - 0 1"})
        EXPECT_EQ(ProbeMirrored(fen), Probe(fen)) << fen;
}

TEST_F(KpkTest, SetUpPositionEqualsTheParsedFen) {
    Position pos;
    SetKpkPosition(&pos, BLACK, Sq("c3"), Sq("a8"), Sq("a4"));
    Position parsed = FromFen(FenOf(pos));
    ExpectSamePosition(pos, parsed, FenOf(pos));
    EXPECT_EQ(FenOf(pos).rfind("k7/8/8/8/P7/2K5/8/8 b - - 0 ", 0), 0u);
}

TEST_F(KpkTest, OnlyARookPromotionWinsWhenAQueenStalemates) {
    // A queen on c8 covers every flight of the king on a7 without giving check; a rook leaves b7.
    Position pos = FromFen("8/k1P5/8/K7/8/8/8/8 w - - 0 1");
    const KpkMoveCount mc = CountKpkBestMoves(&pos);
    EXPECT_TRUE(mc.bWin);
    EXPECT_EQ(mc.nKeeping, 1);
    EXPECT_EQ(MoveToSan(&pos, mc.nOnlyMove), "c8=R");
}

// Every position agrees with a one-ply search over the engine's own move generator: the table
// is a consistent labelling whose win distances strictly decrease, which is the exact solution.
TEST_F(KpkTest, TableAgreesWithAOnePlySearch) {
    int nChecked = 0;
    ForEachLegal(kRookFiles, 1, [&](const Position& pos) {
        const int v = KpkProbePosition(&pos);
        Move a[kMaxMoves];
        const int n = Legal(pos, a);
        int nBestWin = 1 << 20, nWorstWin = -1, nDraws = 0;
        for (int i = 0; i < n; i++) {
            Position after;
            MakeMove(a[i], &pos, &after, 0, -1);
            const int r = KpkOutcome(&after);
            ASSERT_NE(r, KPK_ILLEGAL) << FenOf(pos) << " " << MoveToCoord(a[i]);
            if (r < 0) {
                nDraws++;
            } else {
                nBestWin = std::min(nBestWin, r);
                nWorstWin = std::max(nWorstWin, r);
            }
        }
        int nExpected;
        if (pos.bSideToMove == WHITE)
            nExpected = nWorstWin >= 0 ? nBestWin + 1 : KPK_DRAW;
        else
            nExpected = (n > 0 && nDraws == 0) ? nWorstWin + 1 : (n == 0 && InCheck(&pos) ? 0 : KPK_DRAW);
        ASSERT_EQ(v, nExpected) << FenOf(pos);
        nChecked++;
    });
    EXPECT_GT(nChecked, 80000);
    // A sample of the other files.
    ForEachLegal(kAllFiles & ~kRookFiles, 13, [&](const Position& pos) {
        const int v = KpkProbePosition(&pos);
        Move a[kMaxMoves];
        const int n = Legal(pos, a);
        bool bAnyWin = false, bAllWin = n > 0;
        for (int i = 0; i < n; i++) {
            Position after;
            MakeMove(a[i], &pos, &after, 0, -1);
            const bool bWin = KpkOutcome(&after) >= 0;
            bAnyWin |= bWin;
            bAllWin &= bWin;
        }
        ASSERT_EQ(v >= 0, pos.bSideToMove == WHITE ? bAnyWin : bAllWin) << FenOf(pos);
    });
}

// An independent proof search that knows nothing of the table: can white force a safe queen or
// rook (or mate) within nPlies plies?
bool ForcedConversion(const Position& pos, int nPlies) {
    Move a[kMaxMoves];
    const int n = Legal(pos, a);
    if (pos.bSideToMove == BLACK) {
        if (n == 0) return InCheck(&pos) != 0;
        if (nPlies < 2) return false;
        for (int i = 0; i < n; i++) {
            if (MoveCaptured(a[i])) return false;
            Position after;
            MakeMove(a[i], &pos, &after, 0, -1);
            if (!ForcedConversion(after, nPlies - 1)) return false;
        }
        return true;
    }
    if (nPlies < 1) return false;
    for (int i = 0; i < n; i++) {
        Position after;
        MakeMove(a[i], &pos, &after, 0, -1);
        if (MoveKind(a[i]) == KIND_PROMO) {
            if (MovePromo(a[i]) != QUEEN && MovePromo(a[i]) != ROOK) continue;
            Move b[kMaxMoves];
            const int nb = Legal(after, b);
            bool bTaken = false;
            for (int j = 0; j < nb; j++) bTaken |= MoveCaptured(b[j]) != 0;
            if (nb == 0 ? InCheck(&after) != 0 : !bTaken) return true;
            continue;
        }
        if (ForcedConversion(after, nPlies - 1)) return true;
    }
    return false;
}

TEST_F(KpkTest, WinCountsMatchABruteForceSearchOnASample) {
    constexpr int kDepth = 7;
    int nTableWins = 0, nSearchWins = 0, nSample = 0;
    // Pawns from the fifth rank up, where conversions within the horizon are common.
    for (int p : {Sq("a7"), Sq("h7"), Sq("b7"), Sq("a6"), Sq("e6"), Sq("h5"), Sq("d5")})
        for (int wk = 0; wk < 64; wk += 3)
            for (int bk = 1; bk < 64; bk += 2)
                for (int stm = WHITE; stm <= BLACK; stm++) {
                    const int v = KpkProbe(stm, wk, bk, p);
                    if (v == KPK_ILLEGAL) continue;
                    Position pos;
                    SetKpkPosition(&pos, stm, wk, bk, p);
                    const bool bTable = v >= 0 && v <= kDepth;
                    const bool bSearch = ForcedConversion(pos, kDepth);
                    EXPECT_EQ(bTable, bSearch) << FenOf(pos) << " table " << v;
                    nTableWins += bTable;
                    nSearchWins += bSearch;
                    nSample++;
                }
    printf("brute force to %d plies on %d positions: table %d wins, search %d wins\n", kDepth, nSample,
           nTableWins, nSearchWins);
    EXPECT_EQ(nTableWins, nSearchWins);
    EXPECT_GT(nTableWins, nSample / 10);
    EXPECT_LT(nTableWins, nSample);
}

// Plays out the longest rook-pawn win: white takes the quickest win, black resists longest.
TEST_F(KpkTest, LongestRookPawnWinPlaysOutToAConversion) {
    int nLongest = -1;
    Position start{};
    ForEachLegal(kRookFiles, 1, [&](const Position& pos) {
        const int v = KpkProbePosition(&pos);
        if (v > nLongest) nLongest = v, start = pos;
    });
    ASSERT_GT(nLongest, 10);
    Position pos = start;
    int nPlies = 0;
    for (;;) {
        Move a[kMaxMoves];
        const int n = Legal(pos, a);
        ASSERT_GT(n, 0);
        Move nPick = 0;
        int nPickValue = 0;
        for (int i = 0; i < n; i++) {
            Position after;
            MakeMove(a[i], &pos, &after, 0, -1);
            const int r = KpkOutcome(&after);
            if (r < 0) continue;
            const bool bBetter =
                pos.bSideToMove == WHITE ? (!nPick || r < nPickValue) : (!nPick || r > nPickValue);
            if (bBetter) nPick = a[i], nPickValue = r;
        }
        ASSERT_NE(nPick, 0u) << FenOf(pos);
        Position after;
        MakeMove(nPick, &pos, &after, 0, -1);
        pos = after;
        nPlies++;
        if (MoveKind(nPick) == KIND_PROMO) break;
        ASSERT_LT(nPlies, 200);
    }
    EXPECT_EQ(nPlies, nLongest) << FenOf(start);
    EXPECT_EQ(KpkOutcome(&pos), 0) << FenOf(pos);
    printf("longest rook-pawn win: %s, %d plies\n", FenOf(start).c_str(), nLongest);
}

std::vector<std::string> KpkOutputLines(int* pnPrinted) {
    testing::internal::CaptureStdout();
    *pnPrinted = RunKpk();
    std::stringstream ss(testing::internal::GetCapturedStdout());
    std::vector<std::string> lines;
    for (std::string line; std::getline(ss, line);) lines.push_back(line);
    return lines;
}

TEST_F(KpkTest, GeneratorLinesAreWellFormedAndHaveOneBestMove) {
    int nPrinted = 0;
    const std::vector<std::string> lines = KpkOutputLines(&nPrinted);
    ASSERT_EQ(int(lines.size()), nPrinted);
    ASSERT_GT(nPrinted, 100);
    const std::regex re(R"re(^([1-8KkPp/]+ [wb] - -) bm ([^ ;]+); id "KPK\.(\d+)"$)re");
    int nWhite = 0, nBlack = 0, nPromotions = 0;
    for (int i = 0; i < nPrinted; i++) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i], m, re)) << lines[i];
        ASSERT_EQ(std::stoi(m[3]), i + 1) << lines[i];
        const Position pos = FromFen(m[1].str());
        const int p = LowestSquare(pos.bbPieces[WHITE][BB_PAWN]);
        ASSERT_TRUE((p & 7) == 0 || (p & 7) == 7) << lines[i];
        ASSERT_NE(KpkProbePosition(&pos), KPK_ILLEGAL) << lines[i];

        // Recount through the table: exactly one move keeps the best result, and it is bm.
        Move a[kMaxMoves];
        const int n = Legal(pos, a);
        ASSERT_GE(n, 2) << lines[i];
        int nWins = 0;
        Move nWin = 0, nDraw = 0;
        for (int j = 0; j < n; j++) {
            Position after;
            MakeMove(a[j], &pos, &after, 0, -1);
            if (KpkOutcome(&after) >= 0)
                nWins++, nWin = a[j];
            else
                nDraw = a[j];
        }
        const bool bWhite = pos.bSideToMove == WHITE;
        ASSERT_EQ(bWhite ? nWins : n - nWins, 1) << lines[i];
        ASSERT_EQ(MoveToSan(&pos, bWhite ? nWin : nDraw), m[2].str()) << lines[i];
        ASSERT_EQ(KpkProbePosition(&pos) >= 0, bWhite) << lines[i];
        nWhite += bWhite;
        nBlack += !bWhite;
        nPromotions += m[2].str().find('=') != std::string::npos;
    }
    printf(
        "kpk prints %d positions: %d white to move (only win), %d black to move (only draw), %d promotions\n",
        nPrinted, nWhite, nBlack, nPromotions);
    EXPECT_GT(nWhite, 0);
    EXPECT_GT(nBlack, 0);
}

TEST_F(KpkTest, TrivialPositionsAreNotPrinted) {
    Move m = 0;
    // The defender can take the pawn (the only drawing move, but obvious).
    Position pos = FromFen("8/8/8/8/8/1k6/P7/6K1 b - - 0 1");
    EXPECT_FALSE(IsKpkTestPosition(&pos, &m));
    // A single legal move.
    pos = FromFen("k7/2K5/8/P7/8/8/8/8 b - - 0 1");
    EXPECT_FALSE(IsKpkTestPosition(&pos, &m));
    // Not a rook pawn.
    pos = FromFen("8/4k3/8/4K3/4P3/8/8/8 b - - 0 1");
    EXPECT_FALSE(IsKpkTestPosition(&pos, &m));
}

TEST_F(KpkTest, LineFormat) {
    Position pos = FromFen("8/k1P5/8/K7/8/8/8/8 w - - 0 1");
    const Move m = CountKpkBestMoves(&pos).nOnlyMove;
    EXPECT_EQ(KpkEpdLine(&pos, m, 7), "8/k1P5/8/K7/8/8/8/8 w - - bm c8=R; id \"KPK.7\"\n");
    // The move counters of the game do not reach the line.
    // The first printed line: only the race a2-a4 outruns the king on f2.
    pos = FromFen("8/8/8/8/8/8/P4k2/7K w - - 37 90");
    Move nRace = 0;
    ASSERT_TRUE(IsKpkTestPosition(&pos, &nRace));
    EXPECT_EQ(KpkEpdLine(&pos, nRace, 1), "8/8/8/8/8/8/P4k2/7K w - - bm a4; id \"KPK.1\"\n");
}

// The classical figures for white to move (every file): 163,328 legal positions, 124,960 won.
// With black to move the count leaves out the checks no last move explains.
TEST_F(KpkTest, PositionCounts) {
    int anLegal[2] = {0, 0}, anWon[2] = {0, 0};
    ForEachLegal(kAllFiles, 1, [&](const Position& pos) {
        anLegal[pos.bSideToMove]++;
        anWon[pos.bSideToMove] += KpkProbePosition(&pos) >= 0;
    });
    EXPECT_EQ(anLegal[WHITE], 163328);
    EXPECT_EQ(anWon[WHITE], 124960);
    EXPECT_EQ(anLegal[BLACK], 167248);
    EXPECT_EQ(anWon[BLACK], 97592);
}

TEST_F(KpkTest, EvaluationAgreementWithTheExactResult) {
    const int nBeers = nNumBeers;
    nNumBeers = 0;
    printf("kpk solved in %lld ms\n", static_cast<long long>(KpkSolveMs()));
    const KpkAgreement rook = MeasureKpkAgreement(true);
    PrintKpkAgreement(rook, "rook pawns");
    const KpkAgreement all = MeasureKpkAgreement(false);
    PrintKpkAgreement(all, "all pawns");
    nNumBeers = nBeers;
    for (const KpkAgreement& a : {rook, all}) {
        EXPECT_EQ(a.nExactWins + a.nExactDraws, a.nPositions);
        EXPECT_EQ(a.nWinsCalled + a.nDrawsCalled, a.nAgree);
        EXPECT_EQ(a.nJudgeFires + a.nJudgeSilent, a.nPositions);
        EXPECT_GT(a.nAgree, a.nPositions / 2);
        EXPECT_LE(a.nAgree, a.nPositions);
        EXPECT_GT(a.nJudgeFiresDrawn, a.nJudgeFires / 2);
    }
    EXPECT_GT(rook.nPositions, 80000);
    EXPECT_EQ(all.nPositions, 163328 + 167248);
}

}  // namespace
