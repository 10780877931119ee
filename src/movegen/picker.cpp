// The staged move picker: hash move, good captures, killers, quiet moves by history, bad
// captures; in check one sorted batch of evasions; at the root every move by its last score.
#include <atomic>

#include "movegen/movegen.h"

Move anKiller1[kMaxPly];
Move anKiller2[kMaxPly];
int anHistory[2][6][64];
MoveList RootMoves;
RootFilter rootFilter;

bool RootMoveAllowed(Move m) {
    for (int i = 0; i < rootFilter.nSkip; i++)
        if (rootFilter.aSkip[i] == m) return false;
    if (rootFilter.nOnly == 0) return true;
    for (int i = 0; i < rootFilter.nOnly; i++)
        if (rootFilter.aOnly[i] == m) return true;
    return false;
}

namespace {

// The killer and history tables are written by every search thread without a lock: read them
// with relaxed atomic loads (a stale value is only an ordering hint).
template <class T>
inline T Shared(const T& x) {
    return std::atomic_ref<T>(const_cast<T&>(x)).load(std::memory_order_relaxed);
}

constexpr int kTypeValue[8] = {0, 100, 325, 325, 500, 975, 0, 0};
// Score of a move that was (or will be) handed out by another stage; dropped after sorting.
constexpr int kDropped = -32000;
// Captures and en passant (Captured set), promotions and en passant (Kind 2 and 3 share bit 13).
constexpr Move kNotQuietBits = (Move(7) << 20) | (Move(1) << 13);

inline int HistoryScore(const Position* pos, Move m) {
    return Shared(anHistory[pos->bSideToMove][MovePiece(m) - 1][MoveTo(m)]) - 30000;
}

// Gain of a capture: the plain difference when it wins material outright, else the exchange.
inline int ExchangeGain(const Position* pos, Move m) {
    const int d = kTypeValue[MoveCaptured(m)] - kTypeValue[MovePiece(m)];
    return d > 0 ? d : StaticExchange(pos, MoveFrom(m), MoveTo(m));
}

inline void SwapEntries(Move* moves, int* scores, int i, int j) {
    Move m = moves[i];
    moves[i] = moves[j];
    moves[j] = m;
    int s = scores[i];
    scores[i] = scores[j];
    scores[j] = s;
}

// Descending selection sort; ties keep the earlier entry. Returns the index of the first
// negative score (n when there is none).
int SelectionSort(Move* moves, int* scores, int n) {
    int firstNegative = n;
    for (int i = 0; i < n; i++) {
        int best = i;
        for (int j = i + 1; j < n; j++)
            if (scores[j] > scores[best]) best = j;
        SwapEntries(moves, scores, i, best);
        if (scores[i] < 0 && firstNegative == n) firstNegative = i;
    }
    return firstNegative;
}

// Descending exchange sort with a gap halved (rounding up) each pass; equal scores never swap.
void ExchangeSort(Move* moves, int* scores, int n) {
    // A batch already in order (all scores equal, say) would pass through unchanged.
    int k = 1;
    while (k < n && scores[k - 1] >= scores[k]) k++;
    if (k >= n) return;
    int gap = n;
    bool swapped = true;
    while (swapped || gap > 1) {
        gap = (gap + 1) / 2;
        swapped = false;
        for (int i = 0; i + gap < n; i++) {
            if (scores[i] < scores[i + gap]) {
                SwapEntries(moves, scores, i, i + gap);
                swapped = true;
            }
        }
    }
}

// Removes the entries scored kDropped that are one of the given moves. They normally sort last;
// scanning the whole batch keeps the result right even if some other score is as low.
int DropDuplicates(Move* moves, int* scores, int n, Move a, Move b, Move c) {
    int kept = 0;
    for (int i = 0; i < n; i++) {
        const Move m = moves[i];
        if (scores[i] == kDropped && (m == a || m == b || m == c)) continue;
        moves[kept] = m;
        scores[kept] = scores[i];
        kept++;
    }
    return kept;
}

// A killer is tried only when it is a quiet move that is playable here and not yet handed out.
// The search stores only quiet moves; a capture in the table (torn or stale) is skipped so that
// it cannot come again with the bad captures.
inline bool KillerUsable(const Position* pos, const MoveList& l, Move k) {
    return k && k != l.nHashMove && !(k & kNotQuietBits) && IsMoveValid(pos, k);
}

int ScoreEvasions(const Position* pos, MoveList& l, int n, int nKillerRow) {
    const bool bRow = unsigned(nKillerRow) < unsigned(kMaxPly);
    const Move k1 = bRow ? Shared(anKiller1[nKillerRow]) : 0;
    const Move k2 = bRow ? Shared(anKiller2[nKillerRow]) : 0;
    int nDropped = 0;
    for (int i = 0; i < n; i++) {
        const Move m = l.aMoves[i];
        int score;
        if (m == l.nHashMove) {
            score = kDropped;
            nDropped++;
        } else if (m == k1) {
            score = 30020;
        } else if (m == k2) {
            score = 30010;
        } else if (MoveCaptured(m)) {
            const int d = kTypeValue[MoveCaptured(m)] - kTypeValue[MovePiece(m)];
            if (d > 0) {
                score = d + 10000;
            } else {
                const int s = StaticExchange(pos, MoveFrom(m), MoveTo(m));
                score = s < 0 ? s - 10000 : s + 10000;
            }
        } else {
            score = HistoryScore(pos, m);
        }
        l.aScores[i] = score;
    }
    return nDropped;
}

void ScoreRoot(const Position* pos, MoveList& l, int n) {
    for (int i = 0; i < n; i++) {
        const Move m = l.aMoves[i];
        int score = -31999;
        if (m == l.nHashMove) {
            score = 31999;
        } else {
            for (int j = 0; j < RootMoves.nCount; j++) {
                if (RootMoves.aMoves[j] == m) {
                    score = RootMoves.aScores[j];
                    break;
                }
            }
        }
        if (score == -32000 && MoveCaptured(m)) score = StaticExchange(pos, MoveFrom(m), MoveTo(m));
        l.aScores[i] = score;
    }
}

}  // namespace

