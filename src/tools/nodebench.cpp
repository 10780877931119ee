#include "tools/nodebench.h"

#include <cinttypes>
#include <iterator>

#include "core/log.h"
#include "core/settings.h"
#include "platform/platform.h"
#include "search/search.h"
#include "search/threads.h"
#include "tools/epdtest.h"

namespace {

// Openings and middlegames (quiet and tactical, some with mates), endings, and promotions.
// Never change the list without saying so with the new signature: testers compare the count.
const char* const kPositions[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP2BPPP/R2QKB1R w KQ - 0 8",
    "r1b2rk1/2q1bppp/p2p1n2/np2p3/3PP3/5N1P/PPBN1PP1/R1BQR1K1 w - - 0 13",
    "r2qkb1r/pp2nppp/3p4/2pNN1B1/2BnP3/3P4/PPP2PPP/R2bK2R w KQkq - 1 1",
    "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - 0 1",
    "r4rk1/ppp2ppp/2n5/2bqp3/8/P2PB3/1PP1NPPP/R2Q1RK1 w - - 0 1",
    "rb3qk1/pQ3ppp/4p3/3P4/8/1P3N2/1P3PPP/3R2K1 w - - 0 1",
    "r1bqr1k1/pp1nb1p1/4p2p/3p1p2/3P4/P1N1PNP1/1PQ2PP1/3RKB1R w K - 0 1",
    "3qrbk1/ppp1r2n/3pP2p/3P4/2P4P/1P3Q2/PB6/R4R1K w - - 0 1",
    "r1b1qrk1/2p2ppp/pb1pnn2/1p2pNB1/3PP3/1BP5/PP2QPPP/RN1R2K1 w - - 0 1",
    "2qr2k1/4b1p1/2p2p1p/1pP1p3/p2nP3/PbQNB1PP/1P3PK1/4RB2 b - - 0 1",
    "4rrk1/pppb4/7p/3P2pq/3Qn3/P5P1/1PP4P/R3RNNK b - - 0 1",
    "6k1/5p1p/2bP2pb/4p3/2P5/1p1pNPPP/1P1Q1BK1/1q6 b - - 0 1",
    "6kr/1q2r1p1/1p2N1Q1/5p2/1P1p4/6R1/7P/2R3K1 w - - 0 1",
    "r3r1k1/5pp1/p1p4p/2Pp4/8/q1NQP1BP/5PP1/4K2R b K - 0 1",
    "r3k2r/2p2p2/p2p1n2/1p2p3/4P2p/1PPPPp1q/1P5P/R1N2QRK b kq - 0 1",
    "rr4k1/p1pq2pp/Q1n1pn2/2bpp3/4P3/2PP1NN1/PP3PPP/R1B1K2R b KQ - 0 1",
    "r1bqrk2/pp1n1n1p/3p1p2/P1pP1P1Q/2PpP1NP/6R1/2PB4/4RBK1 w - - 0 1",
    "2b2rk1/p1p4p/2p1p1p1/br2N1Q1/1p2q3/8/PB3PPP/3R1RK1 w - - 0 1",
    "2rq1rk1/pp3ppp/2n2b2/4NR2/3P4/PB5Q/1P4PP/3R2K1 w - - 0 1",
    "3r1rk1/1pb1qp1p/2p3p1/p7/P2Np2R/1P5P/1BP2PP1/3Q1BK1 w - - 0 1",
    "2q1rr1k/3bbnnp/p2p1pp1/2pPp3/PpP1P1P1/1P2BNNP/2BQ1PRK/7R b - - 0 1",
    "2kr1bnr/pbpq4/2n1pp2/3p3p/3P1P1B/2N2N1Q/PPP3PP/2KR1B1R w - - 0 1",
    "r3r1k1/ppqb1ppp/8/4p1NQ/8/2P5/PP3PPP/R3R1K1 b - - 0 1",
    "r1bq1rk1/pp2ppbp/2np2p1/2n5/P3PP2/N1P2N2/1PB3PP/R1B1QRK1 b - - 0 1",
    "r2qnrnk/p2b2b1/1p1p2pp/2pPpp2/1PP1P3/PRNBB3/3QNPPP/5RK1 w - - 0 1",
    "2r2bk1/4qp2/3n2p1/2R1p1Np/2p1N3/r6P/1Q3PP1/3R2K1 w - - 0 1",
    "1k1r2r1/pp3p1p/B2q1n2/8/3Pb1p1/2Q5/PR3PPP/2B1R1K1 w - - 0 1",
    "2r3k1/pppR1pp1/4p3/4P1P1/5P2/1P4K1/P1P5/8 w - - 0 1",
    "8/3b2kp/4p1p1/pr1n4/N1N4P/1P4P1/1K3P2/3R4 w - - 0 1",
    "3r1k2/1p6/p4P2/2pP2Qb/8/1P1KB3/P6r/8 b - - 0 1",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "8/8/4k3/3r4/5R2/4K3/6P1/8 w - - 0 1",
    "8/5pk1/8/8/8/8/1P3K2/8 b - - 0 1",
    "8/k7/3p4/p2P1p2/P2P1P2/8/8/K7 w - - 0 1",
    "8/8/8/4k3/8/8/4P3/4K3 w - - 0 1",
    "8/8/8/8/3k4/8/3KQ3/7r w - - 0 1",
    "8/P7/8/8/8/8/6k1/K7 w - - 0 1",
    "4k3/1P6/8/8/8/8/6p1/4K3 w - - 0 1",
    "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1",
};

}  // namespace

NodeBenchResult RunNodeBench(int nDepth) {
    const int nTop = ClampMaxDepth(nDepth > 0 ? nDepth : kNodeBenchDepth);
    // The conditions that make the count a signature: one thread, the same table sizes, no book.
    if (nNumThreads != 1) SetNumThreads(1);
    nHashMB = 16;
    nPawnHashKB = 1024;
    nEvalHashMB = 16;
    nNumBeers = 0;
    bOwnBook = false;
    bShowBoard = false;
    NodeBenchResult total;
    const int nCount = int(std::size(kPositions));
    for (int i = 0; i < nCount; ++i) {
        Position pos;
        NewGame(&pos);
        AllocMissingHashTables();
        if (!ParseFen(&pos, &game, kPositions[i])) continue;
        game.aGameHistory[game.nGamePly] = RepetitionKey(pos);
        aThreadMarkers[0].nLastIrreversible = game.nGamePly;
        bFixedTime = true;
        nNodeLimit = 0;
        SetMoveBudget(WHITE, 999999999.0);
        SetMoveBudget(BLACK, 999999999.0);
        AllocateTime();
        nEngineSide = pos.bSideToMove;
        bStopSearch = false;
        const int64_t t0 = NowMs();
        PvLine line;
        IterativeDeepening(&pos, nTop, &line, false);
        const double dSeconds = double(NowMs() - t0) / 1000.0;
        const uint64_t nNodes = SearchNodeTotal();
        total.nNodes += nNodes;
        total.dSeconds += dSeconds;
        OutputLine("Position %2d/%d: %12" PRIu64 " nodes %8.3f s  %s\n", i + 1, nCount, nNodes, dSeconds,
                   kPositions[i]);
    }
    const double dNps = total.dSeconds > 0 ? double(total.nNodes) / total.dSeconds : 0.0;
    OutputLine("%" PRIu64 " nodes %.0f nps\n", total.nNodes, dNps);
    return total;
}
