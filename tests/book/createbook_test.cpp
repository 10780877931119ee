// Book builder: a hand-checked collection compared byte for byte, the filters and limits, the
// failures that must leave no file, and a book from the master collection that the reader uses.
#include "book/createbook.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "book/pgn.h"
#include "core/settings.h"
#include "movegen/movegen_test_util.h"
#include "movegen/san.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> FileBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class CreateBookTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureTables();
        dir = fs::path(::testing::TempDir()) /
              ("qm_createbook_" + std::to_string(getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        book = (dir / "out.book").string();
        bSavedOwnBook = bOwnBook;
    }
    void TearDown() override {
        FreeBook();
        bOwnBook = bSavedOwnBook;
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    std::string WritePgn(const std::string& name, const std::string& text) {
        const std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    // Runs the builder and returns what it printed.
    std::string Run(const std::string& pgn, const std::string& out, bool* pbOk = nullptr) {
        ::testing::internal::CaptureStdout();
        const bool bOk = CreateBook(pgn.c_str(), out.c_str());
        const std::string text = ::testing::internal::GetCapturedStdout();
        if (pbOk) *pbOk = bOk;
        return text;
    }
    // Files in the directory besides the PGN files: no temporary file may be left behind.
    std::vector<std::string> OtherFiles() const {
        std::vector<std::string> v;
        for (const auto& e : fs::directory_iterator(dir))
            if (e.path().extension() != ".pgn") v.push_back(e.path().filename().string());
        return v;
    }

    fs::path dir;
    std::string book;
    bool bSavedOwnBook = true;
};

Move Knight(const char* from, const char* to) {
    return BuildMove(Sq(from), Sq(to), KIND_NORMAL, 0, KNIGHT, NONE);
}

// The placements of the knight dances in tests/data/book_golden.pgn.
const char* kStart = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR";
const char* kWhiteNf3 = "rnbqkbnr/pppppppp/8/8/8/5N2/PPPPPPPP/RNBQKB1R";
const char* kBothF = "rnbqkb1r/pppppppp/5n2/8/8/5N2/PPPPPPPP/RNBQKB1R";
const char* kBlackNf6 = "rnbqkb1r/pppppppp/5n2/8/8/8/PPPPPPPP/RNBQKBNR";
const char* kWhiteNc3 = "rnbqkbnr/pppppppp/8/8/8/2N5/PPPPPPPP/R1BQKBNR";
const char* kBothC = "r1bqkbnr/pppppppp/2n5/8/8/2N5/PPPPPPPP/R1BQKBNR";
const char* kBlackNc6 = "r1bqkbnr/pppppppp/2n5/8/8/8/PPPPPPPP/RNBQKBNR";

// Key of a dance position after ply plies: only knights have moved, so the half-move clock is
// the ply count.
uint64_t DanceKey(const char* placement, int ply) {
    const std::string fen = std::string(placement) + (ply % 2 ? " b" : " w") + " KQkq - " +
                            std::to_string(ply) + " " + std::to_string(ply / 2 + 1);
    return FromFen(fen).nHashKey;
}

void Put32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; i++) b.push_back(uint8_t(v >> (8 * i)));
}
void Put64(std::vector<uint8_t>& b, uint64_t v) {
    for (int i = 0; i < 8; i++) b.push_back(uint8_t(v >> (8 * i)));
}

