#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "console/console.h"
#include "console/options.h"
#include "movegen/movegen.h"
#include "search/log.h"

namespace {

alignas(64) Position posGame;

inline bool SameWordNoCase(const char* a, const char* b) {
    return strcasecmp(a, b) == 0;
}

}  // namespace

Position* pCurrent = &posGame;

void MarkGameRoot() {
    // A FEN full-move number of 0 would put the root before the start of the history.
    if (game.nGamePly < 0) game.nGamePly = 0;
    if (game.nGamePly > kMaxGamePly) game.nGamePly = kMaxGamePly;
    game.aGameHistory[game.nGamePly] = RepetitionKey(*pCurrent);
    aThreadMarkers[0].nLastIrreversible = game.nGamePly;
}

bool ParseCoordMove(char* word, Move* pMove) {
    *pMove = 0;
    for (char* p = word; *p; ++p) *p = char(toupper(static_cast<unsigned char>(*p)));
    if (word[0] < 'A' || word[0] > 'H' || word[1] < '1' || word[1] > '8' || word[2] < 'A' || word[2] > 'H' ||
        word[3] < '1' || word[3] > '8')
        return false;
    const int from = MakeSquare(word[0] - 'A', word[1] - '1');
    const int to = MakeSquare(word[2] - 'A', word[3] - '1');
    int kind = KIND_NORMAL, promo = 0;
    switch (word[4]) {
        case 'N':
            promo = KNIGHT;
            break;
        case 'B':
            promo = BISHOP;
            break;
        case 'R':
            promo = ROOK;
            break;
        case 'Q':
            promo = QUEEN;
            break;
        default:
            break;
    }
    if (promo) kind = KIND_PROMO;
    const int code = pCurrent->aBoard[from];
    const int piece = CodeType(code);
    int captured = CodeType(pCurrent->aBoard[to]);
    if ((code == PieceCode(WHITE, KING) && from == SQ_E1 && (to == SQ_G1 || to == SQ_C1)) ||
        (code == PieceCode(BLACK, KING) && from == SQ_E8 && (to == SQ_G8 || to == SQ_C8)))
        kind = KIND_CASTLE;
    if (pCurrent->aBoard[to] == 0) {
        if ((code == PieceCode(WHITE, PAWN) && to - from != 8 && to - from != 16) ||
            (code == PieceCode(BLACK, PAWN) && from - to != 8 && from - to != 16)) {
            kind = KIND_EP;
            captured = PAWN;
        }
    }
    *pMove = BuildMove(from, to, kind, promo, piece, captured);
    return true;
}

bool PlayGameMove(Move m) {
    if (game.nGamePly >= kMaxGamePly) {
        OutputLine("%sGame too long: moves beyond ply %d are refused\n", bUciMode ? "info string " : "",
                   kMaxGamePly);
        return false;
    }
    Position next;
    MakeMove(m, pCurrent, &next, 0, 0);
    *pCurrent = next;
    if (pCurrent->bSideToMove == WHITE) ++game.nFullMove;
    game.aGameHistory[game.nGamePly + 1] = RepetitionKey(*pCurrent);
    ++game.nGamePly;
    return true;
}

void SetUpPosition(WordList* words) {
    int nMovesAt = -1;
    for (int i = 1; i < words->nCount; ++i) {
        if (SameWordNoCase(words->Word(i), "moves")) {
            nMovesAt = i;
            break;
        }
    }

    if (strcmp(words->Word(1), "fen") == 0) {
        // A FEN has at most six fields; whatever follows them up to "moves" is ignored.
        const int end = nMovesAt >= 0 ? nMovesAt : words->nCount;
        std::string fen;
        for (int i = 2; i < end && i < 8; ++i) {
            if (i > 2) fen += ' ';
            fen += words->Word(i);
        }
        if (!fen.empty()) {
            // A rejected FEN keeps the old position, and its moves would only be noise there.
            if (!ParseFen(pCurrent, &game, fen.c_str())) return;
            MarkGameRoot();
        }
    } else if (strcmp(words->Word(1), "startpos") == 0) {
        SetStartPosition(pCurrent);
        game.nFullMove = 1;
        game.nGamePly = 0;
        MarkGameRoot();
    }
    if (nMovesAt < 0) return;

    for (int i = nMovesAt + 1; i < words->nCount; ++i) {
        char* word = words->Word(i);
        Move m;
        if (!ParseCoordMove(word, &m)) break;
        if (!IsGeneratedMove(pCurrent, m)) {
            OutputLine("Illegal move: %s\n", word);
            continue;
        }
        if (!PlayGameMove(m)) break;
    }
}
