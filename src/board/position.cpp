// Setting up positions: start position, FEN reading and writing, FEN files, mirroring.
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "board/board.h"
#include "core/settings.h"

GameState game = {1, 0, {}};
ThreadMarker aThreadMarkers[kMaxThreads];

namespace {

const char kPieceLetters[] = "         PNBRQK  pnbrqk";
constexpr int kTypeValue[7] = {0, 100, 325, 325, 500, 975, 0};

void PutPiece(Position* pos, int sq, int code) {
    pos->aBoard[sq] = uint8_t(code);
    pos->nMaterial[CodeColour(code)] += kTypeValue[CodeType(code)];
}

int CodeOfLetter(char ch) {
    const char* p = strchr("PNBRQKpnbrqk", ch);
    if (!ch || !p) return 0;
    int i = int(p - "PNBRQKpnbrqk");
    return i < 6 ? PieceCode(WHITE, i + 1) : PieceCode(BLACK, i - 5);
}

// Splits on blanks and tabs; stops at a word "moves" (any case) and after six fields.
std::vector<std::string> FenFields(const char* text) {
    std::vector<std::string> fields;
    const char* p = text;
    while (*p && fields.size() < 6) {
        while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') p++;
        if (!*p) break;
        const char* start = p;
        while (*p && *p != ' ' && *p != '\t' && *p != '\r' && *p != '\n') p++;
        std::string word(start, p);
        if (strcasecmp(word.c_str(), "moves") == 0) break;
        fields.push_back(std::move(word));
    }
    return fields;
}

// Reads a field of digits only; any other character makes it unreadable (fallback).
long ReadCount(const std::string& field, long fallback, long lo, long hi) {
    if (field.empty()) return fallback;
    long v = 0;
    for (char ch : field) {
        if (ch < '0' || ch > '9') return fallback;
        if (v < 1000000) v = v * 10 + (ch - '0');
    }
    return v < lo ? lo : v > hi ? hi : v;
}

bool ParseBoardField(const std::string& board, Position* pos) {
    int rank = 7, file = 0;
    for (char ch : board) {
        if (ch == '/') {
            if (file != 8 || rank == 0) return false;
            rank--;
            file = 0;
        } else if (ch >= '1' && ch <= '8') {
            file += ch - '0';
            if (file > 8) return false;
        } else if (int code = CodeOfLetter(ch)) {
            if (file > 7) return false;
            PutPiece(pos, MakeSquare(file, rank), code);
            file++;
        }
        // Any other character is skipped, as the board text allows.
    }
    return rank == 0 && file == 8;
}

bool PlacementIsSound(const Position& pos) {
    for (int c = 0; c < 2; c++) {
        if (PopCount(pos.bbPieces[c][BB_KING]) != 1) return false;
        if (PopCount(pos.bbPieces[c][BB_PAWN]) > 8) return false;
        if (PopCount(pos.bbPieces[c][BB_ALL]) > 16) return false;
        if (pos.bbPieces[c][BB_PAWN] & 0xFF000000000000FFULL) return false;
    }
    int other = pos.bSideToMove ^ 1;
    return AttackedBy(KingSquare(pos, other), &pos, pos.bSideToMove) == 0;
}

// Castling rights whose king and rook are not on their home squares cannot be real.
uint8_t SoundCastling(const Position& pos, uint8_t rights) {
    const uint8_t* b = pos.aBoard;
    const int wk = PieceCode(WHITE, KING), wr = PieceCode(WHITE, ROOK);
    const int bk = PieceCode(BLACK, KING), br = PieceCode(BLACK, ROOK);
    if (b[SQ_E1] != wk) rights &= ~(CASTLE_WK | CASTLE_WQ);
    if (b[SQ_H1] != wr) rights &= ~CASTLE_WK;
    if (b[SQ_A1] != wr) rights &= ~CASTLE_WQ;
    if (b[SQ_E8] != bk) rights &= ~(CASTLE_BK | CASTLE_BQ);
    if (b[SQ_H8] != br) rights &= ~CASTLE_BK;
    if (b[SQ_A8] != br) rights &= ~CASTLE_BQ;
    return rights;
}

// An en-passant square is kept only where the opponent's last move can have been a double step.
int SoundEpSquare(const Position& pos, const std::string& field) {
    if (field.size() < 2 || field[0] < 'a' || field[0] > 'h' || field[1] < '1' || field[1] > '8') return -1;
    int ep = (field[1] - '1') * 8 + ('h' - field[0]);
    const uint8_t* b = pos.aBoard;
    if (pos.bSideToMove == WHITE) {
        if (SquareRank(ep) != 5 || b[ep] || b[ep + 8] || b[ep - 8] != PieceCode(BLACK, PAWN)) return -1;
    } else {
        if (SquareRank(ep) != 2 || b[ep] || b[ep - 8] || b[ep + 8] != PieceCode(WHITE, PAWN)) return -1;
    }
    return ep;
}

}  // namespace

