// Random legal games: at every position the generators, the move check, the picker and the legality
// helpers must agree with each other, and every move made must give the position that a fresh
// set-up from its FEN gives.
#include <random>
#include <set>

#include "movegen_test_util.h"

namespace {

bool SamePosition(const Position& a, const Position& b) {
    return std::memcmp(a.bbPieces, b.bbPieces, sizeof a.bbPieces) == 0 && a.bbRotated90 == b.bbRotated90 &&
           a.bbRotated45L == b.bbRotated45L && a.bbRotated45R == b.bbRotated45R &&
           std::memcmp(a.aBoard, b.aBoard, sizeof a.aBoard) == 0 && a.nMaterial[0] == b.nMaterial[0] &&
           a.nMaterial[1] == b.nMaterial[1] && a.bSideToMove == b.bSideToMove && a.nEpSquare == b.nEpSquare &&
           a.nFifty == b.nFifty && (a.nCastling & 0x0F) == (b.nCastling & 0x0F) && a.nHashKey == b.nHashKey &&
           a.nPawnKey == b.nPawnKey && a.nMaterialKey == b.nMaterialKey;
}

// Writes the FEN of a position into a failure message; built only when a check fails.
struct FenText {
    const Position* p;
};
std::ostream& operator<<(std::ostream& os, FenText f) {
    return os << FenOf(*f.p);
}

struct Checker {
    std::mt19937 rng{20240611};
    std::vector<Move> stale;  // moves of an earlier position, as stale killers and hash moves
    MoveList list;
    long nPositions = 0, nInCheck = 0, nPicked = 0, nMutations = 0, nMutationsValid = 0;
    long anLegalKinds[4] = {};  // legal moves seen by Kind

    int Rand(int n) { return int(rng() % unsigned(n)); }
    Move RandomOf(const std::vector<Move>& v) { return v.empty() ? 0 : v[Rand(int(v.size()))]; }

    // Killer candidates: none, a move of this position (captures too), or a stale one.
    Move RandomHint(const std::vector<Move>& here) {
        switch (Rand(4)) {
            case 0:
                return 0;
            case 1:
            case 2:
                return RandomOf(here);
            default:
                return RandomOf(stale);
        }
    }

    void ExpectPickerReturns(const Position& p, Move hash, int phase, bool bInCheck,
                             const std::vector<Move>& expected, FenText fen) {
        const int row = Rand(kMaxPly);
        anKiller1[row] = RandomHint(expected);
        anKiller2[row] = Rand(8) ? RandomHint(expected) : anKiller1[row];
        StartPicker(&list, hash, phase);
        std::vector<Move> got;
        int score = 0;
        for (Move m; (m = NextMove(&p, &list, row, bInCheck, &score)) != 0 && got.size() <= 300;) {
            if (got.empty() && hash) {
                EXPECT_EQ(m, hash) << fen;
                EXPECT_EQ(score, phase == PHASE_ROOT ? 31999 : 1) << fen;
            }
            if (m == list.nKiller1Played || m == list.nKiller2Played) {
                EXPECT_EQ(score, 0) << fen;
            }
            got.push_back(m);
            EXPECT_EQ(list.nReturned, int(got.size())) << fen;
        }
        nPicked += long(got.size());
        EXPECT_EQ(Sorted(got), Sorted(expected))
            << fen << " phase " << phase << " in check " << bInCheck << " hash " << MoveToCoord(hash);
    }

