#include <climits>
#include <cstdlib>

#include "console/console.h"

namespace {

inline bool IsSeparator(char c) {
    return c == ' ' || c == '\t';
}
inline bool IsEnd(char c) {
    return c == '\0' || c == '\n';
}

}  // namespace

int CountWords(const char* line) {
    int n = 0;
    for (const char* p = line; !IsEnd(*p);) {
        while (IsSeparator(*p)) ++p;
        if (IsEnd(*p)) break;
        ++n;
        while (!IsEnd(*p) && !IsSeparator(*p)) ++p;
    }
    return n;
}

int SplitWords(const char* line, WordList* words) {
    // The strings are reused from line to line, so a long game's "position" line costs no
    // allocation the second time.
    int n = 0;
    for (const char* p = line; !IsEnd(*p);) {
        while (IsSeparator(*p)) ++p;
        if (IsEnd(*p)) break;
        const char* start = p;
        while (!IsEnd(*p) && !IsSeparator(*p)) ++p;
        if (size_t(n) >= words->aWords.size()) words->aWords.emplace_back();
        words->aWords[size_t(n)].assign(start, size_t(p - start));
        ++n;
    }
    if (size_t(n) >= words->aWords.size()) words->aWords.emplace_back();
    words->aWords[size_t(n)].clear();  // the empty word after the last one
    words->nCount = n;
    return n;
}

int ReadNumber(const char* text) {
    int64_t n = ReadNumber64(text);
    if (n > INT_MAX) return INT_MAX;
    if (n < INT_MIN) return INT_MIN;
    return int(n);
}

int64_t ReadNumber64(const char* text) {
    long long n = strtoll(text, nullptr, 10);  // clamps to the range on overflow
    return int64_t(n);
}
