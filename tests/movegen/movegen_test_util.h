// Shared helpers for the move generation tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "board/board_test_util.h"
#include "movegen/movegen.h"

inline std::vector<Move> Captures(const Position& p) {
    Move a[kMaxMoves];
    return std::vector<Move>(a, a + GenerateCaptures(&p, a));
}
inline std::vector<Move> Quiets(const Position& p) {
    Move a[kMaxMoves];
    return std::vector<Move>(a, a + GenerateQuiets(&p, a));
}
inline std::vector<Move> Evasions(const Position& p) {
    Move a[kMaxMoves];
    return std::vector<Move>(a, a + GenerateEvasions(&p, a));
}
// Captures followed by quiet moves: every pseudo-legal move once.
inline std::vector<Move> AllMoves(const Position& p) {
    std::vector<Move> v = Captures(p);
    std::vector<Move> q = Quiets(p);
    v.insert(v.end(), q.begin(), q.end());
    return v;
}

// Legality by playing the move, as the searches decide it.
inline bool LeavesKingSafe(const Position& p, Move m) {
    Position child;
    MakeMove(m, &p, &child, 0, -1);
    const int us = p.bSideToMove;
    return !AttackedBy(KingSquare(child, us), &child, us ^ 1);
}
inline std::vector<Move> LegalOnly(const Position& p, const std::vector<Move>& moves) {
    std::vector<Move> v;
    for (Move m : moves)
        if (LeavesKingSafe(p, m)) v.push_back(m);
    return v;
}

inline std::vector<std::string> Coords(const std::vector<Move>& moves) {
    std::vector<std::string> v;
    for (Move m : moves) v.push_back(MoveToCoord(m));
    return v;
}

// The generated move written as text ("e7e8q"), or 0 when no generator makes it.
inline Move FindMove(const Position& p, const std::string& text) {
    for (Move m : AllMoves(p))
        if (MoveToCoord(m) == text) return m;
    return 0;
}

inline std::vector<Move> Sorted(std::vector<Move> v) {
    std::sort(v.begin(), v.end());
    return v;
}

// One handed-out move with its score and the picker's count right after it.
struct Picked {
    Move m;
    int nScore;
    int nReturned;
};

// Runs the picker to the end of the node.
inline std::vector<Picked> Drain(const Position& p, Move hash, int phase, int row, bool bInCheck,
                                 MoveList* list = nullptr) {
    static MoveList local;
    MoveList* l = list ? list : &local;
    StartPicker(l, hash, phase);
    std::vector<Picked> out;
    int score = 0;
    for (Move m; (m = NextMove(&p, l, row, bInCheck, &score)) != 0;) {
        out.push_back({m, score, l->nReturned});
        if (out.size() > 1000) break;  // a picker that never ends
    }
    EXPECT_EQ(NextMove(&p, l, row, bInCheck), 0u) << "an ended node stays ended";
    return out;
}

inline std::vector<Move> MovesOf(const std::vector<Picked>& picked) {
    std::vector<Move> v;
    for (const Picked& x : picked) v.push_back(x.m);
    return v;
}

// Clears the killer, history and root tables around each test that uses them.
class PickerTables : public ::testing::Test {
public:
    void SetUp() override { Clear(); }
    void TearDown() override { Clear(); }
    static void Clear() {
        EnsureTables();
        std::memset(anKiller1, 0, sizeof anKiller1);
        std::memset(anKiller2, 0, sizeof anKiller2);
        std::memset(anHistory, 0, sizeof anHistory);
        RootMoves.nCount = 0;
    }
};
