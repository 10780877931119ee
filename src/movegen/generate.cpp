// Pseudo-legal move generators: captures (with every promotion and en passant), quiet moves
// (with castling) and check evasions, one variant per colour.
#include "movegen/movegen.h"

namespace {

constexpr Bitboard kFileH = 0x0101010101010101ULL;
constexpr Bitboard kFileA = kFileH << 7;
constexpr Bitboard kRank1 = 0xFFULL;

constexpr Bitboard RankMask(int rank) {
    return kRank1 << (8 * rank);
}

// Appends moves to an array that holds nRoom entries. The store is unconditional and only the
// count saturates, so the last entry is scratch and at most nRoom - 1 moves are kept.
struct MoveSink {
    Move* p;
    int n;
    int nLimit;
    MoveSink(Move* out, int nRoom) : p(out), n(0), nLimit(nRoom - 1) {}
    void Add(Move m) {
        p[n] = m;
        n += n < nLimit;
    }
    // Promotions come as queen, rook, bishop, knight.
    void AddPromotions(Move base) {
        Add(base | (Move(QUEEN) << 14));
        Add(base | (Move(ROOK) << 14));
        Add(base | (Move(BISHOP) << 14));
        Add(base | (Move(KNIGHT) << 14));
    }
};

// Colour-dependent constants: pawn steps and the ranks they care about.
template <int Us>
struct Side {
    static constexpr int kThem = Us ^ 1;
    static constexpr int kPush = Us == WHITE ? 8 : -8;
    static constexpr int kCapA = Us == WHITE ? 9 : -7;  // capture towards the a-file
    static constexpr int kCapH = Us == WHITE ? 7 : -9;  // capture towards the h-file
    static constexpr Bitboard kLast = RankMask(Us == WHITE ? 7 : 0);
    static constexpr Bitboard kSeventh = RankMask(Us == WHITE ? 6 : 1);
    static constexpr Bitboard kThird = RankMask(Us == WHITE ? 2 : 5);
    static constexpr Bitboard kEpRank = RankMask(Us == WHITE ? 5 : 2);
    static constexpr Bitboard Shift(Bitboard b, int step) { return step > 0 ? b << step : b >> -step; }
    static constexpr Bitboard Push(Bitboard b) { return Shift(b, kPush); }
    static constexpr Bitboard CapA(Bitboard b) { return Shift(b & ~kFileA, kCapA); }
    static constexpr Bitboard CapH(Bitboard b) { return Shift(b & ~kFileH, kCapH); }
};

inline Move PieceMove(int from, int to, int piece, int captured) {
    return BuildMove(from, to, KIND_NORMAL, 0, piece, captured);
}

// Pawn moves onto the squares of targets, each coming from to - step. Promotions on the last rank
// expand to four moves; the walk stays in ascending destination order for both colours.
template <int Us>
inline void AddPawnMoves(const Position& pos, MoveSink& sink, Bitboard targets, int step) {
    using S = Side<Us>;
    Bitboard normal = targets & ~S::kLast;
    Bitboard promo = targets & S::kLast;
    if (Us == BLACK) {
        while (promo) {
            int to = PopLowest(promo);
            sink.AddPromotions(BuildMove(to - step, to, KIND_PROMO, 0, PAWN, CodeType(pos.aBoard[to])));
        }
    }
    while (normal) {
        int to = PopLowest(normal);
        sink.Add(BuildMove(to - step, to, KIND_NORMAL, 0, PAWN, CodeType(pos.aBoard[to])));
    }
    if (Us == WHITE) {
        while (promo) {
            int to = PopLowest(promo);
            sink.AddPromotions(BuildMove(to - step, to, KIND_PROMO, 0, PAWN, CodeType(pos.aBoard[to])));
        }
    }
}

// En-passant captures of the side to move (only when the pawn that passed is really there).
template <int Us>
inline void AddEnPassant(const Position& pos, MoveSink& sink) {
    using S = Side<Us>;
    const int ep = pos.nEpSquare;
    if (ep < 0 || !(SquareBit(ep) & S::kEpRank) || pos.aBoard[ep] ||
        pos.aBoard[ep - S::kPush] != PieceCode(S::kThem, PAWN))
        return;
    Bitboard from = abbPawnAttacks[S::kThem][ep] & pos.bbPieces[Us][BB_PAWN];
    while (from) sink.Add(BuildMove(PopLowest(from), ep, KIND_EP, 0, PAWN, PAWN));
}

template <int Us>
void PawnCaptures(const Position& pos, MoveSink& sink) {
    using S = Side<Us>;
    const Bitboard pawns = pos.bbPieces[Us][BB_PAWN];
    const Bitboard enemy = pos.bbPieces[S::kThem][BB_ALL];
    const Bitboard empty = ~Occupancy(pos);
    AddPawnMoves<Us>(pos, sink, S::CapA(pawns) & enemy, S::kCapA);
    AddPawnMoves<Us>(pos, sink, S::CapH(pawns) & enemy, S::kCapH);
    AddEnPassant<Us>(pos, sink);
    Bitboard promo = S::Push(pawns & S::kSeventh) & empty;
    while (promo) {
        int to = PopLowest(promo);
        sink.AddPromotions(BuildMove(to - S::kPush, to, KIND_PROMO, 0, PAWN, NONE));
    }
}

// Knight, slider and king moves of the side to move onto targets (enemy pieces for captures,
// empty squares for quiet moves). Queens move with the bishops, then again with the rooks.
template <int Us, bool bCaptures>
void PieceMoves(const Position& pos, MoveSink& sink, Bitboard targets) {
    const Bitboard* own = pos.bbPieces[Us];
    const uint8_t* board = pos.aBoard;
    auto victim = [board](int to) { return bCaptures ? CodeType(board[to]) : NONE; };
    for (Bitboard b = own[BB_KNIGHT]; b;) {
        int from = PopLowest(b);
        for (Bitboard t = abbKnightAttacks[from] & targets; t;) {
            int to = PopLowest(t);
            sink.Add(PieceMove(from, to, KNIGHT, victim(to)));
        }
    }
    for (Bitboard b = own[BB_BQ]; b;) {
        int from = PopLowest(b);
        const int piece = CodeType(board[from]);
        for (Bitboard t = BishopAttacks(pos, from) & targets; t;) {
            int to = PopLowest(t);
            sink.Add(PieceMove(from, to, piece, victim(to)));
        }
    }
    for (Bitboard b = own[BB_RQ]; b;) {
        int from = PopLowest(b);
        const int piece = CodeType(board[from]);
        for (Bitboard t = RookAttacks(pos, from) & targets; t;) {
            int to = PopLowest(t);
            sink.Add(PieceMove(from, to, piece, victim(to)));
        }
    }
    for (Bitboard b = own[BB_KING]; b;) {
        int from = PopLowest(b);
        for (Bitboard t = abbKingAttacks[from] & targets; t;) {
            int to = PopLowest(t);
            sink.Add(PieceMove(from, to, KING, victim(to)));
        }
    }
}

template <int Us>
void Captures(const Position& pos, MoveSink& sink) {
    PawnCaptures<Us>(pos, sink);
    PieceMoves<Us, true>(pos, sink, pos.bbPieces[Us ^ 1][BB_ALL]);
}

// Castling needs the right, king and rook at home, the squares between them empty and the
// king's start, passing and target squares unattacked. b1/b8 only has to be empty.
template <int Us>
void Castling(const Position& pos, MoveSink& sink) {
    constexpr int kThem = Us ^ 1;
    constexpr int kOffset = Us == WHITE ? 0 : 56;
    constexpr int e = SQ_E1 + kOffset, f = SQ_F1 + kOffset, g = SQ_G1 + kOffset, h = SQ_H1 + kOffset;
    constexpr int d = SQ_D1 + kOffset, c = SQ_C1 + kOffset, b = SQ_B1 + kOffset, a = SQ_A1 + kOffset;
    constexpr int kKingSide = Us == WHITE ? CASTLE_WK : CASTLE_BK;
    constexpr int kQueenSide = Us == WHITE ? CASTLE_WQ : CASTLE_BQ;
    const int rights = pos.nCastling & (kKingSide | kQueenSide);
    if (!rights) return;
    const uint8_t* board = pos.aBoard;
    const int rook = PieceCode(Us, ROOK);
    if (board[e] != PieceCode(Us, KING)) return;
    if ((rights & kKingSide) && board[h] == rook && !board[f] && !board[g] && !AttackedBy(e, &pos, kThem) &&
        !AttackedBy(f, &pos, kThem) && !AttackedBy(g, &pos, kThem))
        sink.Add(BuildMove(e, g, KIND_CASTLE, 0, KING, NONE));
    if ((rights & kQueenSide) && board[a] == rook && !board[d] && !board[c] && !board[b] &&
        !AttackedBy(e, &pos, kThem) && !AttackedBy(d, &pos, kThem) && !AttackedBy(c, &pos, kThem))
        sink.Add(BuildMove(e, c, KIND_CASTLE, 0, KING, NONE));
}

template <int Us>
void Quiets(const Position& pos, MoveSink& sink) {
    using S = Side<Us>;
    const Bitboard empty = ~Occupancy(pos);
    // Single pushes in destination order, each followed by its double push.
    Bitboard pushes = S::Push(pos.bbPieces[Us][BB_PAWN] & ~S::kSeventh) & empty;
    while (pushes) {
        int to = PopLowest(pushes);
        sink.Add(BuildMove(to - S::kPush, to, KIND_NORMAL, 0, PAWN, NONE));
        if ((SquareBit(to) & S::kThird) && !pos.aBoard[to + S::kPush])
            sink.Add(BuildMove(to - S::kPush, to + S::kPush, KIND_NORMAL, 0, PAWN, NONE));
    }
    PieceMoves<Us, false>(pos, sink, empty);
    Castling<Us>(pos, sink);
}

template <int Us>
void Evasions(const Position& pos, MoveSink& sink) {
    using S = Side<Us>;
    constexpr int kThem = S::kThem;
    const Bitboard* own = pos.bbPieces[Us];
    const Bitboard* their = pos.bbPieces[kThem];
    const uint8_t* board = pos.aBoard;
    const int ksq = own[BB_KING] ? KingSquare(pos, Us) : -1;
    const Bitboard checkers =
        ksq < 0 ? 0
                : (abbPawnAttacks[Us][ksq] & their[BB_PAWN]) | (abbKnightAttacks[ksq] & their[BB_KNIGHT]) |
                      (BishopAttacks(pos, ksq) & their[BB_BQ]) | (RookAttacks(pos, ksq) & their[BB_RQ]);
    if (!checkers) {
        // Not in check after all: every move is an evasion.
        Captures<Us>(pos, sink);
        Quiets<Us>(pos, sink);
        return;
    }

    // King steps, judged with the king still on its square.
    for (Bitboard t = abbKingAttacks[ksq] & ~own[BB_ALL]; t;) {
        int to = PopLowest(t);
        if (!AttackedBy(to, &pos, kThem)) sink.Add(PieceMove(ksq, to, KING, CodeType(board[to])));
    }
    if (checkers & (checkers - 1)) return;  // double check: only the king can move

    const int checker = LowestSquare(checkers);
    const int checkerType = CodeType(board[checker]);
    Bitboard targets = SquareBit(checker);
    if (checkerType != PAWN && checkerType != KNIGHT) targets |= abbBetween[checker][ksq];
    const Bitboard empty = ~Occupancy(pos);
    const Bitboard pawns = own[BB_PAWN];

    const Bitboard single = S::Push(pawns) & empty;
    AddPawnMoves<Us>(pos, sink, single & targets, S::kPush);
    Bitboard doubles = S::Push(single & S::kThird) & empty & targets;
    while (doubles) {
        int to = PopLowest(doubles);
        sink.Add(BuildMove(to - 2 * S::kPush, to, KIND_NORMAL, 0, PAWN, NONE));
    }
    AddPawnMoves<Us>(pos, sink, S::CapA(pawns) & their[BB_ALL] & targets, S::kCapA);
    AddPawnMoves<Us>(pos, sink, S::CapH(pawns) & their[BB_ALL] & targets, S::kCapH);
    if (checkerType == PAWN) AddEnPassant<Us>(pos, sink);

    for (Bitboard b = own[BB_KNIGHT]; b;) {
        int from = PopLowest(b);
        for (Bitboard t = abbKnightAttacks[from] & targets; t;) {
            int to = PopLowest(t);
            sink.Add(PieceMove(from, to, KNIGHT, CodeType(board[to])));
        }
    }
    for (Bitboard b = own[BB_BISHOP]; b;) {
        int from = PopLowest(b);
        for (Bitboard t = BishopAttacks(pos, from) & targets; t;) {
            int to = PopLowest(t);
            sink.Add(PieceMove(from, to, BISHOP, CodeType(board[to])));
        }
    }
    for (Bitboard b = own[BB_ROOK]; b;) {
        int from = PopLowest(b);
        for (Bitboard t = RookAttacks(pos, from) & targets; t;) {
            int to = PopLowest(t);
            sink.Add(PieceMove(from, to, ROOK, CodeType(board[to])));
        }
    }
    for (Bitboard b = own[BB_QUEEN]; b;) {
        int from = PopLowest(b);
        for (Bitboard t = (BishopAttacks(pos, from) | RookAttacks(pos, from)) & targets; t;) {
            int to = PopLowest(t);
            sink.Add(PieceMove(from, to, QUEEN, CodeType(board[to])));
        }
    }
}

}  // namespace

