// The engine binary driven like a GUI: "go" in its forms, "stop", "ponderhit", the answers'
// timing, the best move in every corner (no iteration finished, no legal move, a repeated
// root), console play, "result", "loaddump", the dump files and the statistics log.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "movegen/movegen.h"
#include "support/engine_process.h"
#include "support/engine_setup.h"

namespace {

constexpr const char* kStartFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
constexpr const char* kMateInOne = "6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1";  // Ra8 mates
constexpr const char* kMated = "R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1";
constexpr const char* kStalemate = "7k/5Q2/6K1/8/8/8/8/8 b - - 0 1";

// The position after a FEN and coordinate moves (played with the engine's own move reader).
Position After(const char* fen, const std::vector<std::string>& moves = {}) {
    Position pos = PositionFromFen(fen);
    for (const std::string& text : moves) {
        Move m[kMaxMoves];
        int n = GenerateCaptures(&pos, m);
        n += GenerateQuiets(&pos, m + n, kMaxMoves - n);
        Move found = 0;
        for (int i = 0; i < n; ++i)
            if (MoveToCoord(m[i]) == text) found = m[i];
        EXPECT_NE(found, 0u) << text;
        Position next;
        MakeMove(found, &pos, &next, 0, -1);
        pos = next;
    }
    return pos;
}

// "bestmove X [ponder Y]": X, and Y in *pPonder.
std::string BestOf(const std::string& line, std::string* pPonder = nullptr) {
    std::smatch m;
    static const std::regex re("^bestmove (\\S+)(?: ponder (\\S+))?$");
    if (!std::regex_match(line, m, re)) return "";
    if (pPonder) *pPonder = m[2];
    return m[1];
}

// A session in UCI mode, past "uciok".
void StartUci(EngineSession* s) {
    ASSERT_TRUE(StartSession(s));
    SendLine(s, "uci");
    ASSERT_GE(ReadLineStarting(s, "uciok", 10000 * kSlow, nullptr), 0);
}

// Sends "go ..." and waits for the best move; returns the reply's delay in ms (-1 when none).
int64_t GoAndWait(EngineSession* s, const std::string& go, std::string* pBest, int nTimeoutMs,
                  std::vector<std::string>* pInfo = nullptr) {
    const int64_t t0 = SendLine(s, go);
    std::string line;
    const int64_t t = ReadLineStarting(s, "bestmove", nTimeoutMs, &line, pInfo);
    *pBest = line;
    return t < 0 ? -1 : t - t0;
}

int CountStarting(const std::string& text, const std::string& prefix) {
    int n = 0;
    for (const std::string& l : SplitLines(text)) n += l.compare(0, prefix.size(), prefix) == 0;
    return n;
}

// The FEN without its full-move number (which the writer takes from the game state), and that
// number alone.
std::string FenFields(const std::string& fen) {
    const size_t last = fen.find_last_of(' ');
    return last == std::string::npos ? fen : fen.substr(0, last);
}
int FullMove(const std::string& fen) {
    const size_t last = fen.find_last_of(' ');
    return last == std::string::npos ? -1 : std::atoi(fen.c_str() + last + 1);
}

std::string FenAfterPrint(EngineSession* s) {
    SendLine(s, "print");
    std::string line;
    ReadLineStarting(s, "FEN = ", 10000 * kSlow, &line);
    return line.size() > 6 ? line.substr(6) : "";
}

// ---------------------------------------------------------------------------------------
// Searches and their answers.

TEST(Think, GoDepthPrintsAnInfoLinePerIterationAndOneBestMove) {
    EngineSession s;
    StartUci(&s);
    SendLine(&s, "position startpos moves e2e4");
    std::string best;
    std::vector<std::string> info;
    ASSERT_GE(GoAndWait(&s, "go depth 4", &best, 30000 * kSlow, &info), 0);
    // Every completed search call prints its line; the depths run from 1 to 4.
    std::vector<int> depths;
    static const std::regex re(
        "^info score cp (-?\\d+)( upperbound| lowerbound)? depth (\\d+) seldepth \\d+ nodes \\d+ "
        "time \\d+ nps \\d+ hashfull \\d+ pv( [a-h][1-8][a-h][1-8][nbrq]?)+ +$");
    for (const std::string& l : info) {
        std::smatch m;
        if (l.compare(0, 11, "info score ") != 0) continue;
        ASSERT_TRUE(std::regex_match(l, m, re)) << l;
        depths.push_back(std::stoi(m[3]));
    }
    ASSERT_FALSE(depths.empty());
    EXPECT_EQ(depths.front(), 1);
    EXPECT_EQ(depths.back(), 4);
    std::string ponder;
    const Position root = After(kStartFen, {"e2e4"});
    const std::string move = BestOf(best, &ponder);
    EXPECT_TRUE(IsLegalText(root, move)) << best;
    if (!ponder.empty()) {
        EXPECT_TRUE(IsLegalText(After(kStartFen, {"e2e4", move}), ponder)) << best;
    }
    // Nothing more comes: one "go", one best move.
    SendLine(&s, "isready");
    std::vector<std::string> rest;
    ASSERT_GE(ReadLineStarting(&s, "readyok", 5000 * kSlow, nullptr, &rest), 0);
    EXPECT_EQ(EndSession(&s), 0);
    EXPECT_EQ(CountStarting(s.sOut, "bestmove"), 1);
}

TEST(Think, FixedTimeAndClocksAreKept) {
    // Each style's clock: the first design's budgets, and the newer hard limits (four targets
    // of a 22nd of the clock at most, 35% of it, and the reserve).
    struct Clock {
        const char* szGo;
        int nClassicMs;
        int nStrongMs;
    };
    const Clock clocks[] = {{"go wtime 10000 btime 10000 winc 100 binc 100", 400, 2400},
                            {"go wtime 300 btime 300", 250, 250},
                            {"go wtime 50 btime 50", 50, 50},
                            {"go wtime 1000 btime 1000 movestogo 1", 950, 450},
                            {"go wtime 2000 btime 2000 winc 1000 binc 1000 movestogo 1", 1900, 1600}};
    for (const char* szStyle : {"Classic", "Strong"}) {
        EngineSession s;
        StartUci(&s);
        SendLine(&s, std::string("setoption name SearchStyle value ") + szStyle);
        SendLine(&s, "ucinewgame");
        SendLine(&s, "position startpos moves d2d4 d7d5");
        std::string best;
        // The first search of a game also allocates the tables: that counts against the budget.
        int64_t ms = GoAndWait(&s, "go movetime 200", &best, 5000 * kSlow);
        EXPECT_GE(ms, 190);
        EXPECT_LE(ms, 200 + 60 * kSlow) << best;
        // Clock-based budgets, low clocks included, are answered well inside the clock.
        for (const Clock& c : clocks) {
            const int nLimitMs = szStyle[0] == 'C' ? c.nClassicMs : c.nStrongMs;
            SendLine(&s, "position startpos moves d2d4 d7d5");
            ms = GoAndWait(&s, c.szGo, &best, 5000 * kSlow);
            EXPECT_GE(ms, 0) << c.szGo;
            EXPECT_LE(ms, nLimitMs * kSlow) << szStyle << ": " << c.szGo;
            EXPECT_TRUE(IsLegalText(After(kStartFen, {"d2d4", "d7d5"}), BestOf(best)))
                << c.szGo << ": " << best;
        }
        EXPECT_EQ(EndSession(&s), 0);
    }
}

TEST(Think, InfiniteSearchAnswersStopAtOnce) {
    EngineSession s;
    StartUci(&s);
    SendLine(&s, "position startpos");
    SendLine(&s, "go infinite");
    std::string line;
    EXPECT_LT(ReadLineStarting(&s, "bestmove", 400, &line), 0) << line;
    const int64_t t0 = SendLine(&s, "stop");
    const int64_t t = ReadLineStarting(&s, "bestmove", 5000 * kSlow, &line);
    ASSERT_GE(t, 0);
    EXPECT_LE(t - t0, 50 * kSlow);
    EXPECT_TRUE(IsLegalText(After(kStartFen), BestOf(line))) << line;
    EXPECT_EQ(EndSession(&s), 0);
}

TEST(Think, SearchesThatEndByThemselvesHoldTheirMoveUntilAsked) {
    EngineSession s;
    StartUci(&s);
    std::string line;
    // "go infinite" finds the mate and stops iterating, but answers only "stop".
    SendLine(&s, std::string("position fen ") + kMateInOne);
    SendLine(&s, "go infinite");
    EXPECT_LT(ReadLineStarting(&s, "bestmove", 500, &line), 0) << line;
    int64_t t0 = SendLine(&s, "stop");
    int64_t t = ReadLineStarting(&s, "bestmove", 5000 * kSlow, &line);
    ASSERT_GE(t, 0);
    EXPECT_LE(t - t0, 50 * kSlow);
    EXPECT_EQ(BestOf(line), "a1a8");
    // A ponder search likewise waits for "ponderhit", then answers at once.
    SendLine(&s, std::string("position fen ") + kMateInOne);
    SendLine(&s, "go ponder wtime 60000 btime 60000");
    EXPECT_LT(ReadLineStarting(&s, "bestmove", 500, &line), 0) << line;
    t0 = SendLine(&s, "ponderhit");
    t = ReadLineStarting(&s, "bestmove", 5000 * kSlow, &line);
    ASSERT_GE(t, 0);
    EXPECT_LE(t - t0, 50 * kSlow);
    EXPECT_EQ(BestOf(line), "a1a8");
    EXPECT_EQ(EndSession(&s), 0);
}

TEST(Think, PonderHitPlaysThePonderedSearchAndStopOnlyReportsIt) {
    EngineSession s;
    StartUci(&s);
    const std::vector<std::string> moves = {"e2e4", "e7e5", "g1f3"};
    const Position root = After(kStartFen, moves);
    const std::string position = "position startpos moves e2e4 e7e5 g1f3";
    std::string line;

    // Ponder, then the predicted move comes: a normal search from now on, whose move is played.
    SendLine(&s, position);
    SendLine(&s, "go ponder wtime 2000 btime 2000");
    EXPECT_LT(ReadLineStarting(&s, "bestmove", 300, &line), 0) << line;
    int64_t t0 = SendLine(&s, "ponderhit");
    // The budget (2 s * 0.8 / 40) counts from the start of the ponder search: it is spent.
    int64_t t = ReadLineStarting(&s, "bestmove", 5000 * kSlow, &line);
    ASSERT_GE(t, 0);
    EXPECT_LE(t - t0, 100 * kSlow);
    std::string move = BestOf(line);
    ASSERT_TRUE(IsLegalText(root, move)) << line;
    Position after = After(kStartFen, {"e2e4", "e7e5", "g1f3", move});
    std::string fen = FenAfterPrint(&s);
    EXPECT_EQ(FenFields(fen), FenFields(FenOf(after)));
    EXPECT_EQ(FullMove(fen), 3);

    // Ponder, then another move comes: "stop" gets the move at once, and it is not played.
    SendLine(&s, position);
    SendLine(&s, "go ponder wtime 2000 btime 2000");
    EXPECT_LT(ReadLineStarting(&s, "bestmove", 300, &line), 0) << line;
    t0 = SendLine(&s, "stop");
    t = ReadLineStarting(&s, "bestmove", 5000 * kSlow, &line);
    ASSERT_GE(t, 0);
    EXPECT_LE(t - t0, 50 * kSlow);
    EXPECT_TRUE(IsLegalText(root, BestOf(line))) << line;
    fen = FenAfterPrint(&s);
    EXPECT_EQ(FenFields(fen), FenFields(FenOf(root)));
    EXPECT_EQ(FullMove(fen), 2);
    EXPECT_EQ(EndSession(&s), 0);
}

TEST(Think, MateInOneIsReportedInMoves) {
    EngineSession s;
    StartUci(&s);
    SendLine(&s, std::string("position fen ") + kMateInOne);
    std::string best;
    std::vector<std::string> info;
    ASSERT_GE(GoAndWait(&s, "go depth 6", &best, 10000 * kSlow, &info), 0);
    EXPECT_EQ(best, "bestmove a1a8");
    bool bMate = false;
    for (const std::string& l : info) bMate |= l.rfind("info score mate 1 depth ", 0) == 0;
    EXPECT_TRUE(bMate);
    // The mate stops the iterations (three plies after it was found), well before depth 6.
    for (const std::string& l : info) EXPECT_EQ(l.find(" depth 6 "), std::string::npos) << l;
    // The defender sees its own mate coming.
    SendLine(&s, "position fen k7/2K5/8/8/8/8/8/1R6 b - - 0 1");
    info.clear();
    ASSERT_GE(GoAndWait(&s, "go depth 5", &best, 10000 * kSlow, &info), 0);
    EXPECT_EQ(BestOf(best), "a8a7");
    bool bMated = false;
    for (const std::string& l : info) bMated |= l.rfind("info score mate -1 depth ", 0) == 0;
    EXPECT_TRUE(bMated);
    EXPECT_EQ(EndSession(&s), 0);
}

TEST(Think, EveryGoEndsWithExactlyOneBestMove) {
    EngineSession s;
    StartUci(&s);
    std::string line;
    struct Case {
        std::string sPosition, sGo;
        const char* szFen;
        std::vector<std::string> moves;
    };
    // The root stands for the third time after eight plies of knight moves.
    const std::vector<std::string> shuffle = {"g1f3", "g8f6", "f3g1", "f6g8", "g1f3", "g8f6", "f3g1", "f6g8"};
    std::string shuffleText;
    for (const std::string& m : shuffle) shuffleText += " " + m;
    const std::vector<Case> cases = {
        {"position startpos", "go depth 0", kStartFen, {}},
        {"position startpos", "go depth -3", kStartFen, {}},
        {"position startpos", "go movetime 0", kStartFen, {}},
        {"position startpos", "go movetime -250", kStartFen, {}},
        {"position startpos moves" + shuffleText, "go depth 4", kStartFen, shuffle},
        {"position startpos", "go wtime 1 btime 1", kStartFen, {}},
        {"position startpos", "go nodes 1", kStartFen, {}},
        {"position startpos", "go nodes -7", kStartFen, {}},
        {std::string("position fen ") + kMated, "go depth 3", nullptr, {}},
        {std::string("position fen ") + kStalemate, "go movetime 100", nullptr, {}},
        {std::string("position fen ") + kStalemate, "go ponder wtime 1000 btime 1000", nullptr, {}},
    };
    for (const Case& c : cases) {
        SendLine(&s, c.sPosition);
        const bool bPonder = c.sGo.find("ponder") != std::string::npos;
        SendLine(&s, c.sGo);
        if (bPonder) SendLine(&s, "stop");
        ASSERT_GE(ReadLineStarting(&s, "bestmove", 10000 * kSlow, &line), 0) << c.sGo;
        if (c.szFen)
            EXPECT_TRUE(IsLegalText(After(c.szFen, c.moves), BestOf(line))) << c.sGo << ": " << line;
        else
            EXPECT_EQ(line, "bestmove i_got_nuffin") << c.sGo;
    }
    // "go infinite" and "stop" at once: stopped in its first iteration, it still names a move.
    SendLine(&s, "position startpos");
    SendLine(&s, "go infinite");
    SendLine(&s, "stop");
    ASSERT_GE(ReadLineStarting(&s, "bestmove", 10000 * kSlow, &line), 0);
    EXPECT_TRUE(IsLegalText(After(kStartFen), BestOf(line))) << line;
    // "stop" while nothing runs changes nothing: the next search runs its full depth.
    SendLine(&s, "stop");
    std::vector<std::string> info;
    ASSERT_GE(GoAndWait(&s, "go depth 3", &line, 10000 * kSlow, &info), 0);
    bool bDepth3 = false;
    for (const std::string& l : info) bDepth3 |= l.find(" depth 3 ") != std::string::npos;
    EXPECT_TRUE(bDepth3);
    SendLine(&s, "isready");
    ASSERT_GE(ReadLineStarting(&s, "readyok", 5000 * kSlow, nullptr), 0);
    EXPECT_EQ(EndSession(&s), 0);
    EXPECT_EQ(CountStarting(s.sOut, "bestmove"), int(cases.size()) + 2);
    // Every best move is a line of its own ("i_got_nuffin" included).
    for (const std::string& l : SplitLines(s.sOut)) {
        if (l.compare(0, 8, "bestmove") == 0) {
            EXPECT_TRUE(std::regex_match(l, std::regex("^bestmove \\S+( ponder \\S+)?$"))) << l;
        }
    }
}

TEST(Think, TheMoveIsPlayedBeforeTheBestMoveIsOut) {
    EngineSession s;
    StartUci(&s);
    std::string best;
    for (int i = 0; i < 5; ++i) {
        SendLine(&s, "position startpos moves e2e4");
        ASSERT_GE(GoAndWait(&s, "go depth 3", &best, 10000 * kSlow), 0);
        // The very next command sees the move made and the game advanced by one ply.
        const std::string fen = FenAfterPrint(&s);
        EXPECT_EQ(FenFields(fen), FenFields(FenOf(After(kStartFen, {"e2e4", BestOf(best)}))));
        EXPECT_EQ(FullMove(fen), 2);
    }
    // A search without a move changes nothing.
    SendLine(&s, std::string("position fen ") + kMated);
    ASSERT_GE(GoAndWait(&s, "go depth 2", &best, 10000 * kSlow), 0);
    EXPECT_EQ(FenAfterPrint(&s), kMated);
    EXPECT_EQ(EndSession(&s), 0);
}

// ---------------------------------------------------------------------------------------
// Console play.

TEST(ThinkConsole, TheEngineAnswersMovesOnceItPlaysASide) {
    // "go" makes the engine play white; the move typed for black is answered at once.
    EngineRun run = RunEngine("st 1\nsd 3\ngo\ne7e5\nprint\n", 60000 * kSlow);
    ASSERT_FALSE(run.bTimedOut);
    EXPECT_EQ(run.nExitCode, 0);
    EXPECT_EQ(CountLine(run.sOut, "Time          Nodes  Depth/Max   Score    Line"), 2);
    EXPECT_EQ(CountStarting(run.sOut, "Making move "), 2) << run.sOut;
    // The iteration lines: time, nodes, depths, score, moves with their numbers.
    EXPECT_TRUE(
        std::regex_search(run.sOut, std::regex("\n00:00:0\\d\\.\\d\\d +\\d+K?  3/\\d+/\\d+ \t.{8} \t1\\. ")))
        << run.sOut;
    EXPECT_TRUE(std::regex_search(run.sOut, std::regex("\t2\\. ")));
    std::vector<std::string> fens;
    for (const std::string& l : SplitLines(run.sOut))
        if (l.compare(0, 6, "FEN = ") == 0) fens.push_back(l.substr(6));
    ASSERT_FALSE(fens.empty());
    // Three plies played: black to move in move 2.
    EXPECT_TRUE(std::regex_match(fens.back(), std::regex(".* b \\S+ \\S+ \\d+ 2"))) << fens.back();
    EXPECT_EQ(run.sOut.find("bestmove"), std::string::npos);
}

TEST(ThinkConsole, GameOverTextsAndResult) {
    // Stalemated black, mated black, mated white; each "go" makes the engine the side to move.
    EngineRun run = RunEngine(std::string("loadfen ") + kStalemate + "\ngo\nloadfen " + kMated +
                                  "\ngo\nloadfen 6k1/8/8/8/8/8/5PPP/3r2K1 w - - 0 1\ngo\nresult 0-1\n",
                              60000 * kSlow);
    ASSERT_FALSE(run.bTimedOut);
    EXPECT_EQ(CountLine(run.sOut, "1/2-1/2 {hmmmm I guess we both suck!}"), 1) << run.sOut;
    EXPECT_EQ(CountLine(run.sOut, "1-0 {Doh!!! I lost}"), 1);
    EXPECT_EQ(CountLine(run.sOut, "0-1 {Doh!!! I lost}"), 1);
    EXPECT_EQ(CountStarting(run.sOut, "Making move"), 0);
    // "result" after a game: the engine took white in the last search.
    EXPECT_EQ(CountLine(run.sOut, "Wahoo! I won - in your face!!!"), 0);
    EXPECT_EQ(CountLine(run.sOut, "Doh!!! I lost"), 1);
}

// ---------------------------------------------------------------------------------------
// Dump files, the dump log and the statistics log.

uint64_t FileSize(const std::string& path) {
    std::error_code ec;
    const auto n = std::filesystem::file_size(path, ec);
    return ec ? 0 : uint64_t(n);
}

std::vector<std::string> FilesMatching(const std::string& dir, const std::regex& re) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (std::regex_match(e.path().filename().string(), re)) out.push_back(e.path().string());
    return out;
}

