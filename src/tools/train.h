// "train DATA... --out NET": fits the evaluation network to recorded positions.
//
// The net is trained in floats with the engine's shape (nnue/nnue.h): 768 inputs per
// perspective into one shared hidden layer, the side to move's half and then the other's into
// one output o, where centipawns = o * kNetScale. The loss is the squared error between
// sigmoid(o) and the target lambda * result + (1 - lambda) * sigmoid(score / kNetScale), both
// from the side to move's view. Adam on shuffled batches, the batch split over the threads.
//
// After every epoch the quantised net is written to NET.epoch-N (each one kept, so that any
// epoch can be tried in games); NET gets the epoch with the lowest held-out loss (the last one
// when nothing is held out). A run that is stopped writes the best of its finished epochs to
// NET and says so. NET's folder must be writable: that
// is checked before any training.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "nnue/nnue.h"

inline constexpr const char* kTrainUsage =
    "Usage: train DATA... --out NET [--epochs E] [--threads T] [--hidden H] [--activation screlu|crelu] "
    "[--lambda L] [--lr LR] [--batch B] [--holdout F] [--seed S] [--mirror on|off]";

// The defaults make the net the engine ships.
struct TrainOptions {
    std::vector<std::string> asData;
    std::string sOut;
    int nEpochs = 20;
    int nThreads = 2;
    int nHidden = 256;  // 16 .. kNetMaxHidden, a multiple of 16
    int nActivation = NET_SCRELU;
    double dLambda = 0.25;  // weight of the game result in the target
    double dLearningRate = 0.001;
    int nBatch = 16384;
    double dHoldout = 0.02;  // fraction held out: the last positions of the data, 0 .. 0.5
    uint64_t nSeed = 1;
    bool bMirror = true;  // every other epoch shows the positions without castling rights mirrored
};

// What a run measured (for callers that check it; the console gets the same as text).
struct TrainReport {
    int nEpochsDone = 0;
    double dHeldLossBefore = 0;   // held-out loss of the untrained net
    double dHeldLossAfter = 0;    // ... of the last finished epoch
    double dPositionsPerSec = 0;  // training speed of the last finished epoch
    double dQuantErrorCp = 0;     // mean |float - engine| in centipawns on held-out positions
};

// Reads the words of the command (argv[0] is "train"); false with the reason and the usage
// line in *pErr for an unknown flag, a missing or bad value, no data file or no --out.
bool ParseTrainArgs(int argc, char** argv, TrainOptions* pOpt, std::string* pErr);

// Runs the training on the calling thread; true when NET was written (also by a stopped run
// that finished an epoch). Inside a tool job it ends between batches once ToolAborted() says so.
bool RunTraining(const TrainOptions& opt, TrainReport* pReport = nullptr);

// The interpreter's "train ...": parses the words (printing the reason and usage when they are
// bad), then starts RunTraining as a worker-0 tool job and returns at once.
void TrainCommand(int argc, char** argv);
