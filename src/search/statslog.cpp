#include "search/statslog.h"

#include <cinttypes>

#include "core/settings.h"
#include "search/hash.h"

char szStatsFileName[64];
bool bStatsHeaderWritten = false;

void MakeStatsFileName() {
    FormatStatsFileName(szStatsFileName, sizeof(szStatsFileName), time(nullptr));
    bStatsHeaderWritten = false;
}

void FormatStatsFileName(char* buf, size_t nSize, time_t t) {
    struct tm tmLocal;
    localtime_r(&t, &tmLocal);
    snprintf(buf, nSize, "QM_%s_%04d%02d%02d_%02d%02d%02d.stats.csv", kVersion, tmLocal.tm_year + 1900,
             tmLocal.tm_mon + 1, tmLocal.tm_mday, tmLocal.tm_hour, tmLocal.tm_min, tmLocal.tm_sec);
}

void WriteStatsCsvHeader(FILE* f) {
    fprintf(f, "QM v%s - Compiled on %s at %s\n", kVersion, __DATE__, __TIME__);
    fprintf(f, "Num Threads = %d\n", nNumThreads);
    fprintf(f, "Trans Hash = %.1lf MB\n", double(nTransBuckets) * sizeof(HashBucket) / 1048576);
    fprintf(f, "Pawn Hash = %.1lf KB\n", double(nPawnHashEntries) * sizeof(PawnEntry) / 1024);
    fprintf(f, "Eval Hash = %.1lf MB\n", double(nEvalHashEntries) * sizeof(EvalHashEntry) / 1048576);
    fprintf(f, "Seed = %u\n", unsigned(nSeed));
    fputs("FEN Searched,Move,Score,Time,Depth,Nodes,Q Nodes,Null Cuts %,Lazy 1 %,Lazy 2 %", f);
    fputs(",Futility Prunes,Ext Prunes,Mate", f);
    fputs(",LMR,Razors,King", f);
    fputs(",Check Exts,Recaps,Pawn Exts,Single Reply Exts,King Exts", f);
    fputs(",Hash Used %", f);
    for (int i = 0; i < 4; ++i)
        fprintf(f, ",Probes[%d],Cuts[%d] %%,Moves[%d] %%,Miss[%d] %%,Writes[%d],Overwrite[%d] %%", i, i, i, i,
                i, i);
    fputs(",Pawn Hit %", f);
    if (nEvalHashEntries) fputs(", Eval Hash %, Eval Hash Overwrite %", f);
    fputs("\n", f);
}

void WriteStatsCsvLine(FILE* f, const SearchStats& s, const char* fen, const char* move, int nScore) {
    const uint64_t nLazy = s.nLazyExits1 + s.nLazyExits2 + s.nLazyPasses;
    fprintf(f,
            "%s,%s,%d,%.3lf,%d,%" PRIu64 ",%" PRIu64 ",%.1lf,%.1lf,%.1lf,%" PRIu64 ",%" PRIu64 ",%" PRIu64
            ",%" PRIu64 ",%" PRIu64 ",%" PRIu64 ",%" PRIu64 ",%" PRIu64 ",%" PRIu64 ",%" PRIu64 ",%" PRIu64
            ",%.1lf",
            fen, move, nScore, s.dSearchTime.Get(), int(s.nLastIteration.Get()), s.nNodes.Get(),
            s.nQNodes.Get(), StatPct(s.nNullCuts, s.nNullCuts + s.nNullFails), StatPct(s.nLazyExits1, nLazy),
            StatPct(s.nLazyExits2, nLazy), s.nFutilityPrunes.Get(), s.nExtPrunes.Get(), s.nMatePrunes.Get(),
            s.nLmrReductions.Get(), s.nRazorReductions.Get(), s.nKingReductions.Get(), s.nCheckExts.Get(),
            s.nRecaptureExts.Get(), s.nPawnExts.Get(), s.nSingleReplyExts.Get(), s.nKingExts.Get(),
            StatPct(s.nHashFills, 4 * nTransBuckets));
    for (int i = 0; i < 4; ++i) {
        const uint64_t nSum = s.anProbeCuts[i] + s.anProbeMoves[i] + s.anProbeMisses[i];
        fprintf(f, ",%" PRIu64 ",%.1lf,%.1lf,%.1lf,%" PRIu64 ",%.1lf", s.anProbes[i].Get(),
                StatPct(s.anProbeCuts[i], nSum), StatPct(s.anProbeMoves[i], nSum),
                StatPct(s.anProbeMisses[i], nSum), s.anWrites[i].Get(),
                StatPct(s.anOverwrites[i], s.anWrites[i].Get()));
    }
    fprintf(f, ",%.1lf", StatPct(s.nPawnHashHits, s.nPawnHashHits + s.nPawnHashMisses));
    if (nEvalHashEntries)
        fprintf(f, ",%.1lf,%.1lf", StatPct(s.nEvalHashHits, s.nEvalHashHits + s.nEvalHashMisses),
                StatPct(s.nEvalHashOverwrites, s.nEvalHashMisses.Get()));
    fputs("\n", f);
}

void LogSearchStats(const char* fen, const char* move, int nScore) {
    if (!bLogStats) return;
    FILE* f;
    if (bStatsHeaderWritten) {
        f = fopen(szStatsFileName, "a");
    } else {
        FormatStatsFileName(szStatsFileName, sizeof(szStatsFileName), time(nullptr));
        f = fopen(szStatsFileName, "w");
        if (f) WriteStatsCsvHeader(f);
    }
    if (!f) return;  // a log that cannot be written is skipped silently
    SearchStats s;
    GatherSearchStats(&s);
    WriteStatsCsvLine(f, s, fen, move, nScore);
    fclose(f);
    bStatsHeaderWritten = true;
}
