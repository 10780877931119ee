// Reading EPD records: positions, expected moves, identifiers, odd and hostile files.
#include "tools/epd.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "board/board_test_util.h"

namespace {

struct TempEpd {
    std::string sPath;
    explicit TempEpd(const std::string& content) {
        char name[] = "/tmp/qm_epd_XXXXXX";
        int fd = mkstemp(name);
        EXPECT_GE(fd, 0);
        FILE* f = fdopen(fd, "w");
        fwrite(content.data(), 1, content.size(), f);
        fclose(f);
        sPath = name;
    }
    ~TempEpd() { unlink(sPath.c_str()); }
};

struct Record {
    bool bRead;
    int nStatus;
    Position pos;
    std::string sMoves, sId;
};

Record Read(const std::string& path, int nIndex) {
    EnsureTables();
    Record r{};
    char szMoves[kEpdTextSize], szId[kEpdTextSize];
    memset(szMoves, 'x', sizeof szMoves);
    memset(szId, 'x', sizeof szId);
    r.bRead = ReadEpdRecord(path.c_str(), &r.pos, szMoves, nIndex, szId, &r.nStatus);
    EXPECT_LT(strlen(szMoves), size_t(kEpdTextSize));
    EXPECT_LT(strlen(szId), size_t(kEpdTextSize));
    r.sMoves = szMoves;
    r.sId = szId;
    return r;
}

const std::string kData = QM_DATA_DIR;

TEST(EpdRecord, IdentifiersLoseTheirQuotesOnlyWhenTheyHaveThem) {
    Record bare = Read(kData + "/epd/wac.epd", 0);
    ASSERT_TRUE(bare.bRead);
    EXPECT_EQ(bare.nStatus, EPD_OK);
    EXPECT_EQ(bare.sMoves, "Qg6");
    EXPECT_EQ(bare.sId, "WAC.001");
    EXPECT_EQ(FenOf(bare.pos).rfind("2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - ", 0), 0u);

    Record quoted = Read(kData + "/epd/wac-quoted-ids.epd", 1);
    ASSERT_TRUE(quoted.bRead);
    EXPECT_EQ(quoted.sMoves, "Rxb2");
    EXPECT_EQ(quoted.sId, "WAC.002");
    EXPECT_EQ(quoted.pos.bSideToMove, BLACK);

    TempEpd noSemicolon("8/8/8/8/8/8/8/K6k w - - bm Kb2; id \"quoted\"\n");
    EXPECT_EQ(Read(noSemicolon.sPath, 0).sId, "quoted");
}

TEST(EpdRecord, WalksEveryRecordAndStopsAtTheEnd) {
    int n = 0;
    while (Read(kData + "/epd/wac.epd", n).bRead) n++;
    EXPECT_EQ(n, 300);
    Record last = Read(kData + "/epd/wac.epd", 299);
    EXPECT_EQ(last.sId, "WAC.300");
    Record past = Read(kData + "/epd/wac.epd", 300);
    EXPECT_FALSE(past.bRead);
    EXPECT_EQ(past.nStatus, EPD_END);
    EXPECT_EQ(past.sMoves, "");
    EXPECT_EQ(past.sId, "");
    EXPECT_FALSE(Read(kData + "/epd/wac.epd", -1).bRead);
    EXPECT_FALSE(Read("/nonexistent/file.epd", 0).bRead);
}

TEST(EpdRecord, LastLineWithoutNewlineAndCommentOperations) {
    // The STS file carries c0..c9 operations after the id and ends without a newline.
    Record first = Read(kData + "/epd/STS1-STS15_LAN_v3.epd", 0);
    ASSERT_TRUE(first.bRead);
    EXPECT_EQ(first.sMoves, "f5");
    // Identifiers are one word: of "STS(v1.0) Undermine.001" only the first word is taken.
    EXPECT_EQ(first.sId, "STS(v1.0)");
    Record second = Read(kData + "/epd/STS1-STS15_LAN_v3.epd", 1);
    EXPECT_EQ(second.sMoves, "c5");
    Record last = Read(kData + "/epd/STS1-STS15_LAN_v3.epd", 1499);
    ASSERT_TRUE(last.bRead);
    EXPECT_EQ(last.nStatus, EPD_OK);
    EXPECT_FALSE(Read(kData + "/epd/STS1-STS15_LAN_v3.epd", 1500).bRead);
}

TEST(EpdRecord, AvoidMovesMultipleMovesAndBlankLines) {
    TempEpd f(
        "\n\n4k3/8/8/8/8/8/8/4K2R w K - am O-O Kf2;   id x7y;\n"
        "   \n"
        "4k3/8/8/8/8/8/8/4K2R b K - bm Kd7 Ke7 ; id \"two\";\r\n");
    Record a = Read(f.sPath, 0);
    EXPECT_EQ(a.sMoves, "O-O Kf2");
    EXPECT_EQ(a.sId, "x7y");
    EXPECT_EQ(a.pos.nCastling & 0x0F, CASTLE_WK);
    Record b = Read(f.sPath, 1);
    EXPECT_EQ(b.sMoves, "Kd7 Ke7");
    EXPECT_EQ(b.sId, "two");
    EXPECT_EQ(b.pos.bSideToMove, BLACK);
}

TEST(EpdRecord, RecordWithoutIdDoesNotSwallowTheNextRecord) {
    TempEpd f(
        "4k3/8/8/8/8/8/8/4K3 w - - bm Kd2;\n"
        "4k3/8/8/8/8/8/8/3K4 b - - bm Kd7; c0 \"no id here\";\n"
        "4k3/8/8/8/8/8/8/2K5 w - - bm Kc2; id last;\n");
    Record a = Read(f.sPath, 0), b = Read(f.sPath, 1), c = Read(f.sPath, 2);
    EXPECT_EQ(a.sId, "");
    EXPECT_EQ(b.sMoves, "Kd7");
    EXPECT_EQ(b.sId, "");
    EXPECT_EQ(b.pos.bSideToMove, BLACK);
    EXPECT_EQ(c.sMoves, "Kc2");
    EXPECT_EQ(c.sId, "last");
    EXPECT_FALSE(Read(f.sPath, 3).bRead);
}

TEST(EpdRecord, UnterminatedMoveListEndsTheFile) {
    TempEpd f(
        "4k3/8/8/8/8/8/8/4K3 w - - bm Kd2; id one;\n"
        "4k3/8/8/8/8/8/8/4K3 w - - bm Kd2 id two\n"
        "4k3/8/8/8/8/8/8/4K3 w - - bm Kd2; id three;\n");
    EXPECT_TRUE(Read(f.sPath, 0).bRead);
    // The second move list runs through the third record up to its "Kd2;": one record.
    Record r = Read(f.sPath, 1);
    EXPECT_TRUE(r.bRead);
    EXPECT_EQ(r.sId, "three");
    EXPECT_FALSE(Read(f.sPath, 2).bRead);
    TempEpd cut("4k3/8/8/8/8/8/8/4K3 w - - bm Kd2");
    EXPECT_FALSE(Read(cut.sPath, 0).bRead);
    TempEpd noOp("4k3/8/8/8/8/8/8/4K3 w - -\n");
    EXPECT_FALSE(Read(noOp.sPath, 0).bRead);
}

TEST(EpdRecord, OverlongTokensAndBadPositionsAreHandledSafely) {
    const std::string longWord(5000, 'Q');
    TempEpd f("4k3/8/8/8/8/8/8/4K3 w - - bm " + longWord + " " + longWord + "; id " + longWord + ";\n" +
              longWord + " w - - bm e4; id bad;\n" + "4k3/8/8/8/8/8/8/4K3 b - - bm Kd7; id ok;\n");
    Record a = Read(f.sPath, 0);
    ASSERT_TRUE(a.bRead);
    EXPECT_EQ(a.nStatus, EPD_OK);
    EXPECT_EQ(a.sMoves, std::string(kEpdTextSize - 1, 'Q'));
    EXPECT_EQ(a.sId, std::string(kEpdTextSize - 1, 'Q'));  // cut to its buffer

    // A position string the FEN reader refuses: the record still counts, the position is left
    // as it was.
    testing::internal::CaptureStdout();
    Position before = FromFen("4k3/8/8/8/8/8/8/4K3 w - - 0 1");
    char szMoves[kEpdTextSize], szId[kEpdTextSize];
    Position pos = before;
    int nStatus;
    EXPECT_TRUE(ReadEpdRecord(f.sPath.c_str(), &pos, szMoves, 1, szId, &nStatus));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(nStatus, EPD_BAD_FEN);
    EXPECT_EQ(pos.nHashKey, before.nHashKey);
    EXPECT_STREQ(szId, "bad");
    EXPECT_NE(out.find("Invalid FEN"), std::string::npos);

    Record c = Read(f.sPath, 2);
    EXPECT_EQ(c.nStatus, EPD_OK);
    EXPECT_EQ(c.sId, "ok");
}

}  // namespace
