#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "book/book.h"
#include "book/createbook.h"
#include "console/console.h"
#include "console/options.h"
#include "core/log.h"
#include "eval/eval.h"
#include "movegen/movegen.h"
#include "nnue/nnue.h"
#include "platform/platform.h"
#include "search/hash.h"
#include "search/search.h"
#include "search/threads.h"
#include "tools/bench.h"
#include "tools/datagen.h"
#include "tools/dumppgn.h"
#include "tools/epdtest.h"
#include "tools/kpk.h"
#include "tools/perft.h"
#include "tools/stats.h"
#include "tools/testeval.h"
#include "tools/train.h"
#include "tools/tune.h"

std::atomic<uint32_t> nStopWordsRead{0};
std::atomic<uint32_t> nPonderHitWordsRead{0};
std::atomic<bool> bQuitRequested{false};

LineMarks CurrentMarks() {
    return {nStopWordsRead.load(), nPonderHitWordsRead.load()};
}

namespace {

// Set while the search handed over last has no end of its own ("go infinite"); such a search
// must be stopped before a command can wait for it.
bool bEndlessSearch = false;

inline bool Is(const char* word, const char* name) {
    return strcasecmp(word, name) == 0;
}

// Waits for the running job; an endless or ponder search is told to stop first. A position
// staged while the job ran becomes the game's now. False when a quit came in meanwhile: the
// command is then dropped.
bool WaitForJob() {
    if (bThinking.load(std::memory_order_acquire) && (bEndlessSearch || bPondering)) bStopSearch = true;
    WaitWhileThinking();
    if (bQuitRequested.load()) return false;
    InstallStagedPosition();
    return true;
}

void CmdStop() {
    // Nothing runs: a stop now must not end the next search.
    if (!bThinking.load(std::memory_order_acquire)) return;
    const int64_t t0 = NowMs();
    TraceLog(2, "stopping\n");
    AbortToolJob();
    bStopSearch = true;
    WaitWhileThinking();
    bPondering = false;
    TraceLog(2, "stopped (%ld ms)\n", long(NowMs() - t0));
}

void CmdPonderHit() {
    // bPondering is set only while the Ponder option is on.
    if (!bPondering) return;
    bPondering = false;
    TraceLog(2, "pondering = false\n");
    if (bUciMode) TraceLog(1, "info string Ponderhit - switching to normal search\n");
}

void CmdHelp() {
    OutputLine(
        "List of available commands (minimal error checking so watch it!):\n"
        "Anything in uppercase are parameters\n"
        "\nUCI commands:\n"
        "uci ................... Switch to UCI mode\n"
        "isready ............... Synchronising command\n"
        "setoption name A value B ... Change UCI settings\n"
        "position xxx .......... Setup a position\n"
        "ucinewgame ............ Reset hash and restart game\n"
        "go xxx ................ Make a move with various timing details\n"
        "    (searchmoves M1 M2 ... only those moves; mate N until a mate in N is found)\n"
        "\nAdditional commands:\n"
        "print ................. Print the current board position\n"
        "eval # ................ Evaluate the current position without searching (trace #)\n"
        "perft DEPTH ........... Run a performance test to the specified depth\n"
        "multipv N ............. Search and show the N best lines (1 to 64)\n"
        "load FILE ............. Load a file containing an FEN position\n"
        "loadfen FEN ........... Load a FEN position\n"
        "test EPD maxsecs ...... Run a test against an EPD file of positions\n"
        "stats ................. Display stats from previous search/test\n"
        "quit|exit|bye|q ....... Bail\n"
        "bench TYPE ............ Run a suite of benchmark tests\n");
}

void CmdUci() {
    // A running search reads these settings, so they change only between jobs.
    if (!bThinking.load(std::memory_order_acquire)) {
        bUciMode = true;
        nEngineSide = -1;
    }
    OutputLine("id name QuietMarmoset v%s\n", kVersion);
    OutputLine("id author Tovin Harrel\n");
    OutputLine("option name Ponder type check default %s\n", bPonder ? "true" : "false");
    OutputLine("option name OwnBook type check default %s\n", bOwnBook ? "true" : "false");
    OutputLine("option name Hash type spin default %d min 0 max 2048\n", nHashMB);
    OutputLine("option name PawnHash type spin default %d min 0 max 4096\n", nPawnHashKB);
    OutputLine("option name EvalHash type spin default %d min 0 max 1024\n", nEvalHashMB);
    OutputLine("option name NumBeers type spin default %d min 0 max 10\n", nNumBeers);
    OutputLine("option name NumThreads type spin default %d min 1 max %d\n", nNumThreads, kMaxThreads);
    // The name match tools and GUIs set; the same setting as NumThreads.
    OutputLine("option name Threads type spin default %d min 1 max %d\n", nNumThreads, kMaxThreads);
    OutputLine("option name LogStats type check default %s\n", bLogStats ? "true" : "false");
    OutputLine("option name TraceLevel type spin default %d min 0 max 3\n", TraceLevel());
    OutputLine("option name TimeBuffer type spin default %d min 0 max 60\n", nTimeBuffer);
    OutputLine("option name SearchStyle type combo default %s var Strong var Classic\n",
               bClassicStyle ? "Classic" : "Strong");
    OutputLine("option name EvalWeights type combo default %s var Fitted var Classic\n",
               bFittedWeights ? "Fitted" : "Classic");
    OutputLine("option name Evaluation type combo default %s var Net var Hand\n", bNetEval ? "Net" : "Hand");
    {
        const std::string src = ActiveNetworkSource();
        OutputLine("option name EvalFile type string default %s\n",
                   src == "embedded" || src == "none" ? kEmbeddedNetName : src.c_str());
    }
    OutputLine("option name MultiPV type spin default %d min 1 max %d\n", nMultiPv, kMaxMultiPv);
    OutputLine("option name BookFile type string default %s\n", BookFileName().c_str());
    OutputLine("option name UCI_AnalyseMode type check default %s\n", bAnalyseMode ? "true" : "false");
    OutputLine("uciok\n");
}

// A "stop" or "ponderhit" that the input thread read after this line, while the line waited
// for an earlier job, belongs to the job the line has just started.
void ObeyLaterWords(const LineMarks& marks) {
    if (!bThinking.load(std::memory_order_acquire)) return;
    if (marks.nPonderHits != nPonderHitWordsRead.load()) CmdPonderHit();
    if (marks.nStops != nStopWordsRead.load()) {
        AbortToolJob();
        bStopSearch = true;
    }
}

void CmdGo(WordList* words, const LineMarks& marks) {
    const int64_t t0 = NowMs();
    TraceLog(2, "waiting to go\n");
    if (!WaitForJob()) return;
    TraceLog(2, "ready to go (%ld ms)\n", long(NowMs() - t0));
    bEndlessSearch = ParseGoParameters(words);
    bInfiniteSearch = bEndlessSearch;
    TraceLog(2, "launching search thread (thinking %d)\n", int(bThinking.load()));
    fflush(stdout);
    // StartJob also clears a stop request left over from the last search.
    StartJob(JOB_THINK, *pCurrent, 0);
    ObeyLaterWords(marks);
}

void CmdSeed(WordList* words) {
    nSeed = ReadNumber(words->Word(1));
    ResetSearchStats();
    srand(unsigned(nSeed));
    ResetBookDraws();
    // The keys come from a fixed generator, so they do not depend on the seed.
    RandomReset();
    InitTables();
}

void CmdPrint(WordList*) {
    PrintBoard(pCurrent, stdout);
}

void CmdNew(WordList*) {
    NewGame(pCurrent);
}

// "setoption name NAME value VALUE": a name or a value of several words (a file name with
// blanks) is taken whole, its words joined by single blanks.
void CmdSetOption(WordList* words) {
    std::string name, value;
    std::string* part = nullptr;
    for (int i = 1; i < words->nCount; ++i) {
        const char* w = words->Word(i);
        if (!part && Is(w, "name")) {
            part = &name;
        } else if (part == &name && Is(w, "value")) {
            part = &value;
        } else if (part) {
            if (!part->empty()) *part += ' ';
            *part += w;
        }
    }
    SetOption(name.data(), value.data());
}

void CmdMultiPv(WordList* words) {
    char name[] = "multipv";
    SetOption(name, words->Word(1));
    OutputLine("MultiPV %d\n", nMultiPv);
}

void CmdNoBook(WordList*) {
    char name[] = "ownbook", value[] = "false";
    SetOption(name, value);
}

void CmdCreateBook(WordList* words) {
    CreateBook(words->Word(1), words->Word(2));
}

void CmdDumpPgn(WordList* words) {
    DumpPgn(words->Word(1));
}

void CmdKpk(WordList*) {
    RunKpk();
}

void CmdEval(WordList* words) {
    EvalCommand(pCurrent, ReadNumber(words->Word(1)));
}

void CmdStats(WordList*) {
    PrintStatsReport();
}

void CmdBench(WordList* words) {
    BenchCommand(words->Word(1));
}

void CmdTest(WordList* words) {
    EpdTestCommand(words->Word(1), ReadNumber(words->Word(2)));
}

void CmdTestEval(WordList* words) {
    TestEval(words->Word(1));
}

void CmdTune(WordList* words) {
    TuneCommand(words->Word(1), words->Word(2), ReadNumber(words->Word(3)));
}

// The tools' own argument parsers read the words after the command name as a command line.
std::vector<const char*> WordArgs(WordList* words) {
    std::vector<const char*> a;
    for (int i = 0; i < words->nCount; ++i) a.push_back(words->Word(i));
    return a;
}

void CmdDatagen(WordList* words) {
    const std::vector<const char*> a = WordArgs(words);
    DatagenOptions opt;
    std::string err;
    if (!ParseDatagenArgs(int(a.size()), a.data(), 1, &opt, &err)) {
        OutputLine("datagen: %s\n%s\n", err.c_str(), kDatagenUsage);
        return;
    }
    DatagenCommand(opt);
}

void CmdTrain(WordList* words) {
    std::vector<const char*> a = WordArgs(words);
    TrainCommand(int(a.size()), const_cast<char**>(a.data()));
}

void CmdLoad(WordList* words) {
    FreeHashTables();
    AllocPawnHash(ShowHashMessages());
    if (LoadFenFile(pCurrent, &game, words->Word(1))) MarkGameRoot();
    PrintBoard(pCurrent, stdout);
    nEngineSide = -1;
}

void CmdLoadFen(WordList* words) {
    FreeHashTables();
    AllocPawnHash(ShowHashMessages());
    std::string fen;
    for (int i = 1; i < words->nCount; ++i) {
        fen += words->Word(i);
        fen += ' ';
    }
    if (ParseFen(pCurrent, &game, fen.c_str())) MarkGameRoot();
    PrintBoard(pCurrent, stdout);
    nEngineSide = -1;
}

void CmdSt(WordList* words) {
    dMoveTime[0] = dMoveTime[1] = ReadNumber(words->Word(1));
    bFixedTime = true;
    AllocateTime();
}

void CmdSd(WordList* words) {
    nMaxDepth = ClampMaxDepth(ReadNumber(words->Word(1)));
}

void RunPerft(WordList* words, int nJob) {
    const int nDepth = ReadNumber(words->Word(1));
    if (nDepth > kMaxPerftDepth) {
        OutputLine("Perft depth %d is too deep (at most %d)\n", nDepth, kMaxPerftDepth);
        return;
    }
    if (*words->Word(2)) {
        const int nThreads = ReadNumber(words->Word(2));
        if (nThreads != 0 && nThreads != nNumThreads) SetNumThreads(nThreads);
    }
    bEndlessSearch = false;
    StartJob(nJob, *pCurrent, nDepth);
}

void CmdPerft(WordList* words) {
    RunPerft(words, JOB_PERFT);
}

void CmdPerftE(WordList* words) {
    RunPerft(words, JOB_PERFTE);
}

void CmdLoadDump(WordList* words) {
    LoadDump(words->Word(1));
}

void CmdResult(WordList* words) {
    const char* r = words->Word(1);
    const char* win = "Wahoo! I won - in your face!!!\n";
    const char* loss = "Doh!!! I lost\n";
    if (strcmp(r, "1-0") == 0)
        OutputLine("%s", nEngineSide == WHITE ? win : loss);
    else if (strcmp(r, "0-1") == 0)
        OutputLine("%s", nEngineSide == BLACK ? win : loss);
    else if (strcmp(r, "1/2-1/2") == 0)
        OutputLine("hmmmm I guess we both suck!\n");
    nEngineSide = -1;
}

// Commands whose subsystems are not part of this build yet: recognised, and quiet.
struct Command {
    const char* szName;
    void (*pRun)(WordList*);
};

// Commands that change state a running job may read; each waits for the job to end first
// ("position" only when it cannot be staged).
const Command aCommands[] = {
    {"seed", CmdSeed},
    {"print", CmdPrint},
    {"createbook", CmdCreateBook},
    {"dumppgn", CmdDumpPgn},
    {"new", CmdNew},
    {"ucinewgame", CmdNew},
    {"setoption", CmdSetOption},
    {"nobook", CmdNoBook},
    {"eval", CmdEval},
    {"load", CmdLoad},
    {"loadfen", CmdLoadFen},
    {"loaddump", CmdLoadDump},
    {"st", CmdSt},
    {"sd", CmdSd},
    {"bench", CmdBench},
    {"perft", CmdPerft},
    {"perfte", CmdPerftE},
    {"test", CmdTest},
    {"stats", CmdStats},
    {"kpk", CmdKpk},
    {"testeval", CmdTestEval},
    {"tune", CmdTune},
    {"datagen", CmdDatagen},
    {"train", CmdTrain},
    {"result", CmdResult},
    {"multipv", CmdMultiPv},
};

// The shape of a coordinate move ("e2e4", any case), read without the position.
bool LooksLikeCoordMove(const char* w) {
    auto File = [](char c) { return (c >= 'a' && c <= 'h') || (c >= 'A' && c <= 'H'); };
    auto Rank = [](char c) { return c >= '1' && c <= '8'; };
    return File(w[0]) && Rank(w[1]) && File(w[2]) && Rank(w[3]);
}

// A move typed at the console. When the engine plays the side then to move (it took that side
// with an earlier "go"), it answers at once with the current time settings.
void ConsoleMove(char* word, const LineMarks& marks) {
    if (!LooksLikeCoordMove(word)) return;
    // A running search owns the position until it has played its move.
    if (!WaitForJob()) return;
    Move m;
    if (!ParseCoordMove(word, &m)) return;
    if (!IsGeneratedMove(pCurrent, m)) {
        OutputLine("Illegal move: %s\n", word);
        return;
    }
    if (!PlayGameMove(m)) return;
    if (!bUciMode && nEngineSide == pCurrent->bSideToMove) {
        WordList go;
        SplitWords("go", &go);
        CmdGo(&go, marks);
    }
}

}  // namespace

