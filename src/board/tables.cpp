// Attack, geometry and rotation tables, built once at start-up (and again by "seed").
#include <array>

#include "board/board.h"

namespace {

constexpr int FileOf(int sq) { return 7 - (sq & 7); }  // a = 0
constexpr int RankOf(int sq) { return sq >> 3; }

constexpr std::array<int, 64> MakeRot90() {
    std::array<int, 64> a{};
    for (int sq = 0; sq < 64; sq++) a[sq] = 8 * (sq & 7) + (7 - RankOf(sq));
    return a;
}
// a8-h1 direction diagonals in consecutive bits, upper-left end lowest.
constexpr std::array<int, 64> MakeRot45L() {
    std::array<int, 64> a{};
    for (int sq = 0; sq < 64; sq++) a[sq] = (112 - 7 * FileOf(sq) - 8 * RankOf(sq)) & 63;
    return a;
}
// a1-h8 direction diagonals in consecutive bits, lower-left end lowest.
constexpr std::array<int, 64> MakeRot45R() {
    std::array<int, 64> a{};
    for (int sq = 0; sq < 64; sq++) a[sq] = (9 * FileOf(sq) - 8 * RankOf(sq)) & 63;
    return a;
}
constexpr int Abs(int x) { return x < 0 ? -x : x; }
// Smallest rotated index among the squares of sq's diagonal.
template <typename F>
constexpr std::array<int, 64> MakeDiagShift(const std::array<int, 64>& index, F sameDiag) {
    std::array<int, 64> a{};
    for (int sq = 0; sq < 64; sq++) {
        int m = 64;
        for (int t = 0; t < 64; t++)
            if (sameDiag(sq, t) && index[t] < m) m = index[t];
        a[sq] = m;
    }
    return a;
}
constexpr bool Same45L(int a, int b) { return FileOf(a) + RankOf(a) == FileOf(b) + RankOf(b); }
constexpr bool Same45R(int a, int b) { return FileOf(a) - RankOf(a) == FileOf(b) - RankOf(b); }

constexpr auto kRot90 = MakeRot90();
constexpr std::array<int, 64> MakeIdentity() {
    std::array<int, 64> a{};
    for (int sq = 0; sq < 64; sq++) a[sq] = sq;
    return a;
}
constexpr auto kIdentity = MakeIdentity();
constexpr auto kRot45L = MakeRot45L();
constexpr auto kRot45R = MakeRot45R();
constexpr auto kShift45L = MakeDiagShift(kRot45L, Same45L);
constexpr auto kShift45R = MakeDiagShift(kRot45R, Same45R);

// Step from sq by (df, dr) in file/rank coordinates; -1 when off the board.
int Step(int sq, int df, int dr) {
    int f = FileOf(sq) + df, r = RankOf(sq) + dr;
    if (f < 0 || f > 7 || r < 0 || r > 7) return -1;
    return MakeSquare(f, r);
}

// File/rank deltas of the eight ray directions (matching anRayStep).
constexpr int kRayDf[8] = {0, 0, -1, 1, -1, 1, -1, 1};
constexpr int kRayDr[8] = {1, -1, 0, 0, 1, 1, -1, -1};

// Attack set of sq along one line for an occupancy pattern of that line.
Bitboard SlideAttacks(int sq, int dirA, int dirB, const int* index, int shift, unsigned pattern) {
    Bitboard att = 0;
    for (int dir : {dirA, dirB}) {
        int s = sq;
        while ((s = Step(s, kRayDf[dir], kRayDr[dir])) >= 0) {
            att |= SquareBit(s);
            if (pattern & (1u << (index[s] - shift))) break;
        }
    }
    return att;
}

}  // namespace

#define EXPAND(T)                                                                                       \
    T[0], T[1], T[2], T[3], T[4], T[5], T[6], T[7], T[8], T[9], T[10], T[11], T[12], T[13], T[14], T[15], \
        T[16], T[17], T[18], T[19], T[20], T[21], T[22], T[23], T[24], T[25], T[26], T[27], T[28], T[29], \
        T[30], T[31], T[32], T[33], T[34], T[35], T[36], T[37], T[38], T[39], T[40], T[41], T[42], T[43], \
        T[44], T[45], T[46], T[47], T[48], T[49], T[50], T[51], T[52], T[53], T[54], T[55], T[56], T[57], \
        T[58], T[59], T[60], T[61], T[62], T[63]
