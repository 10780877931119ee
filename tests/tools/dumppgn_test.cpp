// PGN dump: pawn-file fields, the exact CSV lines, which games are written, where the dump
// stops, failures that leave the old files alone, and the master collection.
#include "tools/dumppgn.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "board/board_test_util.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> Fields(const char* fen) {
    const Position p = FromFen(fen);
    std::string f[6];
    PawnFileFields(&p, f);
    return std::vector<std::string>(f, f + 6);
}

TEST(PawnFileFields, FilesAreWrittenFromHToA) {
    // White pawns on the a-file only, black ones on the h-file only.
    EXPECT_EQ(Fields("4k3/7p/8/8/8/8/P7/4K3 w - - 0 1"),
              (std::vector<std::string>{"", "", "A", "H", "HA", "GFEDCB"}));
    EXPECT_EQ(Fields("4k3/7p/7p/8/8/P7/P7/4K3 w - - 0 1"),
              (std::vector<std::string>{"A", "H", "A", "H", "HA", "GFEDCB"}));
    // White a2 b3 d2 d4 g2, black a7 c6 h6 h7.
    EXPECT_EQ(Fields("4k3/p6p/2p4p/8/3P4/1P6/P2P2P1/4K3 w - - 0 1"),
              (std::vector<std::string>{"D", "H", "GD", "HCA", "HGDCB", "FE"}));
    EXPECT_EQ(Fields("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"),
              (std::vector<std::string>{"", "", "", "", "", ""}));
    EXPECT_EQ(Fields("4k3/8/8/8/8/8/8/4K3 w - - 0 1"),
              (std::vector<std::string>{"", "", "", "", "", "HGFEDCBA"}));
}

class DumpPgnTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureTables();
        dir = fs::path(::testing::TempDir()) /
              ("qm_dumppgn_" + std::to_string(getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    std::string WritePgn(const std::string& text) {
        const std::string path = (dir / "in.pgn").string();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    std::string Run(const std::string& pgn, bool* pbOk = nullptr) {
        ::testing::internal::CaptureStdout();
        const bool bOk = DumpPgnTo(pgn.c_str(), dir.string().c_str());
        const std::string out = ::testing::internal::GetCapturedStdout();
        if (pbOk) *pbOk = bOk;
        return out;
    }
    std::vector<std::string> Lines(const char* name) const {
        std::ifstream in(dir / name);
        std::vector<std::string> v;
        for (std::string line; std::getline(in, line);) v.push_back(line);
        return v;
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> v;
        for (const auto& e : fs::directory_iterator(dir)) v.push_back(e.path().filename().string());
        std::sort(v.begin(), v.end());
        return v;
    }
    fs::path dir;
};

const char* kGamesHeader = "GAME_NUM, WHITE, WHITE_ELO, BLACK, BLACK_ELO, RESULT, ECO";
const char* kMovesHeader =
    "GAME_NUM, MOVE_NUM, MOVE, FEN, WP, WN, WB, WR, WQ, BP, BN, BB, BR, BQ, WHITE_DOUBLED_FILES, "
    "BLACK_DOUBLED_FILES, WHITE_ISOLATED, BLACK_ISOLATED, SEMI_OPEN_FILES, OPEN_FILES";

std::string Game(const std::string& tags, const std::string& moves) {
    return "[Event \"E\"]\n" + tags + "\n" + moves + "\n\n";
}
const std::string kScandinavian =
    "1.e4 d5 2.exd5 Qxd5 3.Nc3 Qa5 4.d4 Nf6 5.Nf3 c6 6.Bc4 Bf5 7.Bd2 e6 8.Qe2 Bb4 9.a3 Nbd7\n"
    "10.O-O-O Bxc3 11.Bxc3 1-0";  // 21 plies
const std::string kTwenty =
    "1.d4 d5 2.c4 e6 3.Nc3 Nf6 4.Bg5 Be7 5.e3 O-O 6.Nf3 Nbd7 7.Rc1 c6 8.Bd3 dxc4\n"
    "9.Bxc4 Nd5 10.Bxe7 Qxe7 1/2-1/2";
const std::string kQgd =
    "1.d4 d5 2.c4 e6 3.Nc3 Nf6 4.Bg5 Be7 5.e3 O-O 6.Nf3 Nbd7 7.Rc1 c6 8.Bd3 dxc4\n"
    "9.Bxc4 Nd5 10.Bxe7 Qxe7 11.O-O Nxc3 1/2-1/2";  // 22 plies

TEST_F(DumpPgnTest, LinesOfTheGamesWritten) {
    const std::string rated =
        "[White \"Smith, John\"]\n[Black \"Doe\"]\n[Result \"1-0\"]\n[WhiteElo \"2600\"]\n"
        "[BlackElo \"2500\"]\n[ECO \"B01\"]\n";
    const std::string text =
        Game(rated, kScandinavian) +
        Game("[White \"NoElo\"]\n[Black \"B\"]\n[Result \"1-0\"]\n[WhiteElo \"2600\"]\n", kScandinavian) +
        Game("[White \"Short\"]\n[WhiteElo \"2600\"]\n[BlackElo \"2600\"]\n", kTwenty) +
        Game(
            "[White \"Second\"]\n[Black \"C\"]\n[Result \"1/2-1/2\"]\n[WhiteElo \"2700\"]\n[BlackElo "
            "\"2650\"]\n",
            kQgd) +
        Game(
            "[White \"Set-up\"]\n[WhiteElo \"2600\"]\n[BlackElo \"2600\"]\n[FEN \"4k3/8/8/8/8/8/4P3/4K3 w - "
            "- 0 1\"]\n",
            "1.e4 Kd7 *") +
        Game(rated, kScandinavian);  // after the set-up game: not written
    bool bOk = false;
    EXPECT_EQ(Run(WritePgn(text), &bOk), "Parsing ....\nDone\n");
    EXPECT_TRUE(bOk);

    EXPECT_EQ(Lines("games.csv"),
              (std::vector<std::string>{kGamesHeader, "1, Smith  John, 2600, Doe, 2500, 2, B01",
                                        "2, Second, 2700, C, 2650, 1, "}));
    const std::vector<std::string> moves = Lines("moves.csv");
    ASSERT_EQ(moves.size(), 1u + 21 + 22);
    EXPECT_EQ(moves[0], kMovesHeader);
    EXPECT_EQ(moves[1],
              "1, 0, e4, rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1, 8, 2, 2, 2, 1, 8, 2, "
              "2, 2, 1, , , , "
              ", , ");
    // After 2.exd5: white doubled on d, d and e half open.
    EXPECT_EQ(moves[3],
              "1, 2, exd5, rnbqkbnr/ppp1pppp/8/3P4/8/8/PPPP1PPP/RNBQKBNR b KQkq - 0 2, 8, 2, 2, 2, 1, 7, 2, "
              "2, 2, 1, D, , , "
              ", ED, ");
    EXPECT_EQ(moves[4].substr(0, 16), "1, 3, Qxd5, rnb1");
    EXPECT_EQ(moves[21].substr(0, 13), "1, 20, Bxc3, ");
    EXPECT_EQ(moves[19].substr(0, 13), "1, 18, O-O-O,");
    EXPECT_EQ(moves[22].substr(0, 9), "2, 0, d4,");
    EXPECT_EQ(moves[43].substr(0, 12), "2, 21, Nxc3,");
    // Every line: the FEN reads back, with the pawn fields of its position.
    for (size_t i = 1; i < moves.size(); i++) {
        std::vector<std::string> cols;
        std::stringstream ss(moves[i]);
        for (std::string c; std::getline(ss, c, ',');) cols.push_back(c.empty() ? c : c.substr(1));
        while (cols.size() < 20) cols.push_back("");  // empty trailing fields
        ASSERT_EQ(cols.size(), 20u) << moves[i];
        const Position p = FromFen(cols[3]);
        std::string f[6];
        PawnFileFields(&p, f);
        for (int k = 0; k < 6; k++) EXPECT_EQ(cols[size_t(14 + k)], f[k]) << moves[i];
        EXPECT_EQ(cols[4], std::to_string(PopCount(p.bbPieces[WHITE][BB_PAWN])));
    }
    EXPECT_EQ(Names(), (std::vector<std::string>{"games.csv", "in.pgn", "moves.csv"}));
}

TEST_F(DumpPgnTest, GamesWithoutRatingsGiveHeadersOnly) {
    bool bOk = false;
    EXPECT_EQ(
        Run(WritePgn(Game("[Result \"1-0\"]\n", kScandinavian) + Game("[Result \"1-0\"]\n", kQgd)), &bOk),
        "Parsing ...\nDone\n");
    EXPECT_TRUE(bOk);
    EXPECT_EQ(Lines("games.csv"), std::vector<std::string>{kGamesHeader});
    EXPECT_EQ(Lines("moves.csv"), std::vector<std::string>{kMovesHeader});
}

TEST_F(DumpPgnTest, FailuresLeaveTheOldFilesAlone) {
    std::ofstream(dir / "games.csv") << "old games\n";
    std::ofstream(dir / "moves.csv") << "old moves\n";
    bool bOk = true;
    EXPECT_EQ(Run((dir / "missing.pgn").string(), &bOk), "PGN file not found\n");
    EXPECT_FALSE(bOk);
    EXPECT_EQ(Lines("games.csv"), std::vector<std::string>{"old games"});
    EXPECT_EQ(Lines("moves.csv"), std::vector<std::string>{"old moves"});

    // A directory given as the PGN file opens but cannot be read.
    EXPECT_EQ(Run(dir.string(), &bOk), "Parsing ...\nDone\nCannot read PGN file " + dir.string() + "\n");
    EXPECT_FALSE(bOk);
    EXPECT_EQ(Lines("games.csv"), std::vector<std::string>{"old games"});

    // games.csv cannot take its name (a directory stands there): moves.csv stays old too.
    fs::remove(dir / "games.csv");
    fs::create_directories(dir / "games.csv");
    const std::string pgn = WritePgn(Game("[WhiteElo \"2600\"]\n[BlackElo \"2600\"]\n", kQgd));
    const std::string out = Run(pgn, &bOk);
    EXPECT_FALSE(bOk);
    EXPECT_NE(out.find("Cannot write file " + (dir / "games.csv").string() + "\n"), std::string::npos) << out;
    EXPECT_EQ(Lines("moves.csv"), std::vector<std::string>{"old moves"});
    EXPECT_EQ(Names(), (std::vector<std::string>{"games.csv", "in.pgn", "moves.csv"}))
        << "no temporary file left";

    // A directory that does not exist.
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(DumpPgnTo(pgn.c_str(), (dir / "nowhere").string().c_str()));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Cannot create file " + (dir / "nowhere" / "games.csv").string() + "\n");
}

TEST_F(DumpPgnTest, MasterCollection) {
    const std::string pgn = std::string(QM_DATA_DIR) + "/pgn/master/Carlsen.pgn";
    bool bOk = false;
    EXPECT_EQ(Run(pgn, &bOk), "Parsing ..." + std::string(28, '.') + "\nDone\n");
    EXPECT_TRUE(bOk);
    // 2792 games have more than 20 plies and both ratings; they hold 254880 plies.
    const std::vector<std::string> games = Lines("games.csv");
    ASSERT_EQ(games.size(), 1u + 2792);
    EXPECT_EQ(games[1], "1, Carlsen M, 2064, Johansen SA, 2159, 2, B02");
    EXPECT_EQ(games[2792].substr(0, 6), "2792, ");
    const std::vector<std::string> moves = Lines("moves.csv");
    ASSERT_EQ(moves.size(), 1u + 254880);
    EXPECT_EQ(moves[254880].substr(0, 6), "2792, ");
    // A sample of lines: the FEN reads back and the fields agree with it.
    for (size_t i = 1; i < moves.size(); i += 997) {
        std::vector<std::string> cols;
        std::stringstream ss(moves[i]);
        for (std::string c; std::getline(ss, c, ',');) cols.push_back(c.empty() ? c : c.substr(1));
        while (cols.size() < 20) cols.push_back("");
        const Position p = FromFen(cols[3]);
        std::string f[6];
        PawnFileFields(&p, f);
        for (int k = 0; k < 6; k++) EXPECT_EQ(cols[size_t(14 + k)], f[k]) << moves[i];
    }
}

}  // namespace
