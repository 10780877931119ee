#include "eval/cache.h"

#include <bit>
#include <cinttypes>
#include <cstring>

#include "core/log.h"
#include "core/settings.h"
#include "core/slots.h"

PawnHashSlot* aPawnHash = nullptr;
uint64_t nPawnHashEntries = 0;
EvalHashSlot* aEvalHash = nullptr;
uint64_t nEvalHashEntries = 0;

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

}  // namespace

// Found by WriteSlots / ReadSlots through the slot type, so outside the unnamed namespace.
static void SaveSlot(const PawnHashSlot& s, uint8_t*& out) {
    slots::SaveWords(s.anWord, 3, out);
}
static void SaveSlot(const EvalHashSlot& s, uint8_t*& out) {
    slots::SaveWords(s.anWord, 2, out);
}
static void LoadSlot(PawnHashSlot& s, const uint8_t*& in) {
    slots::LoadWords(s.anWord, 3, in);
}
static void LoadSlot(EvalHashSlot& s, const uint8_t*& in) {
    slots::LoadWords(s.anWord, 2, in);
}

uint64_t FloorPowerOfTwo(uint64_t n) {
    return n ? std::bit_floor(n) : 0;
}

uint64_t PawnHashEntriesFor(int64_t nKB) {
    return nKB > 0 ? FloorPowerOfTwo(uint64_t(nKB) * 1024 / sizeof(PawnEntry)) : 0;
}
uint64_t EvalHashEntriesFor(int64_t nMB) {
    return nMB > 0 ? FloorPowerOfTwo(uint64_t(nMB) * 1048576 / sizeof(EvalHashEntry)) : 0;
}

void FreePawnHash() {
    slots::FreeSlots(aPawnHash);
    aPawnHash = nullptr;
    nPawnHashEntries = 0;
}

void FreeEvalHash() {
    slots::FreeSlots(aEvalHash);
    aEvalHash = nullptr;
    nEvalHashEntries = 0;
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
    PawnHashSlot* p = slots::AllocSlots<PawnHashSlot>(nCount);
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
    EvalHashSlot* p = slots::AllocSlots<EvalHashSlot>(nCount);
    if (!p) {
        if (bPrint) OutputLine("%sInsufficient Memory for Eval Hash Table\n", szAnnounce);
        return false;
    }
    aEvalHash = p;
    nEvalHashEntries = nCount;
    if (bPrint) OutputLine("%s Done\n", szAnnounce);
    return true;
}

void ClearPawnHash() {
    for (uint64_t i = 0; i < nPawnHashEntries; ++i)
        for (auto& w : aPawnHash[i].anWord) w.store(0, kRelaxed);
}

void ClearEvalHash() {
    for (uint64_t i = 0; i < nEvalHashEntries; ++i)
        for (auto& w : aEvalHash[i].anWord) w.store(0, kRelaxed);
}

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

bool WriteEvalCaches(FILE* f) {
    return WriteSlots(f, aPawnHash, nPawnHashEntries) && WriteSlots(f, aEvalHash, nEvalHashEntries);
}

bool ReadEvalCaches(FILE* f) {
    return ReadSlots(f, aPawnHash, nPawnHashEntries) && ReadSlots(f, aEvalHash, nEvalHashEntries);
}
