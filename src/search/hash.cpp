#include "search/hash.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <new>

#include "core/log.h"
#include "core/settings.h"
#include "core/slots.h"
#include "core/stats.h"
#include "movegen/movegen.h"

HashBucket* pTransTable = nullptr;
uint64_t nTransBuckets = 0;

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

}  // namespace

// Found by WriteSlots / ReadSlots through the slot type, so outside the unnamed namespace.
static void SaveSlot(const HashBucket& b, uint8_t*& out) {
    slots::SaveWords(b.anCheck, 4, out);
    slots::SaveWords(b.anData, 4, out);
}
static void LoadSlot(HashBucket& b, const uint8_t*& in) {
    slots::LoadWords(b.anCheck, 4, in);
    slots::LoadWords(b.anData, 4, in);
}

uint64_t TransBucketsFor(int64_t nMB) {
    return nMB > 0 ? uint64_t(nMB) * 1048576 / sizeof(HashBucket) : 0;
}

// ---------------------------------------------------------------------------------------
// Allocation.

void FreeTransTable() {
    slots::FreeSlots(pTransTable);
    pTransTable = nullptr;
    nTransBuckets = 0;
}

void ReleaseHashTables() {
    FreeTransTable();
    FreePawnHash();
    FreeEvalHash();
}

bool AllocTransTable(bool bPrint) {
    FreeTransTable();
    const uint64_t nCount = TransBucketsFor(nHashMB);
    if (nCount == 0) {
        ResetHashFills();
        if (bPrint) OutputLine("Tranposition table disabled\n");
        return true;
    }
    // The announcement and its outcome go out as one line, after the allocation.
    char szAnnounce[128] = "";
    if (bPrint)
        snprintf(szAnnounce, sizeof(szAnnounce),
                 "Allocating %d MB for Tranposition Table (%" PRIu64 " Table Entries) ...", nHashMB, nCount);
    HashBucket* p = slots::AllocSlots<HashBucket>(nCount);
    if (!p) {
        OutputLine("%sInsufficient Memory for Transposition Table\n", szAnnounce);
        return false;
    }
    pTransTable = p;
    nTransBuckets = nCount;
    if (bPrint) OutputLine("%s Done\n", szAnnounce);
    ResetHashFills();
    return true;
}

void ClearTransTable() {
    for (uint64_t i = 0; i < nTransBuckets; ++i) {
        HashBucket& b = pTransTable[i];
        for (int j = 0; j < 4; ++j) {
            b.anCheck[j].store(0, kRelaxed);
            b.anData[j].store(0, kRelaxed);
        }
    }
}

// ---------------------------------------------------------------------------------------
// Fill count.

double HashFull() {
    if (nTransBuckets == 0) return 0.0;
    return double(HashFills()) * 1000.0 / double(nTransBuckets * 4);
}

// ---------------------------------------------------------------------------------------
// Probe and store.

uint64_t PackHashData(int nDepth, int nAge, int nBound, int nScore, Move m, bool bThreat, bool bSingleReply) {
    nDepth = nDepth < 0 ? 0 : nDepth > 255 ? 255 : nDepth;
    nScore = nScore < -SCORE_INF ? -SCORE_INF : nScore > SCORE_INF ? SCORE_INF : nScore;
    return uint64_t(nDepth) | (uint64_t(nAge & 7) << HASH_AGE_SHIFT) |
           (uint64_t(nBound & 3) << HASH_BOUND_SHIFT) | (uint64_t(nScore + SCORE_INF) << HASH_SCORE_SHIFT) |
           (uint64_t(m & HASH_MOVE_MASK) << HASH_MOVE_SHIFT) | (uint64_t(bThreat) << HASH_THREAT_SHIFT) |
           (uint64_t(bSingleReply) << HASH_SINGLE_SHIFT);
}

bool ProbeHashSlot(const Position* pos, uint64_t nData, int nDepthPlies, int nAlpha, int nBeta, int nPlyIndex,
                   HashProbe* out) {
    // A slot may belong to another position with the same check word, or be torn by a
    // concurrent store: its move is trusted only when it is pseudo-legal here.
    const Move m = HashMove(nData);
    if (m && !IsMoveValid(pos, m)) return false;

    out->bHashMoveFound = false;
    const int nDepth = HashDepth(nData), nBound = HashBound(nData), nRaw = HashScore(nData);
    if (nDepth >= nDepthPlies) {
        const int nScore = ScoreFromHash(nRaw, nPlyIndex);
        out->bThreat = HashThreat(nData);
        out->bSingleReply = HashSingleReply(nData);
        const bool bCut = nBound == BOUND_EXACT || (nBound == BOUND_LOWER && nScore >= nBeta) ||
                          (nBound == BOUND_UPPER && nScore <= nAlpha);
        out->nMove = m;
        out->nLength = m ? 1 : 0;
        if (bCut) {
            out->nDepth = nDepth;
            out->nScore = nScore;
            return true;
        }
        out->bHashMoveFound = m != 0;
    } else if (m) {
        out->bHashMoveFound = true;
        out->nMove = m;
        out->nLength = 1;
        out->nDepth = nDepth;
    }
    out->nScore = nRaw;

    // The null-move search goes 4 plies shallower; an upper bound below beta from at least
    // that depth says it would fail.
    if (nDepthPlies > 4 && nDepth >= nDepthPlies - 4 && nPlyIndex > 0 && nBeta == nAlpha + 1 &&
        nBound == BOUND_UPPER && nRaw < nBeta)
        out->bAvoidNull = true;
    return false;
}

