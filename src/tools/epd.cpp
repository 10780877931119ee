// Reading EPD records. The file is reopened and read from its start for every record, so a
// caller can walk a file by index without keeping any state.
#include "tools/epd.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr int kTokenSize = 100;
// A FEN with every optional field is under 100 characters; the extra room only keeps an
// overlong position string from being cut inside a field that would then still parse.
constexpr int kPositionSize = 256;

// One word of the file, cut to fit its buffer; the word's real last character is kept beside it
// so that a cut word still shows whether it closed the move list.
struct Token {
    char sz[kTokenSize];
    int nLast;  // last character of the whole word
    bool bCut;  // the word was longer than the buffer
};

// Reads the next word. With bSameLine only blanks are skipped before the word, and the end of
// the line ends the search. False when there is no word.
bool NextToken(FILE* f, Token* t, bool bSameLine) {
    char* tok = t->sz;
    int ch;
    do {
        ch = getc(f);
        if (bSameLine && ch == '\n') {
            ungetc(ch, f);
            return false;
        }
    } while (ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n' || ch == '\f' || ch == '\v');
    if (ch == EOF) return false;
    int n = 0;
    t->bCut = false;
    while (ch != EOF && ch != ' ' && ch != '\t' && ch != '\r' && ch != '\n' && ch != '\f' && ch != '\v') {
        if (n < kTokenSize - 1)
            tok[n++] = char(ch);
        else
            t->bCut = true;
        t->nLast = ch;
        ch = getc(f);
    }
    if (ch != EOF) ungetc(ch, f);
    tok[n] = 0;
    return true;
}

// Appends word to the blank-separated list in buf (size bytes), truncating at the end.
void AppendWord(char* buf, int size, const char* word) {
    size_t len = strlen(buf);
    if (len && len + 1 < size_t(size)) buf[len++] = ' ';
    for (const char* p = word; *p && len + 1 < size_t(size); p++) buf[len++] = *p;
    buf[len] = 0;
}

bool IsOperationWord(const char* tok) {
    return strncmp(tok, "bm", 2) == 0 || strncmp(tok, "am", 2) == 0;
}

void SkipLine(FILE* f) {
    int ch;
    while ((ch = getc(f)) != EOF && ch != '\n') {
    }
}

// Reads one record from the current file position. False when the file ends before the move
// list is complete.
bool ReadRecord(FILE* f, char* szPosition, char* szMoves, char* szId) {
    Token t;
    szPosition[0] = szMoves[0] = szId[0] = 0;
    for (;;) {
        if (!NextToken(f, &t, false)) return false;
        if (IsOperationWord(t.sz)) break;
        AppendWord(szPosition, kPositionSize, t.sz);
    }
    for (;;) {
        if (!NextToken(f, &t, false)) return false;
        AppendWord(szMoves, kEpdTextSize, t.sz);
        if (t.nLast == ';') break;
    }
    // Drop the closing ";" (and any blank left before it).
    size_t len = strlen(szMoves);
    if (len && szMoves[len - 1] == ';') szMoves[--len] = 0;
    while (len && szMoves[len - 1] == ' ') szMoves[--len] = 0;

    // The identifier must follow on the same line; a record without one must not swallow the
    // first word of the next record.
    // The closing ";" goes, and the quotes when the id has them ("WAC.001" and WAC.001 both
    // read as WAC.001).
    if (NextToken(f, &t, true) && strcmp(t.sz, "id") == 0 && NextToken(f, &t, true)) {
        const char* p = t.sz;
        size_t n = strlen(p);
        if (n && p[n - 1] == ';') --n;
        if (n && p[0] == '"') {
            ++p;
            --n;
            if (n && p[n - 1] == '"') --n;
        }
        memcpy(szId, p, n);
        szId[n] = 0;
    }
    SkipLine(f);
    return true;
}

}  // namespace

bool ReadEpdRecord(const char* path, Position* pos, char* szMoves, int nIndex, char* szId, int* pnStatus) {
    if (pnStatus) *pnStatus = EPD_END;
    szMoves[0] = szId[0] = 0;
    if (!path || nIndex < 0) return false;
    FILE* f = fopen(path, "r");
    if (!f) return false;
    char szPosition[kPositionSize];
    bool bRead = true;
    for (int i = 0; i <= nIndex && bRead; i++) bRead = ReadRecord(f, szPosition, szMoves, szId);
    fclose(f);
    if (!bRead) {
        szMoves[0] = szId[0] = 0;
        return false;
    }
    // The record's clock fields (if any) must not disturb the engine's game counters.
    auto scratch = std::make_unique<GameState>();
    scratch->nFullMove = 1;
    bool bFen = ParseFen(pos, scratch.get(), szPosition);
    if (pnStatus) *pnStatus = bFen ? EPD_OK : EPD_BAD_FEN;
    return true;
}
