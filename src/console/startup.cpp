#include <sys/types.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "console/console.h"
#include "console/options.h"
#include "eval/material.h"
#include "platform/platform.h"
#include "search/log.h"
#include "search/threads.h"

void PrintBanner() {
    printf("+------------------------------------------------+\n");
    printf("|                                                |\n");
    printf("|              QuietMarmoset %s                |\n", kVersion);
    printf("|                                                |\n");
    printf("+------------------------------------------------+\n");
    printf("\n");
    printf("  Compiled on %s at %s\n", __DATE__, __TIME__);
    printf("  Created by Tovin Harrel (Wrenmoor)\n");
    printf("  UCI compatible chess engine\n");
    printf("  Type HELP for available commands\n");
    printf("\n");
    PrintProcessorInfo();
    printf("+------------------------------------------------+\n\n");
}

void InitEngine() {
    InitMaterialTableOrDie();
    InitDefaults();
    SetNumThreads(1);
    nSeed = int(WallSeconds());
    bStopSearch = false;
    TraceLog(2, "Seed = %d\n", nSeed);

    char line[100];
    snprintf(line, sizeof(line), "seed %d", nSeed);
    ExecuteCommand(line);
    ExecuteCommand("new");
    ExecuteCommand("st 5");
    ExecuteCommand("sd 150");
    snprintf(line, sizeof(line), "setoption name hash value %d", nHashMB);
    ExecuteCommand(line);
    snprintf(line, sizeof(line), "setoption name pawnhash value %d", nPawnHashKB);
    ExecuteCommand(line);
    snprintf(line, sizeof(line), "setoption name ponder value %s", bPonder ? "true" : "false");
    ExecuteCommand(line);
    snprintf(line, sizeof(line), "setoption name tracelevel value %d", TraceLevel());
    ExecuteCommand(line);
    snprintf(line, sizeof(line), "setoption name ownbook value %s", bOwnBook ? "true" : "false");
    ExecuteCommand(line);
    snprintf(line, sizeof(line), "setoption name numthreads value %d", nNumThreads);
    ExecuteCommand(line);
}

bool ReadInputLine(FILE* in, std::string* line) {
    // One buffer for the whole run, grown by getline to the longest line seen.
    static char* pBuffer = nullptr;
    static size_t nCapacity = 0;

    TraceLog(2, "Waiting for input\n");
    ssize_t n = getline(&pBuffer, &nCapacity, in);
    if (n < 0) return false;
    const bool bNewline = n > 0 && pBuffer[n - 1] == '\n';
    if (bNewline) --n;
    while (n > 0 && pBuffer[n - 1] == '\r') --n;
    line->assign(pBuffer, size_t(n));
    if (!bNewline) TraceLog(2, "WARNING: no newline in input (%s)\n", line->c_str());
    TraceLog(2, "Got <%s>\n", line->c_str());
    return true;
}

void ShutDownEngine(bool bFinishTool) {
    // At the end of piped input a tool run ("bench", "test") is finished, a search is stopped.
    if (bFinishTool && ToolJobRunning()) WaitWhileThinking();
    bStopSearch = true;
    WaitWhileThinking();
    bPondering = false;
    StopWorkers();
    FreeHashTables();
}

int EngineMain() {
    setvbuf(stdout, nullptr, _IONBF, 0);
    PrintBanner();
    InitEngine();
    // The end of input ends the run like "quit".
    std::string line;
    bool bQuit = false;
    while (!bQuit && ReadInputLine(stdin, &line)) bQuit = ExecuteCommand(line.c_str());
    ShutDownEngine(!bQuit);
    return 0;
}
