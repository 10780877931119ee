// Material table: entry computation, the shared cache and its spin lock.
#include "eval/material.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "core/stats.h"
#include "eval/endgame.h"
#include "eval/weights.h"
#include "platform/platform.h"

uint64_t nMaterialTableEntries = 0;

namespace {

MaterialEntry* pMaterialTable = nullptr;
// Slot holds a computed entry. Kept beside the entries so that an empty slot can never match a
// material key whose upper half happens to be 0.
bool abFilled[kMaterialTableSize];
std::atomic<bool> bMaterialLock{false};

void LockMaterial() {
    while (bMaterialLock.exchange(true, std::memory_order_acquire)) {
        while (bMaterialLock.load(std::memory_order_relaxed)) CpuPause();
    }
}
void UnlockMaterial() {
    bMaterialLock.store(false, std::memory_order_release);
}

// Caller holds the lock.
bool AllocLocked() {
    if (pMaterialTable) {
        std::fill(pMaterialTable, pMaterialTable + kMaterialTableSize, MaterialEntry{});
    } else {
        pMaterialTable = static_cast<MaterialEntry*>(std::calloc(kMaterialTableSize, sizeof(MaterialEntry)));
    }
    std::fill(std::begin(abFilled), std::end(abFilled), false);
    if (!pMaterialTable) {
        std::fputs("Error initialising Material table\n", stdout);
        std::fflush(stdout);
        nMaterialTableEntries = 0;
        return false;
    }
    nMaterialTableEntries = kMaterialTableSize;
    return true;
}

// A side's material as one number when it has at most two units (each count 0..2).
constexpr int kUP = 1, kUN = 3, kUB = 9, kUR = 27, kUQ = 81;

struct ClassRow {
    uint8_t nWhite, nBlack, nClass;
};
constexpr ClassRow kClassRows[] = {
    {0, 0, MAT_KK},
    {kUN, 0, MAT_KNK},
    {0, kUN, MAT_KKN},
    {kUB, 0, MAT_KBK},
    {0, kUB, MAT_KKB},
    {kUP, 0, MAT_KPK},
    {0, kUP, MAT_KKP},
    {kUR, 0, MAT_KRK},
    {0, kUR, MAT_KKR},
    {0, kUQ, MAT_KKQ},
    {kUQ, 0, MAT_KQK},
    {kUR, kUR, MAT_KRKR},
    {kUB, kUB, MAT_KBKB},
    {kUN, kUN, MAT_KNKN},
    {kUR, kUP, MAT_KRKP},
    {kUP, kUR, MAT_KPKR},
    {kUB, kUP, MAT_KBKP},
    {kUP, kUB, MAT_KPKB},
    {kUN, kUP, MAT_KNKP},
    {kUP, kUN, MAT_KPKN},
    {kUQ, kUR, MAT_KQKR},
    {kUR, kUQ, MAT_KRKQ},
    {kUQ, kUQ, MAT_KQKQ},
    {kUQ, kUP, MAT_KQKP},
    {kUP, kUQ, MAT_KPKQ},
    {kUB + kUN, 0, MAT_KBNK},
    {0, kUB + kUN, MAT_KKBN},
    {2 * kUN, 0, MAT_KNNK},
    {0, 2 * kUN, MAT_KKNN},
    {kUB + kUP, 0, MAT_KBPK},
    {kUN + kUP, 0, MAT_KNPK},
    {0, kUB + kUP, MAT_KKBP},
    {0, kUN + kUP, MAT_KKNP},
    {kUR + kUP, kUR, MAT_KRPKR},
    {kUB + kUP, kUB, MAT_KBPKB},
    {kUR, kUR + kUP, MAT_KRKRP},
    {kUB, kUB + kUP, MAT_KBKBP},
    {kUB + kUN, kUB, MAT_KBNKB},
    {kUB + kUN, kUN, MAT_KBNKN},
    {kUB, kUB + kUN, MAT_KBKBN},
    {kUN, kUB + kUN, MAT_KNKBN},
};

int SideUnits(const MaterialEntry& e, int c) {
    return e.nPawns[c] * kUP + e.nKnights[c] * kUN + e.nBishops[c] * kUB + e.nRooks[c] * kUR +
           e.nQueens[c] * kUQ;
}

int MaterialClass(const MaterialEntry& e) {
    if (e.nPieces[0] + e.nPawns[0] > 2 || e.nPieces[1] + e.nPawns[1] > 2) return MAT_NONE;
    const int w = SideUnits(e, WHITE), b = SideUnits(e, BLACK);
    for (const ClassRow& row : kClassRows)
        if (row.nWhite == w && row.nBlack == b) return row.nClass;
    return MAT_NONE;
}

// Scale factor of colour c (no class): how far c can expect to convert an advantage.
int ClassFreeScale(const MaterialEntry& e, int c) {
    const int o = c ^ 1;
    const int minors = e.nKnights[c] + e.nBishops[c], minorsO = e.nKnights[o] + e.nBishops[o];
    const int majors = e.nRooks[c] + 2 * e.nQueens[c], majorsO = e.nRooks[o] + 2 * e.nQueens[o];
    const bool bTwoKnights = minors == 2 && majors == 0 && e.nKnights[c] == 2;
    if (e.nPawns[c] == 0) {
        if (minors == 1 && majors == 0) return 0;
        if (bTwoKnights) return (e.nPieces[o] == 0 && e.nPawns[o] > 0) ? 1 : 0;
        if (minors == 2 && majors == 0 && e.nBishops[c] == 2 && minorsO == 1 && e.nKnights[o] == 1 &&
            majorsO == 0)
            return 8;
        if (minors - minorsO <= 1 && majors == majorsO) return 2;
        return kScaleFull;
    }
    if (e.nPawns[c] == 1) {
        const int twoKnightsValue = (e.nPieces[o] <= 1 && e.nPawns[o] > 0) ? 8 : 4;
        if (minorsO == 0) {
            if (e.nRooks[o] == 0) return kScaleFull;
            if (minors == 1 && majors == 0) return 4;
            if (bTwoKnights) return twoKnightsValue;
            if (minors - minorsO <= 1 && majors == majorsO - 1) return 8;
            return kScaleFull;
        }
        if (minors == 1 && majors == 0) return 4;
        if (bTwoKnights) return twoKnightsValue;
        if (minors <= minorsO && majors == majorsO) return 8;
    }
    return kScaleFull;
}

}  // namespace

