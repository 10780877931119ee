// Board dumps for the console, logs and the evaluation self-test.
#include <cinttypes>

#include "board/board.h"
#include "eval/eval.h"
#include "platform/platform.h"

namespace {

const char kPieceLetters[] = "         PNBRQK  pnbrqk";

char Letter(int code) {
    return code < 23 ? kPieceLetters[code] : '?';
}

void PrintPicture(const Position* pos, FILE* stream) {
    if (stream != stdout) {
        fputs("  ", stream);
        for (char f = 'a'; f <= 'h'; f++) fprintf(stream, " %c", f);
        fputs("\n   ---------------\n", stream);
        for (int rank = 7; rank >= 0; rank--) {
            fprintf(stream, "%c|", '1' + rank);
            for (int f = 0; f < 8; f++) fprintf(stream, " %c", Letter(pos->aBoard[MakeSquare(f, rank)]));
            fprintf(stream, " |%c ", '1' + rank);
            for (int f = 0; f < 8; f++) fprintf(stream, " %02d", MakeSquare(f, rank));
            fputs("   ", stream);
            for (int f = 0; f < 8; f++) fprintf(stream, " %c%d", 'a' + f, rank + 1);
            fputs("\n", stream);
        }
        fputs("   ---------------\n  ", stream);
        for (char f = 'a'; f <= 'h'; f++) fprintf(stream, " %c", f);
        fputs("\n", stream);
        return;
    }
    // The console form: the same picture with coloured squares when stdout is a terminal.
    static const bool bColour = IsTerminal(stdout);
    fputs("  ", stream);
    for (char f = 'a'; f <= 'h'; f++) fprintf(stream, " %c", f);
    fputs("\n", stream);
    int counter = 0;
    for (int rank = 7; rank >= 0; rank--) {
        fprintf(stream, "%c ", '1' + rank);
        for (int f = 0; f < 8; f++) {
            int code = pos->aBoard[MakeSquare(f, rank)];
            int attr = (counter & 1) ? 0x70 : 0xF0;
            if (code && CodeColour(code) == WHITE) attr |= 0x04;
            if (bColour) SetConsoleAttribute(stream, attr);
            fprintf(stream, " %c", Letter(code));
            counter++;
        }
        counter++;
        if (bColour) SetConsoleAttribute(stream, 7);
        fprintf(stream, " %c ", '1' + rank);
        for (int f = 0; f < 8; f++) fprintf(stream, " %02d", MakeSquare(f, rank));
        fputs("   ", stream);
        for (int f = 0; f < 8; f++) fprintf(stream, " %c%d", 'a' + f, rank + 1);
        fputs("\n", stream);
    }
    fputs("  ", stream);
    for (char f = 'a'; f <= 'h'; f++) fprintf(stream, " %c", f);
    fputs("\n", stream);
    if (bColour) SetConsoleAttribute(stream, 7);
}

void PrintDump(const Position* pos, FILE* stream, bool bWithEval) {
    const Bitboard(*bb)[9] = pos->bbPieces;
    char fen[128];
    WriteFen(pos, fen);
    fputs("--Start Board-----------------------------------------------------------\n", stream);
    fprintf(stream, "bR =  0x%016" PRIX64 " wR =  0x%016" PRIX64 " Castling = \t0x%X\n", bb[1][BB_ROOK],
            bb[0][BB_ROOK], pos->nCastling);
    fprintf(stream, "bB =  0x%016" PRIX64 " wB =  0x%016" PRIX64 " EPSquare = \t%02d\n", bb[1][BB_BISHOP],
            bb[0][BB_BISHOP], pos->nEpSquare);
    fprintf(stream, "bN =  0x%016" PRIX64 " wN =  0x%016" PRIX64 " White Mat = \t%d\n", bb[1][BB_KNIGHT],
            bb[0][BB_KNIGHT], pos->nMaterial[0]);
    fprintf(stream, "bQ =  0x%016" PRIX64 " wQ =  0x%016" PRIX64 " Black Mat = \t%d\n", bb[1][BB_QUEEN],
            bb[0][BB_QUEEN], pos->nMaterial[1]);
    fprintf(stream, "bK =  0x%016" PRIX64 " wK =  0x%016" PRIX64 " 50 Moves = \t%d\n", bb[1][BB_KING],
            bb[0][BB_KING], pos->nFifty);
    fprintf(stream, "bP =  0x%016" PRIX64 " wP =  0x%016" PRIX64 " Side To Move = %c\n", bb[1][BB_PAWN],
            bb[0][BB_PAWN], pos->bSideToMove == WHITE ? 'W' : 'B');
    if (bWithEval)
        fprintf(stream, "bRQ = 0x%016" PRIX64 " wRQ = 0x%016" PRIX64 " Eval = \t%d\n", bb[1][BB_RQ],
                bb[0][BB_RQ], BoardStaticEval(pos));
    else
        fprintf(stream, "bRQ = 0x%016" PRIX64 " wRQ = 0x%016" PRIX64 "\n", bb[1][BB_RQ], bb[0][BB_RQ]);
    fprintf(stream, "bBQ = 0x%016" PRIX64 " wBQ = 0x%016" PRIX64 " Full Move = \t%d\n", bb[1][BB_BQ],
            bb[0][BB_BQ], game.nFullMove);
    fprintf(stream, "bA =  0x%016" PRIX64 " wA =  0x%016" PRIX64 " Half Move = \t%d\n", bb[1][BB_ALL],
            bb[0][BB_ALL], game.nGamePly);
    fprintf(stream, "45L = 0x%016" PRIX64 " hv =  0x%016" PRIX64 "\n", pos->bbRotated45L, pos->nHashKey);
    fprintf(stream, "45R = 0x%016" PRIX64 " ph =  0x%016" PRIX64 "\n", pos->bbRotated45R, pos->nPawnKey);
    fprintf(stream, "90 =  0x%016" PRIX64 " rh =  0x%016" PRIX64 "\n", pos->bbRotated90, RepetitionKey(*pos));
    fprintf(stream, "FEN = %s\n", fen);
    if (bWithEval && NetEvalInUse()) fprintf(stream, "Net Eval = \t%d\n", NetStaticEval(pos));
    PrintPicture(pos, stream);
    if (bWithEval)
        fputs("--End Board-------------------------------------------------------------\n", stream);
    else
        fputs("--End Board-----------------------------------------------------------\n", stream);
}

}  // namespace

void PrintBoard(const Position* pos, FILE* stream) {
    PrintDump(pos, stream, true);
}

void DumpBoard(const Position* pos, FILE* stream) {
    PrintDump(pos, stream, false);
}
