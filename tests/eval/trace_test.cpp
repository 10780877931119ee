// The evaluation trace ("eval N") and the symmetry test ("testeval FILE").
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "board/board_test_util.h"
#include "core/settings.h"
#include "eval/eval.h"
#include "eval/pawns.h"
#include "eval/weights.h"
#include "search/hash.h"
#include "tools/testeval.h"

namespace {

class TraceTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureTables();
        nNumBeers = 0;
        bShowBoard = false;  // no table-allocation messages in the captured output
        FreeEvalHash();
        nPawnHashKB = 64;
        AllocPawnHash(false);
    }
    void TearDown() override {
        nNumBeers = 0;
        FreeEvalHash();
        FreePawnHash();
    }
};

std::string TraceOf(const Position& pos, int nTrace, int* pnScore = nullptr) {
    testing::internal::CaptureStdout();
    int s = EvalCommand(&pos, nTrace);
    if (pnScore) *pnScore = s;
    return testing::internal::GetCapturedStdout();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t i; (i = text.find('\n', start)) != std::string::npos; start = i + 1)
        out.push_back(text.substr(start, i - start));
    if (start < text.size()) out.push_back(text.substr(start));
    return out;
}

// The number printed on a component line ("Knights =           %5d").
int LineValue(const std::string& text, const std::string& label) {
    for (const std::string& line : Lines(text))
        if (line.rfind(label + " =", 0) == 0) return std::stoi(line.substr(20));
    ADD_FAILURE() << "no line " << label << " in\n" << text;
    return 0;
}

std::string TempFile(const std::string& content) {
    char name[] = "/tmp/qm_testeval_XXXXXX";
    int fd = mkstemp(name);
    EXPECT_GE(fd, 0);
    FILE* f = fdopen(fd, "w");
    fputs(content.c_str(), f);
    fclose(f);
    return name;
}

// ---------------------------------------------------------------------------------------

