#include "support/engine_setup.h"

#include <gtest/gtest.h>

#include "console/console.h"
#include "movegen/movegen.h"
#include "search/threads.h"

void EnsureEngineReady() {
    static bool bReady = false;
    if (bReady) return;
    bReady = true;
    InitEngine();
}

std::string RunCommand(const std::string& line) {
    EnsureEngineReady();
    testing::internal::CaptureStdout();
    ExecuteCommand(line.c_str());
    WaitWhileThinking();  // a job's output belongs to its command
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

Position PositionFromFen(const char* fen) {
    EnsureEngineReady();
    static GameState scratch;
    Position pos{};
    EXPECT_TRUE(ParseFenQuiet(&pos, &scratch, fen)) << fen;
    return pos;
}

bool IsLegalText(const Position& pos, const std::string& text) {
    Move m[kMaxMoves];
    int n = GenerateCaptures(&pos, m);
    n += GenerateQuiets(&pos, m + n, kMaxMoves - n);
    for (int i = 0; i < n; ++i)
        if (MoveToCoord(m[i]) == text) return IsLegalMove(&pos, m[i]);
    return false;
}
