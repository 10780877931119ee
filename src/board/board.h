// Board core: the position record, precomputed tables, position keys, making moves,
// attack detection and move text.
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "core/settings.h"

using Bitboard = uint64_t;
using Move = uint32_t;

// Colours and piece types.
enum : int { WHITE = 0, BLACK = 1 };
enum : int { NONE = 0, PAWN = 1, KNIGHT = 2, BISHOP = 3, ROOK = 4, QUEEN = 5, KING = 6 };
// Indices into Position::bbPieces[colour][]: 0..5 are type - 1.
enum : int { BB_PAWN = 0, BB_KNIGHT, BB_BISHOP, BB_ROOK, BB_QUEEN, BB_KING, BB_BQ, BB_RQ, BB_ALL };
// Piece codes on aBoard: type | 8 for white, type | 16 for black.
inline constexpr int kWhiteBit = 8, kBlackBit = 16;
inline constexpr int PieceCode(int colour, int type) {
    return type | (colour ? kBlackBit : kWhiteBit);
}
inline constexpr int CodeType(int code) {
    return code & 7;
}
inline constexpr int CodeColour(int code) {
    return (code >> 4) & 1;
}

// Squares: rank * 8 + (7 - file); 0 = h1, 7 = a1, 56 = h8, 63 = a8.
inline constexpr int MakeSquare(int file, int rank) {
    return rank * 8 + (7 - file);
}
inline constexpr int SquareFile(int sq) {
    return 7 - (sq & 7);
}  // a = 0
inline constexpr int SquareRank(int sq) {
    return sq >> 3;
}  // rank 1 = 0
inline constexpr char FileChar(int sq) {
    return char('h' - (sq & 7));
}
inline constexpr char RankChar(int sq) {
    return char('1' + (sq >> 3));
}
enum : int {
    SQ_H1 = 0,
    SQ_G1 = 1,
    SQ_F1 = 2,
    SQ_E1 = 3,
    SQ_D1 = 4,
    SQ_C1 = 5,
    SQ_B1 = 6,
    SQ_A1 = 7,
    SQ_H8 = 56,
    SQ_G8 = 57,
    SQ_F8 = 58,
    SQ_E8 = 59,
    SQ_D8 = 60,
    SQ_C8 = 61,
    SQ_B8 = 62,
    SQ_A8 = 63
};

// Castling rights and has-castled flags.
enum : int {
    CASTLE_WK = 0x01,
    CASTLE_WQ = 0x02,
    CASTLE_BK = 0x04,
    CASTLE_BQ = 0x08,
    CASTLED_W = 0x10,
    CASTLED_B = 0x20
};

// The position record: a plain value, copied whole by MakeMove.
struct alignas(64) Position {
    Bitboard bbPieces[2][9];
    Bitboard bbRotated90;
    Bitboard bbRotated45L;
    Bitboard bbRotated45R;
    uint8_t aBoard[64];
    int32_t nMaterial[2];
    uint8_t bSideToMove;
    int8_t nEpSquare;
    uint8_t nFifty;
    uint8_t nCastling;
    uint64_t nHashKey;
    uint64_t nPawnKey;
    uint64_t nMaterialKey;
    uint8_t nInCheck;
};
static_assert(alignof(Position) == 64);

// Whole-record copy with aligned 16-byte moves over the used bytes; the compiler's own copy of
// this record becomes "rep movs", several times slower for a record this small.
inline void CopyPosition(Position* dst, const Position* src) {
#if defined(__SSE2__)
    constexpr size_t kUsed = (offsetof(Position, nInCheck) + 1 + 15) / 16;
    const __m128i* s = reinterpret_cast<const __m128i*>(src);
    __m128i* d = reinterpret_cast<__m128i*>(dst);
    for (size_t i = 0; i < kUsed; i++) _mm_store_si128(d + i, _mm_load_si128(s + i));
#else
    *dst = *src;
#endif
}

inline Bitboard Occupancy(const Position& pos) {
    return pos.bbPieces[0][BB_ALL] | pos.bbPieces[1][BB_ALL];
}

// Game state beside the position. The history is far longer than any game plus the
// deepest search line (index nGamePly + 128 must stay inside).
inline constexpr int kMaxGamePly = 8000;
inline constexpr int kGameHistorySize = kMaxGamePly + 256;
struct GameState {
    int nFullMove;
    int nGamePly;
    uint64_t aGameHistory[kGameHistorySize];
};
extern GameState game;

