// Polyglot books: the format's position key, its move codes, reading and choosing.
#include "book/polyglot.h"

#include <algorithm>

#include "movegen/movegen.h"

namespace {

constexpr int kCastleOffset = 768, kEpOffset = 772, kTurnOffset = 780;

uint64_t LoadBe(const uint8_t* p, int nBytes) {
    uint64_t v = 0;
    for (int i = 0; i < nBytes; i++) v = (v << 8) | p[i];
    return v;
}

// The format counts its kinds black first: black pawn 0, white pawn 1, ... white king 11.
int PieceKind(int code) {
    return 2 * (CodeType(code) - 1) + (CodeColour(code) == WHITE ? 1 : 0);
}

// The pawn that has just advanced two squares can be taken by a pawn of the side to move.
bool EpCapturePossible(const Position& pos) {
    const int ep = pos.nEpSquare;
    if (ep < 0 || ep >= 64) return false;
    const int us = pos.bSideToMove;
    const int pushed = us == WHITE ? ep - 8 : ep + 8;
    if (pushed < 0 || pushed >= 64) return false;
    const int file = SquareFile(pushed), rank = SquareRank(pushed);
    const int ours = PieceCode(us, PAWN);
    return (file > 0 && pos.aBoard[MakeSquare(file - 1, rank)] == ours) ||
           (file < 7 && pos.aBoard[MakeSquare(file + 1, rank)] == ours);
}

}  // namespace

uint64_t PolyglotKey(const Position& pos) {
    uint64_t key = 0;
    for (int sq = 0; sq < 64; sq++) {
        const int code = pos.aBoard[sq];
        if (CodeType(code) == NONE) continue;
        key ^= kPolyglotRandom[64 * PieceKind(code) + 8 * SquareRank(sq) + SquareFile(sq)];
    }
    if (pos.nCastling & CASTLE_WK) key ^= kPolyglotRandom[kCastleOffset + 0];
    if (pos.nCastling & CASTLE_WQ) key ^= kPolyglotRandom[kCastleOffset + 1];
    if (pos.nCastling & CASTLE_BK) key ^= kPolyglotRandom[kCastleOffset + 2];
    if (pos.nCastling & CASTLE_BQ) key ^= kPolyglotRandom[kCastleOffset + 3];
    if (EpCapturePossible(pos)) key ^= kPolyglotRandom[kEpOffset + SquareFile(pos.nEpSquare)];
    if (pos.bSideToMove == WHITE) key ^= kPolyglotRandom[kTurnOffset];
    return key;
}

Move PolyglotMove(const Position* pos, uint16_t nCode) {
    static constexpr int kPromo[8] = {NONE, KNIGHT, BISHOP, ROOK, QUEEN, NONE, NONE, NONE};
    const int from = MakeSquare((nCode >> 6) & 7, (nCode >> 9) & 7);
    int to = MakeSquare(nCode & 7, (nCode >> 3) & 7);
    const int promo = kPromo[(nCode >> 12) & 7];
    // The king "taking" its own rook is castling, which we write as the king's two-square step.
    const int code = pos->aBoard[from];
    if (CodeType(code) == KING && pos->aBoard[to] == PieceCode(CodeColour(code), ROOK)) {
        if (from == SQ_E1 && to == SQ_H1) to = SQ_G1;
        if (from == SQ_E1 && to == SQ_A1) to = SQ_C1;
        if (from == SQ_E8 && to == SQ_H8) to = SQ_G8;
        if (from == SQ_E8 && to == SQ_A8) to = SQ_C8;
    }
    Move moves[kMaxMoves];
    int n = GenerateCaptures(pos, moves, kMaxMoves);
    n += GenerateQuiets(pos, moves + n, kMaxMoves - n);
    for (int i = 0; i < n; i++) {
        const Move m = moves[i];
        if (MoveFrom(m) != from || MoveTo(m) != to) continue;
        if ((MoveKind(m) == KIND_PROMO ? MovePromo(m) : NONE) != promo) continue;
        if (IsLegalMove(pos, m)) return m;
    }
    return 0;
}

bool ParsePolyglotBook(const std::vector<uint8_t>& bytes, std::vector<PolyglotEntry>* out) {
    out->clear();
    if (bytes.empty() || bytes.size() % kPolyglotEntrySize != 0) return false;
    const size_t n = bytes.size() / kPolyglotEntrySize;
    std::vector<PolyglotEntry> book(n);
    for (size_t i = 0; i < n; i++) {
        const uint8_t* p = bytes.data() + i * kPolyglotEntrySize;
        book[i] = {LoadBe(p, 8), uint16_t(LoadBe(p + 8, 2)), uint16_t(LoadBe(p + 10, 2)),
                   uint32_t(LoadBe(p + 12, 4))};
        if (i > 0 && book[i].nKey < book[i - 1].nKey) return false;
    }
    out->swap(book);
    return true;
}

Move ChoosePolyglotMove(const std::vector<PolyglotEntry>& book, const Position* pos, uint64_t nRandom) {
    const uint64_t key = PolyglotKey(*pos);
    const auto first = std::lower_bound(book.begin(), book.end(), key,
                                        [](const PolyglotEntry& e, uint64_t k) { return e.nKey < k; });
    Move aMoves[kMaxMoves];
    uint32_t anWeights[kMaxMoves];
    int n = 0;
    uint64_t nTotal = 0;
    for (auto it = first; it != book.end() && it->nKey == key && n < kMaxMoves; ++it) {
        // A key collision or a damaged entry can name a move this position does not have.
        const Move m = PolyglotMove(pos, it->nMove);
        if (!m || std::find(aMoves, aMoves + n, m) != aMoves + n) continue;
        aMoves[n] = m;
        anWeights[n] = it->nWeight;
        nTotal += it->nWeight;
        n++;
    }
    if (n == 0) return 0;
    if (nTotal == 0) return aMoves[nRandom % uint64_t(n)];
    uint64_t r = nRandom % nTotal;
    for (int i = 0; i < n; i++) {
        if (r < anWeights[i]) return aMoves[i];
        r -= anWeights[i];
    }
    return aMoves[n - 1];
}
