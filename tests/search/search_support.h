// Shared set-up for the search tests: tables of a known size, cleared statistics and ordering
// tables, a game history that starts at the searched position, and a small iterative-deepening
// loop with the root driver's aspiration windows.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/settings.h"
#include "movegen/movegen.h"
#include "search/hash.h"
#include "search/search.h"
#include "search/threads.h"
#include "support/engine_setup.h"
#include "tools/stats.h"

class SearchTest : public testing::Test {
protected:
    void SetUp() override {
        EnsureEngineReady();
        WaitWhileThinking();
        nSavedHash = nHashMB;
        nSavedBeers = nNumBeers;
        nSavedThreads = nNumThreads;
        bSavedUci = bUciMode;
        bSavedLow[0] = bLowTime[0];
        bSavedLow[1] = bLowTime[1];
        nSavedGamePly = game.nGamePly;
        nNumBeers = 0;
        bUciMode = false;
        bLowTime[0] = bLowTime[1] = false;
        nNumThreads = 1;
        // These suites spell out the first design's rules; the newer ones have plan_test.
        bClassicStyle = true;
        bStopSearch = false;
        bPondering = false;
        UseHash(8);
        ResetState();
    }
    void TearDown() override {
        bClassicStyle = false;
        bStopSearch = false;
        nHashMB = nSavedHash;
        nNumBeers = nSavedBeers;
        nNumThreads = nSavedThreads;
        bUciMode = bSavedUci;
        bLowTime[0] = bSavedLow[0];
        bLowTime[1] = bSavedLow[1];
        game.nGamePly = nSavedGamePly;
        aThreadMarkers[0].nLastIrreversible = 0;
        aWorkers[0].nJob.store(JOB_IDLE);
        AllocTransTable(false);
    }

    // A transposition table of nMB megabytes (0 disables it), plus the evaluation caches.
    static void UseHash(int nMB) {
        nHashMB = nMB;
        AllocTransTable(false);
        if (!aPawnHash) AllocPawnHash(false);
        if (!aEvalHash) AllocEvalHash(false);
        ClearPawnHash();
        ClearEvalHash();
    }

    // Everything a fresh game and search start from.
    static void ResetState() {
        if (nTransBuckets) ClearTransTable();
        ClearSearchStats();
        ResetSearchHistory();
        ClearKillers();
        RootMoves.nCount = 0;
        nSelDepth = 0;
        game.nGamePly = 0;
        aThreadMarkers[0].nLastIrreversible = 0;
    }

    // The position with nInCheck set, as the game's current position with no game moves before
    // it (the search writes its own history entries, so a node searched directly at some ply
    // finds no earlier occurrence).
    static Position Setup(const char* fen) {
        Position pos = PositionFromFen(fen);
        pos.nInCheck = uint8_t(InCheck(&pos));
        game.nGamePly = 0;
        for (int i = 0; i <= kMaxPly; i++) game.aGameHistory[i] = 0;
        aThreadMarkers[0].nLastIrreversible = 0;
        return pos;
    }

    static SearchStack RootStack() { return SearchStack{0, 0, 0, -1, -1, NODE_PV, 0}; }

    // Iterative deepening to nPlies with the aspiration windows of the root driver (first window
    // 20 around the last score, one widening, then the full window). Returns the last score.
    static int Deepen(const Position& pos, int nPlies, PvLine* line, SearchStack* root = nullptr) {
        SearchStack ss = RootStack();
        if (!root) root = &ss;
        RootMoves.nCount = 0;
        ClearKillers();
        int c = 0, score = 0;
        for (int i = 1; i <= nPlies; i++) {
            int alpha = c - 20, beta = c + 20, retries = 0;
            for (;;) {
                line->nLength = 0;
                const int s = SearchFull(&pos, i * ONE_PLY, alpha, beta, line, 0, true, root, 0);
                if (s <= alpha) {
                    if (++retries == 1) {
                        alpha -= std::max(std::abs(s - alpha) + 1, 60);
                        beta -= 20;
                    } else {
                        alpha = -SCORE_INF;
                        beta = SCORE_INF;
                    }
                } else if (s >= beta) {
                    if (++retries == 1) {
                        beta += std::max(std::abs(s - beta) + 1, 60);
                        alpha += 20;
                    } else {
                        alpha = -SCORE_INF;
                        beta = SCORE_INF;
                    }
                } else {
                    score = c = s;
                    break;
                }
            }
            if (score > MATE_BOUND || score < -MATE_BOUND) break;
        }
        return score;
    }

    static uint64_t Nodes() { return ThreadStats(0).nNodes.Get(); }
    static uint64_t QNodes() { return ThreadStats(0).nQNodes.Get(); }

    // True when every move of the line is legal in turn; the final position is left in *end.
    static bool LineIsLegal(const Position& pos, const PvLine& line, Position* end = nullptr) {
        Position p = pos, next;
        for (int i = 0; i < line.nLength; i++) {
            const Move m = line.anMoves[i];
            if (!IsGeneratedMove(&p, m)) return false;
            MakeMove(m, &p, &next, 0, -1);
            p = next;
        }
        if (end) *end = p;
        return true;
    }

    static bool IsCheckmate(const Position& pos) {
        if (!InCheck(&pos)) return false;
        Move moves[kMaxMoves];
        const int n = GenerateEvasions(&pos, moves);
        for (int i = 0; i < n; i++)
            if (IsLegalMove(&pos, moves[i])) return false;
        return true;
    }

    // A move of pos given in coordinates ("e2e4", "e7e8n"), 0 when there is none.
    static Move FindMove(const Position& pos, const char* text) {
        Move moves[kMaxMoves];
        int n = GenerateCaptures(&pos, moves);
        n += GenerateQuiets(&pos, moves + n, kMaxMoves - n);
        for (int i = 0; i < n; i++)
            if (MoveToCoord(moves[i]) == text) return moves[i];
        return 0;
    }

    int nSavedHash = 0, nSavedBeers = 0, nSavedThreads = 1, nSavedGamePly = 0;
    bool bSavedUci = false, bSavedLow[2] = {false, false};
};
