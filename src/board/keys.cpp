// Position signatures. The generator, its seed words and the order of draws are fixed so
// that every run produces the same keys: opening book files are stored by these keys.
#include "board/board.h"

uint64_t anKeyPiece[64][2][7];
uint8_t anKeyCastle[4];
uint8_t nKeySide;
uint8_t anKeyEp[64];
uint8_t anKeyFifty[256];

namespace {

constexpr uint32_t kSeedWords[55] = {
    1410651636, 3012776752, 3497475623, 2892145026, 1571949714, 3253082284, 3489895018, 387949491,
    2597396737, 1981903553, 3160251843, 129444464,  1851443344, 4156445905, 224604922,  1455067070,
    3953493484, 1460937157, 2528362617, 317430674,  3229354360, 117491133,  832845075,  1961600170,
    1321557429, 747750121,  545747446,  810476036,  503334515,  4088144633, 2824216555, 3738252341,
    3493754131, 3672533954, 29494241,   1180928407, 4213624418, 33062851,   3221315737, 1145213552,
    2957984897, 4078668503, 2262661702, 65478801,   2527208841, 1960622036, 315685891,  1196037864,
    804614524,  1421733266, 2017105031, 3882325900, 810735053,  384606609,  2393861397};

uint32_t anRandTable[55];
int nRandJ = 0, nRandK = 0;
bool bRandInitialised = false;

void RandomLoadSeeds() {
    for (int i = 0; i < 55; i++) anRandTable[i] = kSeedWords[i];
    nRandJ = 23;
    nRandK = 54;
    bRandInitialised = true;
}

}  // namespace

uint32_t Random32() {
    if (!bRandInitialised) RandomLoadSeeds();
    anRandTable[nRandK] += anRandTable[nRandJ];
    uint32_t r = anRandTable[nRandK];
    if (--nRandJ < 0) nRandJ = 54;
    if (--nRandK < 0) nRandK = 54;
    return r;
}

void RandomReset() {
    RandomLoadSeeds();
    (void)Random32();
}

uint64_t Random64() {
    uint64_t lo = Random32();
    uint64_t hi = Random32();
    return lo | (hi << 32);
}

uint64_t RandomBits(int n) {
    uint64_t r = 0;
    for (int i = 0; i < n; i++) r |= uint64_t(1) << (Random32() & 31);
    return r;
}

void InitKeys() {
    for (int sq = 0; sq < 64; sq++) {
        anKeyPiece[sq][WHITE][0] = anKeyPiece[sq][BLACK][0] = 0;
        for (int t = PAWN; t <= KING; t++) {
            anKeyPiece[sq][WHITE][t] = Random64();
            anKeyPiece[sq][BLACK][t] = Random64();
        }
    }
    for (int i = 0; i < 4; i++) anKeyCastle[i] = uint8_t(Random64());
    nKeySide = uint8_t(Random64());
    for (int sq = 0; sq < 64; sq++) anKeyEp[sq] = uint8_t(Random64());
    anKeyFifty[0] = 0;
    for (int i = 1; i < 256; i++) anKeyFifty[i] = uint8_t(Random64());
}

void ComputeHashKey(Position* pos) {
    uint64_t key = 0, pawnKey = 0, materialKey = 0;
    for (int sq = 0; sq < 64; sq++) {
        int code = pos->aBoard[sq];
        if (!code) continue;
        key ^= anKeyPiece[sq][CodeColour(code)][CodeType(code)];
    }
    for (int c = 0; c < 2; c++)
        for (int t = PAWN; t <= QUEEN; t++)
            materialKey ^= anKeyPiece[PopCount(pos->bbPieces[c][t - 1])][c][t];
    for (int i = 0; i < 4; i++)
        if (pos->nCastling & (1 << i)) key ^= anKeyCastle[i];
    if (pos->nEpSquare >= 0) key ^= anKeyEp[pos->nEpSquare];
    if (pos->bSideToMove == WHITE) {
        key ^= nKeySide;
        pawnKey ^= nKeySide;
    }
    key ^= anKeyFifty[pos->nFifty];
    Bitboard pawns = pos->bbPieces[WHITE][BB_PAWN];
    while (pawns) pawnKey ^= anKeyPiece[PopLowest(pawns)][WHITE][PAWN];
    pawns = pos->bbPieces[BLACK][BB_PAWN];
    while (pawns) pawnKey ^= anKeyPiece[PopLowest(pawns)][BLACK][PAWN];
    pos->nHashKey = key;
    pos->nPawnKey = pawnKey;
    pos->nMaterialKey = materialKey;
}
