// The weight tuner: its data lines, the quiet leaves, switching weights without stale results,
// the written source, and a fit on the shipped sample that lowers the error.
#include "tools/tune.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "board/board_test_util.h"
#include "eval/cache.h"
#include "eval/weights.h"

namespace {

std::string WriteTemp(const std::string& text) {
    char path[] = "/tmp/qm_tune_XXXXXX";
    const int fd = mkstemp(path);
    EXPECT_GE(fd, 0);
    FILE* f = fdopen(fd, "w");
    fputs(text.c_str(), f);
    fclose(f);
    return path;
}

TEST(Tune, ReadsResultsAndCastlingAndCountsBadLines) {
    const std::string path = WriteTemp(
        "# comment\n\n"
        "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1;1-0\n"
        "r4rk1/ppp2ppp/8/8/8/8/PPP2PPP/R4RK1 w - - 0 20;0-1;WB\n"
        "8/8/8/4k3/8/8/4K3/8 w - - 0 60;1/2-1/2;-\n"
        "8/8/8/4k3/8/8/4K3/8 w - - 0 60;0.5\n"
        "not a fen;1-0\n"
        "8/8/8/4k3/8/8/4K3/8 w - - 0 60;2-0\n"
        "8/8/8/4k3/8/8/4K3/8 w - - 0 60\n");
    int nBad = 0;
    const std::vector<TuneSample> s = ReadTuneData(path.c_str(), &nBad);
    std::remove(path.c_str());
    ASSERT_EQ(s.size(), 4u);
    EXPECT_EQ(nBad, 3);
    EXPECT_EQ(s[0].fResult, 1.0f);
    EXPECT_EQ(s[1].fResult, 0.0f);
    EXPECT_EQ(s[2].fResult, 0.5f);
    EXPECT_EQ(s[3].fResult, 0.5f);
    EXPECT_EQ(s[1].pos.nCastling & (CASTLED_W | CASTLED_B), CASTLED_W | CASTLED_B);
    EXPECT_EQ(s[0].pos.nCastling & (CASTLED_W | CASTLED_B), 0);
}

TEST(Tune, QuietLeafResolvesCapturesAndRefusesChecks) {
    // White's queen takes the undefended rook: the leaf is the position after it.
    Position pos = FromFen("4k3/8/8/3r4/8/8/3Q4/4K3 w - - 0 1");
    ASSERT_TRUE(QuietLeaf(&pos));
    EXPECT_EQ(PopCount(pos.bbPieces[BLACK][BB_ROOK]), 0);
    Position check = FromFen("4k3/8/8/8/8/8/4r3/4K3 w - - 0 1");
    EXPECT_FALSE(QuietLeaf(&check));
}

TEST(Tune, NewWeightsLeaveNoStaleResults) {
    const Position pos = FromFen("4k3/pp6/8/8/8/8/PPP5/4K3 w - - 0 1");
    AllocPawnHash(false);
    AllocEvalHash(false);
    const int before = WhiteEvaluation(pos);
    EvalWeights w = kClassicWeights;
    w.anPieceValue[0] += 50;
    w.anPawnTable[SQ_A1 + 8 - 2] += 30;  // c2 (a2 would be cancelled by the mirrored a7)
    UseEvalWeights(w);
    EXPECT_EQ(WhiteEvaluation(pos), before + 50 + 30);
    UseEvalWeights(kClassicWeights);
    EXPECT_EQ(WhiteEvaluation(pos), before);
}

TEST(Tune, SourceNamesEveryWeightWithTablesAsDiagrams) {
    const std::string src = WeightsSource(kClassicWeights, "a note");
    EXPECT_NE(src.find("fitted to a note."), std::string::npos);
    EXPECT_NE(src.find("const EvalWeights kFittedWeights = {"), std::string::npos);
    EXPECT_NE(src.find(".anPieceValue = {100, 325, 325, 500, 975},\n"), std::string::npos);
    EXPECT_NE(src.find(".nLazyMargin2 = 200,\n"), std::string::npos);
    // The knight table's first diagram row is its eighth rank, a8 first.
    EXPECT_NE(
        src.find(".anKnightTable = TableFromDiagram({\n        -30, -10, -10, -10, -10, -10, -10, -30,\n"),
        std::string::npos);
}

TEST(Tune, FitOnTheSampleLowersTheErrorAndWritesASource) {
    const std::string out = WriteTemp("");
    ASSERT_TRUE(RunTune(QM_DATA_DIR "/tune/sample.txt", out.c_str(), 1));
    std::ifstream in(out);
    std::stringstream text;
    text << in.rdbuf();
    std::remove(out.c_str());
    EXPECT_NE(text.str().find("const EvalWeights kFittedWeights"), std::string::npos);
    // The note records the errors before and after; the fit never ends above where it began.
    double a = 0, b = 0;
    const size_t at = text.str().find("; error ");
    ASSERT_NE(at, std::string::npos);
    ASSERT_EQ(sscanf(text.str().c_str() + at, "; error %lf -> %lf", &a, &b), 2);
    EXPECT_LE(b, a);
    // The weights in use are those from before the fit.
    EXPECT_EQ(evalWeights.anPieceValue[1], kClassicWeights.anPieceValue[1]);
}

}  // namespace