bool AllocMaterialTable() {
    LockMaterial();
    const bool bOk = AllocLocked();
    UnlockMaterial();
    return bOk;
}

bool InitMaterialTable() {
    LockMaterial();
    const bool bOk = pMaterialTable ? true : AllocLocked();
    UnlockMaterial();
    return bOk;
}

void InitMaterialTableOrDie() {
    if (!InitMaterialTable()) std::_Exit(1);
}

bool MaterialTableReady() {
    LockMaterial();
    const bool bReady = pMaterialTable != nullptr;
    UnlockMaterial();
    return bReady;
}

void ComputeMaterialEntry(const Position* pos, MaterialEntry* pEntry) {
    MaterialEntry& e = *pEntry;
    for (int c = 0; c < 2; c++) {
        const Bitboard* bb = pos->bbPieces[c];
        e.nPawns[c] = uint8_t(PopCount(bb[BB_PAWN]));
        e.nKnights[c] = uint8_t(PopCount(bb[BB_KNIGHT]));
        e.nBishops[c] = uint8_t(PopCount(bb[BB_BISHOP]));
        e.nRooks[c] = uint8_t(PopCount(bb[BB_ROOK]));
        e.nQueens[c] = uint8_t(PopCount(bb[BB_QUEEN]));
        e.nPieces[c] = uint8_t(e.nKnights[c] + e.nBishops[c] + e.nRooks[c] + e.nQueens[c]);
    }

    int units = 0;
    for (int c = 0; c < 2; c++) units += e.nKnights[c] + e.nBishops[c] + 2 * e.nRooks[c] + 4 * e.nQueens[c];
    units = std::min(units, 24);
    e.nPhase = uint16_t(units * 256 / 24);

    e.nClass = uint8_t(MaterialClass(e));
    e.pfnRecognizer = nullptr;
    e.nScale[0] = e.nScale[1] = kScaleFull;
    switch (e.nClass) {
        case MAT_KK:
        case MAT_KNK:
        case MAT_KKN:
        case MAT_KBK:
        case MAT_KKB:
        case MAT_KRKR:
        case MAT_KQKQ:
        case MAT_KNNK:
        case MAT_KKNN:
            e.nScale[0] = e.nScale[1] = 0;
            break;
        case MAT_KBNKB:
        case MAT_KBNKN:
            e.nScale[0] = 2, e.nScale[1] = 1;
            break;
        case MAT_KBKBN:
        case MAT_KNKBN:
            e.nScale[0] = 1, e.nScale[1] = 2;
            break;
        case MAT_KRK:
        case MAT_KKR:
        case MAT_KKQ:
        case MAT_KQK:
            e.pfnRecognizer = RecognizeKXK;
            break;
        case MAT_KQKR:
        case MAT_KRKQ:
            e.pfnRecognizer = RecognizeKQKR;
            break;
        case MAT_KBNK:
        case MAT_KKBN:
            e.pfnRecognizer = RecognizeKBNK;
            break;
        case MAT_NONE:
            e.nScale[0] = uint8_t(ClassFreeScale(e, WHITE));
            e.nScale[1] = uint8_t(ClassFreeScale(e, BLACK));
            break;
        default:
            break;
    }

    // Counts index the adjustment tables; positions from the FEN reader stay inside them, the
    // clamps keep any other record safe.
    const int totalPawns = std::min(e.nPawns[0] + e.nPawns[1], 16);
    const int wPawns = std::min<int>(e.nPawns[0], 8), bPawns = std::min<int>(e.nPawns[1], 8);
    const EvalWeights& w = evalWeights;
    int side[2];
    for (int c = 0; c < 2; c++)
        side[c] = e.nPawns[c] * w.anPieceValue[0] + e.nKnights[c] * w.anPieceValue[1] +
                  e.nBishops[c] * w.anPieceValue[2] + e.nRooks[c] * w.anPieceValue[3] +
                  e.nQueens[c] * w.anPieceValue[4];
    const int m0 = side[0], m1 = side[1];
    int balance = m0 - m1;
    if (e.nBishops[0] >= 2) {
        balance += w.anBishopPair[totalPawns];
        if (e.nKnights[1] == 0 && e.nBishops[1] == 0) balance += w.nBishopPairNoMinors;
    }
    if (e.nBishops[1] >= 2) {
        balance -= w.anBishopPair[totalPawns];
        if (e.nKnights[0] == 0 && e.nBishops[0] == 0) balance -= w.nBishopPairNoMinors;
    }
    balance += w.anRookByPawns[wPawns] * e.nRooks[0] + w.anKnightByPawns[wPawns] * e.nKnights[0];
    balance -= w.anRookByPawns[bPawns] * e.nRooks[1] + w.anKnightByPawns[bPawns] * e.nKnights[1];
    // Reward the side ahead for trading down.
    if (m0 > 325 && m1 > 325) balance += (m0 - m1) * w.nTradeDown / (m0 + m1);
    e.nBalance = int16_t(balance);
}

void ProbeMaterial(const Position* pos, MaterialEntry* pEntry) {
    const uint64_t key = pos->nMaterialKey;
    const uint32_t check = uint32_t(key >> 32);
    const int slot = int(uint32_t(key) & (kMaterialTableSize - 1));

    LockMaterial();
    if (!pMaterialTable && !AllocLocked()) std::_Exit(1);
    MaterialEntry& cached = pMaterialTable[slot];
    if (abFilled[slot] && cached.nCheck == check) {
        *pEntry = cached;
        Stats().nMaterialHits++;
    } else {
        Stats().nMaterialMisses++;
        MaterialEntry fresh{};
        ComputeMaterialEntry(pos, &fresh);
        fresh.nCheck = check;
        cached = fresh;
        *pEntry = fresh;
        abFilled[slot] = true;
    }
    UnlockMaterial();

    pEntry->nKingSq[WHITE] = uint8_t(KingSquare(*pos, WHITE));
    pEntry->nKingSq[BLACK] = uint8_t(KingSquare(*pos, BLACK));
    pEntry->bScratch = 0;
}