TEST_F(TraceTest, StartPositionTraceIsExact) {
    const std::string expected =
        "--------------------------------\n"
        "Pawns =                 0\n"
        "Traps =                 0\n"
        "King =                  0\n"
        "Knights =               0\n"
        "Bishops =               0\n"
        "Rooks =                 0\n"
        "Queens =                0\n"
        "Tropism =               0\n"
        "Mobility =              0\n"
        "\n"
        "Final Evaluation =      0.00\n"
        "--------------------------------\n";
    EXPECT_EQ(TraceOf(FromFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"), 1), expected);
}

TEST_F(TraceTest, LayoutAndComponentsAddUpToTheFinalScore) {
    // White to move, scale factors 16: the final score is material + pawn term + the traced
    // components (tropism and mobility as printed).
    const Position pos = FromFen("2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - 0 1");
    int score;
    const std::string out = TraceOf(pos, 1, &score);
    const std::vector<std::string> lines = Lines(out);
    ASSERT_EQ(lines.size(), 13u) << out;  // 12 lines, the tenth of them empty
    const std::regex component("[A-Z][a-z]+ = +-?[0-9]+");
    for (int i = 1; i <= 9; i++) {
        EXPECT_EQ(lines[i].size(), 25u) << lines[i];
        EXPECT_TRUE(std::regex_match(lines[i], component)) << lines[i];
    }
    EXPECT_EQ(lines[0], std::string(32, '-'));
    EXPECT_EQ(lines[10], "");
    char final[64];
    snprintf(final, sizeof final, "Final Evaluation =     %5.2f", score / 100.0);
    EXPECT_EQ(lines[11], final);
    EXPECT_EQ(lines[12], std::string(32, '-'));

    MaterialEntry me;
    ProbeMaterial(&pos, &me);
    ASSERT_EQ(me.nScale[WHITE], 16);
    PawnEntry pe;
    const int pawns = EvaluatePawns(&pos, &pe, me);
    EXPECT_EQ(LineValue(out, "Pawns"), pe.nScore);
    int sum = me.nBalance + pawns;
    for (const char* label :
         {"Traps", "King", "Knights", "Bishops", "Rooks", "Queens", "Tropism", "Mobility"})
        sum += LineValue(out, label);
    EXPECT_EQ(sum, score);
}

TEST_F(TraceTest, HandicapLeavesTropismAndMobilityPrinted) {
    const Position pos = FromFen("2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - 0 1");
    int full, handicapped;
    const std::string a = TraceOf(pos, 1, &full);
    nNumBeers = 7;
    const std::string b = TraceOf(pos, 1, &handicapped);
    EXPECT_EQ(LineValue(a, "Tropism"), LineValue(b, "Tropism"));
    EXPECT_EQ(LineValue(a, "Mobility"), LineValue(b, "Mobility"));
    EXPECT_EQ(full - handicapped, LineValue(a, "Tropism") + LineValue(a, "Mobility"));
}

TEST_F(TraceTest, NothingIsPrintedWithoutTraceOrWhenTheEvaluationEndsEarly) {
    EXPECT_EQ(TraceOf(FromFen("2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - 0 1"), 0), "");
    EXPECT_EQ(TraceOf(FromFen("7k/8/8/8/8/8/8/KNN5 w - - 0 1"), 1), "");          // dead draw
    EXPECT_EQ(TraceOf(FromFen("7k/8/5K2/8/8/8/8/Q7 w - - 0 1"), 1), "");          // recogniser
    EXPECT_EQ(TraceOf(FromFen("4k3/pp6/8/8/8/8/PP6/R3K3 w - - 100 80"), 1), "");  // fifty moves
    nNumBeers = 10;
    EXPECT_EQ(TraceOf(FromFen("4k3/pp6/8/8/8/8/PP6/R3K3 w - - 0 1"), 1), "");
}

TEST_F(TraceTest, SecondEvalOfTheSamePositionComesFromTheCache) {
    nEvalHashMB = 1;
    ASSERT_TRUE(AllocEvalHash(false));
    const Position pos = FromFen("2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - 0 1");
    int first, second;
    EXPECT_NE(TraceOf(pos, 1, &first), "");
    EXPECT_EQ(TraceOf(pos, 1, &second), "");
    EXPECT_EQ(first, second);
}

// ---------------------------------------------------------------------------------------

TEST_F(TraceTest, TestEvalOnAMissingFileSaysSoAndNothingElse) {
    testing::internal::CaptureStdout();
    TestEval("/nonexistent/dir/none.epd");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Cannot open EPD file /nonexistent/dir/none.epd\n");
}

TEST_F(TraceTest, TestEvalReportsEachRecordAndTheSummary) {
    const std::string path = TempFile(
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - bm e4; id \"start\";\n"
        "this is no fen bm e4; id \"bad\";\n"
        "7k/8/8/8/8/8/8/KNN5 b - - bm Kh7; id \"knn\";\n");
    testing::internal::CaptureStdout();
    TestEval(path.c_str());
    const std::string out = testing::internal::GetCapturedStdout();
    unlink(path.c_str());
    EXPECT_NE(out.find("Test #001 (start):\t0\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("Test #002"), std::string::npos) << out;  // refused by the FEN reader
    EXPECT_NE(out.find("Invalid FEN"), std::string::npos) << out;
    EXPECT_NE(out.find("Test #003 (knn):\t0\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("ERROR"), std::string::npos) << out;
    EXPECT_NE(out.find("There were 0/2 (0.0%) lazy eval problems, max difference = 0\n"), std::string::npos)
        << out;
}

TEST_F(TraceTest, TestEvalOverWacFindsNoAsymmetryAndMeasuresTheSecondLazyExit) {
    const std::string path = std::string(QM_DATA_DIR) + "/epd/wac.epd";
    testing::internal::CaptureStdout();
    TestEval(path.c_str());
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.find("ERROR"), std::string::npos);
    EXPECT_NE(out.find("Test #300 (WAC.300):\t"), std::string::npos);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(out, m,
                                  std::regex("There were ([0-9]+)/300 \\(([0-9.]+)%\\) lazy eval problems, "
                                             "max difference = ([0-9]+)\n$")))
        << out.substr(out.size() > 300 ? out.size() - 300 : 0);
    const int problems = std::stoi(m[1]);
    // Each problem is announced right after its record's line, and the largest difference is
    // above the tolerance exactly when there are problems.
    int warnings = 0;
    for (size_t i = 0; (i = out.find("WARNING: Lazy Eval margin too low?\n", i)) != std::string::npos; i++)
        warnings++;
    EXPECT_EQ(warnings, problems);
    EXPECT_EQ(std::stoi(m[3]) > evalWeights.nLazyMargin2, problems > 0);
}

}  // namespace
