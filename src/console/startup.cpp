#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "console/console.h"
#include "console/options.h"
#include "core/log.h"
#include "eval/eval.h"
#include "eval/material.h"
#include "platform/platform.h"
#include "search/search.h"
#include "search/threads.h"
#include "tools/datagen.h"
#include "tools/nodebench.h"
#include "tools/perft.h"
#include "tools/train.h"
#include "tools/tune.h"

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

void InitEngine(bool bWithBook) {
    // The layers below reach the game and the perft tools only through these.
    gameHooks.pPlayMove = [](uint64_t nRootKey, Move m) {
        return pCurrent->nHashKey == nRootKey && PlayGameMove(m);
    };
    gameHooks.pShowGame = [] { PrintBoard(pCurrent, stdout); };
    RegisterPerftJobs();
    InitMaterialTableOrDie();
    InitDefaults();
    if (!bWithBook) bOwnBook = false;
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
    // A missing default book says nothing against a book the user names later.
    bBookWanted = bWithBook;
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

namespace {

// Lines for the command thread, in the order they were read.
struct QueuedLine {
    std::string sText;
    LineMarks marks;
};
std::mutex mtxQueue;
std::condition_variable cvQueued, cvDone;
std::deque<QueuedLine> queue;
bool bLineRunning = false;  // the command thread is inside a line
bool bInputEnded = false;
bool bCommandsDone = false;  // the command thread has returned

void CommandThread() {
    for (;;) {
        QueuedLine item;
        {
            std::unique_lock<std::mutex> lock(mtxQueue);
            cvQueued.wait(lock, [] { return !queue.empty() || bInputEnded || bQuitRequested.load(); });
            if (bQuitRequested.load() || queue.empty()) {
                bCommandsDone = true;
                cvDone.notify_all();
                return;
            }
            item = std::move(queue.front());
            queue.pop_front();
            bLineRunning = true;
        }
        ExecuteLine(item.sText.c_str(), item.marks);
        {
            std::lock_guard<std::mutex> lock(mtxQueue);
            bLineRunning = false;
        }
        cvDone.notify_all();
    }
}

}  // namespace

int EngineMain(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);
    // "quietmarmoset bench [DEPTH]": what test frameworks run to read the signature and speed.
    if (argc >= 2 && strcmp(argv[1], "bench") == 0) {
        InitEngine(false);
        RunNodeBench(argc >= 3 ? atoi(argv[2]) : 0);
        ShutDownEngine();
        return 0;
    }
    // "quietmarmoset tune DATA [OUT] [ROUNDS]": the weight fit as a batch run, to its end.
    if (argc >= 3 && strcmp(argv[1], "tune") == 0) {
        InitEngine(false);
        const bool bOk = RunTune(argv[2], argc >= 4 ? argv[3] : nullptr, argc >= 5 ? atoi(argv[4]) : 0);
        ShutDownEngine();
        return bOk ? 0 : 1;
    }
    // "quietmarmoset datagen OUT --positions N ...": self-play data to its end (or Ctrl-C).
    if (argc >= 2 && strcmp(argv[1], "datagen") == 0) {
        DatagenOptions opt;
        std::string err;
        if (!ParseDatagenArgs(argc, argv, 2, &opt, &err)) {
            fprintf(stderr, "datagen: %s\n%s\n", err.c_str(), kDatagenUsage);
            return 2;
        }
        InitEngine(false);
        static volatile bool bInterrupted = false;
        // An interrupt ends the run between games: the file keeps every finished game.
        struct sigaction sa {};
        sa.sa_handler = [](int) { bInterrupted = true; };
        sigaction(SIGINT, &sa, nullptr);
        sigaction(SIGTERM, &sa, nullptr);
        const bool bOk = RunDatagen(opt, &bInterrupted);
        ShutDownEngine();
        return bOk ? 0 : 1;
    }
    if (argc >= 2 && strcmp(argv[1], "datagen-worker") == 0) {
        InitEngine(false);
        const int rc = DatagenWorkerMain(argc, argv);
        _exit(rc);
    }
    // "quietmarmoset train DATA... --out NET ...": trains a net to its end.
    if (argc >= 2 && strcmp(argv[1], "train") == 0) {
        TrainOptions opt;
        std::string err;
        if (!ParseTrainArgs(argc - 1, argv + 1, &opt, &err)) {
            fprintf(stderr, "train: %s\n", err.c_str());
            return 2;
        }
        InitEngine(false);
        const bool bOk = RunTraining(opt);
        ShutDownEngine();
        return bOk ? 0 : 1;
    }
    for (int i = 1; i < argc; ++i)
        fprintf(
            stderr,
            "Unknown argument %s (the only ones are: bench [DEPTH], tune DATA [OUT] [ROUNDS], datagen OUT "
            "--positions N ..., train DATA... --out NET ...)\n",
            argv[i]);
    PrintBanner();
    InitEngine();
    std::thread commands(CommandThread);

    // The input thread never waits for a search: "stop", "isready", "ponderhit" and the quit
    // words are answered here at once, everything else is queued for the command thread. A
    // line that finishes quickly is waited for, so that settings and output keep the order
    // of the input; one that waits for a search (or runs long) is left running.
    std::string line;
    bool bQuit = false;
    while (!bQuit && ReadInputLine(stdin, &line)) {
        if (AnswerAtOnce(line.c_str(), &bQuit)) continue;
        std::unique_lock<std::mutex> lock(mtxQueue);
        queue.push_back({line, CurrentMarks()});
        cvQueued.notify_one();
        cvDone.wait_for(lock, std::chrono::milliseconds(20), [] { return queue.empty() && !bLineRunning; });
    }

    if (bQuit) {
        // Nothing queued runs any more; a command waiting for a job drops out once it ends.
        bQuitRequested = true;
        std::unique_lock<std::mutex> lock(mtxQueue);
        queue.clear();
        cvQueued.notify_one();
        while (!bCommandsDone) {
            AbortToolJob();
            bStopSearch = true;
            cvDone.wait_for(lock, std::chrono::milliseconds(1));
        }
    } else {
        // The end of input ends the run like "quit", once the lines read so far have run.
        std::lock_guard<std::mutex> lock(mtxQueue);
        bInputEnded = true;
        cvQueued.notify_one();
    }
    commands.join();
    ShutDownEngine(!bQuit);
    return 0;
}
