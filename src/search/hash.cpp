#include "search/hash.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <new>

#include "console/options.h"
#include "movegen/movegen.h"
#include "search/log.h"
#include "tools/stats.h"

HashBucket* pTransTable = nullptr;
uint64_t nTransBuckets = 0;
PawnHashSlot* aPawnHash = nullptr;
uint64_t nPawnHashEntries = 0;
EvalHashSlot* aEvalHash = nullptr;
uint64_t nEvalHashEntries = 0;

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

// Beyond this no table is attempted: such a size comes from a mistyped option, and asking
// the allocator for it would only fail (or, under the sanitizers, abort).
constexpr uint64_t kMaxTableBytes = uint64_t(1) << 40;

// Fill counts, one per statistics record so that every thread counts into its own line.
struct alignas(64) FillCounter {
    StatCounter n;
};
FillCounter aHashFills[kStatsRecords];

// Allocates nCount zeroed slots, or returns null. The slots hold only atomic words, whose
// value initialisation is zero.
template <class T>
T* AllocSlots(uint64_t nCount) {
    if (nCount == 0 || nCount > kMaxTableBytes / sizeof(T)) return nullptr;
    return new (std::nothrow) T[size_t(nCount)]();
}

// Copies slots to or from a file through a buffer, word by word (each word of a slot is an
// atomic; the bytes are its native layout).
constexpr size_t kChunkBytes = 1 << 16;

template <class W>
void SaveWords(const std::atomic<W>* p, int n, uint8_t*& out) {
    for (int i = 0; i < n; ++i, out += sizeof(W)) {
        const W w = p[i].load(kRelaxed);
        memcpy(out, &w, sizeof(W));
    }
}

template <class W>
void LoadWords(std::atomic<W>* p, int n, const uint8_t*& in) {
    for (int i = 0; i < n; ++i, in += sizeof(W)) {
        W w;
        memcpy(&w, in, sizeof(W));
        p[i].store(w, kRelaxed);
    }
}

void SaveSlot(const HashBucket& b, uint8_t*& out) {
    SaveWords(b.anCheck, 4, out);
    SaveWords(b.anData, 4, out);
}
void SaveSlot(const PawnHashSlot& s, uint8_t*& out) {
    SaveWords(s.anWord, 3, out);
}
void SaveSlot(const EvalHashSlot& s, uint8_t*& out) {
    SaveWords(s.anWord, 2, out);
}
void LoadSlot(HashBucket& b, const uint8_t*& in) {
    LoadWords(b.anCheck, 4, in);
    LoadWords(b.anData, 4, in);
}
void LoadSlot(PawnHashSlot& s, const uint8_t*& in) {
    LoadWords(s.anWord, 3, in);
}
void LoadSlot(EvalHashSlot& s, const uint8_t*& in) {
    LoadWords(s.anWord, 2, in);
}

template <class Slot>
bool WriteSlots(FILE* f, const Slot* p, uint64_t n) {
    uint8_t buf[kChunkBytes];
    constexpr uint64_t kPerChunk = kChunkBytes / sizeof(Slot);
    for (uint64_t i = 0; i < n;) {
        const uint64_t k = n - i < kPerChunk ? n - i : kPerChunk;
        uint8_t* out = buf;
        for (uint64_t j = 0; j < k; ++j) SaveSlot(p[i + j], out);
        if (fwrite(buf, sizeof(Slot), size_t(k), f) != k) return false;
        i += k;
    }
    return true;
}

template <class Slot>
bool ReadSlots(FILE* f, Slot* p, uint64_t n) {
    uint8_t buf[kChunkBytes];
    constexpr uint64_t kPerChunk = kChunkBytes / sizeof(Slot);
    for (uint64_t i = 0; i < n;) {
        const uint64_t k = n - i < kPerChunk ? n - i : kPerChunk;
        if (fread(buf, sizeof(Slot), size_t(k), f) != k) return false;
        const uint8_t* in = buf;
        for (uint64_t j = 0; j < k; ++j) LoadSlot(p[i + j], in);
        i += k;
    }
    return true;
}

}  // namespace

uint64_t FloorPowerOfTwo(uint64_t n) {
    return n ? std::bit_floor(n) : 0;
}

uint64_t TransBucketsFor(int64_t nMB) {
    return nMB > 0 ? uint64_t(nMB) * 1048576 / sizeof(HashBucket) : 0;
}
uint64_t PawnHashEntriesFor(int64_t nKB) {
    return nKB > 0 ? FloorPowerOfTwo(uint64_t(nKB) * 1024 / sizeof(PawnEntry)) : 0;
}
uint64_t EvalHashEntriesFor(int64_t nMB) {
    return nMB > 0 ? FloorPowerOfTwo(uint64_t(nMB) * 1048576 / sizeof(EvalHashEntry)) : 0;
}

bool ShowHashMessages() {
    return !bUciMode && bShowBoard;
}

// ---------------------------------------------------------------------------------------
// Allocation.

void FreeTransTable() {
    delete[] pTransTable;
    pTransTable = nullptr;
    nTransBuckets = 0;
}

void FreePawnHash() {
    delete[] aPawnHash;
    aPawnHash = nullptr;
    nPawnHashEntries = 0;
}

