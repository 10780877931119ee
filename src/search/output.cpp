// Search output: the UCI iteration line, the console iteration line and the UCI progress line,
// with the checked walk along a line and the table's continuation that both iteration lines use.
#include <cinttypes>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "core/log.h"
#include "core/settings.h"
#include "movegen/movegen.h"
#include "platform/platform.h"
#include "search/search.h"

namespace {

// Appends printf-style text to a string (the lines are short and written once per iteration).
void AppendF(std::string* out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void AppendF(std::string* out, const char* format, ...) {
    char buf[256];
    va_list args;
    va_start(args, format);
    const int n = vsnprintf(buf, sizeof(buf), format, args);
    va_end(args);
    if (n > 0) out->append(buf, size_t(n) < sizeof(buf) ? size_t(n) : sizeof(buf) - 1);
}

// Writes a whole line at once, so that lines of other threads never cut into it.
void WriteLine(const std::string& text) {
    OutputText(text.data(), text.size());
}

// The remembered move of the progress line, shared by all search threads.
std::mutex mtxCurrMove;
int nCurrMoveNumber = 0;
char szCurrMove[16] = "";

}  // namespace

int ValidLineLength(const Position* pos, const Move* aMoves, int n, Position* end) {
    Position p, next;
    CopyPosition(&p, pos);
    int k = 0;
    for (; k < n; ++k) {
        const Move m = aMoves[k];
        if (!m || !IsMoveValid(&p, m) || !IsLegalMove(&p, m)) break;
        MakeMove(m, &p, &next, 0, -1);
        CopyPosition(&p, &next);
    }
    if (end) CopyPosition(end, &p);
    return k;
}

int HashContinuation(const Position* pos, int nMax, Move* aOut) {
    if (nTransBuckets == 0 || !pTransTable) return 0;
    Position p, next;
    CopyPosition(&p, pos);
    int n = 0;
    while (n < nMax) {
        const HashBucket& b = HashBucketOf(p.nHashKey);
        if (b.anCheck[0].load(std::memory_order_relaxed) != HashCheckOf(p.nHashKey)) break;
        const Move m = HashMove(b.anData[0].load(std::memory_order_relaxed));
        // Slot 0 may belong to another position with the same check word.
        if (!m || !IsMoveValid(&p, m) || !IsLegalMove(&p, m)) break;
        aOut[n++] = m;
        MakeMove(m, &p, &next, 0, -1);
        CopyPosition(&p, &next);
    }
    return n;
}

std::string FormatUciInfo(const Position* pos, const PvLine& line, int nIteration, int nAlpha, int nBeta,
                          double dSeconds, uint64_t nNodes, int nSelDepthPlies, double dHashFull,
                          int nMultiPvIndex) {
    const int nScore = line.nScore;
    const char* szBound = nAlpha >= nScore ? " upperbound" : nScore < nBeta ? "" : " lowerbound";
    const double dNps = dSeconds > 0 ? double(nNodes) / dSeconds : 0.0;

    std::string out;
    out.reserve(1024);
    // A mate goes out in moves, as the protocol has it and every GUI shows it: "mate 2" for the
    // mover mating with its second move, "mate -1" for being mated after its next move.
    if (nScore > MATE_BOUND)
        AppendF(&out, "info score mate %d", (MATE - nScore + 1) / 2);
    else if (nScore < -MATE_BOUND)
        AppendF(&out, "info score mate %d", -((MATE + nScore + 1) / 2));
    else
        AppendF(&out, "info score cp %d", nScore);
    AppendF(&out, "%s depth %d seldepth %d", szBound, nIteration, nSelDepthPlies);
    if (nMultiPvIndex > 0) AppendF(&out, " multipv %d", nMultiPvIndex);
    AppendF(&out, " nodes %" PRIu64 " time %.0lf nps %.0lf hashfull %.0lf pv ", nNodes, dSeconds * 1000.0,
            dNps, dHashFull);

    // The line as far as it holds in the position, then what the table adds to it.
    int n = line.nLength < kMaxPly ? line.nLength : kMaxPly;
    if (n < 0) n = 0;
    Position end;
    const int nValid = ValidLineLength(pos, line.anMoves, n, &end);
    for (int i = 0; i < nValid; ++i) {
        out += MoveToCoord(line.anMoves[i]);
        out += ' ';
    }
    if (nTransBuckets) {
        out += ' ';
        if (nValid == n) {
            Move aMore[kMaxPly];
            const int nDepth = line.nDepth < kMaxPly ? line.nDepth : kMaxPly;
            const int nMore = HashContinuation(&end, nDepth - nValid, aMore);
            for (int i = 0; i < nMore; ++i) {
                out += MoveToCoord(aMore[i]);
                out += ' ';
            }
        }
    }
    out += '\n';
    return out;
}

std::string FormatConsoleLine(const Position* pos, const PvLine& line, int nAlpha, int nBeta, double dSeconds,
                              uint64_t nNodes, int nFullMove) {
    std::string out;
    out.reserve(1024);

    // Elapsed time as hh:mm:ss.cc.
    const double t = dSeconds < 0 ? 0 : dSeconds;
    const long nHours = long(std::floor(t / 3600));
    const long nMinutes = long(std::floor((t - double(nHours) * 3600) / 60));
    const long nWhole = long(std::floor(t));
    const long nSeconds = nWhole - nHours * 3600 - nMinutes * 60;
    const long nHundredths = long((t - double(nWhole)) * 100);
    AppendF(&out, "%02ld:%02ld:%02ld.%02ld  ", nHours, nMinutes, nSeconds, nHundredths);

    // Node count in at most five digits and a unit.
    const double n = double(nNodes);
    if (n < 10000)
        AppendF(&out, "%6.0lf  ", n);
    else if (n < 10000000)
        AppendF(&out, "%5.0lfK  ", n / 1000);
    else if (n < 1e10)
        AppendF(&out, "%5.0lfM  ", n / 1000000);
    else
        AppendF(&out, "%5.0lfB  ", n / 1e9);

    // Score (mates in plies), with the bound marks.
    char szScore[40];
    const int nScore = line.nScore;
    if (nScore > MATE_BOUND)
        snprintf(szScore, sizeof(szScore), "   +M%d", MATE - nScore);
    else if (nScore < -MATE_BOUND)
        snprintf(szScore, sizeof(szScore), "   -M%d", nScore + MATE);
    else
        snprintf(szScore, sizeof(szScore), "%6.2f", nScore / 100.0);
    strcat(szScore, nScore <= nAlpha ? "--" : nScore >= nBeta ? "++" : "  ");
    AppendF(&out, "%d/%d/%d \t%s \t", line.nIteration, line.nDepth, line.nSelDepth, szScore);

    // The moves in SAN with move numbers; black to move at the root starts with "N... ".
    int nNumber = nFullMove;
    if (pos->bSideToMove == BLACK)
        AppendF(&out, "%d... ", nNumber);
    else
        --nNumber;
    Position p, next;
    CopyPosition(&p, pos);
    auto Add = [&](Move m, const char* szMark) {
        if (p.bSideToMove == WHITE) AppendF(&out, "%d. ", ++nNumber);
        out += MoveToSan(&p, m);
        out += szMark;
        out += ' ';
        MakeMove(m, &p, &next, 0, -1);
        CopyPosition(&p, &next);
    };
    int nLength = line.nLength < kMaxPly ? line.nLength : kMaxPly;
    if (nLength < 0) nLength = 0;
    const int nValid = ValidLineLength(pos, line.anMoves, nLength);
    for (int i = 0; i < nValid; ++i) Add(line.anMoves[i], "");
    if (nTransBuckets && nValid == nLength) {
        Move aMore[kMaxPly];
        const int nDepth = line.nDepth < kMaxPly ? line.nDepth : kMaxPly;
        const int nMore = HashContinuation(&p, nDepth - nValid, aMore);
        for (int i = 0; i < nMore; ++i) Add(aMore[i], "(h)");
    }
    out += '\n';
    return out;
}

void PrintUciInfo(const Position* pos, const PvLine& line, int nIteration, int nAlpha, int nBeta,
                  int nMultiPvIndex) {
    if (!bUciMode) return;
    const int i = nIteration < 0 ? 0 : nIteration > kMaxIterations ? kMaxIterations : nIteration;
    const std::string text =
        FormatUciInfo(pos, line, nIteration, nAlpha, nBeta, adIterTime[i], SearchNodeTotal(),
                      nSelDepth.load(std::memory_order_relaxed), HashFull(), nMultiPvIndex);
    WriteLine(text);
    if (TraceLevel() == 3) AppendDumpLog(text.c_str());
}

void PrintConsoleLine(const Position* pos, const PvLine& line, int nAlpha, int nBeta) {
    if (bUciMode || !bShowBoard) return;
    const int i = line.nIteration < 0                ? 0
                  : line.nIteration > kMaxIterations ? kMaxIterations
                                                     : line.nIteration;
    WriteLine(FormatConsoleLine(pos, line, nAlpha, nBeta, adIterTime[i], SearchNodeTotal(), game.nFullMove));
}

void ResetCurrMove() {
    std::lock_guard<std::mutex> lock(mtxCurrMove);
    nCurrMoveNumber = 0;
    szCurrMove[0] = 0;
}

void PrintCurrMove(int nNumber, const char* szMove, uint64_t nNodeTotal, double dHashFull) {
    const int64_t nMs = NowMs() - nSearchStartTicks.load(std::memory_order_relaxed);
    const double dNps = nMs > 0 ? double(nNodeTotal) / (double(nMs) / 1000.0) : 0.0;
    char buf[256];
    {
        std::lock_guard<std::mutex> lock(mtxCurrMove);
        if (szMove) {
            nCurrMoveNumber = nNumber;
            snprintf(szCurrMove, sizeof(szCurrMove), "%s", szMove);
        }
        if (szCurrMove[0])
            snprintf(buf, sizeof(buf),
                     "info currmovenumber %d currmove %s nodes %" PRIu64 " time %" PRId64
                     " nps %.0lf hashfull %.0lf\n",
                     nCurrMoveNumber, szCurrMove, nNodeTotal, nMs, dNps, dHashFull);
        else  // no root move named yet in this search
            snprintf(buf, sizeof(buf), "info nodes %" PRIu64 " time %" PRId64 " nps %.0lf hashfull %.0lf\n",
                     nNodeTotal, nMs, dNps, dHashFull);
    }
    WriteLine(buf);
    if (TraceLevel() == 3) AppendDumpLog(buf);
}
