#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "console/console.h"
#include "console/options.h"
#include "core/log.h"
#include "movegen/movegen.h"

namespace {

alignas(64) Position posGame;

inline bool SameWordNoCase(const char* a, const char* b) {
    return strcasecmp(a, b) == 0;
}

}  // namespace

Position* pCurrent = &posGame;

namespace {

// The game a "position" command works on: the engine's own game, or the staging copy that a
// "position" arriving during a job fills while the job still reads the real one.
struct GameTarget {
    Position* pPos;
    GameState* pGame;
    int* pMarker;  // ply of the last irreversible move, for repetitions
};

GameTarget CurrentGame() {
    return {pCurrent, &game, &aThreadMarkers[0].nLastIrreversible};
}

alignas(64) Position posStaged;
GameState gameStaged;
int nStagedMarker = 0;
bool bStaged = false;

void MarkRoot(const GameTarget& t) {
    // A FEN full-move number of 0 would put the root before the start of the history.
    GameState* g = t.pGame;
    if (g->nGamePly < 0) g->nGamePly = 0;
    if (g->nGamePly > kMaxGamePly) g->nGamePly = kMaxGamePly;
    g->aGameHistory[g->nGamePly] = RepetitionKey(*t.pPos);
    *t.pMarker = g->nGamePly;
}

bool PlayMoveOn(const GameTarget& t, Move m) {
    GameState* g = t.pGame;
    if (g->nGamePly >= kMaxGamePly) {
        OutputLine("%sGame too long: moves beyond ply %d are refused\n", bUciMode ? "info string " : "",
                   kMaxGamePly);
        return false;
    }
    // No thread's marker is written by the move itself: a staged game must leave worker 0's alone.
    Position next;
    MakeMove(m, t.pPos, &next, 0, -1);
    if (next.nFifty == 0) *t.pMarker = g->nGamePly;
    *t.pPos = next;
    if (t.pPos->bSideToMove == WHITE) ++g->nFullMove;
    g->aGameHistory[g->nGamePly + 1] = RepetitionKey(*t.pPos);
    ++g->nGamePly;
    return true;
}

bool ParseCoordMoveOn(const Position* pos, char* word, Move* pMove) {
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
    const int code = pos->aBoard[from];
    const int piece = CodeType(code);
    int captured = CodeType(pos->aBoard[to]);
    if ((code == PieceCode(WHITE, KING) && from == SQ_E1 && (to == SQ_G1 || to == SQ_C1)) ||
        (code == PieceCode(BLACK, KING) && from == SQ_E8 && (to == SQ_G8 || to == SQ_C8)))
        kind = KIND_CASTLE;
    if (pos->aBoard[to] == 0) {
        if ((code == PieceCode(WHITE, PAWN) && to - from != 8 && to - from != 16) ||
            (code == PieceCode(BLACK, PAWN) && from - to != 8 && from - to != 16)) {
            kind = KIND_EP;
            captured = PAWN;
        }
    }
    *pMove = BuildMove(from, to, kind, promo, piece, captured);
    return true;
}

// False when a rejected FEN left everything as it was.
bool SetUpPositionOn(WordList* words, const GameTarget& t) {
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
            if (!ParseFen(t.pPos, t.pGame, fen.c_str())) return false;
            MarkRoot(t);
        }
    } else if (strcmp(words->Word(1), "startpos") == 0) {
        SetStartPosition(t.pPos);
        t.pGame->nFullMove = 1;
        t.pGame->nGamePly = 0;
        MarkRoot(t);
    }
    if (nMovesAt < 0) return true;

    for (int i = nMovesAt + 1; i < words->nCount; ++i) {
        char* word = words->Word(i);
        Move m;
        if (!ParseCoordMoveOn(t.pPos, word, &m)) break;
        if (!IsGeneratedMove(t.pPos, m)) {
            OutputLine("Illegal move: %s\n", word);
            continue;
        }
        if (!PlayMoveOn(t, m)) break;
    }
    return true;
}

}  // namespace

void MarkGameRoot() {
    MarkRoot(CurrentGame());
}

bool ParseCoordMove(char* word, Move* pMove) {
    return ParseCoordMoveOn(pCurrent, word, pMove);
}

bool PlayGameMove(Move m) {
    return PlayMoveOn(CurrentGame(), m);
}

void SetUpPosition(WordList* words) {
    SetUpPositionOn(words, CurrentGame());
}

bool StagePosition(WordList* words) {
    const bool bFromScratch = strcmp(words->Word(1), "fen") == 0 || strcmp(words->Word(1), "startpos") == 0;
    if (!bFromScratch && !bStaged) return false;
    // A fresh copy of what is staged (or of nothing yet) takes a rejected FEN without harm.
    static Position pos;
    static GameState g;
    int nMarker = nStagedMarker;
    if (bStaged) {
        pos = posStaged;
        g = gameStaged;
    } else {
        SetStartPosition(&pos);
        g.nFullMove = 1;
        g.nGamePly = 0;
        g.aGameHistory[0] = RepetitionKey(pos);
        nMarker = 0;
    }
    if (!SetUpPositionOn(words, {&pos, &g, &nMarker})) return true;
    posStaged = pos;
    gameStaged = g;
    nStagedMarker = nMarker;
    bStaged = true;
    return true;
}

void InstallStagedPosition() {
    if (!bStaged) return;
    *pCurrent = posStaged;
    game = gameStaged;
    aThreadMarkers[0].nLastIrreversible = nStagedMarker;
    bStaged = false;
}