void FreeEvalHash() {
    delete[] aEvalHash;
    aEvalHash = nullptr;
    nEvalHashEntries = 0;
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
    HashBucket* p = AllocSlots<HashBucket>(nCount);
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

bool AllocPawnHash(bool bPrint) {
    FreePawnHash();
    const uint64_t nCount = PawnHashEntriesFor(nPawnHashKB);
    if (nCount == 0) {
        if (bPrint) OutputLine("Pawn Hash table disabled\n");
        return true;
    }
    char szAnnounce[128] = "";
    if (bPrint)
        snprintf(szAnnounce, sizeof(szAnnounce),
                 "Allocating %.0lf KB for Pawn Hash table (%" PRIu64 " Table Entries) ...",
                 double(nCount) * sizeof(PawnEntry) / 1024, nCount);
    PawnHashSlot* p = AllocSlots<PawnHashSlot>(nCount);
    if (!p) {
        if (bPrint) OutputLine("%sInsufficient Memory for Pawn Hash Table\n", szAnnounce);
        return false;
    }
    aPawnHash = p;
    nPawnHashEntries = nCount;
    if (bPrint) OutputLine("%s Done\n", szAnnounce);
    return true;
}

bool AllocEvalHash(bool bPrint) {
    FreeEvalHash();
    const uint64_t nCount = EvalHashEntriesFor(nEvalHashMB);
    if (nCount == 0) {
        if (bPrint) OutputLine("Eval Hash table disabled\n");
        return true;
    }
    char szAnnounce[128] = "";
    if (bPrint)
        snprintf(szAnnounce, sizeof(szAnnounce),
                 "Allocating %.1lf MB for Eval Hash table (%" PRIu64 " Table Entries) ...",
                 double(nCount) * sizeof(EvalHashEntry) / 1048576, nCount);
    EvalHashSlot* p = AllocSlots<EvalHashSlot>(nCount);
    if (!p) {
        if (bPrint) OutputLine("%sInsufficient Memory for Eval Hash Table\n", szAnnounce);
        return false;
    }
    aEvalHash = p;
    nEvalHashEntries = nCount;
    if (bPrint) OutputLine("%s Done\n", szAnnounce);
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

void ClearPawnHash() {
    for (uint64_t i = 0; i < nPawnHashEntries; ++i)
        for (auto& w : aPawnHash[i].anWord) w.store(0, kRelaxed);
}

void ClearEvalHash() {
    for (uint64_t i = 0; i < nEvalHashEntries; ++i)
        for (auto& w : aEvalHash[i].anWord) w.store(0, kRelaxed);
}

// ---------------------------------------------------------------------------------------
// Fill count.

uint64_t HashFills() {
    uint64_t n = 0;
    for (const FillCounter& c : aHashFills) n += c.n.Get();
    return n;
}

void ResetHashFills() {
    for (FillCounter& c : aHashFills) c.n.Set(0);
}

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

    if (bEmpty || HashAge(nOld) != nAge) aHashFills[StatsRecordIndex()].n++;
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

bool LoadPawnEntry(uint64_t nKey, PawnEntry* out) {
    const PawnHashSlot& s = aPawnHash[PawnHashIndex(nKey)];
    uint64_t w[3];
    for (int i = 0; i < 3; ++i) w[i] = s.anWord[i].load(kRelaxed);
    memcpy(out, w, sizeof(w));
    return nKey != 0 && out->nKey == nKey;
}

void StorePawnEntry(const PawnEntry& e) {
    PawnHashSlot& s = aPawnHash[PawnHashIndex(e.nKey)];
    uint64_t w[3];
    memcpy(w, &e, sizeof(w));
    for (int i = 0; i < 3; ++i) s.anWord[i].store(w[i], kRelaxed);
}

bool LoadEvalEntry(uint64_t nKey, EvalHashEntry* out) {
    const EvalHashSlot& s = aEvalHash[EvalHashIndex(nKey)];
    uint64_t w[2];
    for (int i = 0; i < 2; ++i) w[i] = s.anWord[i].load(kRelaxed);
    memcpy(out, w, sizeof(w));
    return nKey != 0 && out->nKey == nKey;
}

bool StoreEvalEntry(uint64_t nKey, int nScore) {
    EvalHashSlot& s = aEvalHash[EvalHashIndex(nKey)];
    EvalHashEntry e{};
    e.nKey = nKey;
    e.nScore = int16_t(nScore);
    uint64_t w[2];
    memcpy(w, &e, sizeof(w));
    const uint64_t nOld = s.anWord[0].load(kRelaxed);
    s.anWord[0].store(w[0], kRelaxed);
    s.anWord[1].store(w[1], kRelaxed);
    return nOld != 0 && nOld != nKey;
}

// ---------------------------------------------------------------------------------------
// Dump image.

bool WriteHashTables(FILE* f) {
    return WriteSlots(f, pTransTable, nTransBuckets) && WriteSlots(f, aPawnHash, nPawnHashEntries) &&
           WriteSlots(f, aEvalHash, nEvalHashEntries);
}

bool ReadHashTables(FILE* f) {
    return ReadSlots(f, pTransTable, nTransBuckets) && ReadSlots(f, aPawnHash, nPawnHashEntries) &&
           ReadSlots(f, aEvalHash, nEvalHashEntries);
}
