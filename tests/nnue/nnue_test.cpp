// The learned evaluation's inference: incremental accumulators against a full refresh along
// random games, colour symmetry, and the file format's checks.
#include "nnue/nnue.h"

#include <gtest/gtest.h>

#include <random>

#include "board/board_test_util.h"
#include "movegen/movegen.h"

namespace {

// A net with random weights in the range a trained one has.
Network RandomNet(int nHidden, int nActivation, unsigned nSeed) {
    std::mt19937 rng(nSeed);
    std::uniform_int_distribution<int> in(-200, 200), out(-120, 120);
    Network net;
    net.nHidden = nHidden;
    net.nActivation = nActivation;
    net.anInputWeights.resize(size_t(kNetInputs) * nHidden);
    for (int16_t& w : net.anInputWeights) w = int16_t(in(rng));
    net.anInputBias.resize(nHidden);
    for (int16_t& w : net.anInputBias) w = int16_t(in(rng));
    net.anOutputWeights.resize(2 * size_t(nHidden));
    for (int16_t& w : net.anOutputWeights) w = int16_t(out(rng));
    net.nOutputBias = 1234;
    return net;
}

int FullEval(const Network& net, const Position& pos) {
    Accumulator acc;
    RefreshAccumulator(net, pos, &acc);
    return NetOutput(net, acc, pos.bSideToMove);
}

std::vector<Move> Legal(const Position& pos) {
    Move buf[kMaxMoves];
    int n = GenerateCaptures(&pos, buf);
    n += GenerateQuiets(&pos, buf + n, kMaxMoves - n);
    std::vector<Move> v;
    for (int i = 0; i < n; i++)
        if (IsLegalMove(&pos, buf[i])) v.push_back(buf[i]);
    return v;
}

TEST(Nnue, IncrementalEqualsRefreshAlongRandomGames) {
    EnsureTables();
    const Network net = RandomNet(32, NET_SCRELU, 1);
    std::mt19937 rng(7);
    int anKinds[4] = {0, 0, 0, 0}, nNulls = 0;
    ResetNetworkStack();
    for (int g = 0; g < 40; g++) {
        Position pos = FromFen(g % 2 ? "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1"
                                     : "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
        // Plies go deeper and come back up, as a search's do, so that every start (parent,
        // grandparent, sibling) gets used.
        std::vector<Position> line = {pos};
        for (int step = 0; step < 120 && !line.empty(); step++) {
            const Position& cur = line.back();
            const int ply = int(line.size()) - 1;
            ASSERT_EQ(EvaluateNetwork(net, cur, ply), FullEval(net, cur)) << FenOf(cur) << " ply " << ply;
            const std::vector<Move> moves = Legal(cur);
            if (moves.empty() || line.size() > 12 || rng() % 5 == 0) {
                line.pop_back();
                continue;
            }
            Position next;
            if (!cur.nInCheck && rng() % 10 == 0) {
                next = cur;  // a null move: only the side to move changes
                next.bSideToMove ^= 1;
                next.nEpSquare = -1;
                nNulls++;
            } else {
                const Move m = moves[rng() % moves.size()];
                anKinds[MoveKind(m)]++;
                MakeMove(m, &cur, &next, 0, -1);
            }
            next.nInCheck = uint8_t(InCheck(&next));
            line.push_back(next);
        }
    }
    EXPECT_GT(anKinds[KIND_NORMAL], 100);
    EXPECT_GT(anKinds[KIND_CASTLE] + anKinds[KIND_PROMO] + anKinds[KIND_EP], 0);
    EXPECT_GT(nNulls, 0);
}

TEST(Nnue, MirroredPositionScoresTheSameForTheOtherSide) {
    for (int act : {NET_CRELU, NET_SCRELU}) {
        const Network net = RandomNet(48, act, 3);
        for (const char* fen : {"r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP2BPPP/R2QKB1R w KQ - 0 8",
                                "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 b - - 0 1"}) {
            Position pos = FromFen(fen), mirror = pos;
            MirrorPosition(&mirror);
            EXPECT_EQ(FullEval(net, pos), FullEval(net, mirror)) << fen;
        }
    }
}

TEST(Nnue, FileRoundTripsAndRefusesDamage) {
    const Network net = RandomNet(64, NET_SCRELU, 5);
    const std::vector<uint8_t> img = SerializeNetwork(net);
    Network back;
    std::string err;
    ASSERT_TRUE(ParseNetwork(img.data(), img.size(), &back, &err)) << err;
    EXPECT_EQ(back.nHidden, 64);
    EXPECT_EQ(back.anInputWeights, net.anInputWeights);
    EXPECT_EQ(back.anOutputWeights, net.anOutputWeights);
    EXPECT_EQ(back.nOutputBias, net.nOutputBias);

    auto refused = [&](std::vector<uint8_t> bad, const std::string& reason) {
        Network n = back;
        std::string e;
        EXPECT_FALSE(ParseNetwork(bad.data(), bad.size(), &n, &e)) << reason;
        EXPECT_NE(e.find(reason), std::string::npos) << e;
        EXPECT_EQ(n.nHidden, 64);  // the net it had stays
    };
    refused(std::vector<uint8_t>(img.begin(), img.end() - 100), "truncated");
    std::vector<uint8_t> flip = img;
    flip[500] ^= 1;
    refused(flip, "checksum");
    std::vector<uint8_t> magic = img;
    magic[0] = 'X';
    refused(magic, "magic");
    std::vector<uint8_t> arch = img;
    arch[16] = 40;  // hidden size 40: not a multiple of 16
    refused(arch, "architecture");
    std::vector<uint8_t> version = img;
    version[8] = 9;
    refused(version, "version");
    EXPECT_FALSE(LoadNetworkFile("/nonexistent/net.nnue", &back, &err));
}

}  // namespace
