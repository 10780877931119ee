// Polyglot books: the format's published keys, its move codes and castling, weighted choice, and
// a book made by Debian's polyglot (tests/data/polyglot_small.bin: `polyglot make-book -max-ply 8`
// over the first 200 games of data/pgn/master/Carlsen.pgn).
#include "book/polyglot.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "book/book.h"
#include "core/settings.h"
#include "movegen/movegen_test_util.h"

namespace {

const std::string kStart = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

Position After(const std::vector<std::string>& moves) {
    Position p = FromFen(kStart);
    for (const std::string& text : moves) {
        const Move m = FindMove(p, text);
        EXPECT_NE(m, 0u) << text;
        Position next;
        MakeMove(m, &p, &next, 0, -1);
        p = next;
    }
    return p;
}

// The keys the format publishes for its test positions (each checked against a book that
// Debian's polyglot made of these games).
TEST(PolyglotKey, PublishedTestPositions) {
    const std::vector<std::pair<std::vector<std::string>, uint64_t>> cases = {
        {{}, 0x463b96181691fc9cull},
        {{"e2e4"}, 0x823c9b50fd114196ull},
        {{"e2e4", "d7d5"}, 0x0756b94461c50fb0ull},
        {{"e2e4", "d7d5", "e4e5"}, 0x662fafb965db29d4ull},
        {{"e2e4", "d7d5", "e4e5", "f7f5"}, 0x22a48b5a8e47ff78ull},  // en passant possible
        {{"e2e4", "d7d5", "e4e5", "f7f5", "e1e2"}, 0x652a607ca3f242c1ull},
        {{"e2e4", "d7d5", "e4e5", "f7f5", "e1e2", "e8f7"}, 0x00fdd303c946bdd9ull},
        {{"a2a4", "b7b5", "h2h4", "b5b4", "c2c4"}, 0x3c8123ea7b067637ull},  // en passant possible
        {{"a2a4", "b7b5", "h2h4", "b5b4", "c2c4", "b4c3", "a1a3"}, 0x5c3f9b829b279560ull},
    };
    for (const auto& [moves, key] : cases)
        EXPECT_EQ(PolyglotKey(After(moves)), key) << moves.size() << " plies";
}

uint16_t Code(const char* text, int promo = 0) {
    return uint16_t((text[2] - 'a') | ((text[3] - '1') << 3) | ((text[0] - 'a') << 6) |
                    ((text[1] - '1') << 9) | (promo << 12));
}

TEST(PolyglotMove, CastlingAsKingTakesRookAndPromotions) {
    const Position p = FromFen("r3k2r/1P6/8/8/8/8/8/R3K2R w KQkq - 0 1");
    EXPECT_EQ(MoveToCoord(PolyglotMove(&p, Code("e1h1"))), "e1g1");
    EXPECT_EQ(MoveToCoord(PolyglotMove(&p, Code("e1a1"))), "e1c1");
    EXPECT_EQ(MoveToCoord(PolyglotMove(&p, Code("b7a8", 4))), "b7a8q");
    EXPECT_EQ(MoveToCoord(PolyglotMove(&p, Code("b7b8", 1))), "b7b8n");
    EXPECT_EQ(PolyglotMove(&p, Code("b7b8")), 0u) << "a pawn reaching the last rank must promote";
    EXPECT_EQ(PolyglotMove(&p, Code("e1e3")), 0u) << "no such move";
    const Position black = FromFen("r3k2r/8/8/8/8/8/8/4K3 b kq - 0 1");
    EXPECT_EQ(MoveToCoord(PolyglotMove(&black, Code("e8h8"))), "e8g8");
    EXPECT_EQ(MoveToCoord(PolyglotMove(&black, Code("e8a8"))), "e8c8");
    const Position noRights = FromFen("r3k2r/8/8/8/8/8/8/R3K2R w - - 0 1");
    EXPECT_EQ(PolyglotMove(&noRights, Code("e1h1")), 0u);
}

std::vector<uint8_t> Entry(uint64_t key, uint16_t move, uint16_t weight) {
    std::vector<uint8_t> b;
    for (int i = 7; i >= 0; i--) b.push_back(uint8_t(key >> (8 * i)));
    b.push_back(uint8_t(move >> 8));
    b.push_back(uint8_t(move));
    b.push_back(uint8_t(weight >> 8));
    b.push_back(uint8_t(weight));
    b.insert(b.end(), 4, 0);
    return b;
}

TEST(PolyglotBook, ParseRejectsPartialEntriesAndDisorder) {
    std::vector<PolyglotEntry> book;
    std::vector<uint8_t> bytes = Entry(2, Code("e2e4"), 1);
    const std::vector<uint8_t> second = Entry(1, Code("d2d4"), 1);
    EXPECT_TRUE(ParsePolyglotBook(bytes, &book));
    ASSERT_EQ(book.size(), 1u);
    EXPECT_EQ(book[0].nKey, 2u);
    EXPECT_EQ(book[0].nMove, Code("e2e4"));
    bytes.insert(bytes.end(), second.begin(), second.end());
    EXPECT_FALSE(ParsePolyglotBook(bytes, &book)) << "keys out of order";
    EXPECT_FALSE(ParsePolyglotBook(std::vector<uint8_t>(15), &book));
    EXPECT_FALSE(ParsePolyglotBook({}, &book));
}

// Weights decide the share; weight-0 entries are never played beside weighted ones; illegal
// entries are skipped.
TEST(PolyglotBook, ChoiceFollowsTheWeights) {
    const Position start = FromFen(kStart);
    const uint64_t key = PolyglotKey(start);
    std::vector<uint8_t> bytes;
    for (const auto& [move, weight] :
         std::vector<std::pair<const char*, int>>{{"e2e4", 3}, {"d2d4", 1}, {"g1f3", 0}, {"e2e5", 50}})
        for (uint8_t b : Entry(key, Code(move), uint16_t(weight))) bytes.push_back(b);
    std::vector<PolyglotEntry> book;
    ASSERT_TRUE(ParsePolyglotBook(bytes, &book));
    std::map<std::string, int> seen;
    for (uint64_t r = 0; r < 400; r++) seen[MoveToCoord(ChoosePolyglotMove(book, &start, r))]++;
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen["e2e4"], 300);
    EXPECT_EQ(seen["d2d4"], 100);
    const Position other = FromFen("8/8/8/8/8/8/8/K6k w - - 0 1");
    EXPECT_EQ(ChoosePolyglotMove(book, &other, 0), 0u) << "unknown position";
}