int GenerateCaptures(const Position* pos, Move* out, int nRoom) {
    MoveSink sink(out, nRoom);
    if (pos->bSideToMove == WHITE)
        Captures<WHITE>(*pos, sink);
    else
        Captures<BLACK>(*pos, sink);
    return sink.n;
}

int GeneratePawnCaptures(const Position* pos, Move* out, int nRoom) {
    MoveSink sink(out, nRoom);
    if (pos->bSideToMove == WHITE)
        PawnCaptures<WHITE>(*pos, sink);
    else
        PawnCaptures<BLACK>(*pos, sink);
    return sink.n;
}

int GenerateQuiets(const Position* pos, Move* out, int nRoom) {
    MoveSink sink(out, nRoom);
    if (pos->bSideToMove == WHITE)
        Quiets<WHITE>(*pos, sink);
    else
        Quiets<BLACK>(*pos, sink);
    return sink.n;
}

int GenerateEvasions(const Position* pos, Move* out, int nRoom) {
    MoveSink sink(out, nRoom);
    if (pos->bSideToMove == WHITE)
        Evasions<WHITE>(*pos, sink);
    else
        Evasions<BLACK>(*pos, sink);
    return sink.n;
}

int GenerateCaptures(const Position* pos, Move* out) {
    return GenerateCaptures(pos, out, kMaxMoves);
}
int GeneratePawnCaptures(const Position* pos, Move* out) {
    return GeneratePawnCaptures(pos, out, kMaxMoves);
}
int GenerateQuiets(const Position* pos, Move* out) {
    return GenerateQuiets(pos, out, kMaxMoves);
}
int GenerateEvasions(const Position* pos, Move* out) {
    return GenerateEvasions(pos, out, kMaxMoves);
}
