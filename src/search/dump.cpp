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

#include "console/options.h"
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

bool LoadDump(const char* szName) {
    FILE* f = fopen(szName, "rb");
    if (!f) {
        printf("Cannot open dump file %s\n", szName);
        return false;
    }

    // The size must be what the current table sizes give, or nothing is read.
    const uint64_t nExpected = DumpFileBytes();
    int64_t nSize = -1;
    if (fseek(f, 0, SEEK_END) == 0) nSize = int64_t(ftell(f));
    if (nSize < 0 || uint64_t(nSize) != nExpected) {
        printf("Dump file %s has %" PRId64 " bytes, the current table sizes need %" PRIu64 "\n", szName,
               nSize, nExpected);
        fclose(f);
        return false;
    }

    // The state after the tables first, into a record of its own.
    DumpState s;
    if (fseek(f, long(nExpected - kStateBytes), SEEK_SET) != 0 || !ReadState(f, &s) ||
        fseek(f, 0, SEEK_SET) != 0) {
        printf("Error reading dump file %s\n", szName);
        fclose(f);
        return false;
    }

    // Fresh tables of the current sizes, filled from the file.
    const bool bPrint = ShowHashMessages();
    ReleaseHashTables();
    if (!AllocTransTable(bPrint) || !AllocPawnHash(bPrint) || !AllocEvalHash(bPrint)) {
        printf("Cannot allocate the tables for dump file %s\n", szName);
        ReleaseHashTables();
        fclose(f);
        return false;
    }
    const bool bTables = ReadHashTables(f);
    fclose(f);
    if (!bTables) {
        // Only an I/O error gets here (the size was right): no half-read table is kept.
        ReleaseHashTables();
        printf("Error reading dump file %s\n", szName);
        return false;
    }

    for (int i = 0; i < kMaxPly; ++i) {
        RelaxedStore(anKiller1[i], Move(s.anKiller1[i]));
        RelaxedStore(anKiller2[i], Move(s.anKiller2[i]));
    }
    for (int i = 0; i < kDumpHistoryEntries; ++i) game.aGameHistory[i] = s.anHistory[i];
    int nMarker = s.nLastIrreversible;
    aThreadMarkers[0].nLastIrreversible = nMarker < 0 ? 0 : nMarker > kMaxGamePly ? kMaxGamePly : nMarker;
    anLastScore[0] = s.anLastScore[0];
    anLastScore[1] = s.anLastScore[1];
    return true;
}