TEST_F(CreateBookTest, GoldenBookByteForByte) {
    // What the games of book_golden.pgn must leave in the book:
    //  1 (1-0, 2600/2550): white's positions of the g-knight dance, plies 0, 2, ..., 18.
    //  2 (draw, 2500/2500): every position of the b-knight dance, plies 0..19; the start position
    //    at clocks 0, 4, 8, 12, 16 gets Nc3 after game 1's Nf3.
    //  3 (a rating of 2499), 4 (exactly 20 plies), 7 (from a FEN: no moves), 8 (no black
    //    rating): skipped.
    //  5 (no Result tag, so a black win): black's positions of the g-knight dance.
    //  6 (game 1 again): nothing new.
    struct Entry {
        uint64_t nKey;
        std::vector<Move> moves;
    };
    std::vector<Entry> entries;
    for (int ply = 0; ply < 20; ply += 4) {
        entries.push_back({DanceKey(kStart, ply), {Knight("g1", "f3"), Knight("b1", "c3")}});
        entries.push_back({DanceKey(kBothF, ply + 2), {Knight("f3", "g1")}});
        entries.push_back({DanceKey(kWhiteNc3, ply + 1), {Knight("b8", "c6")}});
        entries.push_back({DanceKey(kBothC, ply + 2), {Knight("c3", "b1")}});
        entries.push_back({DanceKey(kBlackNc6, ply + 3), {Knight("c6", "b8")}});
        entries.push_back({DanceKey(kWhiteNf3, ply + 1), {Knight("g8", "f6")}});
        entries.push_back({DanceKey(kBlackNf6, ply + 3), {Knight("f6", "g8")}});
    }
    ASSERT_EQ(entries.size(), 35u);
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.nKey < b.nKey; });
    for (size_t i = 1; i < entries.size(); i++) ASSERT_LT(entries[i - 1].nKey, entries[i].nKey);

    const char magic[] = "QuietMarmoset Book File";
    std::vector<uint8_t> expected(magic, magic + 23);
    expected.push_back(2);
    Put32(expected, 35);
    uint32_t offset = 28 + 12 * 35;
    for (const Entry& e : entries) {
        Put64(expected, e.nKey);
        Put32(expected, offset);
        offset += uint32_t(1 + 4 * e.moves.size());
    }
    for (const Entry& e : entries) {
        expected.push_back(uint8_t(e.moves.size()));
        for (Move m : e.moves) Put32(expected, m);
    }
    ASSERT_EQ(expected.size(), 28u + 12 * 35 + 5 * (1 + 8) + 30 * (1 + 4));
    // g1-f3 is To 18 | From 1 << 6 | knight 2 << 17.
    ASSERT_EQ(Knight("g1", "f3"), 18u | (1u << 6) | (2u << 17));

    const std::string pgn = std::string(QM_SOURCE_DIR) + "/tests/data/book_golden.pgn";
    bool bOk = false;
    const std::string out = Run(pgn, book, &bOk);
    EXPECT_TRUE(bOk);
    EXPECT_EQ(out, "Parsing " + pgn +
                       " ....\nParsed 8 games, processed 4 games and stored 35 positions\n"
                       "Sorting positions...\nWriting to file...\nCompleted book creation.\n");
    EXPECT_EQ(FileBytes(book), expected);
    EXPECT_EQ(OtherFiles(), std::vector<std::string>{"out.book"});

    // The reader takes it, and answers in the start position with one of its two moves.
    bOwnBook = true;
    ::testing::internal::CaptureStdout();
    EXPECT_TRUE(LoadBookFile(book.c_str()));
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(nBookPositions, 35);
    const Position start = FromFen(std::string(kStart) + " w KQkq - 0 1");
    const Move m = ProbeBook(&start);
    EXPECT_TRUE(m == Knight("g1", "f3") || m == Knight("b1", "c3")) << MoveToCoord(m);
}

// ---------------------------------------------------------------------------------------
// Generated collections.

// One game in PGN with the given result, its moves written by the engine's SAN writer.
std::string GameText(const std::vector<Move>& moves, const char* result, int nElo = 2600) {
    std::string s = "[White \"W\"]\n[Black \"B\"]\n[Result \"" + std::string(result) + "\"]\n[WhiteElo \"" +
                    std::to_string(nElo) + "\"]\n[BlackElo \"" + std::to_string(nElo) + "\"]\n\n";
    Position p = FromFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    for (size_t i = 0; i < moves.size(); i++) {
        if (i % 2 == 0) s += std::to_string(i / 2 + 1) + ".";
        s += MoveToSan(&p, moves[i]) + " ";
        Position next;
        MakeMove(moves[i], &p, &next, 0, -1);
        p = next;
    }
    return s + result + "\n\n";
}

// Plays random legal moves after the given ones up to nPlies, keeping only moves whose SAN text
// reads back as the same move (the writer names origins by file only).
struct GameMaker {
    std::mt19937 rng{2024};
    bool Extend(std::vector<Move>* moves, size_t nPlies) {
        Position p = FromFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
        for (size_t i = 0; i < nPlies; i++) {
            if (i >= moves->size()) {
                Move all[kMaxMoves];
                const int n = GenerateCaptures(&p, all);
                const int total = n + GenerateQuiets(&p, all + n, kMaxMoves - n);
                if (total == 0) return false;
                Move chosen = 0;
                for (int tries = 0; tries < 64 && !chosen; tries++) {
                    const Move m = all[rng() % unsigned(total)];
                    Move back = 0;
                    if (IsLegalMove(&p, m) && ParseSan(&p, MoveToSan(&p, m).c_str(), &back) && back == m)
                        chosen = m;
                }
                if (!chosen) return false;
                moves->push_back(chosen);
            }
            Position next;
            MakeMove((*moves)[i], &p, &next, 0, -1);
            p = next;
        }
        return true;
    }
};

