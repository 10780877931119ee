// Mangled FEN text through the interpreter's "position fen" and "loadfen": never a crash, and
// the current position always stays a sound one.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "console/console.h"
#include "support/engine_setup.h"

namespace {

TEST(FenFuzz, MangledFensThroughTheInterpreter) {
    EnsureEngineReady();
    std::mt19937 rng(2026);
    const std::string aBases[] = {
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
        "4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1",
    };
    const std::string alphabet = "pnbrqkPNBRQK0123456789/ -wbKQkqabcdefgh\t";
    for (int i = 0; i < 3000; i++) {
        std::string s = aBases[rng() % 4];
        switch (i % 5) {
            case 0:
                s.resize(rng() % s.size());
                break;
            case 1:
                for (int k = 0; k < 3; k++) s[rng() % s.size()] = alphabet[rng() % alphabet.size()];
                break;
            case 2:
                s.clear();
                for (int k = rng() % 120; k > 0; k--) s += char(rng() % 254 + 1);
                break;
            case 3:
                s.insert(rng() % s.size(), std::string(rng() % 300, alphabet[rng() % alphabet.size()]));
                break;
            default:
                s += " moves e2e4 e7e5 a7a8q e1g1 " + std::to_string(rng());
                break;
        }
        for (char& ch : s)
            if (ch == '\n' || ch == '\r') ch = ' ';
        RunCommand((i & 1 ? "position fen " : "loadfen ") + s);
        // Whatever was accepted must be a sound position.
        ASSERT_EQ(PopCount(pCurrent->bbPieces[WHITE][BB_KING]), 1) << s;
        ASSERT_EQ(PopCount(pCurrent->bbPieces[BLACK][BB_KING]), 1) << s;
        Position copy = *pCurrent;
        ComputeBitboards(&copy);
        ComputeHashKey(&copy);
        ASSERT_EQ(copy.nHashKey, pCurrent->nHashKey) << s;
        const int other = pCurrent->bSideToMove ^ 1;
        ASSERT_EQ(AttackedBy(KingSquare(*pCurrent, other), pCurrent, pCurrent->bSideToMove), 0) << s;
    }
    RunCommand("position startpos");
}

}  // namespace
