// "tune DATA [OUT] [ROUNDS]": fits the evaluation's weights to game results.
//
// DATA holds one position per line, "FEN;RESULT" with the result from white's side as 1-0, 0-1,
// 1/2-1/2 or 1, 0.5, 0. Each position is replaced by the leaf of its quiescence search (the
// position that the evaluation actually judges), positions in check, repeated ones and
// lopsided ones (beyond 15 pawns) are dropped, and the last tenth is held out. The fit minimises the
// squared error between the result and a logistic function of the evaluation: the scaling
// constant first, then the weights. Each round measures every position's change of evaluation
// per weight (the terms are linear in their weights between the blends and scale factors),
// descends on that linear model, and evaluates again with the rounded weights. The second lazy
// exit's margin is then set to the gap between full and pawn-level score that 99% of the
// positions stay within. The fitted set is written as a C++ source file defining
// kFittedWeights (OUT, default weights_fitted.cpp).
#pragma once

#include <string>
#include <vector>

#include "board/board.h"
#include "eval/weights.h"

// A labelled position: the result from white's side, 0, 0.5 or 1.
struct TuneSample {
    Position pos;
    float fResult;
};

// Reads "FEN;RESULT" lines; *pnBad counts lines that are neither such a line, blank nor a
// comment (#). Positions are not yet reduced to their quiet leaf.
std::vector<TuneSample> ReadTuneData(const char* path, int* pnBad);

// Replaces pos by the leaf of its quiescence search's principal variation; false when pos is in
// check (no quiet leaf of its own).
bool QuietLeaf(Position* pos);

// The evaluation from white's side, full window.
int WhiteEvaluation(const Position& pos);

// Mean squared error of the results against 1 / (1 + 10^(-K e / 400)) over the samples.
double TuneError(const std::vector<TuneSample>& samples, double dK);
// The K that minimises TuneError for the weights in use.
double FitScale(const std::vector<TuneSample>& samples);

// The C++ source of a fitted set named kFittedWeights; szNote goes into its opening comment.
std::string WeightsSource(const EvalWeights& w, const std::string& sNote);

// The console command: runs as a tool job ("stop" and "quit" end it between steps).
void TuneCommand(const char* szData, const char* szOut, int nRounds);
// The same on the calling thread, to its end ("quietmarmoset tune ..."); true when the fitted
// set was written.
bool RunTune(const char* szData, const char* szOut, int nRounds);
