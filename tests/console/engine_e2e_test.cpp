// The engine binary driven over standard input and output, as a GUI or a person would.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "support/engine_process.h"

namespace {

const char* const kBox = "+------------------------------------------------+";

// Tests run in an empty directory: the start-up's new game reports the missing book.
const std::string kNoBook = "Cannot find opening book file to load (QuietMarmoset.book)\n";

// The output after the start-up banner (which ends with the closing box and an empty line) and
// the book report of the start-up's new game.
std::string AfterBanner(const std::string& out) {
    const std::string end = std::string(kBox) + "\n\n";
    const size_t first = out.find(end);
    if (first == std::string::npos) return out;
    const size_t closing = out.find(end, first + end.size());
    if (closing == std::string::npos) return out;
    std::string rest = out.substr(closing + end.size());
    if (rest.compare(0, kNoBook.size(), kNoBook) == 0) rest.erase(0, kNoBook.size());
    return rest;
}

EngineRun Drive(const std::string& script, int nTimeoutMs = 60000) {
    EngineRun run = RunEngine(script, nTimeoutMs);
    EXPECT_FALSE(run.bTimedOut) << "script:\n" << script.substr(0, 400);
    EXPECT_EQ(run.nExitCode, 0) << run.sErr;
    return run;
}

// The FEN line of the "print" command's board dump.
std::vector<std::string> FenLines(const std::string& out) {
    std::vector<std::string> fens;
    for (const std::string& line : SplitLines(out))
        if (line.compare(0, 6, "FEN = ") == 0) fens.push_back(line.substr(6));
    return fens;
}

std::string KnightShuffle(int nPlies) {
    static const char* const aCycle[4] = {"g1f3", "g8f6", "f3g1", "f6g8"};
    std::string moves;
    for (int i = 0; i < nPlies; ++i) {
        moves += ' ';
        moves += aCycle[i % 4];
    }
    return moves;
}

TEST(EngineStartup, BannerAndProcessorReportAndNothingElse) {
    EngineRun run = Drive("quit\n");
    std::vector<std::string> lines = SplitLines(run.sOut);
    ASSERT_GE(lines.size(), 14u) << run.sOut;
    EXPECT_EQ(lines[0], kBox);
    EXPECT_EQ(lines[1], "|                                                |");
    EXPECT_EQ(lines[2], "|              QuietMarmoset 1.04                |");
    EXPECT_EQ(lines[3], "|                                                |");
    EXPECT_EQ(lines[4], kBox);
    EXPECT_EQ(lines[5], "");
    EXPECT_TRUE(std::regex_match(
        lines[6], std::regex(R"(  Compiled on [A-Z][a-z]{2} [ 123]\d \d{4} at \d\d:\d\d:\d\d)")))
        << lines[6];
    EXPECT_EQ(lines[7], "  Created by Tovin Harrel (Wrenmoor)");
    EXPECT_EQ(lines[8], "  UCI compatible chess engine");
    EXPECT_EQ(lines[9], "  Type HELP for available commands");
    EXPECT_EQ(lines[10], "");
    EXPECT_EQ(lines[11], "CPU info:");
    size_t i = 12;
    while (i < lines.size() && lines[i].compare(0, 2, "  ") == 0) ++i;
    // Brand, three cache lines and the SSE line, or less on processors that report less, then
    // the net's arithmetic.
    EXPECT_LE(i - 12, 6u);
    EXPECT_TRUE(std::regex_match(lines[i - 1], std::regex("  Net arithmetic = (AVX2|portable)")))
        << lines[i - 1];
    ASSERT_EQ(lines.size(), i + 3) << run.sOut;
    EXPECT_EQ(lines[i], kBox);
    EXPECT_EQ(lines[i + 1], "");
    EXPECT_EQ(lines[i + 2] + "\n", kNoBook);
    if (i - 12 == 6) {
        EXPECT_TRUE(std::regex_match(lines[16], std::regex("  SSE/SSE2/SSE3 = (Yes|No)/(Yes|No)/(Yes|No)")));
    }
}

TEST(EngineStartup, EndOfInputActsAsQuit) {
    EngineRun run = Drive("isready\n", 20000);
    EXPECT_EQ(AfterBanner(run.sOut), "readyok\n");
    // No line end on the last line: still read, then the end of input quits.
    run = Drive("isready");
    EXPECT_EQ(AfterBanner(run.sOut), "readyok\n");
    run = Drive("");
    EXPECT_EQ(AfterBanner(run.sOut), "");
}

TEST(EngineStartup, UciAnnouncesOptionsWithDefaults) {
    EngineRun run = Drive("uci\nisready\nquit\n");
    std::vector<std::string> lines = SplitLines(AfterBanner(run.sOut));
    ASSERT_EQ(lines.size(), 22u) << run.sOut;
    EXPECT_EQ(lines[0], "id name QuietMarmoset v1.04");
    EXPECT_EQ(lines[1], "id author Tovin Harrel");
    EXPECT_EQ(lines[2], "option name Ponder type check default true");
    // The book is switched off at start-up when no valid book file is found.
    EXPECT_TRUE(
        std::regex_match(lines[3], std::regex("option name OwnBook type check default (true|false)")));
    EXPECT_EQ(lines[4], "option name Hash type spin default 64 min 0 max 2048");
    EXPECT_EQ(lines[5], "option name PawnHash type spin default 1024 min 0 max 4096");
    EXPECT_EQ(lines[6], "option name EvalHash type spin default 16 min 0 max 1024");
    EXPECT_EQ(lines[7], "option name NumBeers type spin default 0 min 0 max 10");
    EXPECT_EQ(lines[8], "option name NumThreads type spin default 1 min 1 max 4");
    EXPECT_EQ(lines[9], "option name Threads type spin default 1 min 1 max 4");
    EXPECT_EQ(lines[10], "option name LogStats type check default false");
    EXPECT_EQ(lines[11], "option name TraceLevel type spin default 0 min 0 max 3");
    EXPECT_EQ(lines[12], "option name TimeBuffer type spin default 0 min 0 max 60");
    EXPECT_EQ(lines[13], "option name SearchStyle type combo default Strong var Strong var Classic");
    EXPECT_EQ(lines[14], "option name EvalWeights type combo default Fitted var Fitted var Classic");
    EXPECT_TRUE(std::regex_match(
        lines[15], std::regex("option name Evaluation type combo default (Net|Hand) var Net var Hand")));
    EXPECT_EQ(lines[16], "option name EvalFile type string default <embedded>");
    EXPECT_EQ(lines[17], "option name MultiPV type spin default 1 min 1 max 64");
    EXPECT_EQ(lines[18], "option name BookFile type string default QuietMarmoset.book");
    EXPECT_EQ(lines[19], "option name UCI_AnalyseMode type check default false");
    EXPECT_EQ(lines[20], "uciok");
    EXPECT_EQ(lines[21], "readyok");
}

TEST(EngineStartup, StartsQuickly) {
#if defined(QM_SANITIZED)
    GTEST_SKIP() << "start-up time is measured in optimised builds only";
#else
    std::vector<double> times;
    for (int i = 0; i < 7; ++i) {
        EngineRun run = Drive("uci\nquit\n");
        ASSERT_NE(run.sOut.find("uciok\n"), std::string::npos);
        times.push_back(run.dSeconds);
    }
    std::sort(times.begin(), times.end());
    // The goal is well under 30 ms; the bound leaves room for a loaded test machine.
    EXPECT_LT(times[3], 0.100) << "median start-up to exit " << times[3] * 1000 << " ms";
#endif
}

TEST(EngineOptions, SetOptionChangesTheAnnouncedValues) {
    EngineRun run = Drive(
        "setoption name Hash value 128\n"
        "setoption name OWNBOOK value TRUE\n"
        "setoption name Ponder value yes\n"
        "setoption name NumThreads value 7\n"
        "setoption name LogStats value True\n"
        "setoption name TimeBuffer value 5\n"
        "setoption name NumBeers value 3\n"
        "setoption name EvalHash value 1000000000000\n"
        "setoption name Clear Hash\n"
        "setoption name\n"
        "setoption\n"
        "uci\n"
        "quit\n");
    std::string out = AfterBanner(run.sOut);
    std::vector<std::string> lines = SplitLines(out);
    ASSERT_GE(lines.size(), 3u) << out;
    // Unknown names are reported whole and lower-cased; a missing name is an empty one.
    EXPECT_EQ(lines[0], "Error - Unknown option clear hash");
    EXPECT_EQ(lines[1], "Error - Unknown option ");
    EXPECT_EQ(lines[2], "Error - Unknown option ");
    EXPECT_EQ(CountLine(out, "option name Hash type spin default 128 min 0 max 2048"), 1) << out;
    EXPECT_EQ(CountLine(out, "option name OwnBook type check default true"), 1);
    EXPECT_EQ(CountLine(out, "option name Ponder type check default false"), 1);
    EXPECT_EQ(CountLine(out, "option name NumThreads type spin default 4 min 1 max 4"), 1);
    EXPECT_EQ(CountLine(out, "option name LogStats type check default true"), 1);
    EXPECT_EQ(CountLine(out, "option name TimeBuffer type spin default 5 min 0 max 60"), 1);
    EXPECT_EQ(CountLine(out, "option name NumBeers type spin default 3 min 0 max 10"), 1);
    EXPECT_EQ(CountLine(out, "option name EvalHash type spin default 2147483647 min 0 max 1024"), 1);
}

TEST(EngineOptions, ThreadsIsNumThreadsUnderItsUsualName) {
    // Whichever name is set last wins; the uci reply shows the value under both.
    EngineRun run = Drive("setoption name Threads value 3\nuci\nsetoption name NumThreads value 2\nuci\n");
    EXPECT_EQ(CountLine(run.sOut, "option name Threads type spin default 3 min 1 max 4"), 1) << run.sOut;
    EXPECT_EQ(CountLine(run.sOut, "option name NumThreads type spin default 3 min 1 max 4"), 1);
    EXPECT_EQ(CountLine(run.sOut, "option name Threads type spin default 2 min 1 max 4"), 1);
    EXPECT_EQ(CountLine(run.sOut, "option name NumThreads type spin default 2 min 1 max 4"), 1);
    // "Threads" alone gives a two-thread search: the level-2 statistics list both threads.
    run = Drive(
        "uci\nsetoption name Threads value 2\nsetoption name OwnBook value false\n"
        "setoption name TraceLevel value 2\nposition startpos\ngo movetime 2500\nucinewgame\n",
        60000);
    // On failure the end of the output shows how the search ended (once seen on a loaded machine).
    const std::string sOut = AfterBanner(run.sOut);
    EXPECT_NE(sOut.find("Thread 1: Idle"), std::string::npos)
        << "exit " << run.nExitCode << "\n"
        << sOut.substr(sOut.size() > 3000 ? sOut.size() - 3000 : 0);
}

TEST(EngineOptions, TraceLevelTwoShowsTheInputLog) {
    EngineRun run =
        Drive("setoption name TraceLevel value 2\nisready\nsetoption name TraceLevel value 0\nisready\n");
    std::vector<std::string> lines = SplitLines(AfterBanner(run.sOut));
    std::regex waiting(R"(DEBUG <\d+:\d+> Waiting for input)");
    std::regex got(R"(DEBUG <\d+:\d+> Got <isready>)");
    int nWaiting = 0, nGot = 0;
    for (const std::string& line : lines) {
        nWaiting += std::regex_match(line, waiting);
        nGot += std::regex_match(line, got);
    }
    EXPECT_EQ(nGot, 1) << run.sOut;
    EXPECT_EQ(nWaiting, 2);  // before "isready" and before "setoption ... 0"
    EXPECT_EQ(CountLine(run.sOut, "readyok"), 2);
}

TEST(EngineCommands, PositionWithMovesAndPrint) {
    EngineRun run = Drive("position startpos moves e2e4 e7e5 g1f3\nprint\n");
    EXPECT_EQ(FenLines(run.sOut),
              std::vector<std::string>{"rnbqkbnr/pppp1ppp/8/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq - 1 2"});
    EXPECT_EQ(run.sOut.find("Illegal"), std::string::npos);
}

TEST(EngineCommands, MoveListEdgeCases) {
    EngineRun run = Drive(
        "position startpos moves e2e4 e2e4 e7e5\nprint\n"
        "position startpos moves e2e4 xyz e7e5\nprint\n"
        "position startpos moves e2e4x\nprint\n"
        "position\tstartpos  moves\t e2e4 \t\n print\n"
        "position FEN 8/8/8/8/8/k7/8/K6R w - - 0 1\nprint\n"
        "position fen 8/8/8/8/8/k7/8/K6R w - - 0 1 moves h1h2\nprint\n"
        "position fen moves a1b1\nprint\n");
    const std::string after_e4 = "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1";
    const std::string after_e4e5 = "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6 0 2";
    std::vector<std::string> fens = FenLines(run.sOut);
    ASSERT_EQ(fens.size(), 7u) << run.sOut;
    EXPECT_EQ(CountLine(run.sOut, "Illegal move: E2E4"), 1) << run.sOut;
    EXPECT_EQ(fens[0], after_e4e5);
    EXPECT_EQ(fens[1], after_e4);  // xyz is no move and ends the list
    EXPECT_EQ(fens[2], after_e4);  // a fifth letter other than N, B, R, Q is ignored
    EXPECT_EQ(fens[3], after_e4);  // tabs and runs of blanks separate words
    EXPECT_EQ(fens[4], after_e4);  // "FEN" in capitals sets nothing
    EXPECT_EQ(fens[5], "8/8/8/8/8/k7/7R/K7 b - - 1 1");
    EXPECT_EQ(fens[6], "8/8/8/8/8/k7/7R/K7 b - - 1 1");  // no FEN: the position stays, a1b1 is illegal
    EXPECT_EQ(CountLine(run.sOut, "Illegal move: A1B1"), 1);
}

TEST(EngineCommands, ConsoleMovesAndCastling) {
    EngineRun run = Drive(
        "position fen r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1\n"
        "e1g1\ne8c8\nprint\n"
        "e2e4\n"
        "E1G1\n");
    EXPECT_EQ(FenLines(run.sOut), std::vector<std::string>{"2kr3r/8/8/8/8/8/8/R4RK1 w - - 2 2"});
    EXPECT_EQ(CountLine(run.sOut, "Illegal move: E2E4"), 1) << run.sOut;
    EXPECT_EQ(CountLine(run.sOut, "Illegal move: E1G1"), 1);
}

TEST(EngineCommands, SixHundredPlyGameLine) {
    // 600 plies bring the start position back; the first e2e4 is then legal and the second
    // is not, which shows that every word of the line was read.
    EngineRun run = Drive("position startpos moves" + KnightShuffle(600) + " e2e4 e2e4\nprint\n");
    EXPECT_EQ(CountLine(run.sOut, "Illegal move: E2E4"), 1) << run.sOut.substr(0, 2000);
    std::vector<std::string> fens = FenLines(run.sOut);
    ASSERT_EQ(fens.size(), 1u);
    EXPECT_EQ(fens[0], "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 301");
}

TEST(EngineCommands, GameLongerThanTheHistoryIsRefused) {
    EngineRun run = Drive("position startpos moves" + KnightShuffle(8004) + "\nprint\nisready\n");
    EXPECT_EQ(CountLine(run.sOut, "Game too long: moves beyond ply 8000 are refused"), 1)
        << AfterBanner(run.sOut).substr(0, 500);
    std::vector<std::string> fens = FenLines(run.sOut);
    ASSERT_EQ(fens.size(), 1u);
    // 8000 plies (the half-move clock field aside) lead back to the start position.
    EXPECT_TRUE(std::regex_match(
        fens[0], std::regex("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - \\d+ 4001")))
        << fens[0];
    EXPECT_EQ(CountLine(run.sOut, "readyok"), 1);
}

TEST(EngineCommands, HelpQuitAndOtherWordsInAnyCase) {
    EngineRun run = Drive("HELP\nIsReady\nxboard\nQuit\nisready\n");
    std::string out = AfterBanner(run.sOut);
    std::vector<std::string> lines = SplitLines(out);
    ASSERT_EQ(lines.size(), 25u) << out;
    EXPECT_EQ(lines[0], "List of available commands (minimal error checking so watch it!):");
    EXPECT_EQ(lines[1], "Anything in uppercase are parameters");
    EXPECT_EQ(lines[2], "");
    EXPECT_EQ(lines[3], "UCI commands:");
    EXPECT_EQ(lines[5], "isready ............... Synchronising command");
    EXPECT_EQ(lines[6], "setoption name A value B ... Change UCI settings");
    EXPECT_EQ(lines[11], "");
    EXPECT_EQ(lines[12], "Additional commands:");
    EXPECT_EQ(lines[14], "eval # ................ Evaluate the current position without searching (trace #)");
    EXPECT_EQ(lines[16], "multipv N ............. Search and show the N best lines (1 to 64)");
    EXPECT_EQ(lines[21], "quit|exit|bye|q ....... Bail");
    EXPECT_EQ(lines[22], "bench TYPE ............ Run a suite of benchmark tests");
    EXPECT_EQ(lines[23], "readyok");
    EXPECT_EQ(lines[24], "Sorry, QM only supports UCI.");  // and nothing after "Quit"
    for (const char* word : {"exit", "BYE", "q"})
        EXPECT_EQ(AfterBanner(Drive(std::string(word) + "\nisready\n").sOut), "");
}

TEST(EngineCommands, ResultTexts) {
    EngineRun run = Drive(
        "result 1-0\n"
        "go depth 1\nresult 1-0\n"
        "result 0-1\n"
        "result 1/2-1/2\n"
        "position fen 4k3/8/8/8/8/8/8/4K3 b - - 0 1\ngo depth 1\nresult 0-1\n"
        "result *\nresult\nresult 1-0 extra\n");
    // Only the replies to "result": the console search's own output (iteration lines, its move
    // and the board) is not the point here.
    std::string replies;
    for (const std::string& line : SplitLines(AfterBanner(run.sOut)))
        if (line == "Doh!!! I lost" || line == "Wahoo! I won - in your face!!!" ||
            line == "hmmmm I guess we both suck!")
            replies += line + "\n";
    EXPECT_EQ(replies,
              "Doh!!! I lost\n"
              "Wahoo! I won - in your face!!!\n"
              "Doh!!! I lost\n"
              "hmmmm I guess we both suck!\n"
              "Wahoo! I won - in your face!!!\n"
              "Doh!!! I lost\n");
}

TEST(EngineCommands, QuietCommandsAndUnknownWords) {
    // Unknown words print nothing; "test" and "loaddump" report a missing file and change
    // nothing.
    EngineRun run = Drive(
        "test x.epd 5\n"
        "loaddump x.dump\nnobook\nponderhit\nstop\nsd 5\nst 3\nseed 42\ndebug on\nregister later\n\n   \n"
        "ucinewgame\nnew\n");
    EXPECT_EQ(AfterBanner(run.sOut), "Cannot open EPD file x.epd\nCannot load dump file x.dump\n");
}

TEST(EngineCommands, BookDumpAndKpkTools) {
    EngineRun run = Drive("createbook no_such.pgn out.book\ndumppgn no_such.pgn\n");
    std::string out = AfterBanner(run.sOut);
    EXPECT_NE(out.find("Cannot open PGN file no_such.pgn\n"), std::string::npos) << out;
    run = Drive("kpk\n", 120000);
    std::vector<std::string> lines = SplitLines(AfterBanner(run.sOut));
    ASSERT_GT(lines.size(), 1000u);
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(\S+ [wb] - - bm \S+; id "KPK\.1")"))) << lines[0];
}

TEST(EngineCommands, EvalTestEvalAndStatsAnswer) {
    EngineRun run = Drive("eval\neval 1\ntesteval no_such.epd\nstats\n");
    std::string out = AfterBanner(run.sOut);
    EXPECT_EQ(out.find("Allocating 768 KB for Pawn Hash table (32768 Table Entries) ... Done\n"), 0u) << out;
    EXPECT_NE(out.find("Final Evaluation =      0.00\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Cannot open EPD file no_such.epd\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Node Counts\n"), std::string::npos) << out;
}

TEST(EngineCommands, LongLinesAndGarbageNeverCrash) {
    std::string script;
    script += std::string(200000, 'x') + "\n";
    script += "position startpos moves" + std::string(100000, ' ') + "e2e4\n";
    std::string many;
    for (int i = 0; i < 5000; ++i) many += " w" + std::to_string(i);
    script += "setoption" + many + "\n";
    script += "position fen" + many + "\n";
    script += "go" + many + " depth 1\n";
    script += "position fen rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 0 moves e2e4\n";
    script += "position fen 99999999/pppppppp/8/8/8/8/8/8 w KQkq\nposition fen /////// b\nposition fen x\n";
    script += "perft -5\nperft 999999999999999999999\nperft 200\nperft 1 -3\nperft 1 99\n";
    script += "go wtime -5 btime -99999999999999 movestogo -1 winc x binc 9999999999999 depth 1\n";
    script += "go depth 1 movetime\ngo depth\ngo depth 1 nodes -1\nst\nsd\nseed\nresult\nloadfen\nload\n";
    script += "load /nonexistent/file\n";
    // Deterministic junk bytes, tabs and carriage returns included; no NUL and no line end.
    uint32_t r = 12345;
    for (int line = 0; line < 300; ++line) {
        std::string junk;
        const int n = int(r % 200);
        for (int i = 0; i < n; ++i) {
            r = r * 1103515245u + 12345u;
            char c = char(1 + (r >> 16) % 255);
            if (c == '\n') c = '\t';
            junk += c;
        }
        script += junk + "\n";
    }
    script += "position startpos\nprint\nisready\n";
    EngineRun run = Drive(script);
    EXPECT_EQ(CountLine(run.sOut, "readyok"), 1) << run.sErr;
    EXPECT_EQ(CountLine(run.sOut, "Perft depth 200 is too deep (at most 127)"), 1);
    std::vector<std::string> fens = FenLines(run.sOut);
    ASSERT_FALSE(fens.empty());
    EXPECT_EQ(fens.back(), "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
}

TEST(EngineCommands, IsreadyAnswersWhilePerftRuns) {
    EngineRun run = Drive("perft 5\nisready\nquit\n");
    std::vector<std::string> lines = SplitLines(run.sOut);
    const int nReady = FindLineStarting(lines, "readyok");
    const int nDepth5 = FindLineStarting(lines, "Perft(5) Nodes = ");
    ASSERT_GE(nReady, 0);
    ASSERT_GE(nDepth5, 0) << "quit must wait for the report";
    EXPECT_LT(nReady, nDepth5);
}

TEST(EngineCommands, CommandsWaitForARunningPerft) {
    // "position" and "perft" wait for the job, so each report sees its own position.
    EngineRun run = Drive(
        "perft 4\nposition fen r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 "
        "1\nperft 3\n"
        "position startpos moves e2e4\nperft 2 2\nperft 3 1\n");
    std::vector<std::vector<uint64_t>> reports = ParsePerftReports(run.sOut);
    ASSERT_EQ(reports.size(), 4u) << run.sOut;
    EXPECT_EQ(reports[0], (std::vector<uint64_t>{0, 20, 400, 8902, 197281}));
    EXPECT_EQ(reports[1], (std::vector<uint64_t>{0, 48, 2039, 97862}));
    EXPECT_EQ(reports[2], (std::vector<uint64_t>{0, 20, 600}));
    EXPECT_EQ(reports[3], (std::vector<uint64_t>{0, 20, 600, 13160}));
}

}  // namespace