class PolyglotFile : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureTables();
        bSaved = bOwnBook;
        bOwnBook = true;
        path = std::string(QM_SOURCE_DIR) + "/tests/data/polyglot_small.bin";
    }
    void TearDown() override {
        FreeBook();
        bOwnBook = bSaved;
    }
    bool bSaved = false;
    std::string path;
};

// From the start the book holds e4 (111), d4 (70), Nf3 (27) and c4 (13), as polyglot's dump of it
// shows; every draw gives one of them, and all four come up.
TEST_F(PolyglotFile, DebianBookGivesOnlyItsMoves) {
    ::testing::internal::CaptureStdout();
    ASSERT_TRUE(LoadBookFile(path.c_str()));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Successfully loaded opening book file (" + path + ")\n");
    const Position start = FromFen(kStart);
    std::map<std::string, int> seen;
    for (int i = 0; i < 200; i++) seen[MoveToCoord(ProbeBook(&start))]++;
    EXPECT_EQ(seen.size(), 4u);
    for (const char* m : {"e2e4", "d2d4", "g1f3", "c2c4"}) EXPECT_GT(seen[m], 0) << m;
    EXPECT_GT(seen["e2e4"], seen["c2c4"]);
    // A line of the book that castles: 1. Nf3 Nf6 2. g3 g6 3. Bg2 Bg7 4. O-O.
    const Position castle = After({"g1f3", "g8f6", "g2g3", "g7g6", "f1g2", "f8g7"});
    EXPECT_EQ(MoveToCoord(ProbeBook(&castle)), "e1g1");
}

TEST_F(PolyglotFile, TruncatedBookIsRefusedWithTheBookMessage) {
    std::vector<uint8_t> bytes(std::filesystem::file_size(path));
    FILE* f = fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(fread(bytes.data(), 1, bytes.size(), f), bytes.size());
    fclose(f);
    const std::string cut =
        std::string(::testing::TempDir()) + "/qm_cut_" + std::to_string(getpid()) + ".bin";
    f = fopen(cut.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(bytes.data(), 1, bytes.size() - 5, f);
    fclose(f);
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(LoadBookFile(cut.c_str()));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Invalid opening book file found (" + cut + ")\n");
    EXPECT_FALSE(bOwnBook);
    const Position start = FromFen(kStart);
    EXPECT_EQ(ProbeBook(&start), 0u);
    std::filesystem::remove(cut);
}

}  // namespace
