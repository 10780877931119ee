// The trainer: its command line, a tiny run on material-labelled positions whose net the engine
// reads and evaluates as the trainer did, seeded repeats, and bad input refused with a reason.
#include "tools/train.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "support/engine_setup.h"
#include "tools/posdata.h"

namespace {

bool Parse(std::vector<const char*> words, TrainOptions* o, std::string* err) {
    return ParseTrainArgs(int(words.size()), const_cast<char**>(words.data()), o, err);
}

// Random positions (two kings and up to a dozen other pieces) scored by their material from the
// side to move's view, the result following the score.
std::string WriteMaterialData(const char* szName, int nRecords, const std::string& sTail = "") {
    static const int kValue[] = {0, 100, 300, 300, 500, 900};
    std::mt19937 rng(7);
    std::string sPath = std::string("/tmp/qm_train_") + szName + ".bin";
    FILE* f = fopen(sPath.c_str(), "wb");
    uint8_t h[kPosDataHeaderBytes];
    WritePosDataHeader(h);
    fwrite(h, 1, sizeof h, f);
    for (int k = 0; k < nRecords; k++) {
        int aBoard[64] = {};  // colour * 8 + type, a1 = 0
        auto empty = [&](bool bPawn) {
            for (;;)
                if (const int s = int(rng() % 64); !aBoard[s] && (!bPawn || (s >= 8 && s < 56))) return s;
        };
        aBoard[empty(false)] = 6;
        aBoard[empty(false)] = 8 + 6;
        int nWhite = 0;
        for (int n = int(rng() % 12); n > 0; n--) {
            const int type = 1 + int(rng() % 5), colour = int(rng() % 2), s = empty(type == 1);
            aBoard[s] = colour * 8 + type;
            // A bonus on the queen's side: a net read with its files mirrored would be wrong.
            nWhite += (colour ? -1 : 1) * (kValue[type] + (s % 8 < 4 ? 50 : 0));
        }
        PosRecord r{};
        int n = 0;
        for (int q = 0; q < 64; q++) {
            if (!aBoard[q]) continue;
            r.nOccupancy |= uint64_t(1) << q;
            r.anPieces[n / 2] |= uint8_t(aBoard[q] << (4 * (n & 1)));
            n++;
        }
        r.nFlags = uint8_t(rng() % 2);
        r.nScore = int16_t(r.nFlags ? -nWhite : nWhite);
        r.nResult = uint8_t(nWhite > 0 ? 2 : nWhite < 0 ? 0 : 1);
        r.nEpSquare = 64;
        r.nFullMove = 1;
        fwrite(&r, sizeof r, 1, f);
    }
    fputs(sTail.c_str(), f);
    fclose(f);
    return sPath;
}

TrainOptions TinyRun(const std::string& sData, const std::string& sOut, int nEpochs) {
    return {.asData = {sData},
            .sOut = sOut,
            .nEpochs = nEpochs,
            .nHidden = 16,
            .dLambda = 0,
            .dLearningRate = 0.01,
            .nBatch = 128,
            .dHoldout = 0.1};
}

void RemoveRun(const std::string& sOut, int nEpochs) {
    std::remove(sOut.c_str());
    for (int e = 1; e <= nEpochs; e++) std::remove((sOut + ".epoch-" + std::to_string(e)).c_str());
}

TEST(TrainArgs, ReadsALineAndRefusesBadOnes) {
    TrainOptions o;
    std::string err;
    ASSERT_TRUE(Parse({"train", "a.bin", "b.bin", "--out", "n.nnue", "--hidden", "64", "--activation",
                       "crelu", "--lambda", "0.5", "--threads", "1", "--seed", "9"},
                      &o, &err))
        << err;
    EXPECT_EQ(o.asData, (std::vector<std::string>{"a.bin", "b.bin"}));
    EXPECT_EQ(o.sOut, "n.nnue");
    EXPECT_TRUE(o.nHidden == 64 && o.nActivation == NET_CRELU && o.dLambda == 0.5 && o.nSeed == 9);
    EXPECT_EQ(o.nEpochs, 20);
    EXPECT_FALSE(Parse({"train", "a.bin", "--out", "n", "--speed", "2"}, &o, &err));
    EXPECT_NE(err.find("--speed"), std::string::npos);
    EXPECT_NE(err.find("Usage: train"), std::string::npos);
    EXPECT_FALSE(Parse({"train", "a.bin", "--epochs", "3"}, &o, &err));
    EXPECT_NE(err.find("--out"), std::string::npos);
    EXPECT_FALSE(Parse({"train", "a.bin", "--out"}, &o, &err));
    EXPECT_FALSE(Parse({"train", "a.bin", "--out", "n", "--hidden", "100"}, &o, &err));
}

TEST(TrainRun, LearnsMaterialAndTheEngineReadsTheNetAlike) {
    EnsureEngineReady();
    // A torn last record is dropped, not fatal.
    const std::string sData = WriteMaterialData("material", 3000, "torn");
    const std::string sOut = "/tmp/qm_train_material.nnue";
    TrainReport rep;
    ASSERT_TRUE(RunTraining(TinyRun(sData, sOut, 6), &rep));
    EXPECT_EQ(rep.nEpochsDone, 6);
    EXPECT_LT(rep.dHeldLossAfter, rep.dHeldLossBefore * 0.5);
    EXPECT_LT(rep.dQuantErrorCp, 4.0);
    Network net;
    std::string err;
    ASSERT_TRUE(LoadNetworkFile(sOut.c_str(), &net, &err)) << err;
    EXPECT_EQ(NetDescription(net), "768x2->16->1 SCReLU");
    // An extra white queen is good for white and bad for black, whoever is to move.
    Accumulator acc;
    RefreshAccumulator(net, PositionFromFen("4k3/8/8/8/8/8/8/3QK3 w - - 0 1"), &acc);
    EXPECT_GT(NetOutput(net, acc, WHITE), 200);
    RefreshAccumulator(net, PositionFromFen("4k3/8/8/8/8/8/8/3QK3 b - - 0 1"), &acc);
    EXPECT_LT(NetOutput(net, acc, BLACK), -200);
    RemoveRun(sOut, 6);
    std::remove(sData.c_str());
}

TEST(TrainRun, SameSeedGivesTheSameNet) {
    const std::string sData = WriteMaterialData("seeded", 1000);
    auto runBytes = [&](const std::string& sOut) {
        TrainOptions o = TinyRun(sData, sOut, 2);
        o.nThreads = 2;
        EXPECT_TRUE(RunTraining(o));
        std::ifstream in(sOut, std::ios::binary);
        std::string s((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        RemoveRun(sOut, 2);
        return s;
    };
    const std::string a = runBytes("/tmp/qm_train_seeded_a.nnue");
    EXPECT_FALSE(a.empty());
    EXPECT_EQ(a, runBytes("/tmp/qm_train_seeded_b.nnue"));
    std::remove(sData.c_str());
}

TEST(TrainRun, RefusesAnEmptySetAnUnreadableFileAndAnUnwritableNet) {
    const std::string sEmpty = WriteMaterialData("empty", 0);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(RunTraining(TinyRun(sEmpty, "/tmp/qm_train_empty.nnue", 1)));
    EXPECT_FALSE(RunTraining(TinyRun("/tmp/qm_train_missing.bin", "/tmp/qm_train_missing.nnue", 1)));
    EXPECT_FALSE(RunTraining(TinyRun(sEmpty, "/tmp/qm_no_such_folder/x.nnue", 1)));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("data set is empty"), std::string::npos) << out;
    EXPECT_NE(out.find("Cannot read /tmp/qm_train_missing.bin"), std::string::npos) << out;
    EXPECT_NE(out.find("Cannot write the net to /tmp/qm_no_such_folder/x.nnue"), std::string::npos) << out;
    std::remove(sEmpty.c_str());
}

}  // namespace