// Per-thread marker of the last irreversible move (a capture or pawn move), written by
// MakeMove; padded so that threads do not share cache lines.
struct alignas(64) ThreadMarker {
    int nLastIrreversible;
};
extern ThreadMarker aThreadMarkers[kMaxThreads];

// ---------------------------------------------------------------------------------------
// Move word: To 0-5, From 6-11, Kind 12-13, Promo 14-16, Piece 17-19, Captured 20-22.
enum : int { KIND_NORMAL = 0, KIND_CASTLE = 1, KIND_PROMO = 2, KIND_EP = 3 };
inline constexpr int MoveTo(Move m) {
    return int(m & 63);
}
inline constexpr int MoveFrom(Move m) {
    return int((m >> 6) & 63);
}
inline constexpr int MoveKind(Move m) {
    return int((m >> 12) & 3);
}
inline constexpr int MovePromo(Move m) {
    return int((m >> 14) & 7);
}
inline constexpr int MovePiece(Move m) {
    return int((m >> 17) & 7);
}
inline constexpr int MoveCaptured(Move m) {
    return int((m >> 20) & 7);
}
inline constexpr Move BuildMove(int from, int to, int kind, int promo, int piece, int captured) {
    return Move(to) | (Move(from) << 6) | (Move(kind) << 12) | (Move(promo) << 14) | (Move(piece) << 17) |
           (Move(captured) << 20);
}

// ---------------------------------------------------------------------------------------
// Precomputed tables.
extern const int anRot90Index[64];
extern const int anRot45LIndex[64];
extern const int anRot45RIndex[64];
extern const int anRankShift[64];
extern const int anRot90Shift[64];
extern const int anRot45LShift[64];
extern const int anRot45RShift[64];
extern const int anDiag45LLength[64];
extern const int anDiag45RLength[64];
extern const Bitboard abbFileMask[8];  // by c = 7 - file: 0 is the h-file

extern Bitboard abbSquareMask[64];
extern uint64_t anCastleMask[64];
extern int anPieceValue[23];
extern Bitboard abbPawnAttacks[2][64];
extern Bitboard abbEpCapturers[2][64];
extern Bitboard abbKnightAttacks[64];
extern Bitboard abbKingAttacks[64];
extern Bitboard abbRankAttacks[64][256];
extern Bitboard abbFileAttacks[64][256];
extern Bitboard abbDiag45LAttacks[64][256];
extern Bitboard abbDiag45RAttacks[64][256];
extern uint32_t anDiag45LMask[64];
extern uint32_t anDiag45RMask[64];
extern int anDirection[64][64];
// Ray directions (index into abbRay) and their square steps.
enum : int { RAY_UP = 0, RAY_DOWN, RAY_TO_A, RAY_TO_H, RAY_UP_A, RAY_UP_H, RAY_DOWN_A, RAY_DOWN_H };
inline constexpr int anRayStep[8] = {8, -8, 1, -1, 9, 7, -7, -9};
extern Bitboard abbRay[8][64];
extern Bitboard abbBetween[64][64];
extern Bitboard abbAdjacentFiles[8];  // by c = 7 - file
extern Bitboard abbFrontSpanAdjacent[2][64];

void InitTables();

inline constexpr Bitboard SquareBit(int sq) {
    return Bitboard(1) << sq;
}
inline int PopCount(Bitboard b) {
    return std::popcount(b);
}
inline int LowestSquare(Bitboard b) {
    return std::countr_zero(b);
}
inline int PopLowest(Bitboard& b) {
    int sq = std::countr_zero(b);
    b &= b - 1;
    return sq;
}
inline int Distance(int a, int b) {
    int df = (a & 7) - (b & 7), dr = (a >> 3) - (b >> 3);
    df = df < 0 ? -df : df;
    dr = dr < 0 ? -dr : dr;
    return df > dr ? df : dr;
}
// Direction index of a step (see anRayStep), -1 when the step is not a line step.
inline int RayIndexOfStep(int step) {
    switch (step) {
        case 8:
            return RAY_UP;
        case -8:
            return RAY_DOWN;
        case 1:
            return RAY_TO_A;
        case -1:
            return RAY_TO_H;
        case 9:
            return RAY_UP_A;
        case 7:
            return RAY_UP_H;
        case -7:
            return RAY_DOWN_A;
        case -9:
            return RAY_DOWN_H;
        default:
            return -1;
    }
}