TEST(Dump, MissingOrShortFileIsReportedAndChangesNothing) {
    EngineRun run = RunEngine("loaddump nosuch.dump\nloaddump\n");
    EXPECT_EQ(CountLine(run.sOut, "Cannot load dump file nosuch.dump"), 1) << run.sOut;
    EXPECT_EQ(CountLine(run.sOut, "Cannot load dump file "), 1);
    EXPECT_EQ(run.nExitCode, 0);
}

TEST(Dump, TraceLevelThreeWritesTheDumpAndTheLogAndLoaddumpReadsIt) {
    EngineSession s;
    StartUci(&s);
    // Small tables: 1 MB transposition table, 64 KB pawn hash, 1 MB eval hash.
    for (const char* line : {"setoption name Hash value 1", "setoption name PawnHash value 64",
                             "setoption name EvalHash value 1", "setoption name TraceLevel value 3",
                             "setoption name LogStats value true", "ucinewgame", "position startpos"})
        SendLine(&s, line);
    std::string best;
    ASSERT_GE(GoAndWait(&s, "go depth 4", &best, 30000 * kSlow), 0);
    SendLine(&s, "setoption name TraceLevel value 0");
    SendLine(&s, "isready");
    ASSERT_GE(ReadLineStarting(&s, "readyok", 10000 * kSlow, nullptr), 0);

    const uint64_t nExpected = (1048576 / 48) * 48 + 2048 * 24 + 65536 * 16 + 2 * 128 * 4 + 600 * 8 + 4 + 8;
    const std::string dump = s.sDir + "/QM_1.04.dump";
    EXPECT_EQ(FileSize(dump), nExpected);
    // The dump log holds the iteration lines and the best move.
    const auto logs = FilesMatching(s.sDir, std::regex("QM_1\\.04_\\d{8}_\\d{6}\\.dump\\.log"));
    ASSERT_EQ(logs.size(), 1u);
    std::ifstream in(logs[0]);
    const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(log.find("info score "), std::string::npos);
    EXPECT_NE(log.find(best + "\n"), std::string::npos) << log.substr(0, 400);
    // The statistics log got its header and one line for the search.
    const auto csv = FilesMatching(s.sDir, std::regex("QM_1\\.04_\\d{8}_\\d{6}\\.stats\\.csv"));
    ASSERT_EQ(csv.size(), 1u);
    std::ifstream cin(csv[0]);
    const std::string stats((std::istreambuf_iterator<char>(cin)), std::istreambuf_iterator<char>());
    EXPECT_EQ(CountStarting(stats, std::string(kStartFen) + ","), 1) << stats;

    // Read back: silent. A short copy, and the right file under other table sizes, are refused.
    SendLine(&s, "loaddump QM_1.04.dump");
    std::filesystem::copy_file(dump, s.sDir + "/short.dump");
    std::filesystem::resize_file(s.sDir + "/short.dump", nExpected - 1);
    SendLine(&s, "loaddump short.dump");
    SendLine(&s, "setoption name Hash value 2");
    SendLine(&s, "loaddump QM_1.04.dump");
    SendLine(&s, "isready");
    std::vector<std::string> lines;
    ASSERT_GE(ReadLineStarting(&s, "readyok", 10000 * kSlow, nullptr, &lines), 0);
    std::vector<std::string> replies;
    for (const std::string& l : lines)
        if (!l.empty()) replies.push_back(l);
    ASSERT_EQ(replies.size(), 2u) << (replies.empty() ? "" : replies[0]);
    EXPECT_EQ(replies[0], "Cannot load dump file short.dump");
    EXPECT_EQ(replies[1], "Cannot load dump file QM_1.04.dump");
    // The engine still searches after all this.
    SendLine(&s, "position startpos");
    ASSERT_GE(GoAndWait(&s, "go depth 2", &best, 10000 * kSlow), 0);
    EXPECT_TRUE(IsLegalText(After(kStartFen), BestOf(best)));
    EXPECT_EQ(EndSession(&s), 0);
}