void ComputeBitboards(Position* pos) {
    for (int c = 0; c < 2; c++)
        for (int i = 0; i < 9; i++) pos->bbPieces[c][i] = 0;
    pos->bbRotated90 = pos->bbRotated45L = pos->bbRotated45R = 0;
    for (int sq = 0; sq < 64; sq++) {
        int code = pos->aBoard[sq];
        int type = CodeType(code);
        if (type < PAWN || type > KING || (code & 0x18) == 0 || (code & 0x18) == 0x18) continue;
        pos->bbPieces[CodeColour(code)][type - 1] |= SquareBit(sq);
    }
    for (int c = 0; c < 2; c++) {
        Bitboard* bb = pos->bbPieces[c];
        bb[BB_BQ] = bb[BB_BISHOP] | bb[BB_QUEEN];
        bb[BB_RQ] = bb[BB_ROOK] | bb[BB_QUEEN];
        bb[BB_ALL] = bb[BB_PAWN] | bb[BB_KNIGHT] | bb[BB_BISHOP] | bb[BB_ROOK] | bb[BB_QUEEN] | bb[BB_KING];
    }
    Bitboard occ = Occupancy(*pos);
    while (occ) {
        int sq = PopLowest(occ);
        pos->bbRotated90 |= SquareBit(anRot90Index[sq]);
        pos->bbRotated45L |= SquareBit(anRot45LIndex[sq]);
        pos->bbRotated45R |= SquareBit(anRot45RIndex[sq]);
    }
}

void SetStartPosition(Position* pos) {
    *pos = Position{};
    static const int kBackRank[8] = {ROOK, KNIGHT, BISHOP, QUEEN, KING, BISHOP, KNIGHT, ROOK};  // a..h
    for (int f = 0; f < 8; f++) {
        pos->aBoard[MakeSquare(f, 0)] = uint8_t(PieceCode(WHITE, kBackRank[f]));
        pos->aBoard[MakeSquare(f, 1)] = uint8_t(PieceCode(WHITE, PAWN));
        pos->aBoard[MakeSquare(f, 6)] = uint8_t(PieceCode(BLACK, PAWN));
        pos->aBoard[MakeSquare(f, 7)] = uint8_t(PieceCode(BLACK, kBackRank[f]));
    }
    pos->nMaterial[WHITE] = pos->nMaterial[BLACK] = 4075;
    pos->bSideToMove = WHITE;
    pos->nEpSquare = -1;
    pos->nFifty = 0;
    pos->nCastling = 15;
    ComputeBitboards(pos);
    ComputeHashKey(pos);
}

bool ParseFenQuiet(Position* pos, GameState* g, const char* text) {
    if (!text) return false;
    std::vector<std::string> fields = FenFields(text);
    if (fields.size() < 2) return false;

    Position p{};
    if (!ParseBoardField(fields[0], &p)) return false;
    p.bSideToMove = fields[1][0] == 'w' ? WHITE : BLACK;
    ComputeBitboards(&p);
    if (!PlacementIsSound(p)) return false;

    p.nEpSquare = -1;
    int fullMove = g->nFullMove, gamePly = g->nGamePly;
    if (fields.size() >= 3) {
        // Rights are recognised in the order K, Q, k, q only.
        const char* c = fields[2].c_str();
        uint8_t rights = 0;
        if (*c == '-') c++;
        if (*c == 'K') rights |= CASTLE_WK, c++;
        if (*c == 'Q') rights |= CASTLE_WQ, c++;
        if (*c == 'k') rights |= CASTLE_BK, c++;
        if (*c == 'q') rights |= CASTLE_BQ, c++;
        p.nCastling = SoundCastling(p, rights);
        if (fields.size() >= 4 && fields[3] != "-") p.nEpSquare = int8_t(SoundEpSquare(p, fields[3]));
        p.nFifty = uint8_t(ReadCount(fields.size() >= 5 ? fields[4] : "", 0, 0, 255));
        fullMove = int(ReadCount(fields.size() >= 6 ? fields[5] : "", 1, 1, 9999));
        gamePly = 2 * fullMove - 2 + p.bSideToMove;
    }
    ComputeHashKey(&p);
    *pos = p;
    g->nFullMove = fullMove;
    g->nGamePly = gamePly;
    return true;
}

