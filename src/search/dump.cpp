// Dump files of the search state (written at the start of a search at trace level 3) and the
// "loaddump" command that reads them back.
//
// Layout, native little-endian, no header: all transposition buckets (48 bytes each), all pawn
// hash entries (24), all eval hash entries (16), anKiller1 and anKiller2 (128 words of 4
// bytes each), the first 600 entries of the game history (8 bytes each), worker 0's
// irreversible-move marker (4) and anLastScore (2 x 4). The file records no table sizes.
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "core/log.h"
#include "core/settings.h"
#include "search/hash.h"
#include "search/search.h"

const char* const kDumpFileName = "QM_1.04.dump";
static_assert(std::string_view(kVersion) == "1.04", "the dump file is named after the version");

namespace {

constexpr uint64_t kStateBytes = 2 * kMaxPly * sizeof(uint32_t) + kDumpHistoryEntries * sizeof(uint64_t) +
                                 sizeof(int32_t) + 2 * sizeof(int32_t);
static_assert(kMaxPly == 128 && kDumpHistoryEntries <= kGameHistorySize);

// The search state after the tables, as one record.
struct DumpState {
    uint32_t anKiller1[kMaxPly];
    uint32_t anKiller2[kMaxPly];
    uint64_t anHistory[kDumpHistoryEntries];
    int32_t nLastIrreversible;
    int32_t anLastScore[2];
};

bool WriteState(FILE* f, const DumpState& s) {
    return fwrite(s.anKiller1, sizeof(s.anKiller1), 1, f) == 1 &&
           fwrite(s.anKiller2, sizeof(s.anKiller2), 1, f) == 1 &&
           fwrite(s.anHistory, sizeof(s.anHistory), 1, f) == 1 &&
           fwrite(&s.nLastIrreversible, sizeof(int32_t), 1, f) == 1 &&
           fwrite(s.anLastScore, sizeof(s.anLastScore), 1, f) == 1;
}

bool ReadState(FILE* f, DumpState* s) {
    return fread(s->anKiller1, sizeof(s->anKiller1), 1, f) == 1 &&
           fread(s->anKiller2, sizeof(s->anKiller2), 1, f) == 1 &&
           fread(s->anHistory, sizeof(s->anHistory), 1, f) == 1 &&
           fread(&s->nLastIrreversible, sizeof(int32_t), 1, f) == 1 &&
           fread(s->anLastScore, sizeof(s->anLastScore), 1, f) == 1;
}

}  // namespace

uint64_t DumpFileBytes() {
    return TransBucketsFor(nHashMB) * sizeof(HashBucket) +
           PawnHashEntriesFor(nPawnHashKB) * sizeof(PawnEntry) +
           EvalHashEntriesFor(nEvalHashMB) * sizeof(EvalHashEntry) + kStateBytes;
}

bool WriteDump(const char* szName) {
    FILE* f = fopen(szName, "wb");
    if (!f) return false;
    const bool bOk = WriteHashTables(f);
    return fclose(f) == 0 && bOk;
}

bool AppendDumpState(const char* szName) {
    DumpState s;
    for (int i = 0; i < kMaxPly; ++i) {
        s.anKiller1[i] = RelaxedLoad(anKiller1[i]);
        s.anKiller2[i] = RelaxedLoad(anKiller2[i]);
    }
    for (int i = 0; i < kDumpHistoryEntries; ++i) s.anHistory[i] = game.aGameHistory[i];
    s.nLastIrreversible = aThreadMarkers[0].nLastIrreversible;
    s.anLastScore[0] = anLastScore[0];
    s.anLastScore[1] = anLastScore[1];
    FILE* f = fopen(szName, "ab");
    if (!f) return false;
    const bool bOk = WriteState(f, s);
    return fclose(f) == 0 && bOk;
}

