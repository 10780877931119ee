// Training data: the record's round trip, torn tails, and the datagen command as a user runs it
// (same seed, same file; --append; a folder it cannot write; stop at the console).
#include "tools/datagen.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "board/board_test_util.h"
#include "support/engine_process.h"
#include "tools/posdata.h"

namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string TempDir() {
    char dir[] = "/tmp/qm_datagen_XXXXXX";
    EXPECT_NE(mkdtemp(dir), nullptr);
    return dir;
}

TEST(PosData, RecordRoundTripsAndTornTailsAreDropped) {
    const char* fens[] = {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
                          "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3",
                          "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 b - - 17 40"};
    const std::string dir = TempDir(), path = dir + "/d.bin";
    uint64_t nHad = 0;
    std::string err;
    FILE* f = CreatePosData(path.c_str(), false, &nHad, &err);
    ASSERT_NE(f, nullptr) << err;
    for (const char* fen : fens) {
        const Position pos = FromFen(fen);
        const PosRecord r = PackPosition(pos, -123, 2, 40);
        Position back;
        ASSERT_TRUE(UnpackPosition(r, &back)) << fen;
        EXPECT_EQ(FenOf(back).substr(0, FenOf(back).rfind(' ')), FenOf(pos).substr(0, FenOf(pos).rfind(' ')));
        EXPECT_EQ(back.nHashKey, pos.nHashKey) << fen;
        fwrite(&r, sizeof r, 1, f);
    }
    fwrite("torn", 1, 4, f);  // an interrupted write
    fclose(f);

    std::vector<PosRecord> recs;
    bool bTorn = false;
    ASSERT_TRUE(LoadPosData(path.c_str(), &recs, &bTorn, &err)) << err;
    EXPECT_EQ(recs.size(), 3u);
    EXPECT_TRUE(bTorn);
    EXPECT_EQ(recs[2].nScore, -123);
    // Appending cuts the torn part off first, so the next record lands whole.
    f = CreatePosData(path.c_str(), true, &nHad, &err);
    ASSERT_NE(f, nullptr) << err;
    EXPECT_EQ(nHad, 3u);
    fwrite(&recs[0], sizeof recs[0], 1, f);
    fclose(f);
    recs.clear();
    ASSERT_TRUE(LoadPosData(path.c_str(), &recs, &bTorn, &err));
    EXPECT_EQ(recs.size(), 4u);
    EXPECT_FALSE(bTorn);

    std::ofstream(dir + "/junk.bin") << "not a data file at all";
    EXPECT_FALSE(LoadPosData((dir + "/junk.bin").c_str(), &recs, &bTorn, &err));
    EXPECT_NE(err.find("not a QuietMarmoset data file"), std::string::npos) << err;
    std::filesystem::remove_all(dir);
}

TEST(Datagen, SameSeedSameFileAndAppendContinues) {
    const std::string dir = TempDir();
    const std::vector<std::string> args = {"datagen", dir + "/a.bin", "--positions", "150",
                                           "--nodes", "400",          "--seed",      "11"};
    const EngineRun r1 = RunEngine("", 60000 * kSlow, "", args);
    ASSERT_EQ(r1.nExitCode, 0) << r1.sOut << r1.sErr;
    EXPECT_NE(r1.sOut.find("datagen done: "), std::string::npos) << r1.sOut;
    std::filesystem::rename(dir + "/a.bin", dir + "/first.bin");
    const EngineRun r2 = RunEngine("", 60000 * kSlow, "", args);
    ASSERT_EQ(r2.nExitCode, 0);
    const std::string first = Slurp(dir + "/first.bin");
    EXPECT_EQ(first.size(), size_t(kPosDataHeaderBytes + 150 * kPosRecordBytes));
    EXPECT_EQ(first, Slurp(dir + "/a.bin"));

    std::vector<std::string> more = args;
    more.push_back("--append");
    more[3] = "50";
    const EngineRun r3 = RunEngine("", 60000 * kSlow, "", more);
    ASSERT_EQ(r3.nExitCode, 0);
    EXPECT_NE(r3.sOut.find("holds 200 positions"), std::string::npos) << r3.sOut;

    // Every record is a real position with a sane score, none in a mate range.
    std::vector<PosRecord> recs;
    bool bTorn;
    std::string err;
    ASSERT_TRUE(LoadPosData((dir + "/a.bin").c_str(), &recs, &bTorn, &err));
    for (const PosRecord& r : recs) {
        Position pos;
        ASSERT_TRUE(UnpackPosition(r, &pos));
        EXPECT_LT(std::abs(r.nScore), 20000);
        EXPECT_LE(r.nResult, 2);
    }
    std::filesystem::remove_all(dir);
}

TEST(Datagen, BadArgumentsAndUnwritableFolderAreReported) {
    const EngineRun bad = RunEngine("", 20000, "", {"datagen", "/tmp/x.bin", "--nodes", "12"});
    EXPECT_EQ(bad.nExitCode, 2);
    EXPECT_NE(bad.sErr.find("--nodes needs a number"), std::string::npos) << bad.sErr;
    const EngineRun none =
        RunEngine("", 20000, "", {"datagen", "/nonexistent/folder/x.bin", "--positions", "10"});
    EXPECT_EQ(none.nExitCode, 1);
    EXPECT_NE(none.sOut.find("cannot create /nonexistent/folder/x.bin"), std::string::npos) << none.sOut;
    const EngineRun full = RunEngine("", 20000, "", {"datagen", "/dev/full", "--positions", "10"});
    EXPECT_EQ(full.nExitCode, 1);
    EXPECT_NE(full.sOut.find("cannot write /dev/full: No space left on device"), std::string::npos) << full.sOut;
}

TEST(Datagen, ConsoleCommandStopsCleanly) {
    const std::string dir = TempDir();
    EngineSession s;
    ASSERT_TRUE(StartSession(&s));
    SendLine(&s, "datagen " + dir + "/c.bin --positions 100000000 --nodes 300 --threads 2");
    std::string line;
    ASSERT_GE(ReadLineStarting(&s, "datagen: ", 20000 * kSlow, &line), 0);
    const int64_t tStop = SendLine(&s, "stop");
    SendLine(&s, "isready");
    const int64_t tReady = ReadLineStarting(&s, "readyok", 10000 * kSlow, &line);
    ASSERT_GE(tReady, 0);
    EXPECT_LT(tReady - tStop, 3000 * kSlow);
    EXPECT_NE(s.sOut.find("datagen stopped: "), std::string::npos) << s.sOut;
    EXPECT_EQ(EndSession(&s), 0);
    // Whatever was written is whole records.
    bool bTorn = true;
    uint64_t n = 0;
    std::string err;
    FILE* f = OpenPosData((dir + "/c.bin").c_str(), &n, &bTorn, &err);
    ASSERT_NE(f, nullptr) << err;
    fclose(f);
    EXPECT_FALSE(bTorn);
    std::filesystem::remove_all(dir);
}

}  // namespace