bool ParseFen(Position* pos, GameState* g, const char* text) {
    if (ParseFenQuiet(pos, g, text)) return true;
    std::string shown;
    for (const std::string& f : FenFields(text ? text : "")) shown += (shown.empty() ? "" : " ") + f;
    if (bUciMode)
        printf("info string Invalid FEN: %s\n", shown.c_str());
    else
        printf("Invalid FEN: %s\n", shown.c_str());
    return false;
}

void WriteFen(const Position* pos, char* buf) {
    char* out = buf;
    for (int rank = 7; rank >= 0; rank--) {
        int empty = 0;
        for (int file = 0; file < 8; file++) {
            int code = pos->aBoard[MakeSquare(file, rank)];
            if (!code) {
                empty++;
                continue;
            }
            if (empty) *out++ = char('0' + empty), empty = 0;
            *out++ = code < 23 ? kPieceLetters[code] : '?';
        }
        if (empty) *out++ = char('0' + empty);
        if (rank) *out++ = '/';
    }
    *out++ = ' ';
    *out++ = pos->bSideToMove == WHITE ? 'w' : 'b';
    *out++ = ' ';
    if (!(pos->nCastling & 0x0F)) *out++ = '-';
    if (pos->nCastling & CASTLE_WK) *out++ = 'K';
    if (pos->nCastling & CASTLE_WQ) *out++ = 'Q';
    if (pos->nCastling & CASTLE_BK) *out++ = 'k';
    if (pos->nCastling & CASTLE_BQ) *out++ = 'q';
    *out++ = ' ';
    if (pos->nEpSquare >= 0 && pos->nEpSquare < 64) {
        *out++ = FileChar(pos->nEpSquare);
        *out++ = RankChar(pos->nEpSquare);
    } else {
        *out++ = '-';
    }
    *out++ = ' ';
    snprintf(out, 20, "%d %d", pos->nFifty, game.nFullMove);
}

std::string FenOf(const Position& pos) {
    char buf[128];
    WriteFen(&pos, buf);
    return buf;
}

bool LoadFenFile(Position* pos, GameState* g, const char* path) {
    FILE* f = fopen(path, "r");
    if (!f) {
        printf("Cannot open FEN file %s\n", path);
        return false;
    }
    std::string line;
    int ch;
    while ((ch = fgetc(f)) != EOF && ch != '\n') line.push_back(char(ch));
    fclose(f);
    return ParseFen(pos, g, line.c_str());
}

void MirrorPosition(Position* pos) {
    for (int sq = 0; sq < 64; sq++)
        if (pos->aBoard[sq]) pos->aBoard[sq] ^= 0x18;
    std::swap(pos->nMaterial[0], pos->nMaterial[1]);
    pos->bSideToMove ^= 1;
    for (int i = 0; i < 32; i++) std::swap(pos->aBoard[i], pos->aBoard[(i & 7) + (7 - i / 8) * 8]);
    uint8_t c = pos->nCastling, m = 0;
    if (c & 0x01) m |= 0x04;
    if (c & 0x04) m |= 0x01;
    if (c & 0x02) m |= 0x08;
    if (c & 0x08) m |= 0x02;
    if (c & 0x10) m |= 0x20;
    if (c & 0x20) m |= 0x10;
    pos->nCastling = m;
    if (pos->nEpSquare >= 0) pos->nEpSquare = int8_t((56 - (pos->nEpSquare / 8) * 8) | (pos->nEpSquare & 7));
    ComputeBitboards(pos);
    ComputeHashKey(pos);
}