// Keys of the positions a drawn game puts in the book: those before each of its first 20 plies.
std::vector<uint64_t> BookKeys(const std::vector<Move>& moves) {
    std::vector<uint64_t> keys;
    Position p = FromFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    for (int i = 0; i < kBookGamePlies; i++) {
        keys.push_back(p.nHashKey);
        Position next;
        MakeMove(moves[size_t(i)], &p, &next, 0, -1);
        p = next;
    }
    return keys;
}

TEST_F(CreateBookTest, FiltersResultsAndProgressDots) {
    GameMaker maker;
    std::vector<Move> game;
    ASSERT_TRUE(maker.Extend(&game, 21));
    const std::vector<Move> twenty(game.begin(), game.begin() + 20);

    // Ratings below 2500 on either side: a valid book without positions.
    {
        bool bOk = false;
        const std::string pgn =
            WritePgn("low.pgn", GameText(game, "1-0", 2499) + GameText(game, "1-0", 2400));
        const std::string out = Run(pgn, book, &bOk);
        EXPECT_TRUE(bOk);
        EXPECT_EQ(out, "Parsing " + pgn +
                           " ...\nParsed 2 games, processed 0 games and stored 0 positions\n"
                           "Sorting positions...\nWriting to file...\nCompleted book creation.\n");
        std::vector<uint8_t> empty(kBookMagic, kBookMagic + 23);
        empty.insert(empty.end(), {2, 0, 0, 0, 0});
        EXPECT_EQ(FileBytes(book), empty);
    }
    // Exactly 20 plies is too short; each result keeps the moves of the sides that did not lose.
    struct Case {
        const char* result;
        size_t nPositions;
    };
    for (const Case& c : {Case{"1-0", 10}, Case{"0-1", 10}, Case{"1/2-1/2", 20}, Case{"*", 20}}) {
        const std::string pgn = WritePgn("r.pgn", GameText(twenty, c.result) + GameText(game, c.result));
        Run(pgn, book);
        const std::vector<uint8_t> bytes = FileBytes(book);
        ASSERT_GE(bytes.size(), 28u);
        EXPECT_EQ(LoadLe32(bytes.data() + 24), c.nPositions) << c.result;
        // Every record holds the one move of that game.
        EXPECT_EQ(bytes.size(), 28 + c.nPositions * (12 + 5)) << c.result;
        const std::vector<uint64_t> keys = BookKeys(game);
        const int firstPly = std::string(c.result) == "0-1" ? 1 : 0;
        const int step = c.nPositions == 10 ? 2 : 1;
        std::set<uint64_t> expected, got;
        for (int ply = firstPly; ply < 20; ply += step) expected.insert(keys[size_t(ply)]);
        for (size_t i = 0; i < c.nPositions; i++) got.insert(LoadLe64(bytes.data() + 28 + 12 * i));
        EXPECT_EQ(got, expected) << c.result;
    }
    // A game without a Result tag is a black win.
    {
        std::string text = GameText(game, "*");
        text.erase(text.find("[Result"), text.find("[WhiteElo") - text.find("[Result"));
        Run(WritePgn("nores.pgn", text), book);
        EXPECT_EQ(LoadLe32(FileBytes(book).data() + 24), 10u);
    }
    // A dot before the 1st, 101st and 201st game used; skipped games do not count.
    {
        std::string text;
        for (int i = 0; i < 201; i++) text += GameText(game, "1-0") + GameText(twenty, "1-0");
        const std::string pgn = WritePgn("dots.pgn", text);
        const std::string expected = "Parsing " + pgn + " ......\nParsed 402 games, processed 201 games and";
        EXPECT_EQ(Run(pgn, book).substr(0, expected.size()), expected);
    }
}

