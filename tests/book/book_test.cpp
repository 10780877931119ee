// Opening book: files written byte by byte, loading, probing, and damaged or missing files.
#include "book/book.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "core/settings.h"
#include "movegen/movegen_test_util.h"

namespace {

const char* kStartFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

struct BookPosition {
    uint64_t nKey;
    std::vector<Move> aMoves;
};

void Put8(std::vector<uint8_t>& b, uint8_t v) {
    b.push_back(v);
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; i++) b.push_back(uint8_t(v >> (8 * i)));
}
void Put64(std::vector<uint8_t>& b, uint64_t v) {
    for (int i = 0; i < 8; i++) b.push_back(uint8_t(v >> (8 * i)));
}

// The bytes the book builder writes: header, index sorted by key, then the move records.
std::vector<uint8_t> BookBytes(std::vector<BookPosition> positions) {
    std::sort(positions.begin(), positions.end(),
              [](const BookPosition& a, const BookPosition& b) { return a.nKey < b.nKey; });
    const char* magic = "QuietMarmoset Book File";
    std::vector<uint8_t> b(magic, magic + 23);
    Put8(b, 2);
    Put32(b, uint32_t(positions.size()));
    uint32_t offset = uint32_t(28 + 12 * positions.size());
    for (const BookPosition& p : positions) {
        Put64(b, p.nKey);
        Put32(b, offset);
        offset += uint32_t(1 + 4 * p.aMoves.size());
    }
    for (const BookPosition& p : positions) {
        Put8(b, uint8_t(p.aMoves.size()));
        for (Move m : p.aMoves) Put32(b, m);
    }
    return b;
}

class BookTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureTables();
        bSavedOwnBook = bOwnBook;
        nSavedSeed = nSeed;
        bOwnBook = true;
        nSeed = 12345;
        dir = std::filesystem::path(::testing::TempDir()) /
              ("qm_book_" + std::to_string(getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
        path = (dir / "test.book").string();

        start = FromFen(kStartFen);
        e2e4 = FindMove(start, "e2e4");
        d2d4 = FindMove(start, "d2d4");
        g1f3 = FindMove(start, "g1f3");
        c2c4 = FindMove(start, "c2c4");
        MakeMove(e2e4, &start, &afterE4, 0, -1);
        e7e5 = FindMove(afterE4, "e7e5");
        c7c5 = FindMove(afterE4, "c7c5");
        e7e6 = FindMove(afterE4, "e7e6");
        ASSERT_TRUE(e2e4 && d2d4 && g1f3 && c2c4 && e7e5 && c7c5 && e7e6);
        standard = {{start.nHashKey, {e2e4, d2d4, g1f3, c2c4}}, {afterE4.nHashKey, {e7e5, c7c5, e7e6}}};
    }
    void TearDown() override {
        FreeBook();
        bOwnBook = bSavedOwnBook;
        nSeed = nSavedSeed;
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    void Write(const std::vector<uint8_t>& bytes) {
        FILE* f = fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        if (!bytes.empty()) {
            ASSERT_EQ(fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
        }
        fclose(f);
    }
    // Loads the file and returns what the loader printed.
    std::string Load(bool* pbLoaded = nullptr) {
        ::testing::internal::CaptureStdout();
        const bool bLoaded = LoadBookFile(path.c_str());
        if (pbLoaded) *pbLoaded = bLoaded;
        return ::testing::internal::GetCapturedStdout();
    }
    Move Probe(const Position& p, std::string* out = nullptr) {
        ::testing::internal::CaptureStdout();
        const Move m = ProbeBook(&p);
        const std::string text = ::testing::internal::GetCapturedStdout();
        if (out) *out = text;
        return m;
    }
    std::string Invalid() const { return "Invalid opening book file found (" + path + ")\n"; }
    // Loads a damaged file and checks the book is off with no index left.
    void ExpectRejected(const std::vector<uint8_t>& bytes, const char* what) {
        SCOPED_TRACE(what);
        bOwnBook = true;
        Write(bytes);
        bool bLoaded = true;
        EXPECT_EQ(Load(&bLoaded), Invalid());
        EXPECT_FALSE(bLoaded);
        EXPECT_FALSE(bOwnBook);
        EXPECT_EQ(nBookPositions, 0);
        bOwnBook = true;  // even switched back on, nothing is left to probe
        EXPECT_EQ(Probe(start), 0u);
    }

    bool bSavedOwnBook = true;
    int nSavedSeed = 0;
    std::filesystem::path dir;
    std::string path;
    Position start{}, afterE4{};
    Move e2e4 = 0, d2d4 = 0, g1f3 = 0, c2c4 = 0, e7e5 = 0, c7c5 = 0, e7e6 = 0;
    std::vector<BookPosition> standard;
};

TEST(BookFormat, LittleEndianFieldsAndGenerator) {
    uint8_t b[8];
    StoreLe32(b, 0x11223344u);
    EXPECT_EQ(b[0], 0x44);
    EXPECT_EQ(b[3], 0x11);
    EXPECT_EQ(LoadLe32(b), 0x11223344u);
    StoreLe64(b, 0x0102030405060708ull);
    EXPECT_EQ(b[0], 0x08);
    EXPECT_EQ(b[7], 0x01);
    EXPECT_EQ(LoadLe64(b), 0x0102030405060708ull);
    // splitmix64's published first outputs: the choice must not depend on the platform.
    EXPECT_EQ(BookRandom(0), 0xE220A8397B1DCDAFull);
    EXPECT_EQ(BookRandom(-1), BookRandom(int(0xFFFFFFFFu)));
    EXPECT_NE(BookRandom(-1), BookRandom(1));
}

TEST_F(BookTest, LoadsHandWrittenFileAndAnswersFromIt) {
    const std::vector<uint8_t> bytes = BookBytes(standard);
    ASSERT_EQ(bytes.size(), 28u + 2 * 12 + (1 + 16) + (1 + 12));
    Write(bytes);
    bool bLoaded = false;
    EXPECT_EQ(Load(&bLoaded), "Successfully loaded opening book file (" + path + ")\n");
    EXPECT_TRUE(bLoaded);
    EXPECT_TRUE(bOwnBook);
    ASSERT_EQ(nBookPositions, 2);
    EXPECT_LT(aBookIndex[0].nKey, aBookIndex[1].nKey);
    EXPECT_EQ(aBookIndex[0].nOffset, 28u + 24u);

    std::string out;
    const Move m1 = Probe(start, &out);
    EXPECT_EQ(out, "");
    EXPECT_TRUE(m1 == e2e4 || m1 == d2d4 || m1 == g1f3 || m1 == c2c4) << MoveToCoord(m1);
    const Move m2 = Probe(afterE4);
    EXPECT_TRUE(m2 == e7e5 || m2 == c7c5 || m2 == e7e6) << MoveToCoord(m2);
    // The pick is entry BookRandom(nSeed) mod n of the record.
    EXPECT_EQ(m1, standard[0].aMoves[BookRandom(nSeed) % 4]);
    EXPECT_EQ(m2, standard[1].aMoves[BookRandom(nSeed) % 3]);

    // Positions not in the book: no move, no message, the book stays on.
    const Position afterD4Nf6 = FromFen("rnbqkb1r/pppppppp/5n2/8/3P4/8/PPP1PPPP/RNBQKBNR w KQkq - 1 2");
    EXPECT_EQ(Probe(afterD4Nf6, &out), 0u);
    EXPECT_EQ(out, "");
    // Same placement with another half-move clock has another key.
    const Position startClock3 = FromFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 3 1");
    EXPECT_EQ(Probe(startClock3), 0u);
    EXPECT_TRUE(bOwnBook);
}

TEST_F(BookTest, KeysBelowAboveAndBetweenIndexKeysAreMisses) {
    const uint64_t k = start.nHashKey;
    ASSERT_GT(k, 1u);
    ASSERT_LT(k, ~0ull - 1);
    Write(BookBytes({{k - 1, {e2e4}}, {k + 1, {d2d4}}}));
    Load();
    ASSERT_EQ(nBookPositions, 2);
    Position p = start;
    for (uint64_t key : {uint64_t(0), k, ~uint64_t(0)}) {
        p.nHashKey = key;
        EXPECT_EQ(Probe(p), 0u) << key;
    }
    p.nHashKey = k - 1;  // the stored move is legal in this placement
    EXPECT_EQ(Probe(p), e2e4);
    p.nHashKey = k + 1;
    EXPECT_EQ(Probe(p), d2d4);
}

TEST_F(BookTest, EmptyBookLoadsAndKnowsNothing) {
    Write(BookBytes({}));
    bool bLoaded = false;
    Load(&bLoaded);
    EXPECT_TRUE(bLoaded);
    EXPECT_EQ(nBookPositions, 0);
    EXPECT_EQ(Probe(start), 0u);
    EXPECT_TRUE(bOwnBook);
}

TEST_F(BookTest, HeaderTextIsNotCompared) {
    std::vector<uint8_t> bytes = BookBytes(standard);
    std::fill(bytes.begin(), bytes.begin() + 23, uint8_t('x'));
    Write(bytes);
    bool bLoaded = false;
    Load(&bLoaded);
    EXPECT_TRUE(bLoaded);
    EXPECT_NE(Probe(start), 0u);
}

TEST_F(BookTest, ChoiceIsDeterministicPerSeedAndUniformOverSeeds) {
    Write(BookBytes(standard));
    Load();
    nSeed = 777;
    const Move first = Probe(afterE4);
    for (int i = 0; i < 5; i++) EXPECT_EQ(Probe(afterE4), first);
    // A new game reloads the book; the same seed gives the same move again.
    Load();
    EXPECT_EQ(Probe(afterE4), first);

    // No weights in the file: over many seeds every stored move comes up about equally often.
    std::map<Move, int> startCounts, e4Counts;
    const int kSeeds = 3000;
    for (int s = 0; s < kSeeds; s++) {
        nSeed = s;
        startCounts[Probe(start)]++;
        e4Counts[Probe(afterE4)]++;
    }
    ASSERT_EQ(startCounts.size(), 4u);
    ASSERT_EQ(e4Counts.size(), 3u);
    for (Move m : {e2e4, d2d4, g1f3, c2c4}) EXPECT_NEAR(startCounts[m], kSeeds / 4, 120) << MoveToCoord(m);
    for (Move m : {e7e5, c7c5, e7e6}) EXPECT_NEAR(e4Counts[m], kSeeds / 3, 130) << MoveToCoord(m);
}

TEST_F(BookTest, SingleMoveRecordAlwaysGivesThatMove) {
    Write(BookBytes({{start.nHashKey, {g1f3}}}));
    Load();
    for (int s : {0, 1, 2, 3, -5, 1000000}) {
        nSeed = s;
        EXPECT_EQ(Probe(start), g1f3);
    }
}

TEST_F(BookTest, MovesThatAreNotLegalHereAreSkipped) {
    // The bishop on e2 is pinned by the rook on e8: Be2-d3 is generated but illegal.
    const Position pinned = FromFen("4r1k1/8/8/8/8/8/4B3/4K3 w - - 0 1");
    const Move pinnedBishop = FindMove(pinned, "e2d3");
    const Move kingStep = FindMove(pinned, "e1d1");
    ASSERT_TRUE(pinnedBishop && kingStep);
    const Move garbage = BuildMove(Sq("a1"), Sq("a8"), KIND_NORMAL, NONE, ROOK, NONE);  // no rook there
    Write(BookBytes({{pinned.nHashKey, {0, garbage, pinnedBishop, kingStep}},
                     {start.nHashKey, {e7e5, garbage}}}));  // a key collision: nothing fits
    Load();
    for (int s = 0; s < 16; s++) {
        nSeed = s;
        EXPECT_EQ(Probe(pinned), kingStep) << s;
        EXPECT_EQ(Probe(start), 0u) << s;
    }
    EXPECT_TRUE(bOwnBook);  // a collision is not a damaged file
}

TEST_F(BookTest, DamagedIndexIsRejectedAtLoad) {
    ExpectRejected({}, "empty file");
    const std::vector<uint8_t> good = BookBytes(standard);
    ExpectRejected(std::vector<uint8_t>(good.begin(), good.begin() + 20), "cut inside the header");
    ExpectRejected(std::vector<uint8_t>(good.begin(), good.begin() + 28 + 18), "cut inside the index");

    std::vector<uint8_t> bad = good;
    bad[23] = 1;
    ExpectRejected(bad, "version 1");

    bad = good;
    StoreLe32(&bad[24], 3);  // a third index entry would overlap the records and beyond
    ExpectRejected(bad, "count larger than the file allows");
    bad = good;
    StoreLe32(&bad[24], 0xFFFFFFFFu);
    ExpectRejected(bad, "count 2^32 - 1");

    bad = good;
    StoreLe32(&bad[28 + 8], uint32_t(good.size()));
    ExpectRejected(bad, "offset at the end of the file");
    bad = good;
    StoreLe32(&bad[28 + 12 + 8], 0xFFFFFFF0u);
    ExpectRejected(bad, "offset far past the end");
    bad = good;
    StoreLe32(&bad[28 + 8], 10);
    ExpectRejected(bad, "offset inside the header");

    // Keys out of order would hide entries from the binary search.
    std::vector<uint8_t> swapped = good;
    std::swap_ranges(swapped.begin() + 28, swapped.begin() + 28 + 8, swapped.begin() + 40);
    ExpectRejected(swapped, "descending keys");
    std::vector<uint8_t> twice = good;
    std::copy(twice.begin() + 28, twice.begin() + 36, twice.begin() + 40);
    ExpectRejected(twice, "duplicate keys");
}

TEST_F(BookTest, RejectedLoadDropsThePreviousBook) {
    Write(BookBytes(standard));
    Load();
    ASSERT_EQ(nBookPositions, 2);
    ExpectRejected({'x'}, "one byte");
}

TEST_F(BookTest, DamagedMoveRecordsAreRejectedAtProbe) {
    // Records: start position (4 moves) and after 1.e4 (3 moves), in key order.
    const bool bStartFirst = start.nHashKey < afterE4.nHashKey;
    const std::vector<uint8_t> good = BookBytes(standard);
    const size_t nStartCount = bStartFirst ? 52 : 52 + 13;

    struct Case {
        const char* what;
        size_t nByte;
        uint8_t value;
    };
    for (const Case& c : {Case{"count 0", nStartCount, 0}, Case{"count 30", nStartCount, 30},
                          Case{"count 255", nStartCount, 255}, Case{"count past the end", nStartCount, 29}}) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bad = good;
        bad[c.nByte] = c.value;
        bOwnBook = true;
        Write(bad);
        Load();
        ASSERT_TRUE(bOwnBook);
        std::string out;
        EXPECT_EQ(Probe(start, &out), 0u);
        EXPECT_EQ(out, Invalid());
        EXPECT_FALSE(bOwnBook);
        EXPECT_EQ(Probe(afterE4), 0u);  // the book stays off
    }

    // The last record cut short: the index still fits, the moves do not.
    SCOPED_TRACE("truncated last record");
    bOwnBook = true;
    Write(std::vector<uint8_t>(good.begin(), good.end() - 2));
    Load();
    ASSERT_TRUE(bOwnBook);
    const Position& last = bStartFirst ? afterE4 : start;
    const Position& other = bStartFirst ? start : afterE4;
    EXPECT_NE(Probe(other), 0u);
    std::string out;
    EXPECT_EQ(Probe(last, &out), 0u);
    EXPECT_EQ(out, Invalid());
    EXPECT_FALSE(bOwnBook);
}

TEST_F(BookTest, MissingFileAtLoadAndAtProbe) {
    bool bLoaded = true;
    EXPECT_EQ(Load(&bLoaded), "Cannot find opening book file to load (" + path + ")\n");
    EXPECT_FALSE(bLoaded);
    EXPECT_FALSE(bOwnBook);

    // Removed after a good load: the probe warns and switches the book off.
    bOwnBook = true;
    Write(BookBytes(standard));
    Load();
    ASSERT_TRUE(bOwnBook);
    std::filesystem::remove(path);
    std::string out;
    EXPECT_EQ(Probe(start, &out), 0u);
    EXPECT_EQ(out, "WARNING Cannot find book file " + path + "\n");
    EXPECT_FALSE(bOwnBook);
}

TEST_F(BookTest, BookSwitchedOffDoesNothing) {
    Write(BookBytes(standard));
    Load();
    ASSERT_EQ(nBookPositions, 2);
    bOwnBook = false;
    EXPECT_EQ(Probe(start), 0u);
    std::filesystem::remove(path);
    bool bLoaded = true;
    EXPECT_EQ(Load(&bLoaded), "");
    EXPECT_FALSE(bLoaded);
}

TEST_F(BookTest, DefaultFileInWorkingDirectoryThenBesideTheProgram) {
    const std::filesystem::path saved = std::filesystem::current_path();
    const std::filesystem::path exeDir = dir / "bin";
    std::filesystem::create_directories(exeDir);
    std::filesystem::current_path(dir);
    EXPECT_EQ(FindBookFile(exeDir.string()), kBookFileName) << "neither: the plain name";
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(LoadBookFile(FindBookFile(exeDir.string()).c_str()));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Cannot find opening book file to load (QuietMarmoset.book)\n");

    // Beside the program only: found there, under its full name.
    path = (exeDir / kBookFileName).string();
    Write(BookBytes(standard));
    EXPECT_EQ(FindBookFile(exeDir.string()), path);
    EXPECT_EQ(FindBookFile(""), kBookFileName);

    // In the working directory too: that one wins.
    bOwnBook = true;
    path = (dir / kBookFileName).string();
    Write(BookBytes(standard));
    EXPECT_EQ(FindBookFile(exeDir.string()), kBookFileName);
    ::testing::internal::CaptureStdout();
    EXPECT_TRUE(LoadBookFile(FindBookFile(exeDir.string()).c_str()));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Successfully loaded opening book file (QuietMarmoset.book)\n");
    EXPECT_NE(Probe(afterE4), 0u);
    std::filesystem::current_path(saved);
}

}  // namespace

// Damaged books: random bytes, and a valid book with random bytes changed, are either refused or
// answer only legal moves; no load or probe may crash or read outside the file.
TEST_F(BookTest, RandomAndMutatedFilesAreRefusedOrSafe) {
    std::mt19937 rng(7);
    const std::vector<uint8_t> good = BookBytes(standard);
    for (int i = 0; i < 300; ++i) {
        std::vector<uint8_t> bytes;
        if (i % 3 == 0) {
            bytes.resize(rng() % 200);
            for (uint8_t& b : bytes) b = uint8_t(rng());
        } else {
            bytes = good;
            for (int k = 1 + int(rng() % 4); k > 0; --k) bytes[rng() % bytes.size()] = uint8_t(rng());
            if (i % 3 == 2) bytes.resize(rng() % bytes.size());
        }
        Write(bytes);
        bOwnBook = true;
        Load();
        for (const Position* p : {&start, &afterE4}) {
            const Move m = Probe(*p);
            if (m) {
                EXPECT_TRUE(IsGeneratedMove(p, m) && IsLegalMove(p, m)) << "file " << i;
            }
        }
    }
}
