#include "tools/posdata.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

bool Fail(std::string* pErr, const std::string& s) {
    if (pErr) *pErr = s;
    return false;
}

// Checks the header of an open file and counts its whole records.
bool CheckHeader(FILE* f, const char* szPath, uint64_t* pnRecords, bool* pbTorn, std::string* pErr) {
    uint8_t h[kPosDataHeaderBytes];
    if (fread(h, 1, sizeof h, f) != sizeof h)
        return Fail(pErr, std::string(szPath) + ": too short for a data file");
    uint8_t want[kPosDataHeaderBytes];
    WritePosDataHeader(want);
    if (memcmp(h, want, 8) != 0) return Fail(pErr, std::string(szPath) + ": not a QuietMarmoset data file");
    if (memcmp(h + 8, want + 8, 8) != 0)
        return Fail(pErr, std::string(szPath) + ": another format version or record size");
    struct stat st;
    if (fstat(fileno(f), &st) != 0) return Fail(pErr, std::string(szPath) + ": " + strerror(errno));
    const uint64_t nBody = uint64_t(st.st_size) - kPosDataHeaderBytes;
    *pnRecords = nBody / kPosRecordBytes;
    *pbTorn = nBody % kPosRecordBytes != 0;
    return true;
}

}  // namespace

void WritePosDataHeader(uint8_t* a) {
    memcpy(a, kPosDataMagic, 8);
    for (int i = 0; i < 4; i++) a[8 + i] = uint8_t(kPosDataVersion >> (8 * i));
    for (int i = 0; i < 4; i++) a[12 + i] = uint8_t(uint32_t(kPosRecordBytes) >> (8 * i));
}

PosRecord PackPosition(const Position& pos, int nScore, int nResult, int nFullMove) {
    PosRecord r{};
    int n = 0;
    for (int s = 0; s < 64; s++) {
        const int code = pos.aBoard[s ^ 7];
        if (!code || n >= 32) continue;
        r.nOccupancy |= uint64_t(1) << s;
        const int nibble = CodeColour(code) * 8 + CodeType(code);
        r.anPieces[n / 2] |= uint8_t(nibble << (4 * (n & 1)));
        n++;
    }
    r.nScore = int16_t(std::clamp(nScore, -32000, 32000));
    r.nResult = uint8_t(nResult);
    r.nFlags = uint8_t(pos.bSideToMove | (pos.nCastling & 15) << 1);
    r.nEpSquare = uint8_t(pos.nEpSquare >= 0 && pos.nEpSquare < 64 ? pos.nEpSquare ^ 7 : 64);
    r.nFifty = pos.nFifty;
    r.nFullMove = uint16_t(std::clamp(nFullMove, 0, 65535));
    return r;
}

int RecordPieces(const PosRecord& r, PackedPiece* aOut) {
    int n = 0;
    uint64_t occ = r.nOccupancy;
    while (occ && n < 32) {
        const int s = std::countr_zero(occ);
        occ &= occ - 1;
        const int nibble = (r.anPieces[n / 2] >> (4 * (n & 1))) & 15;
        aOut[n++] = {uint8_t(nibble >> 3), uint8_t(nibble & 7), uint8_t(s)};
    }
    return n;
}

