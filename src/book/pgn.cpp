// Reading PGN games. The file is read character by character: tags are parsed with their
// quotes, comments and variations are skipped as wholes, and everything else is taken as
// blank-separated words. Every loop stops at the end of the file, and no text of any length
// is copied beyond the few characters each field keeps.
#include "book/pgn.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "movegen/san.h"

namespace {

// Words longer than this are cut and never taken for moves (a SAN move is at most 12 characters
// once its number and marks are gone, and move numbers stay short).
constexpr int kTokenSize = 64;
// Tag names and values are cut to this; every field keeps far less.
constexpr int kTagTextSize = 64;

struct Token {
    char sz[kTokenSize];
    bool bCut;
};

inline int Get(FILE* f) {
    return getc_unlocked(f);
}

inline bool IsBlank(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// Skips blanks and returns the next character without taking it (EOF at the end).
int Peek(FILE* f) {
    int c;
    do c = Get(f);
    while (IsBlank(c));
    if (c != EOF) ungetc(c, f);
    return c;
}

// Reads a word: up to a blank, or up to a '{' or '(' that opens a comment or variation glued to
// its end ("a6{This ...").
void ReadToken(FILE* f, Token* t) {
    int n = 0;
    t->bCut = false;
    int c;
    while ((c = Get(f)) != EOF && !IsBlank(c)) {
        if ((c == '{' || c == '(') && n > 0) {
            ungetc(c, f);
            break;
        }
        if (n < kTokenSize - 1)
            t->sz[n++] = char(c);
        else
            t->bCut = true;
    }
    t->sz[n] = 0;
}

// From the '{' to the matching '}'; false at the end of the file.
bool SkipComment(FILE* f) {
    Get(f);
    for (int c; (c = Get(f)) != EOF;)
        if (c == '}') return true;
    return false;
}

// From the '(' to its matching ')', nested variations and comments (which may hold unmatched
// brackets of their own) included; false at the end of the file.
bool SkipVariation(FILE* f) {
    Get(f);
    int depth = 1;
    for (int c; (c = Get(f)) != EOF;) {
        if (c == '(') {
            depth++;
        } else if (c == ')') {
            if (--depth == 0) return true;
        } else if (c == '{') {
            ungetc(c, f);
            if (!SkipComment(f)) return false;
        }
    }
    return false;
}

// A ';' comment runs to the end of its line.
void SkipLine(FILE* f) {
    for (int c; (c = Get(f)) != EOF && c != '\n';) {
    }
}

void SkipByteOrderMark(FILE* f) {
    if (ftell(f) != 0) return;
    const int c = Get(f);
    if (c != 0xEF) {
        if (c != EOF) ungetc(c, f);
        return;
    }
    const int c2 = Get(f);
    const int c3 = Get(f);
    if (c2 != 0xBB || c3 != 0xBF) fseek(f, 0, SEEK_SET);
}

bool IsResultToken(const char* s) {
    return strcmp(s, "1-0") == 0 || strcmp(s, "0-1") == 0 || strcmp(s, "1/2-1/2") == 0 || strcmp(s, "*") == 0;
}

// Leading blanks, an optional sign and decimal digits; anything else ends the number, no digits
// give 0, and the value saturates instead of overflowing.
int ParseNumber(const char* s) {
    while (*s == ' ' || *s == '\t') s++;
    const bool bNegative = *s == '-';
    if (*s == '-' || *s == '+') s++;
    constexpr int kCap = 1000000000;
    int v = 0;
    for (; *s >= '0' && *s <= '9'; s++) v = v >= kCap / 10 ? kCap : v * 10 + (*s - '0');
    return bNegative ? -v : v;
}

// Copies at most size - 1 characters of src into dst and terminates it.
void CopyCut(char* dst, int size, const char* src) {
    int n = 0;
    for (; n < size - 1 && src[n]; n++) dst[n] = src[n];
    dst[n] = 0;
}

// Appends c to the buffer of a tag name or value unless it is full.
inline void Append(char* buf, int* n, int c) {
    if (*n < kTagTextSize - 1) buf[(*n)++] = char(c);
}

// Reads one tag from its '[' to its ']' (or to the end of its line when the ']' is missing) and
// stores what the game record keeps of it. The value is the text between the quotes ('\'
// escapes the next character) or, without quotes, the words before the ']'. False at the end of
// the file.
bool ReadTag(FILE* f, PgnGame* game, bool* pbNotRead) {
    char name[kTagTextSize], value[kTagTextSize];
    int nName = 0, nValue = 0;
    Get(f);  // '['
    int c;
    while ((c = Get(f)) != EOF && !IsBlank(c) && c != '"' && c != ']') Append(name, &nName, c);
    name[nName] = 0;

    bool bQuoted = false, bInQuotes = false;
    for (;; c = Get(f)) {
        if (c == EOF) return false;
        if (bInQuotes) {
            if (c == '\n') break;
            if (c == '"') {
                bInQuotes = false;
            } else if (c == '\\') {
                c = Get(f);
                if (c == EOF) return false;
                Append(value, &nValue, c);
            } else if (c != '\r') {
                Append(value, &nValue, c);
            }
            continue;
        }
        if (c == ']' || c == '\n') break;
        if (c == '"') {
            if (!bQuoted) nValue = 0;  // a quoted value replaces any bare words before it
            bQuoted = bInQuotes = true;
        } else if (!bQuoted && !(IsBlank(c) && nValue == 0)) {
            Append(value, &nValue, c);
        }
    }
    if (!bQuoted)
        while (nValue > 0 && IsBlank(value[nValue - 1])) nValue--;
    value[nValue] = 0;

    if (strcasecmp(name, "Result") == 0) {
        if (strcmp(value, "1-0") == 0)
            game->nResult = PGN_WHITE_WINS;
        else if (strcmp(value, "0-1") == 0)
            game->nResult = PGN_BLACK_WINS;
        else if (strcmp(value, "1/2-1/2") == 0)
            game->nResult = PGN_DRAW;
        else
            game->nResult = PGN_OTHER_RESULT;
    } else if (strcasecmp(name, "White") == 0 || strcasecmp(name, "Black") == 0) {
        // Commas would split the name across two CSV columns.
        for (char* p = value; *p; p++)
            if (*p == ',') *p = ' ';
        CopyCut(name[0] == 'W' || name[0] == 'w' ? game->szWhite : game->szBlack, kPgnNameSize, value);
    } else if (strcasecmp(name, "WhiteElo") == 0) {
        game->nWhiteElo = ParseNumber(value);
    } else if (strcasecmp(name, "BlackElo") == 0) {
        game->nBlackElo = ParseNumber(value);
    } else if (strcasecmp(name, "ECO") == 0) {
        CopyCut(game->szEco, kPgnEcoSize, value);
    } else if (strcasecmp(name, "FEN") == 0 || strcasecmp(name, "Annotator") == 0) {
        *pbNotRead = true;
    }
    return true;
}

// The move text after the tags, up to its result token, the next game's tags or the end of the
// file. Moves are read unless the game is marked as not read, until the first token that is no
// legal move; after that the text is only passed over.
bool ReadMoveText(FILE* f, PgnGame* game, bool bNotRead) {
    Position aPos[2];
    int cur = 0;
    SetStartPosition(&aPos[0]);
    Token t;

    // The moves are read only when the text starts with the first move number.
    bool bEnded = true;
    int c = Peek(f);
    if (c != '{' && c != '(' && c != ';' && c != EOF) {
        ReadToken(f, &t);
        if (IsResultToken(t.sz)) return true;
        if (!t.bCut && strncmp(t.sz, "1.", 2) == 0) {
            bEnded = false;
            // "1.e4" carries the first move; a bare "1." does not.
            if (t.sz[2] && !bNotRead) {
                Move m;
                if (ParseSan(&aPos[cur], t.sz, &m)) {
                    game->anMoves[game->nNumPlies++] = m;
                    MakeMove(m, &aPos[cur], &aPos[cur ^ 1], 0, -1);
                    cur ^= 1;
                } else {
                    bEnded = true;
                }
            }
        }
    }

    // An early end means the game is complete as far as it goes: the end of the file while
    // passing over the rest is then no longer an incomplete game.
    for (;;) {
        c = Peek(f);
        if (c == EOF) return bEnded;
        if (c == '[') return true;  // no result token before the next game
        if (c == '{') {
            if (!SkipComment(f)) return bEnded;
            continue;
        }
        if (c == '(') {
            if (!SkipVariation(f)) return bEnded;
            continue;
        }
        if (c == ';') {
            SkipLine(f);
            continue;
        }
        ReadToken(f, &t);
        if (IsResultToken(t.sz)) return true;
        if (bEnded || bNotRead) continue;
        if (t.bCut) {
            bEnded = true;
            continue;
        }
        const char* dot = strchr(t.sz, '.');
        if (dot && dot[1] == 0) continue;      // move number "12."
        if (!dot && t.sz[0] == '$') continue;  // numeric annotation
        Move m;
        if (!ParseSan(&aPos[cur], t.sz, &m)) {
            bEnded = true;
            continue;
        }
        if (game->nNumPlies < kPgnMaxPlies) game->anMoves[game->nNumPlies++] = m;
        MakeMove(m, &aPos[cur], &aPos[cur ^ 1], 0, -1);
        cur ^= 1;
    }
}

}  // namespace

bool ReadPgnGame(FILE* file, PgnGame* game) {
    memset(game, 0, sizeof(*game));
    if (!file) return false;
    SkipByteOrderMark(file);

    // Whatever stands before the next tag section (text without tags, stray words) is passed
    // over; comments there are skipped whole so that brackets inside them are not taken for tags.
    for (;;) {
        const int c = Peek(file);
        if (c == EOF) return false;
        if (c == '[') break;
        if (c == '{') {
            if (!SkipComment(file)) return false;
        } else if (c == ';') {
            SkipLine(file);
        } else {
            Token t;
            ReadToken(file, &t);
        }
    }

    bool bNotRead = false;
    for (;;) {
        const int c = Peek(file);
        if (c == EOF) return false;
        if (c != '[') break;
        if (!ReadTag(file, game, &bNotRead)) return false;
    }
    return ReadMoveText(file, game, bNotRead);
}

// ---------------------------------------------------------------------------------------

bool OpenSafeOutput(SafeOutput* out, const char* path) {
    out->pFile = nullptr;
    out->sPath = path;
    std::vector<char> name(out->sPath.begin(), out->sPath.end());
    const char kSuffix[] = ".XXXXXX";
    name.insert(name.end(), kSuffix, kSuffix + sizeof(kSuffix));
    const int fd = mkstemp(name.data());
    if (fd < 0) return false;
    out->sTempPath = name.data();
    fchmod(fd, 0644);  // mkstemp makes the file private; the result is an ordinary data file
    out->pFile = fdopen(fd, "wb");
    if (!out->pFile) {
        close(fd);
        remove(out->sTempPath.c_str());
        return false;
    }
    return true;
}

bool CommitSafeOutput(SafeOutput* out) {
    if (!out->pFile) return false;
    bool bOk = ferror(out->pFile) == 0;
    bOk = fclose(out->pFile) == 0 && bOk;
    out->pFile = nullptr;
    if (bOk) bOk = rename(out->sTempPath.c_str(), out->sPath.c_str()) == 0;
    if (!bOk) remove(out->sTempPath.c_str());
    return bOk;
}

void AbandonSafeOutput(SafeOutput* out) {
    if (!out->pFile) return;
    fclose(out->pFile);
    out->pFile = nullptr;
    remove(out->sTempPath.c_str());
}
