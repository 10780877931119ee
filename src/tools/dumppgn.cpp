// PGN dump: games and positions as CSV lines for analysis outside the engine.
#include "tools/dumppgn.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "book/pgn.h"
#include "eval/pawns.h"

namespace {

constexpr int kDumpMinPlies = 21;

// File letters of a mask with bit i for the file whose squares have square & 7 == i (bit 0 the
// h-file), in bit order: H first, A last.
std::string FileLetters(unsigned mask) {
    std::string s;
    for (int i = 0; i < 8; i++)
        if (mask & (1u << i)) s += char('H' - i);
    return s;
}

std::string InDir(const char* dir, const char* name) {
    if (!dir || !*dir) return name;
    std::string s = dir;
    if (s.back() != '/') s += '/';
    return s + name;
}

void WriteMoveLine(FILE* f, long nGame, int nPly, const Position* before, Move m, const Position* after) {
    // The board writer takes the move number from the console's game; here it is the dumped game's.
    char fen[128];
    WriteFen(after, fen);
    char* number = strrchr(fen, ' ');
    if (number) snprintf(number + 1, sizeof(fen) - size_t(number + 1 - fen), "%d", (nPly + 1) / 2 + 1);
    fprintf(f, "%ld, %d, %s, %s", nGame, nPly, MoveToSan(before, m).c_str(), fen);
    for (int side = WHITE; side <= BLACK; side++)
        for (int bb = BB_PAWN; bb <= BB_QUEEN; bb++) fprintf(f, ", %d", PopCount(after->bbPieces[side][bb]));
    std::string fields[6];
    PawnFileFields(after, fields);
    for (const std::string& s : fields) fprintf(f, ", %s", s.c_str());
    fputc('\n', f);
}

}  // namespace

void PawnFileFields(const Position* pos, std::string asFields[6]) {
    PawnEntry e{};
    ComputePawnEntry(pos, &e);
    const unsigned white = e.nFiles[WHITE], black = e.nFiles[BLACK];
    asFields[0] = FileLetters(e.nDoubled[WHITE]);
    asFields[1] = FileLetters(e.nDoubled[BLACK]);
    asFields[2] = FileLetters(e.nIsolated[WHITE]);
    asFields[3] = FileLetters(e.nIsolated[BLACK]);
    asFields[4] = FileLetters(white ^ black);
    asFields[5] = FileLetters(~(white | black) & 0xFFu);
}

bool DumpPgn(const char* pgnPath) {
    return DumpPgnTo(pgnPath, "");
}

bool DumpPgnTo(const char* pgnPath, const char* dir) {
    FILE* pgn = fopen(pgnPath, "r");
    if (!pgn) {
        printf("PGN file not found\n");
        return false;
    }
    const std::string gamesPath = InDir(dir, kGamesCsvName), movesPath = InDir(dir, kMovesCsvName);
    SafeOutput games, moves;
    if (!OpenSafeOutput(&games, gamesPath.c_str())) {
        printf("Cannot create file %s\n", gamesPath.c_str());
        fclose(pgn);
        return false;
    }
    if (!OpenSafeOutput(&moves, movesPath.c_str())) {
        printf("Cannot create file %s\n", movesPath.c_str());
        AbandonSafeOutput(&games);
        fclose(pgn);
        return false;
    }
    fprintf(games.pFile, "GAME_NUM, WHITE, WHITE_ELO, BLACK, BLACK_ELO, RESULT, ECO\n");
    fprintf(moves.pFile, "GAME_NUM, MOVE_NUM, MOVE, FEN, WP, WN, WB, WR, WQ, BP, BN, BB, BR, BQ");
    fprintf(moves.pFile,
            ", WHITE_DOUBLED_FILES, BLACK_DOUBLED_FILES, WHITE_ISOLATED, BLACK_ISOLATED, SEMI_OPEN_FILES, "
            "OPEN_FILES\n");
    printf("Parsing ...");
    fflush(stdout);

    auto game = std::make_unique<PgnGame>();
    long nGames = 0;
    // A game without moves ends the dump: the end of the file, and also a game whose moves are not
    // read.
    for (;;) {
        ReadPgnGame(pgn, game.get());
        if (game->nNumPlies == 0) break;
        if (game->nNumPlies < kDumpMinPlies || game->nWhiteElo == 0 || game->nBlackElo == 0) continue;
        if (nGames % 100 == 0) {
            printf(".");
            fflush(stdout);
        }
        nGames++;
        fprintf(games.pFile, "%ld, %s, %d, %s, %d, %d, %s\n", nGames, game->szWhite, game->nWhiteElo,
                game->szBlack, game->nBlackElo, game->nResult, game->szEco);
        Position aPos[2];
        int cur = 0;
        SetStartPosition(&aPos[0]);
        for (int ply = 0; ply < game->nNumPlies; ply++) {
            const Move m = game->anMoves[ply];
            MakeMove(m, &aPos[cur], &aPos[cur ^ 1], 0, -1);
            WriteMoveLine(moves.pFile, nGames, ply, &aPos[cur], m, &aPos[cur ^ 1]);
            cur ^= 1;
        }
    }
    const bool bReadError = ferror(pgn) != 0;
    fclose(pgn);
    printf("\nDone\n");
    if (bReadError) {
        printf("Cannot read PGN file %s\n", pgnPath);
        AbandonSafeOutput(&games);
        AbandonSafeOutput(&moves);
        return false;
    }

    // Both files complete before either replaces an older one.
    const bool bGamesOk = fflush(games.pFile) == 0 && !ferror(games.pFile);
    const bool bMovesOk = fflush(moves.pFile) == 0 && !ferror(moves.pFile);
    if (!bGamesOk || !bMovesOk) {
        AbandonSafeOutput(&games);
        AbandonSafeOutput(&moves);
        printf("Cannot write file %s\n", bGamesOk ? movesPath.c_str() : gamesPath.c_str());
        return false;
    }
    if (!CommitSafeOutput(&games)) {
        AbandonSafeOutput(&moves);
        printf("Cannot write file %s\n", gamesPath.c_str());
        return false;
    }
    if (!CommitSafeOutput(&moves)) {
        printf("Cannot write file %s\n", movesPath.c_str());
        return false;
    }
    return true;
}