const int anRot90Index[64] = {EXPAND(kRot90)};
const int anRot45LIndex[64] = {EXPAND(kRot45L)};
const int anRot45RIndex[64] = {EXPAND(kRot45R)};
const int anRot45LShift[64] = {EXPAND(kShift45L)};
const int anRot45RShift[64] = {EXPAND(kShift45R)};

namespace {
constexpr std::array<int, 64> MakeRankShift() {
    std::array<int, 64> a{};
    for (int sq = 0; sq < 64; sq++) a[sq] = 8 * RankOf(sq);
    return a;
}
constexpr std::array<int, 64> MakeRot90Shift() {
    std::array<int, 64> a{};
    for (int sq = 0; sq < 64; sq++) a[sq] = 8 * (sq & 7);
    return a;
}
constexpr std::array<int, 64> MakeLen45L() {
    std::array<int, 64> a{};
    for (int sq = 0; sq < 64; sq++) a[sq] = 8 - Abs(RankOf(sq) - (7 - FileOf(sq)));
    return a;
}
constexpr std::array<int, 64> MakeLen45R() {
    std::array<int, 64> a{};
    for (int sq = 0; sq < 64; sq++) a[sq] = 8 - Abs(RankOf(sq) - FileOf(sq));
    return a;
}
constexpr auto kRankShift = MakeRankShift();
constexpr auto kRot90Shift = MakeRot90Shift();
constexpr auto kLen45L = MakeLen45L();
constexpr auto kLen45R = MakeLen45R();
}  // namespace

const int anRankShift[64] = {EXPAND(kRankShift)};
const int anRot90Shift[64] = {EXPAND(kRot90Shift)};
const int anDiag45LLength[64] = {EXPAND(kLen45L)};
const int anDiag45RLength[64] = {EXPAND(kLen45R)};
#undef EXPAND

const Bitboard abbFileMask[8] = {0x0101010101010101ULL << 0, 0x0101010101010101ULL << 1,
                                 0x0101010101010101ULL << 2, 0x0101010101010101ULL << 3,
                                 0x0101010101010101ULL << 4, 0x0101010101010101ULL << 5,
                                 0x0101010101010101ULL << 6, 0x0101010101010101ULL << 7};

Bitboard abbSquareMask[64];
uint64_t anCastleMask[64];
int anPieceValue[23];
Bitboard abbPawnAttacks[2][64];
Bitboard abbEpCapturers[2][64];
Bitboard abbKnightAttacks[64];
Bitboard abbKingAttacks[64];
Bitboard abbRankAttacks[64][256];
Bitboard abbFileAttacks[64][256];
Bitboard abbDiag45LAttacks[64][256];
Bitboard abbDiag45RAttacks[64][256];
uint32_t anDiag45LMask[64];
uint32_t anDiag45RMask[64];
int anDirection[64][64];
Bitboard abbRay[8][64];
Bitboard abbBetween[64][64];
Bitboard abbAdjacentFiles[8];
Bitboard abbFrontSpanAdjacent[2][64];