bool ProbeHash(const Position* pos, int nDepthPlies, int nAlpha, int nBeta, int nPlyIndex, HashProbe* out) {
    *out = HashProbe{};
    if (nTransBuckets == 0) return false;
    const HashBucket& b = HashBucketOf(pos->nHashKey);
    if (b.anCheck[0].load(kRelaxed) == 0) return false;

    const uint32_t nCheck = HashCheckOf(pos->nHashKey);
    SearchStats& st = Stats();
    for (int i = 0; i < 4; ++i) {
        st.anProbes[i]++;
        if (b.anCheck[i].load(kRelaxed) != nCheck) {
            st.anProbeMisses[i]++;
            continue;
        }
        const uint64_t nData = b.anData[i].load(kRelaxed);
        if (ProbeHashSlot(pos, nData, nDepthPlies, nAlpha, nBeta, nPlyIndex, out)) {
            st.anProbeCuts[i]++;
            return true;
        }
        if (out->bHashMoveFound) st.anProbeMoves[i]++;
        return false;
    }
    return false;
}

bool StoreHash(const Position* pos, int nDepthPlies, int nScore, int nAlpha, int nBeta, Move m, bool bThreat,
               bool bSingleReply) {
    if (nTransBuckets == 0) return false;
    HashBucket& b = HashBucketOf(pos->nHashKey);
    const uint32_t nCheck = HashCheckOf(pos->nHashKey);
    const int nAge = game.nGamePly & 7;

    int nBest = -SCORE_INF, nSlot = -1;
    uint64_t nOld = 0;
    bool bEmpty = false;
    for (int i = 0; i < 4; ++i) {
        const uint32_t c = b.anCheck[i].load(kRelaxed);
        if (c == 0) {
            nSlot = i;
            nOld = 0;
            bEmpty = true;
            break;
        }
        const uint64_t d = b.anData[i].load(kRelaxed);
        const int nValue = ((nAge - HashAge(d)) & 7) * 256 - HashDepth(d) - (HashMove(d) ? 128 : 0);
        if (c == nCheck) {
            nBest = nValue;
            nSlot = i;
            nOld = d;
            break;
        }
        if (nValue > nBest) {
            nBest = nValue;
            nSlot = i;
            nOld = d;
        }
    }
    // Every slot holds another, deeper, current entry: keep them unless we searched deeper.
    const int nDepth = nDepthPlies < 0 ? 0 : nDepthPlies > 255 ? 255 : nDepthPlies;
    if (nBest < 0 && nDepth < HashDepth(nOld)) return false;

    if (bEmpty || HashAge(nOld) != nAge) CountHashFill();
    SearchStats& st = Stats();
    st.anWrites[nSlot]++;
    if (!bEmpty) st.anOverwrites[nSlot]++;

    const int nBound = nScore >= nBeta ? BOUND_LOWER : nScore > nAlpha ? BOUND_EXACT : BOUND_UPPER;
    b.anCheck[nSlot].store(nCheck, kRelaxed);
    b.anData[nSlot].store(PackHashData(nDepth, nAge, nBound, nScore, m, bThreat, bSingleReply), kRelaxed);
    return true;
}

bool StoreHashAtPly(const Position* pos, int nDepthPlies, int nPlyIndex, int nScore, int nAlpha, int nBeta,
                    Move m, bool bThreat, bool bSingleReply) {
    int nShift = 0;
    if (nScore > MATE_BOUND)
        nShift = nPlyIndex;
    else if (nScore < -MATE_BOUND)
        nShift = -nPlyIndex;
    return StoreHash(pos, nDepthPlies, nScore + nShift, nAlpha + nShift, nBeta + nShift, m, bThreat,
                     bSingleReply);
}

// ---------------------------------------------------------------------------------------
// Pawn hash and evaluation cache.

// ---------------------------------------------------------------------------------------
// Dump image.

bool WriteHashTables(FILE* f) {
    return WriteSlots(f, pTransTable, nTransBuckets) && WriteEvalCaches(f);
}

bool ReadHashTables(FILE* f) {
    return ReadSlots(f, pTransTable, nTransBuckets) && ReadEvalCaches(f);
}
