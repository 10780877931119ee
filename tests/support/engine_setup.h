// In-process engine for unit tests: tables, defaults and the worker thread, set up once.
#pragma once

#include <string>

#include "board/board.h"

// Runs the engine's start-up (without the banner) the first time it is called.
void EnsureEngineReady();
// Runs one interpreter line, waits for the job it started, and returns what it printed.
std::string RunCommand(const std::string& line);
// A position from a FEN, for tests; fails the calling test on a bad FEN.
Position PositionFromFen(const char* fen);
// Whether the coordinate text names a legal move of pos.
bool IsLegalText(const Position& pos, const std::string& text);
