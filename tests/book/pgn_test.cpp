// PGN reader: tags, move text, skipped material, damaged and unusual files, and the shared
// collections with the number of games each must give.
#include "book/pgn.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "board/board_test_util.h"

namespace {

// The text as an open file, read from its start.
struct TextFile {
    FILE* f;
    explicit TextFile(const std::string& text) {
        f = tmpfile();
        if (f && !text.empty()) fwrite(text.data(), 1, text.size(), f);
        if (f) rewind(f);
    }
    ~TextFile() {
        if (f) fclose(f);
    }
};

struct ReadResult {
    std::vector<PgnGame> games;  // every game read with a true result
    PgnGame last{};              // the record of the call that returned false
};

// Reads games until the reader says false; a reader that never stops fails the test instead of
// hanging it.
ReadResult ReadAllFrom(FILE* f, size_t nLimit = 100000) {
    EnsureTables();
    ReadResult r;
    auto game = std::make_unique<PgnGame>();
    while (ReadPgnGame(f, game.get())) {
        r.games.push_back(*game);
        if (r.games.size() > nLimit) {
            ADD_FAILURE() << "the reader does not stop";
            break;
        }
    }
    r.last = *game;
    return r;
}

ReadResult ReadAll(const std::string& text) {
    TextFile file(text);
    EXPECT_NE(file.f, nullptr);
    return ReadAllFrom(file.f);
}

std::string MovesOf(const PgnGame& g) {
    std::string s;
    for (int i = 0; i < g.nNumPlies; i++) {
        if (i) s += ' ';
        s += MoveToCoord(g.anMoves[i]);
    }
    return s;
}

std::string Tags(const std::string& white, const std::string& result) {
    return "[Event \"Test\"]\n[White \"" + white + "\"]\n[Black \"B\"]\n[Result \"" + result + "\"]\n";
}

TEST(PgnReader, TagsAndMoves) {
    const ReadResult r = ReadAll(
        "[Event \"Troll Masters\"]\n[Site \"Gausdal NOR\"]\n[White \"Carlsen,Magnus\"]\n"
        "[Black \"Brameld,A\"]\n[Result \"0-1\"]\n[WhiteElo \"2064\"]\n[BlackElo \"\"]\n[ECO \"B05\"]\n\n"
        "1.e4 Nf6 2.e5 Nd5 3.d4 d6  0-1\n");
    ASSERT_EQ(r.games.size(), 1u);
    const PgnGame& g = r.games[0];
    EXPECT_STREQ(g.szWhite, "Carlsen Magnus");
    EXPECT_STREQ(g.szBlack, "Brameld A");
    EXPECT_EQ(g.nWhiteElo, 2064);
    EXPECT_EQ(g.nBlackElo, 0);
    EXPECT_EQ(g.nResult, PGN_BLACK_WINS);
    EXPECT_STREQ(g.szEco, "B05");
    EXPECT_EQ(MovesOf(g), "e2e4 g8f6 e4e5 f6d5 d2d4 d7d6");
    EXPECT_EQ(r.last.nNumPlies, 0);
}

TEST(PgnReader, NamesCommasQuotesAndLength) {
    const ReadResult r = ReadAll(
        "[White \"Smith, John\"]\n[Black \"Abcdefghijklmnopqrstuvwxy\"]\n[Result \"*\"]\n\n*\n"
        "[White \"O\\\"Neil\"]\n[Black \"\"]\n[Result \"*\"]\n\n*\n"
        "[White\"NoSpace\"]\n[Black Bare Words ]\n[Result \"*\"]\n\n*\n"
        "[wHiTe \"case\"]\n[Black \"Name ] with bracket\"]\n\n*\n");
    ASSERT_EQ(r.games.size(), 4u);
    EXPECT_STREQ(r.games[0].szWhite, "Smith  John");
    EXPECT_STREQ(r.games[0].szBlack, "Abcdefghijklmnopqrs") << "19 characters kept";
    EXPECT_STREQ(r.games[1].szWhite, "O\"Neil");
    EXPECT_STREQ(r.games[1].szBlack, "");
    EXPECT_STREQ(r.games[2].szWhite, "NoSpace");
    EXPECT_STREQ(r.games[2].szBlack, "Bare Words");
    EXPECT_STREQ(r.games[3].szWhite, "case");
    EXPECT_STREQ(r.games[3].szBlack, "Name ] with bracket");
}

TEST(PgnReader, RatingsResultsAndEcoCodes) {
    struct Case {
        const char* tags;
        int nWhiteElo, nBlackElo, nResult;
        const char* eco;
    };
    const Case cases[] = {
        {"[WhiteElo \"2500\"]\n[BlackElo \"?\"]\n[Result \"1-0\"]\n[ECO \"C42\"]\n", 2500, 0, PGN_WHITE_WINS,
         "C42"},
        {"[Result \"0-1\"]\n", 0, 0, PGN_BLACK_WINS, ""},
        {"[Result \"1/2-1/2\"]\n[ECO \"\"]\n", 0, 0, PGN_DRAW, ""},
        {"[Result \"*\"]\n[ECO \"A\"]\n", 0, 0, PGN_OTHER_RESULT, "A"},
        {"[Result \"\"]\n[ECO \"ABCDEFG\"]\n", 0, 0, PGN_OTHER_RESULT, "ABCD"},
        {"[Result \"1-0 \"]\n", 0, 0, PGN_OTHER_RESULT, ""},
        {"[Event \"no result tag\"]\n", 0, 0, 0, ""},
        {"[WhiteElo 2710]\n[BlackElo \"2650?\"]\n", 2710, 2650, 0, ""},
        {"[WhiteElo \"99999999999999999999999\"]\n[BlackElo \"-\"]\n", 1000000000, 0, 0, ""},
        {"[WhiteElo \"\"]\n[BlackElo \"  2400\"]\n", 0, 2400, 0, ""},
        {"[WhiteElo \"x2400\"]\n[BlackElo \"2400 2500\"]\n", 0, 2400, 0, ""},
    };
    for (const Case& c : cases) {
        const ReadResult r = ReadAll(std::string(c.tags) + "\n1.e4 *\n");
        ASSERT_EQ(r.games.size(), 1u) << c.tags;
        const PgnGame& g = r.games[0];
        EXPECT_EQ(g.nWhiteElo, c.nWhiteElo) << c.tags;
        EXPECT_EQ(g.nBlackElo, c.nBlackElo) << c.tags;
        EXPECT_EQ(g.nResult, c.nResult) << c.tags;
        EXPECT_STREQ(g.szEco, c.eco) << c.tags;
        EXPECT_EQ(g.nNumPlies, 1) << c.tags;
    }
}

TEST(PgnReader, CommentsVariationsAnnotationsAndNumbersAreSkipped) {
    const ReadResult r =
        ReadAll(Tags("A", "1-0") + "\n1.e4 e5 2.Nf3 {a comment} Nc6 (2...d6 3.d4) 3.Bb5 a6 $1 1-0\n");
    ASSERT_EQ(r.games.size(), 1u);
    EXPECT_EQ(MovesOf(r.games[0]), "e2e4 e7e5 g1f3 b8c6 f1b5 a7a6");

    // Spaced numbers, nested variations, comments holding brackets and unmatched parentheses,
    // a comment glued to a move, a ';' comment, check and annotation marks.
    const ReadResult nested =
        ReadAll(Tags("A", "*") +
                "\n1. e4 c5 {Sicilian [%eval 0.3] (}  ( 1... e5 2. Nf3 ( 2. Qh5 {:)} ) Nc6 )\n"
                "2. Nf3 $14 d6!? ; rest of the line ( ignored\n"
                "3. d4{glued} cxd4 4. Nxd4 Nf6 5. Nc3 a6 6. Bg5+? *\n");
    ASSERT_EQ(nested.games.size(), 1u);
    EXPECT_EQ(MovesOf(nested.games[0]), "e2e4 c7c5 g1f3 d7d6 d2d4 c5d4 f3d4 g8f6 b1c3 a7a6 c1g5");
}

TEST(PgnReader, MoveTextMustStartWithTheFirstMoveNumber) {
    const ReadResult r =
        ReadAll(Tags("intro", "*") + "\n{Intro} 1. e4 e5 *\n\n" + Tags("bare", "*") + "\ne4 e5 *\n\n" +
                Tags("second", "*") + "\n2. e4 e5 *\n\n" + Tags("ok", "*") + "\n1.e4 e5 *\n");
    ASSERT_EQ(r.games.size(), 4u);
    for (int i = 0; i < 3; i++) EXPECT_EQ(r.games[i].nNumPlies, 0) << r.games[i].szWhite;
    EXPECT_STREQ(r.games[3].szWhite, "ok") << "the skipped move texts did not swallow the next game";
    EXPECT_EQ(MovesOf(r.games[3]), "e2e4 e7e5");
}

TEST(PgnReader, BlackMoveNumbersAndBadMovesEndTheListButNotTheGame) {
    const ReadResult r =
        ReadAll(Tags("dots", "1-0") + "\n1. e4 {c} 1... e5 2. Nf3 {[%clk 0:05:00]} 1-0\n\n" +
                Tags("null", "1-0") + "\n1. d4 Nf6 2. Z0 e5 3. Nf3 1-0\n\n" + Tags("illegal", "0-1") +
                "\n1. e4 e5 2. Ke3 Nc6 0-1\n\n" + Tags("next", "*") + "\n1. c4 *\n");
    ASSERT_EQ(r.games.size(), 4u);
    EXPECT_EQ(MovesOf(r.games[0]), "e2e4");
    EXPECT_EQ(MovesOf(r.games[1]), "d2d4 g8f6");
    EXPECT_EQ(MovesOf(r.games[2]), "e2e4 e7e5");
    EXPECT_STREQ(r.games[3].szWhite, "next");
    EXPECT_EQ(MovesOf(r.games[3]), "c2c4");
}

TEST(PgnReader, SetUpAndAnnotatedGamesAreNotRead) {
    const ReadResult r =
        ReadAll(Tags("fen", "1-0") +
                "[FEN \"4k3/8/8/8/8/8/4P3/4K3 w - - 0 1\"]\n\n1. e4 Kd7 (1... Kf7 {x}) 2. e5 1-0\n\n" +
                Tags("annotated", "1-0") + "[Annotator \"Someone\"]\n\n1. e4 e5 2. Nf3 1-0\n\n" +
                Tags("plain", "1-0") + "\n1. e4 e5 1-0\n");
    ASSERT_EQ(r.games.size(), 3u);
    EXPECT_EQ(r.games[0].nNumPlies, 0);
    EXPECT_EQ(r.games[0].nResult, PGN_WHITE_WINS);
    EXPECT_EQ(r.games[1].nNumPlies, 0);
    EXPECT_EQ(MovesOf(r.games[2]), "e2e4 e7e5");
}

TEST(PgnReader, OnlyTheFirst600PliesAreStored) {
    std::string text = Tags("long", "1/2-1/2") + "\n";
    for (int i = 0; i < 155; i++) {
        const int n = 2 * i + 1;
        text += std::to_string(n) + ".Nf3 Nf6 " + std::to_string(n + 1) + ".Ng1 Ng8\n";
    }
    text += "311.e4 1/2-1/2\n\n" + Tags("after", "*") + "\n1.d4 *\n";  // 621 plies
    const ReadResult r = ReadAll(text);
    ASSERT_EQ(r.games.size(), 2u);
    EXPECT_EQ(r.games[0].nNumPlies, kPgnMaxPlies);
    EXPECT_EQ(MoveToCoord(r.games[0].anMoves[599]), "f6g8");
    EXPECT_EQ(MovesOf(r.games[1]), "d2d4");
}

TEST(PgnReader, GameWithoutResultTokenBeforeTheNextTags) {
    const ReadResult r =
        ReadAll(Tags("first", "1-0") + "\n1. e4 e5 2. Nf3\n\n" + Tags("second", "0-1") + "\n1. d4 d5 0-1\n");
    ASSERT_EQ(r.games.size(), 2u);
    EXPECT_EQ(MovesOf(r.games[0]), "e2e4 e7e5 g1f3");
    EXPECT_STREQ(r.games[1].szWhite, "second");
    EXPECT_EQ(r.games[1].nResult, PGN_BLACK_WINS);
    EXPECT_EQ(MovesOf(r.games[1]), "d2d4 d7d5");
}

TEST(PgnReader, EndOfFileAnywhereGivesFalseWithWhatWasRead) {
    // Cut anywhere: at most the one game, with some of its moves. A cut inside a word of the move
    // text leaves a word that is no move, which ends the list as any bad word does.
    const std::string full = Tags("cut", "1-0") + "\n1. e4 {a comment} e5 (1... c5 2. Nf3) 2. Nf3 Nc6 1-0\n";
    const std::string allMoves = "e2e4 e7e5 g1f3 b8c6";
    for (size_t n = 0; n <= full.size(); n++) {
        const ReadResult r = ReadAll(full.substr(0, n));
        ASSERT_LE(r.games.size(), 1u) << "cut at " << n;
        const std::string moves = MovesOf(r.games.empty() ? r.last : r.games[0]);
        EXPECT_EQ(allMoves.compare(0, moves.size(), moves), 0) << "cut at " << n << ": " << moves;
    }
    // Cut inside the tags, a tag value, a comment, a variation, or between moves: false.
    for (const char* cut : {"[Bla", "[White \"c", "{a com", "(1... c5 2.", "e5 ", "2. Nf3 Nc6 "}) {
        const size_t n = full.find(cut) + strlen(cut);
        EXPECT_TRUE(ReadAll(full.substr(0, n)).games.empty()) << cut;
    }
    EXPECT_EQ(ReadAll(full).games.size(), 1u);

    const ReadResult moves = ReadAll(Tags("cut", "1-0") + "\n1. e4 e5 2. Nf3");
    EXPECT_TRUE(moves.games.empty());
    EXPECT_STREQ(moves.last.szWhite, "cut");
    EXPECT_EQ(moves.last.nResult, PGN_WHITE_WINS);
    EXPECT_EQ(MovesOf(moves.last), "e2e4 e7e5 g1f3");

    const ReadResult comment = ReadAll(Tags("c", "*") + "\n1. e4 { never closed ( [ \n");
    EXPECT_TRUE(comment.games.empty());
    EXPECT_EQ(MovesOf(comment.last), "e2e4");
    EXPECT_TRUE(ReadAll(Tags("v", "*") + "\n1. e4 ( 1. d4 { ) } \n").games.empty());
    EXPECT_TRUE(ReadAll("[White \"never closed").games.empty());
    EXPECT_TRUE(ReadAll("[White \"escaped at the end\\").games.empty());
    EXPECT_TRUE(ReadAll("").games.empty());
    EXPECT_TRUE(ReadAll("1. e4 e5 2. Nf3 *\n").games.empty()) << "no tags, no game";
    EXPECT_TRUE(ReadAll("{ [Event \"inside a comment\"] }\n").games.empty());
}

TEST(PgnReader, WindowsLineEndsAndByteOrderMarkReadTheSame) {
    const std::string unix =
        Tags("Smith, John", "1/2-1/2") + "[WhiteElo \"2600\"]\n[ECO \"C65\"]\n\n" +
        "1.e4 e5 2.Nf3 Nc6 3.Bb5 Nf6 {Berlin\nDefence} 4.O-O Nxe4\n5.d4 Nd6  1/2-1/2\n\n" +
        Tags("second", "*") + "\n1.\nd4 *\n";
    std::string windows;
    for (char c : unix) windows += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const std::string bom = "\xEF\xBB\xBF" + windows;

    const ReadResult a = ReadAll(unix), b = ReadAll(windows), c = ReadAll(bom);
    ASSERT_EQ(a.games.size(), 2u);
    ASSERT_EQ(b.games.size(), 2u);
    ASSERT_EQ(c.games.size(), 2u);
    for (size_t i = 0; i < 2; i++) {
        EXPECT_EQ(memcmp(&a.games[i], &b.games[i], sizeof(PgnGame)), 0) << i;
        EXPECT_EQ(memcmp(&a.games[i], &c.games[i], sizeof(PgnGame)), 0) << i;
    }
    EXPECT_STREQ(a.games[0].szWhite, "Smith  John");
    EXPECT_EQ(a.games[0].nNumPlies, 10);
    EXPECT_EQ(MovesOf(a.games[1]), "d2d4");

    // Bytes that only look like the start of a mark are text.
    EXPECT_TRUE(ReadAll("\xEF\xBB" + unix).games.size() >= 1u);
}

TEST(PgnReader, LongTokensAndTagValuesAreCut) {
    const std::string huge(200000, 'x');
    std::string text = "[White \"" + huge + "\"]\n[" + huge + " \"" + huge + "\"]\n[ECO \"" + huge +
                       "\"]\n[WhiteElo \"" + std::string(5000, '9') + "\"]\n[Result \"*\"]\n\n1. e4 " + huge +
                       " e5 *\n\n" + Tags("next", "*") + "\n1. " + huge + " *\n" + huge;
    const ReadResult r = ReadAll(text);
    ASSERT_EQ(r.games.size(), 2u);
    EXPECT_EQ(std::string(r.games[0].szWhite), std::string(19, 'x'));
    EXPECT_EQ(std::string(r.games[0].szEco), "xxxx");
    EXPECT_EQ(r.games[0].nWhiteElo, 1000000000);
    EXPECT_EQ(MovesOf(r.games[0]), "e2e4");
    EXPECT_STREQ(r.games[1].szWhite, "next");
    EXPECT_EQ(r.games[1].nNumPlies, 0);
}

TEST(PgnReader, RandomBytesNeverCrashOrHang) {
    std::mt19937 rng(99);
    const char alphabet[] = "[]{}()\"\\;$.*-/ \n\r\t1290NBRQKOxabcdefgh=+#!?eE\xEF\xBB\xBF";
    for (int round = 0; round < 300; round++) {
        std::string text;
        const int n = int(rng() % 3000);
        for (int i = 0; i < n; i++)
            text += rng() % 8 ? alphabet[rng() % (sizeof(alphabet) - 1)] : char(rng() % 256);
        // Sprinkle real games in, so the reader also gets past tags and into move text.
        if (round % 3 == 0)
            text.insert(rng() % (text.size() + 1), Tags("A", "1-0") + "\n1. e4 e5 2. Nf3 1-0\n");
        TextFile f(text);
        const ReadResult r = ReadAllFrom(f.f, text.size() + 1);
        for (const PgnGame& g : r.games) {
            EXPECT_LE(g.nNumPlies, kPgnMaxPlies);
            EXPECT_LT(strlen(g.szWhite), size_t(kPgnNameSize));
            EXPECT_LT(strlen(g.szEco), size_t(kPgnEcoSize));
        }
    }
}

// The shared collections: games read (true results), games with moves, and plies in all.
TEST(PgnReader, SharedCollections) {
    struct Expected {
        const char* file;
        size_t nGames;
        int nWithMoves;
        long nPlies;
    };
    const Expected table[] = {
        {"master/Carlsen.pgn", 2851, 2851, 258481},
        // pgn-extract's ECO lines: no players or ratings, one to a few dozen plies each.
        {"debian/pgn-extract-eco.pgn", 2014, 2014, 20697},
        // Every puzzle starts from a FEN, every lesson chapter is annotated: none is read.
        {"debian/pychess-mate_in_2.pgn", 166, 0, 0},
        {"debian/pychess-lesson-checkmate-puzzles.pgn", 27, 0, 0},
        {"awkward/notnil-0003.pgn", 1, 0, 0},                   // FEN and Annotator
        {"awkward/notnil-0005.pgn", 1, 0, 0},                   // annotated (lichess.org)
        {"awkward/notnil-0008.pgn", 0, 0, 0},                   // no tags
        {"awkward/notnil-0010.pgn", 0, 0, 0},                   // no tags
        {"awkward/notnil-0013.pgn", 3, 0, 0},                   // annotated, nested variations
        {"awkward/notnil-0014.pgn", 5, 1, 5},                   // four start from a FEN
        {"awkward/pychesslib-anastasian-lewis.pgn", 1, 1, 81},  // ends at the null move Z0
        {"awkward/pychesslib-chessbase-empty-line.pgn", 1, 1, 134},
        {"awkward/pychesslib-cutechess-fischerrandom.pgn", 4, 0, 0},  // FEN
        {"awkward/pychesslib-kasparov-deep-blue-1997.pgn", 6, 6, 519},
        {"awkward/pychesslib-molinari-bordais-1979.pgn", 1, 1, 10},
        {"awkward/pychesslib-stockfish-learning.pgn", 1, 1, 154},
        {"awkward/pychesslib-uci-moves.pgn", 1, 0, 0},                     // coordinate moves: no "1."
        {"awkward/pychesslib-utf8-bom.pgn", 2, 0, 0},                      // games without moves
        {"awkward/pychesslib-variations-nags-and-comments.pgn", 1, 0, 0},  // comment before "1."
    };
    for (const Expected& e : table) {
        const std::string path = std::string(QM_DATA_DIR) + "/pgn/" + e.file;
        FILE* f = fopen(path.c_str(), "r");
        ASSERT_NE(f, nullptr) << path;
        const ReadResult r = ReadAllFrom(f);
        fclose(f);
        int nWithMoves = 0;
        long nPlies = 0;
        for (const PgnGame& g : r.games) {
            nWithMoves += g.nNumPlies > 0;
            nPlies += g.nNumPlies;
        }
        EXPECT_EQ(r.games.size(), e.nGames) << e.file;
        EXPECT_EQ(nWithMoves, e.nWithMoves) << e.file;
        EXPECT_EQ(nPlies, e.nPlies) << e.file;
    }
}

TEST(PgnReader, CollectionDetails) {
    auto read = [](const char* file) {
        FILE* f = fopen((std::string(QM_DATA_DIR) + "/pgn/" + file).c_str(), "r");
        EXPECT_NE(f, nullptr) << file;
        ReadResult r = f ? ReadAllFrom(f) : ReadResult{};
        if (f) fclose(f);
        return r;
    };
    const ReadResult bom = read("awkward/pychesslib-utf8-bom.pgn");
    ASSERT_EQ(bom.games.size(), 2u);
    EXPECT_STREQ(bom.games[0].szWhite, "White vs 1...c5") << "the first tag after the mark is read";
    EXPECT_STREQ(bom.games[0].szEco, "A00");
    EXPECT_EQ(bom.games[0].nResult, PGN_OTHER_RESULT);

    const ReadResult carlsen = read("master/Carlsen.pgn");
    ASSERT_EQ(carlsen.games.size(), 2851u);
    const PgnGame& first = carlsen.games[0];
    EXPECT_STREQ(first.szWhite, "Edvardsen R");
    EXPECT_STREQ(first.szBlack, "Carlsen Magnus");
    EXPECT_EQ(first.nWhiteElo, 2055);
    EXPECT_EQ(first.nBlackElo, 0) << "empty rating";
    EXPECT_EQ(first.nResult, PGN_DRAW);
    EXPECT_STREQ(first.szEco, "D12");
    EXPECT_EQ(first.nNumPlies, 46);
    EXPECT_EQ(MoveToCoord(first.anMoves[0]), "d2d4");
    EXPECT_EQ(MoveToCoord(first.anMoves[45]), "f8e7");
}

}  // namespace
