// Console and UCI front end: start-up, the input loop, the command interpreter and the small
// game-level procedures it shares with the rest of the engine.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "board/board.h"

// ---------------------------------------------------------------------------------------
// Start-up and input loop.

// The whole program: banner, start-up, input loop, shut-down. Returns the exit code. With the
// arguments "bench [DEPTH]" it runs the command-line bench instead and exits.
int EngineMain(int argc = 0, char** argv = nullptr);
// Everything of the start-up except the banner: defaults, worker thread, seed and the
// start-up command list. Safe to call more than once. Without the book nothing is printed.
void InitEngine(bool bWithBook = true);
// Stops any job, ends the worker threads and releases the tables.
// Stops the running job (or, with bFinishTool, lets a tool job finish first) and ends the workers.
void ShutDownEngine(bool bFinishTool = false);
void PrintBanner();
void PrintProcessorInfo();
// Reads one whole line (any length) without its line end; false at the end of input.
bool ReadInputLine(FILE* in, std::string* line);

// ---------------------------------------------------------------------------------------
// Command interpreter.

// The engine's current position (the game's position after every game move).
extern Position* pCurrent;

// Interprets one line (without its line end); true for a quit command.
bool ExecuteCommand(const char* line);

// The input thread answers "stop", "ponderhit", "isready" and the quit words itself as they
// arrive; every other line goes to the command thread, which runs the lines in order and may
// wait there for a running job. A line carries the number of "stop" and "ponderhit" words read
// before it, so that a "go" that waited behind a job and was overtaken by one of them still
// obeys it (a "go infinite" must not outlive the "stop" sent after it).
struct LineMarks {
    uint32_t nStops;
    uint32_t nPonderHits;
};
LineMarks CurrentMarks();
bool ExecuteLine(const char* line, const LineMarks& marks);
// Answers the line when it is one of the words above (true); *pbQuit tells a quit word, which
// the caller carries out.
bool AnswerAtOnce(const char* line, bool* pbQuit);
// Set by the input thread on a quit word: a command still waiting for a job is then dropped.
extern std::atomic<bool> bQuitRequested;

// The words of one line. Word(i) past the last word reads as an empty string.
struct WordList {
    std::vector<std::string> aWords;
    int nCount = 0;
    char* Word(int i) { return aWords[size_t(i < 0 || i > nCount ? nCount : i)].data(); }
};
// Number of words: runs of characters other than blank and tab, up to the end of the text or
// a newline.
int CountWords(const char* line);
// Splits the line into words; returns their number.
int SplitWords(const char* line, WordList* words);

// Reads a coordinate move ("e2e4", "e7e8q") against pCurrent; upper-cases the word in place.
// True when the text has the shape of a move (legality is not checked).
bool ParseCoordMove(char* word, Move* pMove);
// The "position" command.
void SetUpPosition(WordList* words);
// "position" during a job: sets the position up on a staging copy of the game (false when the
// line names no start position and nothing is staged yet). InstallStagedPosition makes the
// staged game the engine's; call it only while no job runs.
bool StagePosition(WordList* words);
void InstallStagedPosition();
// After a position is set up: its repetition signature starts the game history, and nothing
// before it counts for repetitions.
void MarkGameRoot();
// Makes a game move on pCurrent and records it in the game history; false (with a message)
// when the game history is full.
bool PlayGameMove(Move m);
// Reads the parameters of "go" (all words after the first) into the time and depth settings,
// then computes the per-move budgets. True when the search would have no end of its own
// ("infinite").
bool ParseGoParameters(WordList* words);

// Decimal number with leading blanks allowed; clamped to the type's range; 0 without digits.
int ReadNumber(const char* text);
int64_t ReadNumber64(const char* text);