TEST_F(CreateBookTest, ThirtiethMoveOfAPositionStopsTheRun) {
    // A branch position with at least 30 legal moves, reached by every game.
    GameMaker maker;
    std::vector<Move> prefix;
    Position branch{};
    bool bFound = false;
    for (int attempt = 0; attempt < 100 && !bFound; attempt++) {
        prefix.clear();
        ASSERT_TRUE(maker.Extend(&prefix, 8));
        Position p = FromFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
        for (Move m : prefix) {
            Position next;
            MakeMove(m, &p, &next, 0, -1);
            p = next;
        }
        std::vector<Move> legal = LegalOnly(p, AllMoves(p));
        int nReadable = 0;
        for (Move m : legal) {
            Move back = 0;
            nReadable += ParseSan(&p, MoveToSan(&p, m).c_str(), &back) && back == m;
        }
        if (nReadable >= 30) {
            branch = p;
            bFound = true;
        }
    }
    ASSERT_TRUE(bFound);
    std::vector<Move> branchMoves;
    for (Move m : LegalOnly(branch, AllMoves(branch))) {
        Move back = 0;
        if (ParseSan(&branch, MoveToSan(&branch, m).c_str(), &back) && back == m) branchMoves.push_back(m);
    }
    ASSERT_GE(branchMoves.size(), 30u);

    std::string text;
    for (int i = 0; i < 30; i++) {
        std::vector<Move> game = prefix;
        game.push_back(branchMoves[size_t(i)]);
        ASSERT_TRUE(maker.Extend(&game, 21));
        text += GameText(game, "1/2-1/2");
        if (i == 28) {
            // 29 moves: the limit itself is fine, in first-seen order.
            bool bOk = false;
            Run(WritePgn("29.pgn", text), book, &bOk);
            ASSERT_TRUE(bOk);
            bOwnBook = true;
            ::testing::internal::CaptureStdout();
            ASSERT_TRUE(LoadBookFile(book.c_str()));
            ::testing::internal::GetCapturedStdout();
            const auto it = std::find_if(aBookIndex.begin(), aBookIndex.end(),
                                         [&](const BookEntry& e) { return e.nKey == branch.nHashKey; });
            ASSERT_NE(it, aBookIndex.end());
            const std::vector<uint8_t> bytes = FileBytes(book);
            ASSERT_EQ(bytes[it->nOffset], 29);
            for (int k = 0; k < 29; k++)
                EXPECT_EQ(LoadLe32(bytes.data() + it->nOffset + 1 + 4 * k), branchMoves[size_t(k)]);
        }
    }
    const std::vector<uint8_t> before = FileBytes(book);
    const std::string pgn = WritePgn("30.pgn", text);
    bool bOk = true;
    const std::string out = Run(pgn, book, &bOk);
    EXPECT_FALSE(bOk);
    EXPECT_EQ(out, "Parsing " + pgn + " ....ERROR tPositions[j].nNumMoves is over limit (30)\n");
    EXPECT_EQ(FileBytes(book), before) << "the book from the earlier run is left as it was";
    EXPECT_EQ(OtherFiles(), std::vector<std::string>{"out.book"}) << "no temporary file left";
}

TEST_F(CreateBookTest, ThreeHundredThousandthPositionStopsTheRun) {
    // Drawn games, each copying the start of the one before and then going its own way, so that
    // exactly the wanted number of new positions is added: 299999 in all, the most allowed.
    GameMaker maker;
    std::set<uint64_t> keys;
    std::vector<Move> previous;
    std::string text;
    const size_t kMost = size_t(kBookMaxPositions);
    while (keys.size() < kMost) {
        const size_t nRemaining = kMost - keys.size();
        const size_t nShared = previous.empty() ? 0 : (nRemaining >= 19 ? 0 : 19 - nRemaining);
        std::vector<Move> game(previous.begin(), previous.begin() + long(nShared));
        if (!maker.Extend(&game, 21)) continue;
        size_t nNew = 0;
        for (uint64_t k : BookKeys(game)) nNew += !keys.count(k);
        if (keys.size() + nNew > kMost) continue;
        for (uint64_t k : BookKeys(game)) keys.insert(k);
        text += GameText(game, "1/2-1/2");
        previous = game;
    }
    ASSERT_EQ(keys.size(), kMost);

    const std::string full = WritePgn("full.pgn", text);
    bool bOk = false;
    std::string out = Run(full, book, &bOk);
    ASSERT_TRUE(bOk) << out.substr(out.size() > 300 ? out.size() - 300 : 0);
    EXPECT_NE(out.find("games and stored 299999 positions\n"), std::string::npos);
    const std::vector<uint8_t> bytes = FileBytes(book);
    ASSERT_GE(bytes.size(), 28u);
    EXPECT_EQ(LoadLe32(bytes.data() + 24), 299999u);

    // One more new position is one too many.
    std::vector<Move> last;
    do {
        last.clear();
        ASSERT_TRUE(maker.Extend(&last, 21));
    } while ([&] {
        for (uint64_t k : BookKeys(last))
            if (!keys.count(k)) return false;
        return true;
    }());
    const std::string over = WritePgn("over.pgn", text + GameText(last, "1/2-1/2"));
    out = Run(over, book, &bOk);
    EXPECT_FALSE(bOk);
    const std::string tail = "ERROR book.nNumPositions is over limit (300000)\n";
    ASSERT_GE(out.size(), tail.size());
    EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
    EXPECT_EQ(out.find("Parsed"), std::string::npos) << "the run stops at once";
    EXPECT_EQ(FileBytes(book), bytes) << "the existing book is left as it was";
    EXPECT_EQ(OtherFiles(), std::vector<std::string>{"out.book"});
}

