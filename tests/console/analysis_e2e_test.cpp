// What a GUI asks of the engine when it analyses: several lines (MultiPV), a search limited to
// chosen moves (searchmoves) and a mate search (go mate), over standard input and output.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "movegen/movegen_test_util.h"
#include "support/engine_process.h"

namespace {

const std::string kStart = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

struct InfoLine {
    int nDepth = 0, nMultiPv = 0, nScore = 0;
    bool bMate = false;
    std::vector<std::string> pv;
};

std::vector<InfoLine> InfoLines(const std::string& out) {
    static const std::regex re(
        "info score (cp|mate) (-?\\d+)( upperbound| lowerbound)? depth (\\d+) seldepth \\d+( multipv "
        "(\\d+))? .* pv (.*)");
    std::vector<InfoLine> v;
    for (const std::string& line : SplitLines(out)) {
        std::smatch m;
        if (!std::regex_match(line, m, re)) continue;
        InfoLine info;
        info.bMate = m[1] == "mate";
        info.nScore = std::stoi(m[2]);
        info.nDepth = std::stoi(m[4]);
        info.nMultiPv = m[6].matched ? std::stoi(m[6]) : 0;
        std::istringstream words(m[7].str());
        for (std::string w; words >> w;) info.pv.push_back(w);
        v.push_back(info);
    }
    return v;
}

std::string BestMove(const std::string& out) {
    for (const std::string& line : SplitLines(out))
        if (line.compare(0, 9, "bestmove ") == 0) return line.substr(9, line.find(' ', 9) - 9);
    return "";
}

// Every move of the line is legal in turn from the FEN.
bool LegalLine(const std::string& fen, const std::vector<std::string>& pv) {
    Position p = FromFen(fen);
    for (const std::string& text : pv) {
        const Move m = FindMove(p, text);
        if (!m || !LeavesKingSafe(p, m)) return false;
        Position next;
        MakeMove(m, &p, &next, 0, -1);
        p = next;
    }
    return true;
}

// The script line by line, as a GUI sends it: each "go" waits for its "bestmove" (a "quit"
// sent at once would stop the search), and a last "isready" for its "readyok".
EngineRun Analyse(const std::string& lines, int nTimeoutMs = 60000) {
    EngineRun run;
    EngineSession session;
    if (!StartSession(&session)) {
        ADD_FAILURE() << "cannot start the engine";
        return run;
    }
    std::string reply;
    for (const std::string& line :
         SplitLines("uci\nsetoption name Ponder value false\n" + lines + "isready\n")) {
        SendLine(&session, line);
        const bool bGo = line.compare(0, 3, "go ") == 0;
        if ((bGo || line == "isready") &&
            ReadLineStarting(&session, bGo ? "bestmove" : "readyok", nTimeoutMs * kSlow, &reply) < 0)
            run.bTimedOut = true;
    }
    run.nExitCode = EndSession(&session);
    run.sOut = session.sOut;
    EXPECT_FALSE(run.bTimedOut) << run.sOut;
    EXPECT_EQ(run.nExitCode, 0);
    return run;
}

TEST(Analysis, UciListsTheNewOptionsWithTheirDefaults) {
    const EngineRun run = Analyse("");
    EXPECT_EQ(CountLine(run.sOut, "option name MultiPV type spin default 1 min 1 max 64"), 1);
    EXPECT_EQ(CountLine(run.sOut, "option name BookFile type string default QuietMarmoset.book"), 1);
    EXPECT_EQ(CountLine(run.sOut, "option name UCI_AnalyseMode type check default false"), 1);
}

// Three lines at every depth, best first, each legal, and the answer is line 1's move; with one
// thread and with two, which share the root's moves at a split point.
TEST(Analysis, MultiPvThreeGivesThreeOrderedLegalLinesAtEachDepth) {
    for (const char* threads : {"1", "2"}) {
        const EngineRun run =
            Analyse(std::string("setoption name Threads value ") + threads +
                    "\nsetoption name UCI_AnalyseMode value true\nsetoption name MultiPV value 3\n"
                    "position startpos moves e2e4 e7e5\ngo depth 10\nisready\n");
        std::map<int, std::vector<InfoLine>> byDepth;
        for (const InfoLine& info : InfoLines(run.sOut)) byDepth[info.nDepth].push_back(info);
        ASSERT_EQ(byDepth.size(), 10u) << run.sOut;
        const std::string fen = "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 0 2";
        for (const auto& [depth, lines] : byDepth) {
            ASSERT_EQ(lines.size(), 3u) << "depth " << depth << "\n" << run.sOut;
            for (int k = 0; k < 3; ++k) {
                EXPECT_EQ(lines[k].nMultiPv, k + 1);
                EXPECT_TRUE(LegalLine(fen, lines[k].pv)) << "depth " << depth << " line " << k + 1;
                if (k > 0) {
                    EXPECT_LE(lines[k].nScore, lines[k - 1].nScore) << "depth " << depth;
                    EXPECT_NE(lines[k].pv[0], lines[k - 1].pv[0]);
                }
            }
        }
        EXPECT_EQ(BestMove(run.sOut), byDepth[10][0].pv[0]) << run.sOut;
    }
}

TEST(Analysis, MultiPvOneKeepsTheLinesAsTheyWere) {
    const EngineRun run = Analyse(
        "setoption name OwnBook value false\nsetoption name MultiPV value 1\nposition startpos\ngo depth "
        "6\nisready\n");
    const std::vector<InfoLine> lines = InfoLines(run.sOut);
    ASSERT_FALSE(lines.empty());
    for (const InfoLine& info : lines) EXPECT_EQ(info.nMultiPv, 0) << "no multipv field";
    EXPECT_EQ(run.sOut.find(" multipv "), std::string::npos);
}

// More lines than moves: one line per legal move (the king of this ending has three).
TEST(Analysis, MultiPvNeverShowsMoreLinesThanMoves) {
    const EngineRun run = Analyse(
        "setoption name MultiPV value 64\nposition fen 7k/8/8/8/8/8/8/K7 w - - 0 1\ngo depth 4\nisready\n");
    for (const InfoLine& info : InfoLines(run.sOut)) EXPECT_LE(info.nMultiPv, 3);
    EXPECT_NE(run.sOut.find(" multipv 3 "), std::string::npos) << run.sOut;
    EXPECT_FALSE(BestMove(run.sOut).empty());
}

TEST(Analysis, SearchMovesAnswersOneOfTheMovesGiven) {
    const EngineRun run = Analyse("position startpos\ngo searchmoves a2a3 h2h3 depth 8\nisready\n");
    const std::string best = BestMove(run.sOut);
    EXPECT_TRUE(best == "a2a3" || best == "h2h3") << run.sOut;
    for (const InfoLine& info : InfoLines(run.sOut))
        EXPECT_TRUE(info.pv[0] == "a2a3" || info.pv[0] == "h2h3");
}

// Unknown and illegal moves are named and left out; none left means every move; the next "go"
// is not limited by the last one's list; MultiPV counts only the moves given.
TEST(Analysis, SearchMovesIgnoresWhatIsNotLegalAndLastsOneSearch) {
    const EngineRun run = Analyse(
        "setoption name MultiPV value 4\nposition startpos\ngo searchmoves e2e5 xyz g1f3 b1c3 depth "
        "5\nisready\n"
        "setoption name MultiPV value 1\nposition startpos\ngo searchmoves e7e5 depth 3\nisready\n"
        "position startpos\ngo depth 3\nisready\n");
    EXPECT_NE(run.sOut.find("info string searchmoves: e2e5 is not a legal move here, ignored"),
              std::string::npos);
    EXPECT_NE(run.sOut.find("info string searchmoves: xyz is not a legal move here, ignored"),
              std::string::npos);
    EXPECT_NE(run.sOut.find("info string searchmoves: no legal move given, searching every move"),
              std::string::npos);
    const std::vector<std::string> lines = SplitLines(run.sOut);
    std::vector<std::string> best;
    for (const std::string& line : lines)
        if (line.compare(0, 9, "bestmove ") == 0) best.push_back(line.substr(9, 4));
    ASSERT_EQ(best.size(), 3u) << run.sOut;
    EXPECT_TRUE(best[0] == "g1f3" || best[0] == "b1c3");
    EXPECT_EQ(run.sOut.find(" multipv 3 "), std::string::npos) << "two moves, two lines";
}

TEST(Analysis, GoMateFindsTheMateInTwo) {
    const EngineRun run = Analyse(
        "position fen r2qkb1r/pp2nppp/3p4/2pNN1B1/2BnP3/3P4/PPP2PPP/R2bK2R w KQkq - 1 1\ngo mate 2\n"
        "isready\n");
    EXPECT_EQ(BestMove(run.sOut), "d5f6") << run.sOut;
    const std::vector<InfoLine> lines = InfoLines(run.sOut);
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(lines.back().bMate);
    EXPECT_EQ(lines.back().nScore, 2);
}

// No mate to find: the depth given in the same "go" ends the search.
TEST(Analysis, GoMateStopsAtAnotherLimit) {
    const EngineRun run = Analyse("position startpos\ngo mate 3 depth 5\nisready\n");
    EXPECT_FALSE(BestMove(run.sOut).empty()) << run.sOut;
}

// A Polyglot book named over UCI plays its moves; a name that is not there is reported and the
// engine searches instead.
TEST(Analysis, PolyglotBookFileOverUci) {
    const std::string book = std::string(QM_SOURCE_DIR) + "/tests/data/polyglot_small.bin";
    const EngineRun run =
        Analyse("setoption name BookFile value " + book +
                "\nposition startpos\ngo depth 1\nisready\n"
                "setoption name BookFile value Missing Book.bin\nposition startpos\ngo depth 1\n"
                "isready\n");
    EXPECT_NE(run.sOut.find("Successfully loaded opening book file (" + book + ")"), std::string::npos);
    EXPECT_NE(run.sOut.find("Cannot find opening book file to load (Missing Book.bin)"), std::string::npos);
    std::vector<std::string> best;
    for (const std::string& line : SplitLines(run.sOut))
        if (line.compare(0, 9, "bestmove ") == 0) best.push_back(line.substr(9, 4));
    ASSERT_EQ(best.size(), 2u) << run.sOut;
    EXPECT_TRUE(best[0] == "e2e4" || best[0] == "d2d4" || best[0] == "g1f3" || best[0] == "c2c4") << best[0];
}

}  // namespace
