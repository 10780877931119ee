// Transposition table, pawn hash and eval cache: sizing, allocation messages, probe/store
// rules, and lock-free use from several threads.
#include "search/hash.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "board/board_test_util.h"
#include "core/settings.h"
#include "movegen/movegen.h"
#include "tools/stats.h"

namespace {

const char* kStartFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

// Saves the settings the tests change and releases the tables afterwards.
class HashTables : public testing::Test {
protected:
    void SetUp() override {
        EnsureTables();
        nSavedHash = nHashMB;
        nSavedPawn = nPawnHashKB;
        nSavedEval = nEvalHashMB;
        nSavedPly = game.nGamePly;
        bSavedUci = bUciMode;
        bSavedShow = bShowBoard;
        game.nGamePly = 0;
        ClearSearchStats();
        pos = FromFen(kStartFen);
        e2e4 = BuildMove(Sq("e2"), Sq("e4"), KIND_NORMAL, NONE, PAWN, NONE);
        g1f3 = BuildMove(Sq("g1"), Sq("f3"), KIND_NORMAL, NONE, KNIGHT, NONE);
    }
    void TearDown() override {
        ReleaseHashTables();
        ResetHashFills();
        nHashMB = nSavedHash;
        nPawnHashKB = nSavedPawn;
        nEvalHashMB = nSavedEval;
        game.nGamePly = nSavedPly;
        bUciMode = bSavedUci;
        bShowBoard = bSavedShow;
    }
    // A 1 MB table (21845 buckets), allocated quietly.
    void SmallTable() {
        nHashMB = 1;
        ASSERT_TRUE(AllocTransTable(false));
        ASSERT_EQ(nTransBuckets, 21845u);
    }
    // A key in bucket b whose check word (high half) is hi.
    static uint64_t KeyIn(uint64_t b, uint32_t hi) {
        const uint64_t base = uint64_t(hi) << 32;
        return base + (b + nTransBuckets - base % nTransBuckets) % nTransBuckets;
    }
    Position At(uint64_t key) const {
        Position p = pos;
        p.nHashKey = key;
        return p;
    }