// Node total of the last iteration line among lines (0 when there is none).
uint64_t LastNodes(const std::vector<std::string>& lines) {
    static const std::regex re("^info score cp -?\\d+.* nodes (\\d+) .*");
    uint64_t n = 0;
    for (const std::string& l : lines) {
        std::smatch m;
        if (std::regex_match(l, m, re)) n = std::stoull(m[1]);
    }
    return n;
}

// Two searches in a row: the first leaves the tables, the move-ordering history and the last
// score behind, the second starts from them and is dumped at its start.
// "loadfen" then drops the tables but keeps the history, so a replay differs from the
// original only by what the dump restores.
TEST(Dump, LoaddumpRestoresTheSearchItWasWrittenFor) {
    EngineSession s;
    StartUci(&s);
    for (const char* line : {"setoption name OwnBook value false", "setoption name NumThreads value 1",
                             "setoption name Hash value 1", "setoption name PawnHash value 64",
                             "setoption name EvalHash value 1", "setoption name TraceLevel value 3"})
        SendLine(&s, line);
    const std::string first = "position startpos moves e2e4";
    // The same position again (a GUI asking anew after a take-back): the first search's
    // table entries shape the second search.
    const std::string second = first;
    const std::string dump = s.sDir + "/QM_1.04.dump";
    std::string best;
    std::vector<std::string> info;

    // The original: a search, then the dumped one.
    auto Prelude = [&]() {
        SendLine(&s, "ucinewgame");
        SendLine(&s, first);
        ASSERT_GE(GoAndWait(&s, "go depth 5", &best, 30000 * kSlow), 0);
        SendLine(&s, std::string("loadfen ") + kStartFen);  // frees the tables
        SendLine(&s, second);
    };
    SendLine(&s, "ucinewgame");
    SendLine(&s, first);
    ASSERT_GE(GoAndWait(&s, "go depth 5", &best, 30000 * kSlow), 0);
    SendLine(&s, second);
    info.clear();
    ASSERT_GE(GoAndWait(&s, "go depth 6", &best, 60000 * kSlow, &info), 0);
    const uint64_t nOriginal = LastNodes(info);
    const std::string bestOriginal = best;
    ASSERT_GT(nOriginal, 0u);
    const uint64_t nSize = FileSize(dump);
    ASSERT_GT(nSize, 0u);
    std::filesystem::copy_file(dump, s.sDir + "/saved.dump");

    // The replay without the dump starts with empty tables and searches another tree ...
    Prelude();
    info.clear();
    ASSERT_GE(GoAndWait(&s, "go depth 6", &best, 60000 * kSlow, &info), 0);
    EXPECT_NE(LastNodes(info), nOriginal);
    // ... with the dump it is the same search, node for node.
    Prelude();
    SendLine(&s, "loaddump saved.dump");
    info.clear();
    ASSERT_GE(GoAndWait(&s, "go depth 6", &best, 60000 * kSlow, &info), 0);
    EXPECT_EQ(LastNodes(info), nOriginal);
    EXPECT_EQ(best, bestOriginal);
    for (const std::string& l : info) EXPECT_EQ(l.find("Cannot load"), std::string::npos) << l;

    // Damaged dumps. A truncated one, and a missing one, are refused and change nothing: the
    // restored search stays as it was.
    std::filesystem::copy_file(s.sDir + "/saved.dump", s.sDir + "/short.dump");
    std::filesystem::resize_file(s.sDir + "/short.dump", nSize / 2);
    Prelude();
    SendLine(&s, "loaddump saved.dump");
    SendLine(&s, "loaddump short.dump");
    SendLine(&s, "loaddump missing.dump");
    info.clear();
    ASSERT_GE(GoAndWait(&s, "go depth 6", &best, 60000 * kSlow, &info), 0);
    EXPECT_EQ(CountLine(s.sOut, "Cannot load dump file short.dump"), 1);
    EXPECT_EQ(CountLine(s.sOut, "Cannot load dump file missing.dump"), 1);
    EXPECT_EQ(LastNodes(info), nOriginal);

    // Random bytes of the right size, and the real dump with its entries' data words, killers,
    // marker and last scores scrambled (the check words kept, so that the search finds them):
    // loaded, and the search still ends with a legal move.
    std::mt19937_64 rng(12345);
    {
        std::ofstream out(s.sDir + "/random.dump", std::ios::binary);
        for (uint64_t i = 0; i < nSize; i += 8) {
            const uint64_t w = rng();
            out.write(reinterpret_cast<const char*>(&w), std::streamsize(std::min<uint64_t>(8, nSize - i)));
        }
    }
    {
        std::ifstream in(s.sDir + "/saved.dump", std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const uint64_t nTable = (1048576 / 48) * 48;
        for (uint64_t b = 0; b + 48 <= nTable; b += 48)
            for (int k = 16; k < 48; ++k) bytes[b + uint64_t(k)] = char(rng());
        for (uint64_t i = nSize - (2 * 128 * 4 + 600 * 8 + 4 + 8); i < nSize; ++i)
            if (i < nSize - 12 - 600 * 8 || i >= nSize - 12) bytes[i] = char(rng() | 0x80);
        std::ofstream out(s.sDir + "/scrambled.dump", std::ios::binary);
        out.write(bytes.data(), std::streamsize(bytes.size()));
    }
    const Position after = After(kStartFen, {"e2e4"});
    for (const char* name : {"random.dump", "scrambled.dump"}) {
        SendLine(&s, second);
        SendLine(&s, std::string("loaddump ") + name);
        ASSERT_GE(GoAndWait(&s, "go depth 6", &best, 60000 * kSlow), 0) << name;
        EXPECT_TRUE(IsLegalText(after, BestOf(best))) << name << ": " << best;
        SendLine(&s, second);
        SendLine(&s, std::string("loaddump ") + name);
        ASSERT_GE(GoAndWait(&s, "go wtime 2000 btime 2000", &best, 60000 * kSlow), 0) << name;
        EXPECT_TRUE(IsLegalText(after, BestOf(best))) << name << ": " << best;
    }
    EXPECT_EQ(CountStarting(s.sOut, "Cannot load dump file random"), 0);
    EXPECT_EQ(EndSession(&s), 0);
}

TEST(SearchTrace, AnswersNeverCutIntoSearchLines) {
    EngineSession s;
    StartUci(&s);
    // Level 2 makes the search print a line for every root move of every iteration.
    SendLine(&s, "setoption name TraceLevel value 2");
    SendLine(&s, "setoption name OwnBook value false");
    SendLine(&s, "position startpos moves e2e4 e7e5 g1f3 b8c6");
    SendLine(&s, "go depth 8");
    constexpr int kQuestions = 300;
    for (int i = 0; i < kQuestions; ++i) SendLine(&s, "isready");
    std::string best;
    ASSERT_GE(ReadLineStarting(&s, "bestmove", 60000 * kSlow, &best), 0);
    SendLine(&s, "isready");
    ASSERT_GE(ReadLineStarting(&s, "readyok", 10000 * kSlow, nullptr), 0);
    EXPECT_EQ(EndSession(&s), 0);
    int nReady = 0;
    static const std::regex debug("^DEBUG <\\d+:\\d+> ");
    for (const std::string& l : SplitLines(s.sOut)) {
        if (l.find("readyok") != std::string::npos) {
            EXPECT_EQ(l, "readyok");
            ++nReady;
        }
        if (l.find("DEBUG <") != std::string::npos) {
            EXPECT_TRUE(std::regex_search(l, debug)) << l;
            EXPECT_EQ(l.find("DEBUG <", 1), std::string::npos) << l;
        }
        if (l.find("info ") != std::string::npos) {
            EXPECT_EQ(l.find("info "), 0u) << l;
        }
        if (l.find("bestmove") != std::string::npos) {
            EXPECT_EQ(l.rfind("bestmove ", 0), 0u) << l;
        }
    }
    EXPECT_EQ(nReady, kQuestions + 1);
}

TEST(SearchTrace, ClockSearchesEstimateTheNextIterationOthersDoNot) {
    EngineSession s;
    StartUci(&s);
    SendLine(&s, "setoption name TraceLevel value 2");
    SendLine(&s, "setoption name OwnBook value false");
    SendLine(&s, "position startpos moves e2e4 e7e5 g1f3 b8c6");
    std::string best;
    std::vector<std::string> lines;
    ASSERT_GE(GoAndWait(&s, "go wtime 4000 btime 4000 movestogo 2", &best, 30000 * kSlow, &lines), 0);
    int nEstimates = 0;
    bool bInsufficient = false;
    for (const std::string& l : lines) {
        nEstimates += l.find("> BF = ") != std::string::npos;
        if (l == "Insufficient time left for next iteration") bInsufficient = true;
        std::smatch m;
        if (std::regex_search(l, m, std::regex("^info score cp -?\\d+.* depth (\\d+) "))) {
            EXPECT_FALSE(bInsufficient) << "an iteration after the estimate said stop: " << l;
        }
    }
    EXPECT_GT(nEstimates, 0);
    // Fixed depth, fixed time and node limits never estimate.
    for (const char* go : {"go depth 5", "go movetime 300", "go nodes 20000"}) {
        lines.clear();
        SendLine(&s, "position startpos moves e2e4 e7e5 g1f3 b8c6");
        ASSERT_GE(GoAndWait(&s, go, &best, 30000 * kSlow, &lines), 0) << go;
        for (const std::string& l : lines) EXPECT_EQ(l.find("BF = "), std::string::npos) << go << ": " << l;
    }
    EXPECT_EQ(EndSession(&s), 0);
}

TEST(SearchTrace, LevelTwoPrefixesDebugLinesAndWritesNoFiles) {
    EngineSession s;
    StartUci(&s);
    SendLine(&s, "setoption name TraceLevel value 2");
    SendLine(&s, "position startpos");
    std::string best;
    std::vector<std::string> lines;
    ASSERT_GE(GoAndWait(&s, "go depth 3", &best, 10000 * kSlow, &lines), 0);
    int nDebug = 0;
    for (const std::string& l : lines) nDebug += std::regex_match(l, std::regex("^DEBUG <\\d+:\\d+> .*"));
    EXPECT_GT(nDebug, 0);
    EXPECT_TRUE(FilesMatching(s.sDir, std::regex(".*\\.(dump|log|csv)")).empty());
    EXPECT_EQ(EndSession(&s), 0);
}

}  // namespace