void InitTables() {
    for (int sq = 0; sq < 64; sq++) abbSquareMask[sq] = SquareBit(sq);

    for (int sq = 0; sq < 64; sq++) anCastleMask[sq] = 0;
    anCastleMask[SQ_H1] = CASTLE_WK;
    anCastleMask[SQ_A1] = CASTLE_WQ;
    anCastleMask[SQ_H8] = CASTLE_BK;
    anCastleMask[SQ_A8] = CASTLE_BQ;

    static const int kTypeValue[7] = {0, 100, 325, 325, 500, 975, 0};
    for (int i = 0; i < 23; i++) anPieceValue[i] = 0;
    for (int t = 1; t <= 6; t++) {
        anPieceValue[t] = kTypeValue[t];
        anPieceValue[t | kWhiteBit] = kTypeValue[t];
        anPieceValue[t | kBlackBit] = -kTypeValue[t];
    }

    for (int sq = 0; sq < 64; sq++) {
        Bitboard w = 0, b = 0;
        if (FileOf(sq) != 0 && sq + 9 < 64) w |= SquareBit(sq + 9);
        if (FileOf(sq) != 7 && sq + 7 < 64) w |= SquareBit(sq + 7);
        if (FileOf(sq) != 0 && sq - 7 >= 0) b |= SquareBit(sq - 7);
        if (FileOf(sq) != 7 && sq - 9 >= 0) b |= SquareBit(sq - 9);
        abbPawnAttacks[WHITE][sq] = w;
        abbPawnAttacks[BLACK][sq] = b;
    }

    for (int e = 0; e < 64; e++) {
        abbEpCapturers[WHITE][e] = abbEpCapturers[BLACK][e] = 0;
        if (RankOf(e) == 5) {
            if (FileOf(e) != 0) abbEpCapturers[WHITE][e] |= SquareBit(e - 7);
            if (FileOf(e) != 7) abbEpCapturers[WHITE][e] |= SquareBit(e - 9);
        }
        if (RankOf(e) == 2) {
            if (FileOf(e) != 7) abbEpCapturers[BLACK][e] |= SquareBit(e + 7);
            if (FileOf(e) != 0) abbEpCapturers[BLACK][e] |= SquareBit(e + 9);
        }
    }

    static const int kKnightSteps[8] = {-17, -15, -6, 10, 17, 15, 6, -10};
    static const int kKingSteps[8] = {9, 8, 7, 1, -1, -7, -8, -9};
    for (int sq = 0; sq < 64; sq++) {
        Bitboard n = 0, k = 0;
        for (int i = 0; i < 8; i++) {
            int t = sq + kKnightSteps[i];
            if (t >= 0 && t < 64 && Distance(sq, t) <= 2) n |= SquareBit(t);
            t = sq + kKingSteps[i];
            if (t >= 0 && t < 64 && Distance(sq, t) <= 1) k |= SquareBit(t);
        }
        abbKnightAttacks[sq] = n;
        abbKingAttacks[sq] = k;
    }

    for (int sq = 0; sq < 64; sq++) {
        for (unsigned p = 0; p < 256; p++) {
            abbRankAttacks[sq][p] = SlideAttacks(sq, RAY_TO_A, RAY_TO_H, kIdentity.data(), anRankShift[sq], p);
            abbFileAttacks[sq][p] = SlideAttacks(sq, RAY_UP, RAY_DOWN, anRot90Index, anRot90Shift[sq], p);
        }
    }
    for (int sq = 0; sq < 64; sq++) {
        for (unsigned p = 0; p < 256; p++) {
            abbDiag45LAttacks[sq][p] =
                p < (1u << anDiag45LLength[sq])
                    ? SlideAttacks(sq, RAY_UP_A, RAY_DOWN_H, anRot45LIndex, anRot45LShift[sq], p)
                    : 0;
            abbDiag45RAttacks[sq][p] =
                p < (1u << anDiag45RLength[sq])
                    ? SlideAttacks(sq, RAY_UP_H, RAY_DOWN_A, anRot45RIndex, anRot45RShift[sq], p)
                    : 0;
        }
    }
    for (int sq = 0; sq < 64; sq++) {
        anDiag45LMask[sq] = (1u << anDiag45LLength[sq]) - 1;
        anDiag45RMask[sq] = (1u << anDiag45RLength[sq]) - 1;
    }

    for (int a = 0; a < 64; a++) {
        for (int b = 0; b < 64; b++) anDirection[a][b] = 0;
        for (int dir = 0; dir < 8; dir++) {
            Bitboard ray = 0;
            int s = a;
            while ((s = Step(s, kRayDf[dir], kRayDr[dir])) >= 0) {
                anDirection[a][s] = anRayStep[dir];
                ray |= SquareBit(s);
            }
            abbRay[dir][a] = ray;
        }
    }

    for (int a = 0; a < 64; a++)
        for (int b = 0; b < 64; b++) abbBetween[a][b] = ~Bitboard(0);
    for (int a = 0; a < 64; a++) {
        for (int dir = 0; dir < 8; dir++) {
            Bitboard between = 0;
            int s = a;
            while ((s = Step(s, kRayDf[dir], kRayDr[dir])) >= 0) {
                abbBetween[a][s] = between;
                between |= SquareBit(s);
            }
        }
    }

    for (int c = 0; c < 8; c++) {
        Bitboard m = 0;
        if (c > 0) m |= abbFileMask[c - 1];
        if (c < 7) m |= abbFileMask[c + 1];
        abbAdjacentFiles[c] = m;
    }

    InitKeys();

    for (int sq = 0; sq < 64; sq++) {
        Bitboard w = 0, b = 0;
        if ((sq & 7) < 7) w |= abbRay[RAY_UP][sq + 1], b |= abbRay[RAY_DOWN][sq + 1];
        if ((sq & 7) > 0) w |= abbRay[RAY_UP][sq - 1], b |= abbRay[RAY_DOWN][sq - 1];
        abbFrontSpanAdjacent[WHITE][sq] = w;
        abbFrontSpanAdjacent[BLACK][sq] = b;
    }
}