TEST_F(CreateBookTest, FilesThatCannotBeOpenedOrCreated) {
    bool bOk = true;
    const std::string missing = (dir / "missing.pgn").string();
    EXPECT_EQ(Run(missing, book, &bOk), "Cannot open PGN file " + missing + "\n");
    EXPECT_FALSE(bOk);
    EXPECT_FALSE(fs::exists(book));

    const std::string pgn = std::string(QM_SOURCE_DIR) + "/tests/data/book_golden.pgn";
    const std::string nowhere = (dir / "no_such_dir" / "out.book").string();
    EXPECT_EQ(Run(pgn, nowhere, &bOk), "Cannot create book file " + nowhere + "\n");
    EXPECT_FALSE(bOk);

    // A directory given as the PGN file opens but cannot be read.
    EXPECT_EQ(Run(dir.string(), book, &bOk),
              "Parsing " + dir.string() + " ...\nCannot read PGN file " + dir.string() + "\n");
    EXPECT_FALSE(bOk);
    EXPECT_FALSE(fs::exists(book));

    // A directory where the book should go: the file is written but cannot take its name.
    fs::create_directories(dir / "taken.book");
    const std::string taken = (dir / "taken.book").string();
    const std::string out = Run(pgn, taken, &bOk);
    EXPECT_FALSE(bOk);
    EXPECT_NE(out.find("Cannot write book file " + taken + "\n"), std::string::npos) << out;
    EXPECT_TRUE(fs::is_directory(dir / "taken.book"));
    EXPECT_EQ(OtherFiles(), std::vector<std::string>{"taken.book"});
}

TEST_F(CreateBookTest, MasterCollectionBookLoadsAndAnswers) {
    const std::string pgn = std::string(QM_DATA_DIR) + "/pgn/master/Carlsen.pgn";
    const std::string out = Run(pgn, book);
    EXPECT_EQ(out, "Parsing " + pgn + " " + std::string(3 + 25, '.') +
                       "\nParsed 2851 games, processed 2402 games and stored 14307 positions\n"
                       "Sorting positions...\nWriting to file...\nCompleted book creation.\n");
    bOwnBook = true;
    ::testing::internal::CaptureStdout();
    ASSERT_TRUE(LoadBookFile(book.c_str()));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Successfully loaded opening book file (" + book + ")\n");
    EXPECT_EQ(nBookPositions, 14307);

    // Every record's moves are legal in its position: replay the games the builder used and
    // check each position the book knows.
    const Position start = FromFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    const Move first = ProbeBook(&start);
    EXPECT_TRUE(IsGeneratedMove(&start, first)) << MoveToCoord(first);
    const std::vector<uint8_t> bytes = FileBytes(book);
    FILE* f = fopen(pgn.c_str(), "r");
    ASSERT_NE(f, nullptr);
    auto game = std::make_unique<PgnGame>();
    std::set<uint64_t> checked;
    while (ReadPgnGame(f, game.get())) {
        if (game->nNumPlies <= 20 || game->nWhiteElo < 2500 || game->nBlackElo < 2500) continue;
        Position p = start;
        for (int ply = 0; ply < 20; ply++) {
            const auto it = std::lower_bound(aBookIndex.begin(), aBookIndex.end(), p.nHashKey,
                                             [](const BookEntry& e, uint64_t k) { return e.nKey < k; });
            if (it != aBookIndex.end() && it->nKey == p.nHashKey && checked.insert(p.nHashKey).second) {
                const int n = bytes[it->nOffset];
                ASSERT_GE(n, 1);
                for (int k = 0; k < n; k++)
                    ASSERT_TRUE(IsGeneratedMove(&p, LoadLe32(bytes.data() + it->nOffset + 1 + 4 * k)));
            }
            Position next;
            MakeMove(game->anMoves[ply], &p, &next, 0, -1);
            p = next;
        }
    }
    fclose(f);
    EXPECT_EQ(checked.size(), 14307u) << "every position of the book is one the games reach";
}

}  // namespace