    int nSavedHash = 0, nSavedPawn = 0, nSavedEval = 0, nSavedPly = 0;
    bool bSavedUci = false, bSavedShow = false;
    Position pos{};
    Move e2e4 = 0, g1f3 = 0;
};

std::string Captured(const std::function<void()>& f) {
    testing::internal::CaptureStdout();
    f();
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

// ---------------------------------------------------------------------------------------
// Sizing.

TEST(HashSizing, EntryCountsFollowTheOptionUnits) {
    EXPECT_EQ(TransBucketsFor(64), 1398101u);  // 64 MB / 48, no rounding
    EXPECT_EQ(TransBucketsFor(1), 21845u);
    EXPECT_EQ(PawnHashEntriesFor(1024), 32768u);  // 43690 rounded down
    EXPECT_EQ(PawnHashEntriesFor(1), 32u);        // 42 rounded down
    EXPECT_EQ(EvalHashEntriesFor(16), 1048576u);
    EXPECT_EQ(EvalHashEntriesFor(1), 65536u);
    // Sizes past 32 bits are computed in 64.
    EXPECT_EQ(TransBucketsFor(INT_MAX), uint64_t(INT_MAX) * 1048576 / 48);
    EXPECT_EQ(EvalHashEntriesFor(INT_MAX), uint64_t(1) << 46);
}

TEST(HashSizing, ZeroAndNegativeSettingsDisable) {
    for (int n : {0, -1, INT_MIN}) {
        EXPECT_EQ(TransBucketsFor(n), 0u) << n;
        EXPECT_EQ(PawnHashEntriesFor(n), 0u) << n;
        EXPECT_EQ(EvalHashEntriesFor(n), 0u) << n;
    }
}

TEST(HashSizing, FloorPowerOfTwo) {
    EXPECT_EQ(FloorPowerOfTwo(0), 0u);
    EXPECT_EQ(FloorPowerOfTwo(1), 1u);
    EXPECT_EQ(FloorPowerOfTwo(43690), 32768u);
    EXPECT_EQ(FloorPowerOfTwo(65536), 65536u);
    EXPECT_EQ(FloorPowerOfTwo(UINT64_MAX), uint64_t(1) << 63);
}

// ---------------------------------------------------------------------------------------
// Allocation and its messages.

TEST_F(HashTables, MessagesOnlyInConsoleModeWithBoardDisplay) {
    bUciMode = false;
    bShowBoard = true;
    EXPECT_TRUE(ShowHashMessages());
    bShowBoard = false;
    EXPECT_FALSE(ShowHashMessages());
    bUciMode = true;
    bShowBoard = true;
    EXPECT_FALSE(ShowHashMessages());
}

TEST_F(HashTables, TransTableAllocationMessages) {
    nHashMB = 1;
    EXPECT_EQ(Captured([] { EXPECT_TRUE(AllocTransTable(true)); }),
              "Allocating 1 MB for Tranposition Table (21845 Table Entries) ... Done\n");
    EXPECT_NE(pTransTable, nullptr);
    EXPECT_EQ(Captured([] { EXPECT_TRUE(AllocTransTable(false)); }), "");
    EXPECT_EQ(nTransBuckets, 21845u);

    nHashMB = 0;
    EXPECT_EQ(Captured([] { EXPECT_TRUE(AllocTransTable(true)); }), "Tranposition table disabled\n");
    EXPECT_EQ(pTransTable, nullptr);
    EXPECT_EQ(nTransBuckets, 0u);

    nHashMB = -7;
    EXPECT_EQ(Captured([] { EXPECT_TRUE(AllocTransTable(true)); }), "Tranposition table disabled\n");
    EXPECT_EQ(nTransBuckets, 0u);
}

TEST_F(HashTables, FailedAllocationLeavesTablesDisabled) {
    SmallTable();
    nHashMB = INT_MAX;  // about two petabytes
    // The transposition table's failure is reported even when messages are off.
    EXPECT_EQ(Captured([] { EXPECT_FALSE(AllocTransTable(false)); }),
              "Insufficient Memory for Transposition Table\n");
    EXPECT_EQ(pTransTable, nullptr);
    EXPECT_EQ(nTransBuckets, 0u);
    // A disabled table is skipped by probes and stores.
    HashProbe hp;
    EXPECT_FALSE(StoreHash(&pos, 5, 10, -100, 100, e2e4, false, false));
    EXPECT_FALSE(ProbeHash(&pos, 0, -100, 100, 0, &hp));
    EXPECT_EQ(HashFull(), 0.0);

    nPawnHashKB = INT_MAX;
    EXPECT_EQ(Captured([] { EXPECT_FALSE(AllocPawnHash(false)); }), "");
    EXPECT_EQ(Captured([] { EXPECT_FALSE(AllocPawnHash(true)); }),
              "Allocating 1610612736 KB for Pawn Hash table (68719476736 Table Entries) ..."
              "Insufficient Memory for Pawn Hash Table\n");
    EXPECT_EQ(aPawnHash, nullptr);
    EXPECT_EQ(nPawnHashEntries, 0u);

    nEvalHashMB = INT_MAX;
    EXPECT_EQ(Captured([] { EXPECT_FALSE(AllocEvalHash(false)); }), "");
    EXPECT_EQ(aEvalHash, nullptr);
    EXPECT_EQ(nEvalHashEntries, 0u);
}

TEST_F(HashTables, PawnAndEvalAllocationMessages) {
    nPawnHashKB = 1024;
    EXPECT_EQ(Captured([] { EXPECT_TRUE(AllocPawnHash(true)); }),
              "Allocating 768 KB for Pawn Hash table (32768 Table Entries) ... Done\n");
    EXPECT_EQ(nPawnHashEntries, 32768u);
    nPawnHashKB = 0;
    EXPECT_EQ(Captured([] { EXPECT_TRUE(AllocPawnHash(true)); }), "Pawn Hash table disabled\n");
    EXPECT_EQ(aPawnHash, nullptr);

    nEvalHashMB = 16;
    EXPECT_EQ(Captured([] { EXPECT_TRUE(AllocEvalHash(true)); }),
              "Allocating 16.0 MB for Eval Hash table (1048576 Table Entries) ... Done\n");
    EXPECT_EQ(nEvalHashEntries, 1048576u);
    nEvalHashMB = -3;
    EXPECT_EQ(Captured([] { EXPECT_TRUE(AllocEvalHash(false)); }), "");
    EXPECT_EQ(aEvalHash, nullptr);
    EXPECT_EQ(nEvalHashEntries, 0u);
}

TEST_F(HashTables, AllocationZeroFillsAndResetsFills) {
    SmallTable();
    ASSERT_TRUE(StoreHash(&pos, 5, 10, -100, 100, e2e4, false, false));
    EXPECT_EQ(HashFills(), 1u);
    ASSERT_TRUE(AllocTransTable(false));
    EXPECT_EQ(HashFills(), 0u);
    HashProbe hp;
    EXPECT_FALSE(ProbeHash(&pos, 0, -100, 100, 0, &hp));
    EXPECT_FALSE(hp.bHashMoveFound);

    ASSERT_TRUE(StoreHash(&pos, 5, 10, -100, 100, e2e4, false, false));
    ClearTransTable();
    EXPECT_FALSE(ProbeHash(&pos, 0, -100, 100, 0, &hp));
    EXPECT_FALSE(hp.bHashMoveFound);
}

// ---------------------------------------------------------------------------------------
// Slot data.

TEST(HashData, PackedFieldsRoundTripAndMoveKeepsAll23Bits) {
    const Move m = 0x7FFFFF;
    const uint64_t d = PackHashData(200, 13, BOUND_LOWER, -29990, m | 0x800000, true, false);
    EXPECT_EQ(HashDepth(d), 200);
    EXPECT_EQ(HashAge(d), 13 & 7);
    EXPECT_EQ(HashBound(d), BOUND_LOWER);
    EXPECT_EQ(HashScore(d), -29990);
    EXPECT_EQ(HashMove(d), m);  // bit 23 is not part of a move word
    EXPECT_TRUE(HashThreat(d));
    EXPECT_FALSE(HashSingleReply(d));
    EXPECT_EQ(d >> 54, 0u);
    // Out-of-range depth and score are clamped rather than spilling into other fields.
    const uint64_t e = PackHashData(300, 0, BOUND_EXACT, 40000, 0, false, true);
    EXPECT_EQ(HashDepth(e), 255);
    EXPECT_EQ(HashScore(e), SCORE_INF);
    EXPECT_EQ(HashMove(e), 0u);
    EXPECT_TRUE(HashSingleReply(e));
    EXPECT_EQ(HashDepth(PackHashData(-4, 0, BOUND_EXACT, 0, 0, false, false)), 0);
}

// ---------------------------------------------------------------------------------------
// Probe and store.

TEST_F(HashTables, ExactEntryCutsAtItsDepthAndGivesAMoveBeyond) {
    SmallTable();
    ASSERT_TRUE(StoreHash(&pos, 6, 37, 0, 100, e2e4, false, false));  // exact: alpha < 37 < beta
    HashProbe hp;
    ASSERT_TRUE(ProbeHash(&pos, 6, -500, 500, 3, &hp));
    EXPECT_EQ(hp.nScore, 37);
    EXPECT_EQ(hp.nDepth, 6);
    EXPECT_EQ(hp.nMove, e2e4);
    EXPECT_EQ(hp.nLength, 1);

    ASSERT_FALSE(ProbeHash(&pos, 7, -500, 500, 3, &hp));
    EXPECT_TRUE(hp.bHashMoveFound);
    EXPECT_EQ(hp.nMove, e2e4);
    EXPECT_EQ(hp.nDepth, 6);
    EXPECT_EQ(hp.nScore, 37);

    // Another position (other check word) misses.
    Position other = At(pos.nHashKey ^ (uint64_t(1) << 40));
    EXPECT_FALSE(ProbeHash(&other, 0, -500, 500, 0, &hp));
    EXPECT_FALSE(hp.bHashMoveFound);
}

TEST_F(HashTables, LowerAndUpperBoundsCutOnlyOnTheirSide) {
    SmallTable();
    HashProbe hp;
    const Position lo = At(KeyIn(10, 1)), up = At(KeyIn(11, 2));
    ASSERT_TRUE(StoreHash(&lo, 4, 150, 50, 100, g1f3, false, false));  // 150 >= beta: lower bound
    ASSERT_TRUE(StoreHash(&up, 4, 20, 50, 100, 0, false, false));      // 20 <= alpha: upper bound
    EXPECT_EQ(HashBound(pTransTable[10].anData[0].load()), BOUND_LOWER);
    EXPECT_EQ(HashBound(pTransTable[11].anData[0].load()), BOUND_UPPER);

    EXPECT_TRUE(ProbeHash(&lo, 4, 100, 150, 1, &hp));
    EXPECT_EQ(hp.nScore, 150);
    EXPECT_FALSE(ProbeHash(&lo, 4, 100, 151, 1, &hp));
    EXPECT_TRUE(hp.bHashMoveFound);
    EXPECT_EQ(hp.nMove, g1f3);

    EXPECT_TRUE(ProbeHash(&up, 4, 20, 60, 1, &hp));
    EXPECT_EQ(hp.nScore, 20);
    EXPECT_EQ(hp.nLength, 0);  // no move stored
    EXPECT_FALSE(ProbeHash(&up, 4, 19, 60, 1, &hp));
    EXPECT_FALSE(hp.bHashMoveFound);
}

TEST_F(HashTables, MateScoresAreStoredRelativeToTheNode) {
    SmallTable();
    HashProbe hp;
    // Mate found 10 plies from the root, stored from ply 5: the table holds a mate 5 plies
    // from the node; read back at ply 3 it is 8 plies from that root.
    const Position win = At(KeyIn(20, 7)), loss = At(KeyIn(21, 8));
    ASSERT_TRUE(StoreHashAtPly(&win, 9, 5, MATE - 10, -SCORE_INF, SCORE_INF, 0, false, false));
    EXPECT_EQ(HashScore(pTransTable[20].anData[0].load()), MATE - 10 + 5);
    ASSERT_TRUE(ProbeHash(&win, 9, -SCORE_INF, SCORE_INF, 3, &hp));
    EXPECT_EQ(hp.nScore, MATE - 10 + 5 - 3);

    ASSERT_TRUE(StoreHashAtPly(&loss, 9, 5, -(MATE - 10), -SCORE_INF, SCORE_INF, 0, false, false));
    EXPECT_EQ(HashScore(pTransTable[21].anData[0].load()), -(MATE - 10) - 5);
    ASSERT_TRUE(ProbeHash(&loss, 9, -SCORE_INF, SCORE_INF, 3, &hp));
    EXPECT_EQ(hp.nScore, -(MATE - 10) - 5 + 3);

    // The window moves with the score: a mate equal to beta stays a lower bound.
    const Position edge = At(KeyIn(22, 9));
    ASSERT_TRUE(StoreHashAtPly(&edge, 9, 4, MATE - 20, 0, MATE - 20, 0, false, false));
    EXPECT_EQ(HashBound(pTransTable[22].anData[0].load()), BOUND_LOWER);
    // Ordinary scores are not shifted.
    EXPECT_EQ(ScoreToHash(MATE_BOUND, 6), MATE_BOUND);
    EXPECT_EQ(ScoreFromHash(-MATE_BOUND, 6), -MATE_BOUND);
}

TEST_F(HashTables, FlagsAndTheNullMoveVeto) {
    SmallTable();
    HashProbe hp;
    const Position p = At(KeyIn(30, 3));
    ASSERT_TRUE(StoreHash(&p, 8, -40, -10, -9, e2e4, true, true));  // upper bound, threat, single reply
    // Deep enough: the flags come back; no cut in a window below the bound.
    ASSERT_FALSE(ProbeHash(&p, 8, -50, -49, 2, &hp));
    EXPECT_TRUE(hp.bThreat);
    EXPECT_TRUE(hp.bSingleReply);
    EXPECT_TRUE(hp.bHashMoveFound);
    EXPECT_FALSE(hp.bAvoidNull);  // the bound (-40) is not below beta

    // Required depth 11: the entry (8) is at least 11 - 4 deep and its bound is below beta,
    // so a null-move search would fail; the flags are not read from a shallower entry.
    ASSERT_FALSE(ProbeHash(&p, 11, -30, -29, 2, &hp));
    EXPECT_TRUE(hp.bAvoidNull);
    EXPECT_TRUE(hp.bHashMoveFound);
    EXPECT_FALSE(hp.bThreat);
    EXPECT_FALSE(hp.bSingleReply);
    // Not when the entry is too shallow, at the root, in an open window, or at beta.
    ProbeHash(&p, 13, -30, -29, 2, &hp);
    EXPECT_FALSE(hp.bAvoidNull);
    ProbeHash(&p, 11, -30, -29, 0, &hp);
    EXPECT_FALSE(hp.bAvoidNull);
    ProbeHash(&p, 11, -30, -20, 2, &hp);
    EXPECT_FALSE(hp.bAvoidNull);
    ProbeHash(&p, 11, -41, -40, 2, &hp);
    EXPECT_FALSE(hp.bAvoidNull);
    // Nor when the required depth is 4 or less.
    const Position q = At(KeyIn(31, 3));
    ASSERT_TRUE(StoreHash(&q, 2, -40, -10, -9, 0, false, false));
    ProbeHash(&q, 4, -30, -29, 2, &hp);
    EXPECT_FALSE(hp.bAvoidNull);
    ProbeHash(&q, 5, -30, -29, 2, &hp);
    EXPECT_TRUE(hp.bAvoidNull);
}

TEST_F(HashTables, SlotWithAMoveThatIsNotPseudoLegalIsIgnoredWhole) {
    SmallTable();
    HashProbe hp;
    const Move bogus = BuildMove(Sq("e4"), Sq("e5"), KIND_NORMAL, NONE, PAWN, NONE);  // e4 is empty
    ASSERT_FALSE(IsMoveValid(&pos, bogus));
    ASSERT_TRUE(StoreHash(&pos, 10, 0, -100, 100, bogus, true, true));
    EXPECT_FALSE(ProbeHash(&pos, 1, -100, 100, 1, &hp));
    EXPECT_FALSE(hp.bHashMoveFound);
    EXPECT_FALSE(hp.bThreat);
    EXPECT_EQ(hp.nMove, 0u);
    // The same entry in a position where the move is playable is used.
    Position after = FromFen("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 0 1");
    after.nHashKey = pos.nHashKey;
    EXPECT_TRUE(ProbeHash(&after, 1, -100, 100, 1, &hp));
    EXPECT_EQ(hp.nMove, bogus);
}

TEST_F(HashTables, SameKeyReplacementDependsOnDepthAndAge) {
    SmallTable();
    HashProbe hp;
    ASSERT_TRUE(StoreHash(&pos, 8, 10, -100, 100, e2e4, false, false));
    EXPECT_FALSE(StoreHash(&pos, 7, 20, -100, 100, g1f3, false, false));  // shallower, same age
    ASSERT_TRUE(ProbeHash(&pos, 0, -100, 100, 0, &hp));
    EXPECT_EQ(hp.nScore, 10);
    EXPECT_TRUE(StoreHash(&pos, 8, 30, -100, 100, g1f3, false, false));  // as deep: accepted
    ASSERT_TRUE(ProbeHash(&pos, 0, -100, 100, 0, &hp));
    EXPECT_EQ(hp.nScore, 30);

    game.nGamePly = 1;  // next game move: the old entry is of another age
    EXPECT_TRUE(StoreHash(&pos, 2, 40, -100, 100, e2e4, false, false));
    ASSERT_TRUE(ProbeHash(&pos, 0, -100, 100, 0, &hp));
    EXPECT_EQ(hp.nScore, 40);
    EXPECT_EQ(hp.nDepth, 2);
    // Ages wrap at 8: ply 9 is the same age as ply 1.
    game.nGamePly = 9;
    EXPECT_FALSE(StoreHash(&pos, 1, 50, -100, 100, e2e4, false, false));
}

TEST_F(HashTables, FullBucketReplacesTheCheapestSlot) {
    SmallTable();
    HashProbe hp;
    const uint64_t b = 100;
    // Slots 0..3 hold depth 5 with a move, depth 9 without, depth 3 with, depth 4 with.
    const int anDepth[4] = {5, 9, 3, 4};
    const bool abMove[4] = {true, false, true, true};
    for (int i = 0; i < 4; ++i) {
        const Position p = At(KeyIn(b, 100 + i));
        ASSERT_TRUE(StoreHash(&p, anDepth[i], i, -100, 100, abMove[i] ? e2e4 : 0, false, false));
    }
    // Values: -133, -9, -131, -132: the moveless depth-9 slot is chosen, and needs depth 9.
    const Position q = At(KeyIn(b, 200));
    EXPECT_FALSE(StoreHash(&q, 8, 0, -100, 100, 0, false, false));
    ClearSearchStats();
    ASSERT_TRUE(StoreHash(&q, 9, 0, -100, 100, 0, false, false));
    EXPECT_EQ(pTransTable[b].anCheck[1].load(), 200u);
    EXPECT_EQ(Stats().anWrites[1].Get(), 1u);
    EXPECT_EQ(Stats().anOverwrites[1].Get(), 1u);

    // An older entry is worth 256 per ply of age: it goes first even when far deeper.
    const uint64_t b2 = 101;
    const Position deep = At(KeyIn(b2, 1));
    ASSERT_TRUE(StoreHash(&deep, 40, 0, -100, 100, e2e4, false, false));
    game.nGamePly = 1;
    for (uint32_t i = 2; i <= 4; ++i) {
        const Position p = At(KeyIn(b2, i));
        ASSERT_TRUE(StoreHash(&p, 1, 0, -100, 100, 0, false, false));
    }
    const Position r = At(KeyIn(b2, 300));
    ASSERT_TRUE(StoreHash(&r, 1, 0, -100, 100, 0, false, false));
    EXPECT_EQ(pTransTable[b2].anCheck[0].load(), 300u);
    EXPECT_TRUE(ProbeHash(&r, 1, -100, 100, 0, &hp));
    EXPECT_FALSE(ProbeHash(&deep, 1, -100, 100, 0, &hp));
}

TEST_F(HashTables, FillsCountEmptyAndOlderSlotsAndDriveHashFull) {
    SmallTable();
    for (uint32_t i = 0; i < 10; ++i) {
        const Position p = At(KeyIn(1000 + i, 5));
        ASSERT_TRUE(StoreHash(&p, 1, 0, -1, 1, 0, false, false));
        ASSERT_TRUE(StoreHash(&p, 2, 0, -1, 1, 0, false, false));  // same age again: no new fill
    }
    EXPECT_EQ(HashFills(), 10u);
    EXPECT_DOUBLE_EQ(HashFull(), 10.0 * 1000 / (4.0 * 21845));
    game.nGamePly = 3;
    const Position p = At(KeyIn(1000, 5));
    ASSERT_TRUE(StoreHash(&p, 3, 0, -1, 1, 0, false, false));  // older entry: a fill
    EXPECT_EQ(HashFills(), 11u);
    ResetHashFills();
    EXPECT_EQ(HashFull(), 0.0);
}

TEST_F(HashTables, ProbeCountersBySlot) {
    SmallTable();
    HashProbe hp;
    const uint64_t b = 500;
    const Position a = At(KeyIn(b, 1)), c = At(KeyIn(b, 2)), d = At(KeyIn(b, 3));
    ASSERT_TRUE(StoreHash(&a, 5, 0, -10, 10, e2e4, false, false));
    ASSERT_TRUE(StoreHash(&c, 5, 0, -10, 10, e2e4, false, false));
    ClearSearchStats();
    const SearchStats& st = Stats();
    EXPECT_FALSE(ProbeHash(&d, 1, -10, 10, 0, &hp));  // a miss in each of the four slots
    EXPECT_TRUE(ProbeHash(&c, 1, -10, 10, 0, &hp));   // miss on 0, cut on 1
    EXPECT_FALSE(ProbeHash(&a, 9, -10, 10, 0, &hp));  // move on 0
    EXPECT_EQ(st.anProbes[0].Get(), 3u);
    EXPECT_EQ(st.anProbes[1].Get(), 2u);
    EXPECT_EQ(st.anProbes[2].Get(), 1u);
    EXPECT_EQ(st.anProbes[3].Get(), 1u);
    EXPECT_EQ(st.anProbeMisses[0].Get(), 2u);
    EXPECT_EQ(st.anProbeCuts[1].Get(), 1u);
    EXPECT_EQ(st.anProbeMoves[0].Get(), 1u);
    // An empty bucket is skipped without counting.
    const Position e = At(KeyIn(b + 1, 1));
    EXPECT_FALSE(ProbeHash(&e, 1, -10, 10, 0, &hp));
    EXPECT_EQ(st.anProbes[0].Get(), 3u);
}

// ---------------------------------------------------------------------------------------
// Pawn hash and eval cache.

TEST_F(HashTables, PawnEntriesRoundTripByCopy) {
    nPawnHashKB = 1;
    ASSERT_TRUE(AllocPawnHash(false));
    ASSERT_EQ(nPawnHashEntries, 32u);
    PawnEntry e{};
    e.nKey = 0x123456789ABCDEF0ULL;
    e.nScore = -1234;
    e.nCount[0] = 8;
    e.nCount[1] = 7;
    e.nPassed[1] = 0x81;
    e.nFiles[0] = 0xFF;
    StorePawnEntry(e);
    PawnEntry got;
    ASSERT_TRUE(LoadPawnEntry(e.nKey, &got));
    EXPECT_EQ(got.nScore, -1234);
    EXPECT_EQ(got.nCount[1], 7);
    EXPECT_EQ(got.nPassed[1], 0x81);
    EXPECT_EQ(got.nFiles[0], 0xFF);
    // Same slot, other key: a miss that still shows what the slot holds.
    EXPECT_FALSE(LoadPawnEntry(e.nKey + 32 * 5, &got));
    EXPECT_EQ(got.nKey, e.nKey);
    // A zero signature never hits, even on an empty slot.
    EXPECT_FALSE(LoadPawnEntry(0, &got));
}

TEST_F(HashTables, EvalEntriesAndOverwrites) {
    nEvalHashMB = 1;
    ASSERT_TRUE(AllocEvalHash(false));
    const uint64_t k = 0xFEDCBA9800000011ULL, k2 = k + nEvalHashEntries;  // same slot
    EvalHashEntry got;
    EXPECT_FALSE(LoadEvalEntry(k, &got));
    EXPECT_FALSE(StoreEvalEntry(k, -77));  // empty slot
    ASSERT_TRUE(LoadEvalEntry(k, &got));
    EXPECT_EQ(got.nScore, -77);
    EXPECT_FALSE(StoreEvalEntry(k, 12));  // same position again
    EXPECT_TRUE(StoreEvalEntry(k2, 5));   // another position
    EXPECT_FALSE(LoadEvalEntry(k, &got));
    ASSERT_TRUE(LoadEvalEntry(k2, &got));
    EXPECT_EQ(got.nScore, 5);
    ClearEvalHash();
    EXPECT_FALSE(LoadEvalEntry(k2, &got));
}

TEST_F(HashTables, DumpImageHasTheFixedLayoutAndReadsBack) {
    SmallTable();
    nPawnHashKB = 1;
    nEvalHashMB = 1;
    ASSERT_TRUE(AllocPawnHash(false));
    ASSERT_TRUE(AllocEvalHash(false));
    const Position p = At(KeyIn(0, 0xABCD));
    ASSERT_TRUE(StoreHash(&p, 7, 33, -100, 100, e2e4, false, true));
    PawnEntry pe{};
    pe.nKey = 32 + 1;  // slot 1
    pe.nScore = -5;
    pe.nDoubled[1] = 0x24;
    StorePawnEntry(pe);
    StoreEvalEntry(2, 99);  // slot 2

    FILE* f = tmpfile();
    ASSERT_NE(f, nullptr);
    ASSERT_TRUE(WriteHashTables(f));
    const long nSize = ftell(f);
    EXPECT_EQ(uint64_t(nSize), 21845u * 48 + 32u * 24 + 65536u * 16);
    // Bucket 0: check word first, data word of slot 0 at offset 16.
    rewind(f);
    uint32_t nCheck = 0;
    uint64_t nData = 0;
    ASSERT_EQ(fread(&nCheck, 4, 1, f), 1u);
    fseek(f, 16, SEEK_SET);
    ASSERT_EQ(fread(&nData, 8, 1, f), 1u);
    EXPECT_EQ(nCheck, 0xABCDu);
    EXPECT_EQ(HashDepth(nData), 7);
    EXPECT_EQ(HashMove(nData), e2e4);
    // Pawn entry 1 keeps the record layout.
    PawnEntry raw;
    fseek(f, 21845L * 48 + 24, SEEK_SET);
    ASSERT_EQ(fread(&raw, sizeof(raw), 1, f), 1u);
    EXPECT_EQ(raw.nKey, 33u);
    EXPECT_EQ(raw.nDoubled[1], 0x24);

    ClearTransTable();
    ClearPawnHash();
    ClearEvalHash();
    rewind(f);
    ASSERT_TRUE(ReadHashTables(f));
    HashProbe hp;
    ASSERT_TRUE(ProbeHash(&p, 7, -100, 100, 0, &hp));
    EXPECT_EQ(hp.nScore, 33);
    PawnEntry got;
    ASSERT_TRUE(LoadPawnEntry(33, &got));
    EXPECT_EQ(got.nScore, -5);
    EvalHashEntry ev;
    ASSERT_TRUE(LoadEvalEntry(2, &ev));
    EXPECT_EQ(ev.nScore, 99);
    // A larger table than the file held: a short read.
    nEvalHashMB = 2;
    ASSERT_TRUE(AllocEvalHash(false));
    rewind(f);
    EXPECT_FALSE(ReadHashTables(f));
    fclose(f);
}

// ---------------------------------------------------------------------------------------
// Threads: stores and probes of the same buckets at once must stay defined (run under TSan).

TEST_F(HashTables, ConcurrentStoresAndProbesStayWellFormed) {
    SmallTable();
    nPawnHashKB = 1;
    nEvalHashMB = 1;
    ASSERT_TRUE(AllocPawnHash(false));
    ASSERT_TRUE(AllocEvalHash(false));
    const Move aMoves[3] = {e2e4, g1f3, BuildMove(Sq("e4"), Sq("e5"), KIND_NORMAL, NONE, PAWN, NONE)};
    std::vector<std::thread> threads;
    std::atomic<int> nBadMoves{0}, nBadScores{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            BindStatsThread(t);
            uint64_t r = 0x9E3779B97F4A7C15ULL * (t + 1);
            for (int i = 0; i < 20000; ++i) {
                r ^= r << 13, r ^= r >> 7, r ^= r << 17;
                const Position p = At(KeyIn(r % 4, uint32_t(1 + (r >> 40) % 16)));  // 4 crowded buckets
                const int nScore = int(r % 2001) - 1000;
                StoreHash(&p, int(r % 20), nScore, -50, 50, aMoves[r % 3], r & 1, r & 2);
                HashProbe hp;
                ProbeHash(&p, int((r >> 8) % 20), -50, 50, 1, &hp);
                if (hp.nMove && !IsMoveValid(&p, hp.nMove)) nBadMoves++;
                if (hp.nScore < -1000 || hp.nScore > 1000) nBadScores++;

                PawnEntry e{};
                e.nKey = (r % 8) + 1;
                e.nScore = int16_t(e.nKey);
                StorePawnEntry(e);
                PawnEntry got;
                LoadPawnEntry(e.nKey, &got);
                StoreEvalEntry((r >> 3) % 8 + 1, int(r % 100));
                EvalHashEntry ev;
                LoadEvalEntry((r >> 6) % 8 + 1, &ev);
                HashFull();
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(nBadMoves.load(), 0);
    EXPECT_EQ(nBadScores.load(), 0);
    SearchStats s;
    GatherSearchStats(&s);
    EXPECT_EQ(s.anWrites[0] + s.anWrites[1] + s.anWrites[2] + s.anWrites[3] <= 80000u, true);
    EXPECT_GT(s.anProbes[0].Get(), 0u);
    EXPECT_GT(HashFills(), 0u);
}

}  // namespace