bool ExecuteCommand(const char* line) {
    return ExecuteLine(line, CurrentMarks());
}

bool AnswerAtOnce(const char* line, bool* pbQuit) {
    WordList words;
    SplitWords(line, &words);
    const char* cmd = words.Word(0);
    *pbQuit = false;
    if (Is(cmd, "stop")) {
        // Counted first: a "go" the command thread is starting right now must see it.
        nStopWordsRead.fetch_add(1);
        CmdStop();
    } else if (Is(cmd, "ponderhit")) {
        nPonderHitWordsRead.fetch_add(1);
        CmdPonderHit();
    } else if (Is(cmd, "isready")) {
        OutputLine("readyok\n");
    } else if (Is(cmd, "quit") || Is(cmd, "exit") || Is(cmd, "bye") || Is(cmd, "q")) {
        *pbQuit = true;
    } else {
        return false;
    }
    return true;
}

bool ExecuteLine(const char* line, const LineMarks& marks) {
    WordList words;
    SplitWords(line, &words);
    char* cmd = words.Word(0);

    // These answer at once, even while a job runs.
    if (Is(cmd, "stop")) {
        CmdStop();
    } else if (Is(cmd, "ponderhit")) {
        CmdPonderHit();
    } else if (Is(cmd, "isready")) {
        OutputLine("readyok\n");
    } else if (Is(cmd, "help")) {
        CmdHelp();
    } else if (Is(cmd, "quit") || Is(cmd, "exit") || Is(cmd, "bye") || Is(cmd, "q")) {
        AbortToolJob();
        bStopSearch = true;
        WaitWhileThinking();
        bPondering = false;
        return true;
    } else if (Is(cmd, "xboard")) {
        OutputLine("Sorry, QM only supports UCI.\n");
    } else if (Is(cmd, "uci")) {
        CmdUci();
    } else if (Is(cmd, "go")) {
        CmdGo(&words, marks);
    } else if (Is(cmd, "position")) {
        // A position set up during a job is staged and becomes the game's when the job ends,
        // so that the command never waits for a search (nor stops an endless one).
        if (!bThinking.load(std::memory_order_acquire) || !StagePosition(&words)) {
            if (WaitForJob()) SetUpPosition(&words);
        }
    } else {
        bool bFound = false;
        for (const Command& c : aCommands) {
            if (!Is(cmd, c.szName)) continue;
            bFound = true;
            if (!WaitForJob()) break;
            c.pRun(&words);
            ObeyLaterWords(marks);
            break;
        }
        if (!bFound) ConsoleMove(cmd, marks);
    }
    if (bUciMode) fflush(stdout);
    return false;
}