// Sliding attacks through the rotated occupancy boards.
inline Bitboard RankAttacks(const Position& pos, int sq) {
    return abbRankAttacks[sq][(Occupancy(pos) >> anRankShift[sq]) & 0xFF];
}
inline Bitboard FileAttacks(const Position& pos, int sq) {
    return abbFileAttacks[sq][(pos.bbRotated90 >> anRot90Shift[sq]) & 0xFF];
}
inline Bitboard Diag45LAttacks(const Position& pos, int sq) {
    return abbDiag45LAttacks[sq][(pos.bbRotated45L >> anRot45LShift[sq]) & anDiag45LMask[sq]];
}
inline Bitboard Diag45RAttacks(const Position& pos, int sq) {
    return abbDiag45RAttacks[sq][(pos.bbRotated45R >> anRot45RShift[sq]) & anDiag45RMask[sq]];
}
inline Bitboard RookAttacks(const Position& pos, int sq) {
    return RankAttacks(pos, sq) | FileAttacks(pos, sq);
}
inline Bitboard BishopAttacks(const Position& pos, int sq) {
    return Diag45LAttacks(pos, sq) | Diag45RAttacks(pos, sq);
}

// ---------------------------------------------------------------------------------------
// Position keys.
extern uint64_t anKeyPiece[64][2][7];  // [square][colour][type]; type 0 is 0
extern uint8_t anKeyCastle[4];         // K, Q, k, q
extern uint8_t nKeySide;
extern uint8_t anKeyEp[64];
extern uint8_t anKeyFifty[256];  // clocks 0..255; 100..255 drawn after the first hundred

void RandomReset();
uint32_t Random32();
uint64_t Random64();
uint64_t RandomBits(int n);
void InitKeys();  // draws every key in its fixed order; called by InitTables
void ComputeHashKey(Position* pos);
// Signature used for repetition: the main key without its half-move-clock term.
inline uint64_t RepetitionKey(const Position& pos) {
    return pos.nHashKey ^ anKeyFifty[pos.nFifty];
}

// ---------------------------------------------------------------------------------------
// Setting up, writing and printing positions.
void SetStartPosition(Position* pos);
// Reads a FEN; an invalid one prints "Invalid FEN: ..." and leaves pos and g untouched.
bool ParseFen(Position* pos, GameState* g, const char* text);
// Like ParseFen without any message; used by tests and tools that report errors themselves.
bool ParseFenQuiet(Position* pos, GameState* g, const char* text);
void WriteFen(const Position* pos, char* buf);  // buf holds at least 100 characters
std::string FenOf(const Position& pos);
bool LoadFenFile(Position* pos, GameState* g, const char* path);
void ComputeBitboards(Position* pos);
void MirrorPosition(Position* pos);

// ---------------------------------------------------------------------------------------
// Making moves. nThread < 0 leaves every thread's irreversible-move marker alone (scratch
// moves such as the SAN writer's check test).
void MakeMove(Move m, const Position* from, Position* to, int nPly, int nThread);

// ---------------------------------------------------------------------------------------
// Attacks and move text. AttackedBy returns 1 pawn, 2 knight, 3 diagonal slider,
// 4 straight slider, 6 king, 0 none.
inline int AttackedBy(int sq, const Position* pos, int bySide) {
    if (abbPawnAttacks[bySide ^ 1][sq] & pos->bbPieces[bySide][BB_PAWN]) return 1;
    if (abbKnightAttacks[sq] & pos->bbPieces[bySide][BB_KNIGHT]) return 2;
    if (BishopAttacks(*pos, sq) & pos->bbPieces[bySide][BB_BQ]) return 3;
    if (RookAttacks(*pos, sq) & pos->bbPieces[bySide][BB_RQ]) return 4;
    if (abbKingAttacks[sq] & pos->bbPieces[bySide][BB_KING]) return 6;
    return 0;
}
inline int KingSquare(const Position& pos, int colour) {
    return LowestSquare(pos.bbPieces[colour][BB_KING]);
}
std::string MoveToSan(const Position* pos, Move m);
std::string MoveToCoord(Move m);
