// The learned evaluation from a GUI's side: EvalFile loads a net or says why it cannot, keeping
// the one it had, and a game searched with Evaluation Net ends in a legal bestmove.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "nnue/nnue.h"
#include "support/engine_process.h"

namespace {

std::string WriteNet(const std::string& path, size_t nCut) {
    std::mt19937 rng(9);
    Network net;
    net.nHidden = 32;
    net.anInputWeights.resize(size_t(kNetInputs) * 32);
    for (int16_t& w : net.anInputWeights) w = int16_t(int(rng() % 200) - 100);
    net.anInputBias.assign(32, 50);
    net.anOutputWeights.resize(64);
    for (int16_t& w : net.anOutputWeights) w = int16_t(int(rng() % 100) - 50);
    std::vector<uint8_t> img = SerializeNetwork(net);
    img.resize(img.size() - nCut);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(img.data()), long(img.size()));
    return path;
}

TEST(EvalFile, LoadsANetOrKeepsTheOneItHadWithTheReason) {
    char dir[] = "/tmp/qm_evalfile_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string good = WriteNet(std::string(dir) + "/good.nnue", 0);
    const std::string cut = WriteNet(std::string(dir) + "/cut.nnue", 10);
    const EngineRun run = RunEngine(
        "uci\n"
        "setoption name EvalFile value " +
            good +
            "\n"
            "setoption name EvalFile value " +
            cut +
            "\n"
            "setoption name EvalFile value /nonexistent/x.nnue\n"
            "setoption name Evaluation value Net\n"
            "uci\n"
            "position startpos moves e2e4 e7e5\n"
            "go depth 6\n"
            "isready\n",
        30000 * kSlow);
    std::filesystem::remove_all(dir);
    const std::string& out = run.sOut;
    EXPECT_NE(out.find("info string EvalFile: loaded " + good + " (768x2->32->1 SCReLU)"), std::string::npos)
        << out;
    EXPECT_NE(out.find("info string EvalFile: cannot use " + cut + ": truncated file; keeping the net from " +
                       good),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("cannot use /nonexistent/x.nnue: cannot open"), std::string::npos) << out;
    EXPECT_NE(out.find("option name EvalFile type string default " + good), std::string::npos);
    EXPECT_NE(out.find("option name Evaluation type combo default Net"), std::string::npos);
    EXPECT_NE(out.find("bestmove "), std::string::npos) << out;
    EXPECT_EQ(run.sErr, "");
}

}  // namespace