void StartPicker(MoveList* list, Move nHashMove, int nPhase) {
    if (nPhase == PHASE_HASH || nPhase == PHASE_START) nPhase = nHashMove ? PHASE_HASH : PHASE_START;
    list->nHashMove = nHashMove;
    list->nPhase = nPhase;
    list->nKiller1Played = list->nKiller2Played = 0;
    list->nCount = list->nGoodCaptures = list->nBadCaptures = 0;
    list->nIndex = list->nEnd = 0;
    list->nReturned = 0;
    list->bDone = false;
}

void SortMoves(MoveList* list, int first) {
    ExchangeSort(list->aMoves + first, list->aScores + first, list->nCount);
}

Move NextMove(const Position* pos, MoveList* list, int nKillerRow, bool bInCheck, int* pnScore) {
    MoveList& l = *list;
    Move m = 0;
    int score = 0;
    for (;;) {
        switch (l.nPhase) {
            case PHASE_HASH:
                l.nPhase = PHASE_START;
                if (!l.nHashMove) continue;
                l.nReturned = 0;
                m = l.nHashMove;
                score = 1;
                goto found;

            case PHASE_START:
                l.nReturned = l.nHashMove ? 1 : 0;
                l.nPhase = PHASE_EVASIONS;
                continue;

            case PHASE_EVASIONS: {
                if (!bInCheck) {
                    l.nPhase = PHASE_CAPTURES;
                    continue;
                }
                int n = GenerateEvasions(pos, l.aMoves, kMaxMoves);
                const int nDropped = ScoreEvasions(pos, l, n, nKillerRow);
                ExchangeSort(l.aMoves, l.aScores, n);
                if (nDropped) n = DropDuplicates(l.aMoves, l.aScores, n, l.nHashMove, 0, 0);
                l.nCount = n;
                if (!n) goto done;
                l.nIndex = 0;
                l.nEnd = n;
                l.nPhase = PHASE_SORTED_BATCH;
                goto current;
            }

            case PHASE_CAPTURES: {
                int n = GenerateCaptures(pos, l.aMoves, kMaxMoves);
                int nDropped = 0;
                for (int i = 0; i < n; i++) {
                    const Move c = l.aMoves[i];
                    int s;
                    if (c == l.nHashMove) {
                        s = kDropped;
                        nDropped++;
                    } else if (MoveCaptured(c)) {
                        s = ExchangeGain(pos, c);
                    } else {
                        s = kTypeValue[MovePromo(c)];
                    }
                    l.aScores[i] = s;
                }
                const int nGood = SelectionSort(l.aMoves, l.aScores, n);
                if (nDropped) n = DropDuplicates(l.aMoves, l.aScores, n, l.nHashMove, 0, 0);
                l.nCount = n;
                l.nGoodCaptures = nGood;
                l.nBadCaptures = n - nGood;
                if (nGood > 0) {
                    l.nIndex = 0;
                    l.nEnd = nGood;
                    l.nPhase = nGood == 1 ? PHASE_KILLER1 : PHASE_GOOD_CAPTURES;
                    goto current;
                }
                l.nPhase = PHASE_KILLER1;
                continue;
            }

            case PHASE_GOOD_CAPTURES:
                if (++l.nIndex >= l.nGoodCaptures - 1) l.nPhase = PHASE_KILLER1;
                goto current;

            case PHASE_KILLER1: {
                l.nKiller1Played = 0;
                l.nPhase = PHASE_KILLER2;
                const Move k = unsigned(nKillerRow) < unsigned(kMaxPly) ? Shared(anKiller1[nKillerRow]) : 0;
                if (KillerUsable(pos, l, k)) {
                    l.nKiller1Played = m = k;
                    score = 0;
                    goto found;
                }
                continue;
            }

            case PHASE_KILLER2: {
                l.nKiller2Played = 0;
                l.nPhase = PHASE_QUIETS;
                const Move k = unsigned(nKillerRow) < unsigned(kMaxPly) ? Shared(anKiller2[nKillerRow]) : 0;
                if (k != l.nKiller1Played && KillerUsable(pos, l, k)) {
                    l.nKiller2Played = m = k;
                    score = 0;
                    goto found;
                }
                continue;
            }

            case PHASE_QUIETS: {
                const int base = l.nGoodCaptures + l.nBadCaptures;
                Move* moves = l.aMoves + base;
                int* scores = l.aScores + base;
                int n = GenerateQuiets(pos, moves, kMaxMoves - base);
                const Move hash = l.nHashMove, k1 = l.nKiller1Played, k2 = l.nKiller2Played;
                int nDropped = 0;
                for (int i = 0; i < n; i++) {
                    const Move q = moves[i];
                    if (q == hash || q == k1 || q == k2) {
                        scores[i] = kDropped;
                        nDropped++;
                    } else {
                        scores[i] = HistoryScore(pos, q);
                    }
                }
                ExchangeSort(moves, scores, n);
                if (nDropped) n = DropDuplicates(moves, scores, n, hash, k1, k2);
                l.nCount = n;
                if (n) {
                    l.nIndex = base;
                    l.nEnd = base + n;
                    l.nPhase = n == 1 ? PHASE_BAD_CAPTURES : PHASE_QUIETS_NEXT;
                    goto current;
                }
                l.nPhase = PHASE_BAD_CAPTURES;
                continue;
            }

            case PHASE_QUIETS_NEXT:
                if (++l.nIndex >= l.nEnd - 1) l.nPhase = PHASE_BAD_CAPTURES;
                goto current;

            case PHASE_BAD_CAPTURES:
                if (l.nBadCaptures <= 0) goto done;
                l.nIndex = l.nGoodCaptures;
                l.nEnd = l.nGoodCaptures + l.nBadCaptures;
                l.nPhase = PHASE_BAD_CAPTURES_NEXT;
                goto current;

            case PHASE_BAD_CAPTURES_NEXT:
            case PHASE_SORTED_BATCH:
                if (++l.nIndex >= l.nEnd) goto done;
                goto current;

            case PHASE_ROOT: {
                l.nReturned = 0;
                int n;
                if (bInCheck) {
                    n = GenerateEvasions(pos, l.aMoves, kMaxMoves);
                } else {
                    n = GenerateCaptures(pos, l.aMoves, kMaxMoves);
                    n += GenerateQuiets(pos, l.aMoves + n, kMaxMoves - n);
                }
                if (RootFiltered()) {
                    int nKept = 0;
                    for (int i = 0; i < n; i++)
                        if (RootMoveAllowed(l.aMoves[i])) l.aMoves[nKept++] = l.aMoves[i];
                    n = nKept;
                }
                ScoreRoot(pos, l, n);
                l.nCount = n;
                SortMoves(list, 0);
                if (!n) goto done;
                l.nIndex = 0;
                l.nEnd = n;
                l.nPhase = PHASE_SORTED_BATCH;
                goto current;
            }

            default:
                goto done;
        }
    }

current:
    m = l.aMoves[l.nIndex];
    score = l.aScores[l.nIndex];
found:
    l.nReturned++;
    if (pnScore) *pnScore = score;
    return m;

done:
    l.nPhase = PHASE_DONE;
    l.bDone = true;
    if (pnScore) *pnScore = 0;
    return 0;
}
