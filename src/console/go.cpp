#include <algorithm>
#include <cstring>

#include "console/console.h"
#include "console/options.h"
#include "search/search.h"

namespace {

inline bool Is(const char* word, const char* name) {
    return strcasecmp(word, name) == 0;
}

}  // namespace

bool ParseGoParameters(WordList* words) {
    nEngineSide = pCurrent->bSideToMove;
    // A depth given to "go" limits that search only; "sd" sets the lasting limit.
    nGoDepth = 0;
    bool bMovesToGo = false, bEndless = false;
    for (int i = 1; i < words->nCount; ++i) {
        const char* p = words->Word(i);
        if (Is(p, "movetime")) {
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
    if (!bMovesToGo)
        nMovesToGo[0] = nMovesToGo[1] = !bClassicStyle                                           ? 20
                                        : pCurrent->nMaterial[0] + pCurrent->nMaterial[1] < 3221 ? 15
                                                                                                 : 40;
    AllocateTime();
    return bEndless;
}
