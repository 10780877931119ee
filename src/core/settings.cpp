#include "core/settings.h"

// The table sizes are part of the program image: InitDefaults leaves them alone.
int nHashMB = 64;
int nPawnHashKB = 1024;
int nEvalHashMB = 16;
bool bPonder = true;
bool bOwnBook = true;
int nNumThreads = 1;
bool bLogStats = false;
int nTraceLevel = 0;
int nTimeBuffer = 0;
int nNumBeers = 0;
int nMultiPv = 1;
bool bAnalyseMode = false;

int nSeed = 0;
std::atomic<bool> bUciMode{false};
bool bShowBoard = true;
int nEngineSide = 1;
int nMaxDepth = 128;
int nGoDepth = 0;
int nGoMate = 0;
bool bFixedTime = true;
double dClock[2] = {0.0, 0.0};
int nIncrement[2] = {0, 0};
double dIncrement[2] = {0.0, 0.0};
int nMovesToGo[2] = {0, 0};
double dMoveTime[2] = {5.0, 5.0};
int64_t nNodeLimit = 0;
int64_t nSoftNodeLimit = 0;
bool bNetEval = false;
bool bLowTime[2] = {false, false};
double dSoftTime[2] = {5.0, 5.0};
bool bClassicStyle = false;

std::atomic<bool> bPondering{false};
std::atomic<bool> bStopSearch{false};
std::atomic<bool> bThinking{false};