namespace {

inline int ClampScore(int n) {
    return n < -SCORE_INF ? -SCORE_INF : n > SCORE_INF ? SCORE_INF : n;
}

// A killer is a quiet move that fits the move word; anything else read from a file is dropped.
inline Move CleanKiller(uint32_t m) {
    return (m & ~uint32_t(HASH_MOVE_MASK)) == 0 && MoveCaptured(Move(m)) == 0 ? Move(m) : Move(0);
}

// Table contents from a file are not trusted: scores beyond the search's range would break the
// mate-distance arithmetic, so they are clamped (moves are checked wherever they are used).
void ClampTableScores() {
    constexpr uint64_t kScoreMask = uint64_t(0xFFFF) << HASH_SCORE_SHIFT;
    for (uint64_t i = 0; i < nTransBuckets; ++i)
        for (auto& word : pTransTable[i].anData) {
            const uint64_t d = word.load(std::memory_order_relaxed);
            const int nScore = HashScore(d);
            if (nScore == ClampScore(nScore)) continue;
            word.store((d & ~kScoreMask) | (uint64_t(ClampScore(nScore) + SCORE_INF) << HASH_SCORE_SHIFT),
                       std::memory_order_relaxed);
        }
    // Word 1 of a pawn or eval slot starts with the 16-bit score.
    auto ClampWord1 = [](std::atomic<uint64_t>& word) {
        const uint64_t d = word.load(std::memory_order_relaxed);
        const int nScore = int16_t(uint16_t(d & 0xFFFF));
        if (nScore != ClampScore(nScore))
            word.store((d & ~uint64_t(0xFFFF)) | uint16_t(int16_t(ClampScore(nScore))),
                       std::memory_order_relaxed);
    };
    for (uint64_t i = 0; i < nPawnHashEntries; ++i) ClampWord1(aPawnHash[i].anWord[1]);
    for (uint64_t i = 0; i < nEvalHashEntries; ++i) ClampWord1(aEvalHash[i].anWord[1]);
}

}  // namespace

bool LoadDump(const char* szName) {
    // Everything is checked before the first change: a file that cannot be read whole leaves
    // the engine as it was.
    FILE* f = fopen(szName, "rb");
    if (!f) {
        OutputLine("Cannot load dump file %s\n", szName);
        return false;
    }
    // The file records no sizes: it must be exactly what the current table sizes give.
    const uint64_t nExpected = DumpFileBytes();
    int64_t nSize = -1;
    if (fseek(f, 0, SEEK_END) == 0) nSize = int64_t(ftell(f));
    DumpState s;
    if (nSize < 0 || uint64_t(nSize) != nExpected || fseek(f, long(nExpected - kStateBytes), SEEK_SET) != 0 ||
        !ReadState(f, &s) || fseek(f, 0, SEEK_SET) != 0) {
        OutputLine("Cannot load dump file %s\n", szName);
        fclose(f);
        return false;
    }

    // Fresh tables of the current sizes, filled from the file.
    const bool bPrint = ShowHashMessages();
    ReleaseHashTables();
    if (!AllocTransTable(bPrint) || !AllocPawnHash(bPrint) || !AllocEvalHash(bPrint) || !ReadHashTables(f)) {
        // Only a failed allocation or an I/O error gets here: no half-read table is kept (the
        // next user allocates empty ones).
        ReleaseHashTables();
        fclose(f);
        OutputLine("Cannot load dump file %s\n", szName);
        return false;
    }
    fclose(f);
    ClampTableScores();

    for (int i = 0; i < kMaxPly; ++i) {
        RelaxedStore(anKiller1[i], CleanKiller(s.anKiller1[i]));
        RelaxedStore(anKiller2[i], CleanKiller(s.anKiller2[i]));
    }
    for (int i = 0; i < kDumpHistoryEntries; ++i) game.aGameHistory[i] = s.anHistory[i];
    const int nMarker = s.nLastIrreversible;
    aThreadMarkers[0].nLastIrreversible = nMarker < 0 ? 0 : nMarker > kMaxGamePly ? kMaxGamePly : nMarker;
    anLastScore[0] = ClampScore(s.anLastScore[0]);
    anLastScore[1] = ClampScore(s.anLastScore[1]);
    return true;
}