bool UnpackPosition(const PosRecord& r, Position* pos) {
    if (std::popcount(r.nOccupancy) > 32 || r.nResult > 2 || r.nEpSquare > 64) return false;
    // Through a FEN, so that the record meets the same checks (kings, pawns, castling rights,
    // en passant) as any other position the engine is given.
    PackedPiece a[32];
    const int n = RecordPieces(r, a);
    char board[64];
    memset(board, 0, sizeof board);
    for (int i = 0; i < n; i++) {
        if (a[i].nType < PAWN || a[i].nType > KING) return false;
        board[a[i].nSquare] = "pnbrqk"[a[i].nType - 1];
        if (a[i].nColour == WHITE) board[a[i].nSquare] = char(board[a[i].nSquare] - 'a' + 'A');
    }
    std::string fen;
    for (int rank = 7; rank >= 0; rank--) {
        int nEmpty = 0;
        for (int file = 0; file < 8; file++) {
            const char c = board[rank * 8 + file];
            if (!c) {
                nEmpty++;
                continue;
            }
            if (nEmpty) fen += char('0' + nEmpty), nEmpty = 0;
            fen += c;
        }
        if (nEmpty) fen += char('0' + nEmpty);
        if (rank) fen += '/';
    }
    fen += (r.nFlags & 1) ? " b " : " w ";
    const int nRights = (r.nFlags >> 1) & 15;
    if (!nRights) fen += '-';
    if (nRights & CASTLE_WK) fen += 'K';
    if (nRights & CASTLE_WQ) fen += 'Q';
    if (nRights & CASTLE_BK) fen += 'k';
    if (nRights & CASTLE_BQ) fen += 'q';
    fen += ' ';
    if (r.nEpSquare == 64) {
        fen += '-';
    } else {
        fen += char('a' + (r.nEpSquare & 7));
        fen += char('1' + (r.nEpSquare >> 3));
    }
    char tail[32];
    snprintf(tail, sizeof tail, " %d %d", r.nFifty, std::max<int>(1, r.nFullMove));
    fen += tail;
    static thread_local GameState g;
    return ParseFenQuiet(pos, &g, fen.c_str());
}

FILE* OpenPosData(const char* szPath, uint64_t* pnRecords, bool* pbTorn, std::string* pErr) {
    FILE* f = fopen(szPath, "rb");
    if (!f) {
        Fail(pErr, std::string("cannot open ") + szPath + ": " + strerror(errno));
        return nullptr;
    }
    if (!CheckHeader(f, szPath, pnRecords, pbTorn, pErr)) {
        fclose(f);
        return nullptr;
    }
    return f;
}

bool LoadPosData(const char* szPath, std::vector<PosRecord>* pOut, bool* pbTorn, std::string* pErr) {
    uint64_t n = 0;
    FILE* f = OpenPosData(szPath, &n, pbTorn, pErr);
    if (!f) return false;
    const size_t nOld = pOut->size();
    pOut->resize(nOld + n);
    const size_t nRead = fread(pOut->data() + nOld, kPosRecordBytes, n, f);
    fclose(f);
    pOut->resize(nOld + nRead);
    if (nRead != n) return Fail(pErr, std::string(szPath) + ": read error");
    return true;
}

FILE* CreatePosData(const char* szPath, bool bAppend, uint64_t* pnRecords, std::string* pErr) {
    *pnRecords = 0;
    if (bAppend && access(szPath, F_OK) == 0) {
        bool bTorn = false;
        FILE* f = fopen(szPath, "r+b");
        if (!f) {
            Fail(pErr, std::string("cannot open ") + szPath + " to append: " + strerror(errno));
            return nullptr;
        }
        if (!CheckHeader(f, szPath, pnRecords, &bTorn, pErr)) {
            fclose(f);
            return nullptr;
        }
        // An interrupted run may have left part of a record: cut it off so that the records
        // appended now stay aligned.
        const off_t nWhole = off_t(kPosDataHeaderBytes + *pnRecords * kPosRecordBytes);
        if (bTorn && ftruncate(fileno(f), nWhole) != 0) {
            Fail(pErr, std::string("cannot cut the torn record off ") + szPath + ": " + strerror(errno));
            fclose(f);
            return nullptr;
        }
        fseeko(f, nWhole, SEEK_SET);
        return f;
    }
    FILE* f = fopen(szPath, "wb");
    if (!f) {
        Fail(pErr, std::string("cannot create ") + szPath + ": " + strerror(errno));
        return nullptr;
    }
    uint8_t h[kPosDataHeaderBytes];
    WritePosDataHeader(h);
    if (fwrite(h, 1, sizeof h, f) != sizeof h || fflush(f) != 0) {
        Fail(pErr, std::string("cannot write ") + szPath + ": " + strerror(errno));
        fclose(f);
        return nullptr;
    }
    return f;
}
