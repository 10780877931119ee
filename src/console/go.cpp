#include <algorithm>
#include <cstring>
#include <string>

#include "console/console.h"
#include "console/options.h"
#include "core/log.h"
#include "movegen/movegen.h"
#include "search/search.h"

namespace {

inline bool Is(const char* word, const char* name) {
    return strcasecmp(word, name) == 0;
}

// The words "go" takes: a list of search moves ends at the next of them.
bool IsGoWord(const char* word) {
    static const char* const kWords[] = {"movetime", "wtime", "btime",    "winc",   "binc", "movestogo",
                                         "depth",    "nodes", "infinite", "ponder", "mate", "searchmoves"};
    for (const char* w : kWords)
        if (Is(word, w)) return true;
    return false;
}

// The moves after "searchmoves", up to the next word of "go": the legal ones go to the root
// filter, each other one is named in a note and left out.
int ReadSearchMoves(WordList* words, int i) {
    while (i + 1 < words->nCount && !IsGoWord(words->Word(i + 1))) {
        char* w = words->Word(++i);
        const std::string sWord = w;
        Move m = 0;
        const bool bLegal = ParseCoordMove(w, &m) && IsGeneratedMove(pCurrent, m);
        if (!bLegal) {
            OutputLine("info string searchmoves: %s is not a legal move here, ignored\n", sWord.c_str());
        } else if (std::find(rootFilter.aOnly, rootFilter.aOnly + rootFilter.nOnly, m) ==
                       rootFilter.aOnly + rootFilter.nOnly &&
                   rootFilter.nOnly < kMaxMoves) {
            rootFilter.aOnly[rootFilter.nOnly++] = m;
        }
    }
    return i;
}

}  // namespace

bool ParseGoParameters(WordList* words) {
    nEngineSide = pCurrent->bSideToMove;
    // A depth given to "go" limits that search only; "sd" sets the lasting limit.
    nGoDepth = 0;
    nGoMate = 0;
    rootFilter.nOnly = rootFilter.nSkip = 0;
    bool bMovesToGo = false, bEndless = false, bLimited = false, bSearchMoves = false;
    for (int i = 1; i < words->nCount; ++i) {
        const char* p = words->Word(i);
        if (Is(p, "movetime") || Is(p, "wtime") || Is(p, "btime") || Is(p, "depth") || Is(p, "nodes") ||
            Is(p, "infinite"))
            bLimited = true;
        if (Is(p, "searchmoves")) {
            bSearchMoves = true;
            i = ReadSearchMoves(words, i);
        } else if (Is(p, "mate")) {
            const int n = ReadNumber(words->Word(++i));
            nGoMate = n > 0 ? n : 0;
        } else if (Is(p, "movetime")) {
            dMoveTime[0] = dMoveTime[1] = ReadNumber(words->Word(++i)) / 1000.0;
            bFixedTime = true;
            nNodeLimit = 0;
        } else if (Is(p, "wtime") || Is(p, "btime")) {
            bFixedTime = false;
            nNodeLimit = 0;
            dClock[p[0] == 'w' || p[0] == 'W' ? 0 : 1] = ReadNumber(words->Word(++i)) / 1000.0;
        } else if (Is(p, "winc") || Is(p, "binc")) {
            bFixedTime = false;
            nNodeLimit = 0;
            const int c = p[0] == 'w' || p[0] == 'W' ? 0 : 1;
            const int nMs = ReadNumber(words->Word(++i));
            nIncrement[c] = nMs / 1000;
            dIncrement[c] = nMs > 0 ? nMs / 1000.0 : 0.0;
        } else if (Is(p, "movestogo")) {
            bFixedTime = false;
            nNodeLimit = 0;
            // Zero or fewer moves to go is meaningless; the default below then applies.
            const int n = ReadNumber(words->Word(++i));
            if (n > 0) {
                nMovesToGo[0] = nMovesToGo[1] = n;
                bMovesToGo = true;
            }
        } else if (Is(p, "depth")) {
            dMoveTime[0] = dMoveTime[1] = 999999999.0;
            bFixedTime = true;
            nNodeLimit = 0;
            nGoDepth = ClampMaxDepth(ReadNumber(words->Word(++i)));
        } else if (Is(p, "infinite")) {
            dMoveTime[0] = dMoveTime[1] = 999999999.0;
            bFixedTime = true;
            nNodeLimit = 0;
            nGoDepth = 128;
            bEndless = true;
        } else if (Is(p, "ponder")) {
            if (bPonder) bPondering = true;
        } else if (Is(p, "nodes")) {
            bFixedTime = false;
            // A limit below one node would mean no limit at all (0) or nothing sensible: the
            // search then stops at its first check.
            nNodeLimit = ReadNumber64(words->Word(++i));
            if (nNodeLimit < 1) nNodeLimit = 1;
        }
    }
    if (bSearchMoves && rootFilter.nOnly == 0)
        OutputLine("info string searchmoves: no legal move given, searching every move\n");
    // A mate search without a limit of its own goes on until it finds the mate or is stopped.
    if (nGoMate > 0 && !bLimited) {
        dMoveTime[0] = dMoveTime[1] = 999999999.0;
        bFixedTime = true;
        nNodeLimit = 0;
    }
    if (!bMovesToGo)
        nMovesToGo[0] = nMovesToGo[1] = !bClassicStyle                                           ? 20
                                        : pCurrent->nMaterial[0] + pCurrent->nMaterial[1] < 3221 ? 15
                                                                                                 : 40;
    AllocateTime();
    return bEndless;
}