    // Returns the legal moves of p.
    std::vector<Move> Check(const Position& p) {
        nPositions++;
        const FenText fen{&p};
        std::vector<Move> caps = Captures(p), quiets = Quiets(p);
        std::vector<Move> all = caps;
        all.insert(all.end(), quiets.begin(), quiets.end());
        std::vector<Move> sortedAll = Sorted(all);
        EXPECT_EQ(std::adjacent_find(sortedAll.begin(), sortedAll.end()), sortedAll.end()) << fen;

        for (Move m : caps)
            EXPECT_TRUE(MoveCaptured(m) || MoveKind(m) == KIND_PROMO) << fen << " " << MoveToCoord(m);
        for (Move m : quiets)
            EXPECT_TRUE(!MoveCaptured(m) && MoveKind(m) <= KIND_CASTLE) << fen << " " << MoveToCoord(m);

        // Every generated word passes the move check; the user-move test takes exactly the legal ones.
        std::vector<Move> legal;
        for (Move m : all) {
            EXPECT_TRUE(IsMoveValid(&p, m)) << fen << " " << MoveToCoord(m);
            if (LeavesKingSafe(p, m)) legal.push_back(m);
        }
        if (!all.empty()) {
            Move m = RandomOf(all);
            EXPECT_EQ(IsGeneratedMove(&p, m), std::count(legal.begin(), legal.end(), m) == 1)
                << fen << " " << MoveToCoord(m);
        }

        // The move check accepts nothing else: words that differ from a generated one in one field,
        // and words for random squares of the mover's pieces.
        for (int i = 0; i < 6 && !all.empty(); i++) {
            Move m = RandomOf(all);
            const int shift[] = {0, 6, 12, 14, 17, 20};
            const int width[] = {6, 6, 2, 3, 3, 3};
            const int f = Rand(6);
            m = (m & ~(((Move(1) << width[f]) - 1) << shift[f])) | (Move(Rand(1 << width[f])) << shift[f]);
            const bool bGenerated = std::binary_search(sortedAll.begin(), sortedAll.end(), m);
            EXPECT_EQ(IsMoveValid(&p, m), bGenerated) << fen << " word " << std::hex << m;
            nMutations++;
            nMutationsValid += bGenerated;
        }
        Bitboard own = p.bbPieces[p.bSideToMove][BB_ALL];
        for (int i = 0; i < 4; i++) {
            Bitboard b = own;
            for (int k = Rand(PopCount(own)); k > 0; k--) b &= b - 1;
            const int from = LowestSquare(b), to = Rand(64);
            const int kind = Rand(4), promo = Rand(3) ? 0 : Rand(8);
            const int captured = kind == KIND_EP ? PAWN : CodeType(p.aBoard[to]);
            Move m = BuildMove(from, to, kind, promo, CodeType(p.aBoard[from]), captured);
            EXPECT_EQ(IsMoveValid(&p, m), std::binary_search(sortedAll.begin(), sortedAll.end(), m))
                << fen << " " << MoveToCoord(m) << " kind " << kind;
        }

        // Evasions: in check they hold every legal move; otherwise they are all moves.
        const bool bInCheck = InCheck(&p) != 0;
        std::vector<Move> evasions = Evasions(p);
        if (bInCheck) {
            nInCheck++;
            std::vector<Move> sortedEvasions = Sorted(evasions);
            EXPECT_EQ(std::adjacent_find(sortedEvasions.begin(), sortedEvasions.end()), sortedEvasions.end());
            EXPECT_TRUE(std::includes(sortedAll.begin(), sortedAll.end(), sortedEvasions.begin(),
                                      sortedEvasions.end()))
                << fen;
            EXPECT_EQ(Sorted(LegalOnly(p, evasions)), Sorted(legal)) << fen;
        } else {
            EXPECT_EQ(evasions, all) << fen;
        }

        // The picker hands out each move once: from the hash move on (evasions only in check)...
        Move hash = Rand(4) ? RandomOf(legal) : 0;
        ExpectPickerReturns(p, hash, PHASE_HASH, bInCheck, bInCheck ? evasions : all, fen);
        // ...as perft runs it (no hash move, no evasion batch)...
        ExpectPickerReturns(p, 0, PHASE_CAPTURES, false, all, fen);
        // ...and at the root.
        if (Rand(8) == 0) ExpectPickerReturns(p, hash, PHASE_ROOT, bInCheck, bInCheck ? evasions : all, fen);

        for (Move m : legal) anLegalKinds[MoveKind(m)]++;
        stale = all;
        return legal;
    }
};

TEST(RandomGames, GeneratorsPickerAndMakeMoveAgree) {
    PickerTables::Clear();
    static Checker c;  // large: keep it off the stack
    static GameState g;
    const int kGames = 2000, kMaxPlies = 120;
    long nMoves = 0;
    for (int game = 0; game < kGames && !HasFailure(); game++) {
        Position pos;
        SetStartPosition(&pos);
        for (int ply = 0; ply < kMaxPlies && !HasFailure(); ply++) {
            std::vector<Move> legal = c.Check(pos);
            if (legal.empty() || pos.nFifty >= 100) break;
            const Move m = c.RandomOf(legal);
            Position next;
            MakeMove(m, &pos, &next, 0, -1);
            nMoves++;
            Position fresh{};
            char fen[128];
            WriteFen(&next, fen);
            ASSERT_TRUE(ParseFenQuiet(&fresh, &g, fen)) << fen;
            if (!SamePosition(next, fresh)) {
                ExpectSamePosition(next, fresh, FenOf(pos) + " then " + MoveToCoord(m));
                return;
            }
            pos = next;
        }
    }
    PickerTables::Clear();
    // The walk must have seen enough of the interesting cases to mean something.
    EXPECT_GT(nMoves, 100000);
    EXPECT_GT(c.nInCheck, 2000);
    EXPECT_GT(c.nMutationsValid, 1000);
    EXPECT_GT(c.anLegalKinds[KIND_CASTLE], 1000);
    EXPECT_GT(c.anLegalKinds[KIND_PROMO], 1000);
    EXPECT_GT(c.anLegalKinds[KIND_EP], 100);
    RecordProperty("positions", int(c.nPositions));
    RecordProperty("moves_picked", int(c.nPicked));
}

}  // namespace
