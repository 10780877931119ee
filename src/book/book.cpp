// Opening book: loading the index and probing it.
#include "book/book.h"

#include <strings.h>

#include <algorithm>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "book/polyglot.h"
#include "core/log.h"
#include "core/settings.h"
#include "movegen/movegen.h"
#include "platform/platform.h"

int nBookPositions = 0;
std::vector<BookEntry> aBookIndex;

// The file the index was loaded from: probes read the move records from it.
static std::string sBookPath;
// The name the BookFile option gave.
static std::string sBookName = kBookFileName;
// A Polyglot book is held whole: its entries are what a probe searches.
static std::vector<PolyglotEntry> aPolyglotBook;
// Larger Polyglot files are refused rather than read into memory.
constexpr uint64_t kMaxPolyglotBytes = uint64_t(512) << 20;

void FreeBook() {
    aBookIndex.clear();
    aBookIndex.shrink_to_fit();
    aPolyglotBook.clear();
    aPolyglotBook.shrink_to_fit();
    nBookPositions = 0;
}

void SetBookFileName(const std::string& name) {
    sBookName = name.empty() ? kBookFileName : name;
}

const std::string& BookFileName() {
    return sBookName;
}

uint64_t BookRandom(int seed) {
    uint64_t z = uint64_t(uint32_t(seed)) + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// Any fault in the file's contents: the book goes off and its index is dropped.
static bool RejectBook(FILE* file, const char* path) {
    if (file) fclose(file);
    printf("Invalid opening book file found (%s)\n", path);
    FreeBook();
    bOwnBook = false;
    return false;
}

// The same fault found while reading a move record at a probe.
static Move RejectRecord(FILE* file, const char* path) {
    RejectBook(file, path);
    return 0;
}

std::string FindBookFile(const std::string& sExeDir) {
    // A GUI may start the engine in any folder: the book beside the program still counts.
    const std::string& name = sBookName;
    if (FILE* f = fopen(name.c_str(), "rb")) {
        fclose(f);
        return name;
    }
    if (!sExeDir.empty() && name[0] != '/') {
        const std::string beside = sExeDir + "/" + name;
        if (FILE* f = fopen(beside.c_str(), "rb")) {
            fclose(f);
            return beside;
        }
    }
    return name;
}

// Our own books begin with their header text, or at least with the version byte and a count
// that fits the file; anything else of whole 16-byte entries, or a file named .bin, is read as
// a Polyglot book.
static bool IsPolyglotFile(const char* path, const uint8_t* header, size_t nHeader, uint64_t nFileSize) {
    const size_t nLen = strlen(path);
    if (nLen >= 4 && strcasecmp(path + nLen - 4, ".bin") == 0) return true;
    if (nHeader >= size_t(kBookMagicSize) && memcmp(header, kBookMagic, kBookMagicSize) == 0) return false;
    if (nHeader == size_t(kBookHeaderSize) && header[kBookMagicSize] == kBookVersion &&
        kBookHeaderSize + uint64_t(LoadLe32(header + kBookMagicSize + 1)) * kBookIndexRecordSize <= nFileSize)
        return false;
    return nFileSize > 0 && nFileSize % kPolyglotEntrySize == 0;
}

static bool LoadPolyglotFile(FILE* file, const char* path, uint64_t nFileSize) {
    if (nFileSize > kMaxPolyglotBytes) {
        fclose(file);
        printf("Opening book file too large (%s, %" PRIu64 " bytes, at most %" PRIu64 ")\n", path, nFileSize,
               kMaxPolyglotBytes);
        FreeBook();
        bOwnBook = false;
        return false;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(nFileSize));
    const bool bRead =
        fseek(file, 0, SEEK_SET) == 0 && fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
    fclose(file);
    std::vector<PolyglotEntry> book;
    if (!bRead || !ParsePolyglotBook(bytes, &book)) return RejectBook(nullptr, path);
    FreeBook();
    aPolyglotBook.swap(book);
    nBookPositions = int(std::min<size_t>(aPolyglotBook.size(), INT_MAX));
    sBookPath = path;
    printf("Successfully loaded opening book file (%s)\n", path);
    return true;
}

bool LoadBook() {
    return LoadBookFile(FindBookFile(ExecutableDir()).c_str());
}

bool LoadBookFile(const char* path) {
    if (!bOwnBook) return false;
    FILE* file = fopen(path, "rb");
    if (!file) {
        printf("Cannot find opening book file to load (%s)\n", path);
        FreeBook();
        bOwnBook = false;
        return false;
    }

    // Everything below is checked against the real size, so a damaged count can neither make us
    // allocate gigabytes nor send a probe past the end of the file.
    if (fseek(file, 0, SEEK_END) != 0) return RejectBook(file, path);
    const long nSize = ftell(file);
    if (nSize < 0 || fseek(file, 0, SEEK_SET) != 0) return RejectBook(file, path);
    const uint64_t nFileSize = uint64_t(nSize);

    uint8_t header[kBookHeaderSize];
    const size_t nHeader = fread(header, 1, sizeof(header), file);
    if (IsPolyglotFile(path, header, nHeader, nFileSize)) return LoadPolyglotFile(file, path, nFileSize);
    if (nHeader != sizeof(header)) return RejectBook(file, path);
    if (header[kBookMagicSize] != kBookVersion) return RejectBook(file, path);
    const uint64_t n = LoadLe32(header + kBookMagicSize + 1);
    if (n > uint64_t(INT_MAX) || kBookHeaderSize + n * kBookIndexRecordSize > nFileSize)
        return RejectBook(file, path);

    std::vector<uint8_t> raw(size_t(n) * kBookIndexRecordSize);
    if (!raw.empty() && fread(raw.data(), 1, raw.size(), file) != raw.size()) return RejectBook(file, path);
    fclose(file);
    file = nullptr;

    // Each record needs at least its count byte and one move inside the record area.
    const uint64_t nRecordsStart = kBookHeaderSize + n * kBookIndexRecordSize;
    std::vector<BookEntry> index(n);
    for (size_t i = 0; i < index.size(); i++) {
        const uint8_t* p = raw.data() + i * kBookIndexRecordSize;
        index[i].nKey = LoadLe64(p);
        index[i].nOffset = LoadLe32(p + 8);
        if (index[i].nOffset < nRecordsStart || index[i].nOffset + uint64_t(1 + 4) > nFileSize)
            return RejectBook(nullptr, path);
        // The probe's binary search needs strictly ascending keys.
        if (i > 0 && index[i].nKey <= index[i - 1].nKey) return RejectBook(nullptr, path);
    }

    FreeBook();
    aBookIndex.swap(index);
    nBookPositions = int(n);
    sBookPath = path;
    printf("Successfully loaded opening book file (%s)\n", path);
    return true;
}

// Draws of the Polyglot choice since the last "seed": game after game the choices differ, and
// the same seed gives the same sequence of them.
static uint32_t nBookDraws = 0;

void ResetBookDraws() {
    nBookDraws = 0;
}

static uint64_t NextBookDraw() {
    return BookRandom(int(uint32_t(nSeed) + nBookDraws++));
}

Move ProbeBook(const Position* pos) {
    if (!bOwnBook || nBookPositions == 0) return 0;
    if (!aPolyglotBook.empty()) return ChoosePolyglotMove(aPolyglotBook, pos, NextBookDraw());
    const uint64_t key = pos->nHashKey;
    const auto it = std::lower_bound(aBookIndex.begin(), aBookIndex.end(), key,
                                     [](const BookEntry& e, uint64_t k) { return e.nKey < k; });
    if (it == aBookIndex.end() || it->nKey != key) return 0;

    const char* path = sBookPath.c_str();
    FILE* file = fopen(path, "rb");
    if (!file) {
        printf("WARNING Cannot find book file %s\n", path);
        bOwnBook = false;
        return 0;
    }
    if (fseek(file, long(it->nOffset), SEEK_SET) != 0) {
        printf("WARNING Error reading book at %ld\n", long(it->nOffset));
        fclose(file);
        bOwnBook = false;
        return 0;
    }
    // The file may have been replaced since the load, so the record is checked again here.
    uint8_t record[1 + 4 * kBookMaxMoves];
    if (fread(record, 1, 1, file) != 1) return RejectRecord(file, path);
    const int n = record[0];
    if (n < 1 || n > kBookMaxMoves) return RejectRecord(file, path);
    if (fread(record + 1, 4, size_t(n), file) != size_t(n)) return RejectRecord(file, path);
    fclose(file);

    // A key collision or a stale file can bring moves that do not belong to this position.
    const int first = int(BookRandom(nSeed) % uint64_t(n));
    for (int k = 0; k < n; k++) {
        const int i = (first + k) % n;
        const Move m = LoadLe32(record + 1 + 4 * i);
        if (IsMoveValid(pos, m) && IsLegalMove(pos, m)) return m;
        TraceLog(2, "Book move %08" PRIX32 " is not legal here, skipped\n", m);
    }
    return 0;
}
