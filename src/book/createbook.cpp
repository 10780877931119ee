// Building the opening book: collect the positions of the first plies of strong games with the
// moves played there, sort them by key and write the file the book reader loads.
#include "book/createbook.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "book/pgn.h"

namespace {

struct CollectedPosition {
    uint64_t nKey;
    uint8_t nNumMoves;
    Move anMoves[kBookMaxMoves];  // distinct, in the order first seen
};

// The positions collected so far with an open-addressing index by key (linear probing over a
// table at most about 30% full), so that a game costs a few probes per ply.
struct Collection {
    std::vector<CollectedPosition> aPositions;
    std::vector<int32_t> anSlots;  // -1 empty, else index into aPositions
};

constexpr int kSlotBits = 20;
static_assert((1 << kSlotBits) >= 3 * kBookCapacity, "the index must stay sparse at full capacity");

// Index of the position with this key, added without moves when new; -1 when it would be the
// kBookCapacity-th position.
int FindOrAdd(Collection* c, uint64_t key) {
    const uint32_t mask = (1u << kSlotBits) - 1;
    for (uint32_t slot = uint32_t(key) & mask;; slot = (slot + 1) & mask) {
        const int32_t j = c->anSlots[slot];
        if (j < 0) {
            if (c->aPositions.size() + 1 >= size_t(kBookCapacity)) return -1;
            c->anSlots[slot] = int32_t(c->aPositions.size());
            c->aPositions.push_back(CollectedPosition{key, 0, {}});
            return c->anSlots[slot];
        }
        if (c->aPositions[j].nKey == key) return j;
    }
}

// Adds m to the position's moves unless it is there already; false when it would be one too many.
bool AddMove(CollectedPosition* p, Move m) {
    for (int i = 0; i < p->nNumMoves; i++)
        if (p->anMoves[i] == m) return true;
    if (p->nNumMoves >= kBookMaxMoves) return false;
    p->anMoves[p->nNumMoves++] = m;
    return true;
}

// The whole file in memory: header, index, move records.
std::vector<uint8_t> BookFileBytes(const std::vector<CollectedPosition>& positions) {
    size_t size = kBookHeaderSize + size_t(kBookIndexRecordSize) * positions.size();
    for (const CollectedPosition& p : positions) size += 1 + 4 * size_t(p.nNumMoves);
    std::vector<uint8_t> bytes(size);
    uint8_t* b = bytes.data();
    std::copy(kBookMagic, kBookMagic + kBookMagicSize, b);
    b[kBookMagicSize] = kBookVersion;
    StoreLe32(b + kBookMagicSize + 1, uint32_t(positions.size()));

    uint8_t* index = b + kBookHeaderSize;
    const size_t nRecordsStart = kBookHeaderSize + size_t(kBookIndexRecordSize) * positions.size();
    uint8_t* record = b + nRecordsStart;
    for (const CollectedPosition& p : positions) {
        StoreLe64(index, p.nKey);
        StoreLe32(index + 8, uint32_t(record - b));
        index += kBookIndexRecordSize;
        *record++ = p.nNumMoves;
        for (int i = 0; i < p.nNumMoves; i++, record += 4) StoreLe32(record, p.anMoves[i]);
    }
    return bytes;
}

}  // namespace

bool CreateBook(const char* pgnPath, const char* bookPath) {
    FILE* pgn = fopen(pgnPath, "r");
    if (!pgn) {
        printf("Cannot open PGN file %s\n", pgnPath);
        return false;
    }
    // The output is checked before the long part of the work.
    SafeOutput out;
    if (!OpenSafeOutput(&out, bookPath)) {
        printf("Cannot create book file %s\n", bookPath);
        fclose(pgn);
        return false;
    }
    printf("Parsing %s ...", pgnPath);
    fflush(stdout);

    auto game = std::make_unique<PgnGame>();
    Collection c;
    c.anSlots.assign(size_t(1) << kSlotBits, -1);
    c.aPositions.reserve(1 << 14);
    int nParsed = 0, nProcessed = 0;
    bool bOverLimit = false;

    while (!bOverLimit && ReadPgnGame(pgn, game.get())) {
        nParsed++;
        if (game->nNumPlies <= kBookGamePlies || game->nWhiteElo < kBookMinElo ||
            game->nBlackElo < kBookMinElo)
            continue;
        if (nProcessed % 100 == 0) {
            printf(".");
            fflush(stdout);
        }
        nProcessed++;

        Position aPos[2];
        int cur = 0;
        SetStartPosition(&aPos[0]);
        for (int ply = 0; ply < kBookGamePlies; ply++) {
            const Position& pos = aPos[cur];
            const Move m = game->anMoves[ply];
            const bool bLost = (pos.bSideToMove == WHITE && game->nResult == PGN_BLACK_WINS) ||
                               (pos.bSideToMove == BLACK && game->nResult == PGN_WHITE_WINS);
            if (!bLost) {
                const int j = FindOrAdd(&c, pos.nHashKey);
                if (j < 0) {
                    printf("ERROR book.nNumPositions is over limit (%ld)\n", long(kBookCapacity));
                    bOverLimit = true;
                    break;
                }
                if (!AddMove(&c.aPositions[j], m)) {
                    printf("ERROR tPositions[j].nNumMoves is over limit (%d)\n", kBookMaxMoves + 1);
                    bOverLimit = true;
                    break;
                }
            }
            MakeMove(m, &aPos[cur], &aPos[cur ^ 1], 0, -1);
            cur ^= 1;
        }
    }
    // A read error (a directory opens like a file, for one) is no end of the collection.
    const bool bReadError = ferror(pgn) != 0;
    fclose(pgn);
    if (bOverLimit || bReadError) {
        if (bReadError) printf("\nCannot read PGN file %s\n", pgnPath);
        AbandonSafeOutput(&out);
        return false;
    }

    printf("\nParsed %d games, processed %d games and stored %ld positions\n", nParsed, nProcessed,
           long(c.aPositions.size()));
    printf("Sorting positions...\n");
    std::vector<int32_t>().swap(c.anSlots);
    std::sort(c.aPositions.begin(), c.aPositions.end(),
              [](const CollectedPosition& a, const CollectedPosition& b) { return a.nKey < b.nKey; });

    printf("Writing to file...\n");
    const std::vector<uint8_t> bytes = BookFileBytes(c.aPositions);
    const bool bWritten = fwrite(bytes.data(), 1, bytes.size(), out.pFile) == bytes.size();
    if (!bWritten) {
        AbandonSafeOutput(&out);
        printf("Cannot write book file %s\n", bookPath);
        return false;
    }
    if (!CommitSafeOutput(&out)) {
        printf("Cannot write book file %s\n", bookPath);
        return false;
    }
    printf("Completed book creation.\n");
    return true;
}
