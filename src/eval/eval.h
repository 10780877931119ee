// Static evaluation: the pipeline with its two lazy exits and the evaluation cache, the piece,
// king-safety and drawish-ending terms, the component trace and the symmetry test.
#pragma once

#include <array>
#include <cstdint>

#include "board/board.h"
#include "core/settings.h"
#include "eval/cache.h"
#include "eval/material.h"

// Value written to both king outputs of Evaluate when it returns before computing them.
inline constexpr int EVAL_NO_KING = -32000;

// ---------------------------------------------------------------------------------------
// The pipeline.

// Score of pos in centipawns from the side to move's point of view. The lazy exits are tried
// only for a null window (beta == alpha + 1). nPlyIndex is the caller's distance from the root
// in plies (handed to the ending recognisers). anKingInfo receives the white and the black
// king values, or EVAL_NO_KING twice when the evaluation ended before computing them. A trace
// level above 0 prints the component breakdown of a full evaluation to standard output.
int Evaluate(const Position* pos, int nAlpha, int nBeta, int nPlyIndex, int* anKingInfo, int nTrace);

// Whether the net evaluates: Evaluation Net, a net loaded, and the fitted weights (EvalWeights
// Classic means the first design's hand-written evaluation entire).
bool NetEvalInUse();

// The "eval" console command: allocates the pawn hash if it is missing, then evaluates pos with
// the full window -32000..32000 at ply 0, printing the trace for a level above 0.
int EvalCommand(const Position* pos, int nTrace);
// The hand-written static score shown by the board dump ("Eval =" line): full window, ply 0,
// no trace, whichever evaluation plays.
int BoardStaticEval(const Position* pos);
// The net's score the same way (the hand-written one when no net is loaded); the dump shows it
// beside the other ("Net Eval =" line) while the net plays.
int NetStaticEval(const Position* pos);
// The score the second lazy exit answers for pos (material, pawns and traps, scaled, side to
// move's view); the full score for draws and recognised endings, which answer before it.
int SecondLazyScore(const Position* pos);

// Board dumps: bitboards, keys, FEN and a picture; PrintBoard adds the static evaluation
// ("Eval =" line), which is why the dumps live with the evaluation.
void PrintBoard(const Position* pos, FILE* stream);
void DumpBoard(const Position* pos, FILE* stream);

// White and black king values: the ending table, blended with the middlegame safety by phase
// (me from ProbeMaterial). The evaluation caches them per thread.
void ComputeKingValues(const Position* pos, const MaterialEntry& me, int* anKing);

// Forgets every result computed with other weights: empties the material table and the
// allocated pawn and evaluation caches, and moves nEvalWeightsGeneration on, which the
// per-thread caches of king values compare with.
void ForgetEvalResults();
extern uint32_t nEvalWeightsGeneration;

// The hand-written evaluation for a scope, whatever Evaluation says: the tools that fit or
// check its weights must see its own scores.
struct HandEvalScope {
    bool bWas = bNetEval;
    // The caches hold scores of the evaluation that filled them.
    HandEvalScope() {
        bNetEval = false;
        if (bWas) ForgetEvalResults();
    }
    ~HandEvalScope() {
        bNetEval = bWas;
        if (bWas) ForgetEvalResults();
    }
    HandEvalScope(const HandEvalScope&) = delete;
    HandEvalScope& operator=(const HandEvalScope&) = delete;
};

// ---------------------------------------------------------------------------------------
// Piece and king terms (white's point of view unless said otherwise). The piece terms add their
// king tropism to *pnTropism and their mobility to *pnMobility.
int EvaluateKnights(const Position* pos, const PawnEntry* pe, const MaterialEntry* me, int* pnTropism,
                    int* pnMobility);
int EvaluateBishops(const Position* pos, const PawnEntry* pe, const MaterialEntry* me, int* pnTropism,
                    int* pnMobility);
int EvaluateRooks(const Position* pos, const PawnEntry* pe, const MaterialEntry* me, int* pnTropism,
                  int* pnMobility);
int EvaluateQueens(const Position* pos, const PawnEntry* pe, const MaterialEntry* me, int* pnTropism,
                   int* pnMobility);

// Middlegame king safety of each side from that side's own point of view (higher is safer).
int WhiteKingSafety(const Position* pos, int nKingSq);
int BlackKingSafety(const Position* pos, int nKingSq);
// Pawn shelter (and enemy storm) of one file; nFile is the board's file index square & 7
// (0 = h-file, 7 = a-file).
int ShelterWhite(const Position* pos, int nFile);
int ShelterBlack(const Position* pos, int nFile);

// Lowers the scale factors of *me (the caller's copy) in endings that are hard to win, handing
// king and pawn (or bishop and pawn) against king to the ending judges.
void ScaleDrawishEndings(const Position* pos, MaterialEntry* me, const PawnEntry* pe);

// ---------------------------------------------------------------------------------------
// Trace of one full evaluation: the components in white's point of view, unscaled.
struct EvalTrace {
    int nPawns;  // cached pawn-structure score of the pawn entry
    int nTraps;
    int nKing;  // white king value minus black king value
    int nKnights;
    int nBishops;
    int nRooks;
    int nQueens;
    int nTropism;  // tropism accumulator x 0.8, truncated toward zero
    int nMobility;
};
// Prints the breakdown and the final score (side to move's view, scaled) to standard output.
void PrintEvalTrace(const EvalTrace& t, int nFinal);

// ---------------------------------------------------------------------------------------
// Square tables are written as diagrams (rank 8 on top, files a to h left to right); square
// numbering (0 = h1, 63 = a8) reads such a diagram backwards.
constexpr std::array<int, 64> TableFromDiagram(const std::array<int, 64>& diagram) {
    std::array<int, 64> t{};
    for (int i = 0; i < 64; i++) t[i] = diagram[63 - i];
    return t;
}
