#include "tools/datagen.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdlib>
#include <cstring>

#include "core/log.h"
#include "core/settings.h"
#include "movegen/movegen.h"
#include "nnue/nnue.h"
#include "platform/platform.h"
#include "search/hash.h"
#include "search/search.h"
#include "search/threads.h"
#include "tools/epdtest.h"

extern char** environ;

const char* const kDatagenUsage =
    "Usage: datagen OUT --positions N [--nodes K] [--threads T] [--seed S] [--random-plies P] "
    "[--depth D] [--hash MB] [--append] [--eval hand|net] [--evalfile PATH]";

namespace {

// Adjudication: a score this decisive held this many plies in a row ends the game, as does a
// long run of near-zero scores once the game is past its opening and middlegame.
constexpr int kWinScore = 1000, kWinPlies = 6;
constexpr int kDrawScore = 15, kDrawPlies = 12, kDrawFromPly = 80;
constexpr int kOpeningLimit = 400;  // starts judged beyond four pawns are not played

uint64_t NextRandom(uint64_t* s) {
    uint64_t z = (*s += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

int LegalMoves(const Position& pos, Move* out) {
    Move buf[kMaxMoves];
    int n = GenerateCaptures(&pos, buf);
    n += GenerateQuiets(&pos, buf + n, kMaxMoves - n);
    int k = 0;
    for (int i = 0; i < n; i++)
        if (IsLegalMove(&pos, buf[i])) out[k++] = buf[i];
    return k;
}

// The game the worker plays lives in the search's own game record, so that the searches see
// its repetitions.
void StartGame(Position* pos) {
    NewGame(pos);
    AllocMissingHashTables();
    pos->nInCheck = uint8_t(InCheck(pos));
}

void PlayOnGame(Position* pos, Move m) {
    Position next;
    MakeMove(m, pos, &next, 0, -1);
    if (next.nFifty == 0) aThreadMarkers[0].nLastIrreversible = game.nGamePly;
    *pos = next;
    pos->nInCheck = uint8_t(InCheck(pos));
    if (pos->bSideToMove == WHITE) ++game.nFullMove;
    game.aGameHistory[++game.nGamePly] = RepetitionKey(*pos);
}

bool ThreefoldRepetition(const Position& pos) {
    const uint64_t k = RepetitionKey(pos);
    int n = 0;
    for (int p = game.nGamePly; p >= 0 && p >= aThreadMarkers[0].nLastIrreversible; p--)
        if (game.aGameHistory[p] == k) n++;
    return n >= 3;
}

// No pawns, no rook or queen, and at most one minor piece a side: no one can win.
bool DeadMaterial(const Position& pos) {
    for (int c = 0; c < 2; c++) {
        const Bitboard* b = pos.bbPieces[c];
        if (b[BB_PAWN] | b[BB_ROOK] | b[BB_QUEEN]) return false;
        if (PopCount(b[BB_KNIGHT] | b[BB_BISHOP]) > 1) return false;
    }
    return true;
}

// One search at the node limit; the score is from the side to move's view.
Move SearchMove(const Position& pos, const DatagenOptions& opt, int* pnScore) {
    game.aGameHistory[game.nGamePly] = RepetitionKey(pos);
    bFixedTime = true;
    nSoftNodeLimit = opt.nNodes;
    // The hard stop only catches an iteration that explodes; its result is then lost, which
    // costs a little of the data's depth and nothing of its soundness.
    nNodeLimit = int64_t(opt.nNodes) * 8;
    SetMoveBudget(WHITE, 999999999.0);
    SetMoveBudget(BLACK, 999999999.0);
    AllocateTime();
    nEngineSide = pos.bSideToMove;
    bStopSearch = false;
    ResetSearchStats();  // the node limits count this search's nodes only
    PvLine line;
    Position root = pos;
    *pnScore = IterativeDeepening(&root, opt.nDepthCap, &line, false);
    return line.nLength > 0 ? line.anMoves[0] : FallbackMove(&pos);
}

void SetUpWorker(const DatagenOptions& opt) {
    if (nNumThreads != 1) SetNumThreads(1);
    nHashMB = opt.nHashMB;
    nNumBeers = 0;
    nMultiPv = 1;
    bOwnBook = false;
    bShowBoard = false;
    bPonder = false;
    if (opt.nEval >= 0) bNetEval = opt.nEval == 1;
}

bool ReadInt(const char* s, int64_t lo, int64_t hi, int64_t* v) {
    if (!s || !*s) return false;
    char* end = nullptr;
    errno = 0;
    const long long x = strtoll(s, &end, 10);
    if (errno || *end || x < lo || x > hi) return false;
    *v = x;
    return true;
}

}  // namespace

GamePlayed PlaySelfPlayGame(const DatagenOptions& opt, uint64_t* pnRng, std::vector<PosRecord>* pOut) {
    Position pos;
    StartGame(&pos);
    Move moves[kMaxMoves];
    for (int i = 0; i < opt.nRandomPlies; i++) {
        const int n = LegalMoves(pos, moves);
        if (n == 0) return {-1, game.nGamePly};
        PlayOnGame(&pos, moves[NextRandom(pnRng) % uint64_t(n)]);
    }
    const size_t nFirst = pOut->size();
    int nResult = 1, nWinRun = 0, nWinSide = -1, nDrawRun = 0;
    for (bool bFirst = true;; bFirst = false) {
        const int nLegal = LegalMoves(pos, moves);
        if (nLegal == 0) {
            nResult = pos.nInCheck ? (pos.bSideToMove == WHITE ? 0 : 2) : 1;
            break;
        }
        if (pos.nFifty >= 100 || ThreefoldRepetition(pos) || DeadMaterial(pos) ||
            game.nGamePly >= opt.nMaxPlies) {
            nResult = 1;
            break;
        }
        int s = 0;
        const Move m = SearchMove(pos, opt, &s);
        if (bFirst && std::abs(s) > kOpeningLimit) {
            pOut->resize(nFirst);
            return {-1, game.nGamePly};
        }
        if (m == 0) break;
        const int w = pos.bSideToMove == WHITE ? s : -s;
        if (std::abs(s) > MATE_BOUND) {
            nResult = w > 0 ? 2 : 0;
            break;
        }
        // Positions whose score is a tactic in flight teach the net nothing it can see.
        const bool bNoisy = MoveCaptured(m) != 0 || MoveKind(m) == KIND_EP || MoveKind(m) == KIND_PROMO;
        if (!pos.nInCheck && !bNoisy) pOut->push_back(PackPosition(pos, s, 1, game.nFullMove));

        const int nSide = w >= kWinScore ? WHITE : w <= -kWinScore ? BLACK : -1;
        nWinRun = nSide >= 0 && nSide == nWinSide ? nWinRun + 1 : nSide >= 0 ? 1 : 0;
        nWinSide = nSide;
        if (nWinRun >= kWinPlies) {
            nResult = nSide == WHITE ? 2 : 0;
            break;
        }
        nDrawRun = game.nGamePly >= kDrawFromPly && std::abs(s) <= kDrawScore ? nDrawRun + 1 : 0;
        if (nDrawRun >= kDrawPlies) {
            nResult = 1;
            break;
        }
        PlayOnGame(&pos, m);
    }
    for (size_t i = nFirst; i < pOut->size(); i++) (*pOut)[i].nResult = uint8_t(nResult);
    return {nResult, game.nGamePly};
}

bool ParseDatagenArgs(int argc, const char* const* argv, int first, DatagenOptions* pOpt, std::string* pErr) {
    DatagenOptions o;
    for (int i = first; i < argc; i++) {
        const std::string a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        int64_t x = 0;
        auto number = [&](int64_t lo, int64_t hi) {
            if (!ReadInt(v, lo, hi, &x)) {
                *pErr = a + " needs a number from " + std::to_string(lo) + " to " + std::to_string(hi);
                return false;
            }
            i++;
            return true;
        };
        if (a == "--positions") {
            if (!number(1, int64_t(1) << 40)) return false;
            o.nPositions = uint64_t(x);
        } else if (a == "--nodes") {
            if (!number(100, 100000000)) return false;
            o.nNodes = int(x);
        } else if (a == "--threads") {
            if (!number(1, 256)) return false;
            o.nThreads = int(x);
        } else if (a == "--seed") {
            if (!number(0, INT64_MAX)) return false;
            o.nSeed = uint64_t(x);
        } else if (a == "--random-plies") {
            if (!number(0, 40)) return false;
            o.nRandomPlies = int(x);
        } else if (a == "--depth") {
            if (!number(1, kMaxSearchDepth)) return false;
            o.nDepthCap = int(x);
        } else if (a == "--hash") {
            if (!number(1, 4096)) return false;
            o.nHashMB = int(x);
        } else if (a == "--max-plies") {
            if (!number(20, kMaxGamePly - 200)) return false;
            o.nMaxPlies = int(x);
        } else if (a == "--append") {
            o.bAppend = true;
        } else if (a == "--eval") {
            const std::string e = v ? v : "";
            if (e != "hand" && e != "net") {
                *pErr = "--eval takes hand or net";
                return false;
            }
            o.nEval = e == "net" ? 1 : 0;
            i++;
        } else if (a == "--evalfile") {
            if (!v) {
                *pErr = "--evalfile needs a path";
                return false;
            }
            o.sEvalFile = v;
            o.nEval = 1;
            i++;
        } else if (a.size() > 1 && a[0] == '-') {
            *pErr = "unknown option " + a;
            return false;
        } else if (o.sOut.empty()) {
            o.sOut = a;
        } else {
            *pErr = "a second output file " + a;
            return false;
        }
    }
    if (o.sOut.empty()) {
        *pErr = "no output file";
        return false;
    }
    if (o.nPositions == 0) {
        *pErr = "--positions N is required";
        return false;
    }
    *pOpt = o;
    return true;
}

int DatagenWorkerMain(int argc, char** argv) {
    // A worker whose parent is gone has no one to write to.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    signal(SIGPIPE, SIG_IGN);
    if (argc < 9) return 2;
    DatagenOptions o;
    o.nSeed = strtoull(argv[2], nullptr, 10);
    o.nNodes = atoi(argv[3]);
    o.nRandomPlies = atoi(argv[4]);
    o.nDepthCap = atoi(argv[5]);
    o.nHashMB = atoi(argv[6]);
    o.nMaxPlies = atoi(argv[7]);
    o.nEval = atoi(argv[8]);
    SetUpWorker(o);
    if (argc >= 10) {
        std::string err;
        if (!LoadActiveNetwork(argv[9], &err)) {
            fprintf(stderr, "datagen worker: %s\n", err.c_str());
            return 2;
        }
    }
    uint64_t rng = o.nSeed;
    std::vector<PosRecord> recs;
    std::vector<uint8_t> packet;
    for (;;) {
        recs.clear();
        const GamePlayed g = PlaySelfPlayGame(o, &rng, &recs);
        if (g.nResult < 0) continue;
        packet.assign(8, 0);
        const uint32_t n = uint32_t(recs.size());
        memcpy(packet.data(), &n, 4);
        packet[4] = uint8_t(g.nResult);
        const uint8_t* p = reinterpret_cast<const uint8_t*>(recs.data());
        packet.insert(packet.end(), p, p + recs.size() * sizeof(PosRecord));
        if (fwrite(packet.data(), 1, packet.size(), stdout) != packet.size() || fflush(stdout) != 0) return 0;
    }
}

namespace {

struct Worker {
    pid_t nPid = -1;
    int nFd = -1;
    std::vector<uint8_t> buf;
};

bool SpawnWorker(const DatagenOptions& opt, int i, Worker* w, std::string* pErr) {
    int fds[2];
    if (pipe(fds) != 0) {
        *pErr = std::string("pipe: ") + strerror(errno);
        return false;
    }
    // Worker 0 plays from the seed itself, so that one worker and one seed give one file.
    const uint64_t nSeed = opt.nSeed + uint64_t(i) * 0x9E3779B97F4A7C15ull;
    std::vector<std::string> args = {"quietmarmoset",
                                     "datagen-worker",
                                     std::to_string(nSeed),
                                     std::to_string(opt.nNodes),
                                     std::to_string(opt.nRandomPlies),
                                     std::to_string(opt.nDepthCap),
                                     std::to_string(opt.nHashMB),
                                     std::to_string(opt.nMaxPlies),
                                     std::to_string(opt.nEval >= 0 ? opt.nEval : int(bNetEval))};
    if (!opt.sEvalFile.empty()) args.push_back(opt.sEvalFile);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
    posix_spawn_file_actions_addclose(&fa, fds[0]);
    posix_spawn_file_actions_addclose(&fa, fds[1]);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    const int rc = posix_spawn(&w->nPid, "/proc/self/exe", &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        *pErr = std::string("cannot start a worker: ") + strerror(rc);
        return false;
    }
    w->nFd = fds[0];
    return true;
}

void EndWorkers(std::vector<Worker>& ws) {
    for (Worker& w : ws) {
        if (w.nFd >= 0) close(w.nFd);
        if (w.nPid > 0) kill(w.nPid, SIGTERM);
    }
    for (Worker& w : ws)
        if (w.nPid > 0) waitpid(w.nPid, nullptr, 0);
    ws.clear();
}

std::string Duration(double s) {
    char b[32];
    const long t = long(s);
    snprintf(b, sizeof b, "%ld:%02ld:%02ld", t / 3600, t / 60 % 60, t % 60);
    return b;
}

bool Aborted(const volatile bool* pbStop) {
    return (pbStop && *pbStop) || (ToolJobRunning() && ToolAborted());
}

}  // namespace

bool RunDatagen(const DatagenOptions& opt, const volatile bool* pbStop) {
    std::string err;
    // A net that cannot be read is refused before the output file is touched.
    if (!opt.sEvalFile.empty()) {
        Network probe;
        if (!LoadNetworkFile(opt.sEvalFile.c_str(), &probe, &err)) {
            OutputLine("datagen: %s: %s\n", opt.sEvalFile.c_str(), err.c_str());
            return false;
        }
    }
    uint64_t nHad = 0;
    FILE* f = CreatePosData(opt.sOut.c_str(), opt.bAppend, &nHad, &err);
    if (!f) {
        OutputLine("datagen: %s\n", err.c_str());
        return false;
    }
    const bool bNet = opt.nEval >= 0 ? opt.nEval == 1 : bNetEval;
    OutputLine("datagen: %" PRIu64 " positions into %s (%" PRIu64
               " there), %d nodes a move, %d game%s at once, seed %" PRIu64 ", %s evaluation\n",
               opt.nPositions, opt.sOut.c_str(), nHad, opt.nNodes, opt.nThreads, opt.nThreads > 1 ? "s" : "",
               opt.nSeed, bNet ? "net" : "hand-written");

    std::vector<Worker> ws(opt.nThreads);
    for (int i = 0; i < opt.nThreads; i++)
        if (!SpawnWorker(opt, i, &ws[i], &err)) {
            OutputLine("datagen: %s\n", err.c_str());
            EndWorkers(ws);
            fclose(f);
            return false;
        }

    const int64_t t0 = NowMs();
    int64_t tLast = t0;
    uint64_t nWritten = 0, nGames = 0, anResults[3] = {0, 0, 0};
    off_t nGood = off_t(kPosDataHeaderBytes + nHad * kPosRecordBytes);
    bool bOk = true, bStopped = false;
    auto progress = [&](const char* szTag) {
        const double dSec = double(NowMs() - t0) / 1000.0;
        const double dRate = dSec > 0 ? double(nWritten) / dSec : 0.0;
        const double dLeft = dRate > 0 ? double(opt.nPositions - nWritten) / dRate : 0.0;
        OutputLine("datagen%s: %" PRIu64 " games, %" PRIu64 " positions, %.0f positions/s, W/D/L %" PRIu64
                   "/%" PRIu64 "/%" PRIu64 ", %s elapsed, %s left\n",
                   szTag, nGames, nWritten, dRate, anResults[2], anResults[1], anResults[0],
                   Duration(dSec).c_str(), Duration(dLeft).c_str());
    };
    while (bOk && nWritten < opt.nPositions) {
        if (Aborted(pbStop)) {
            bStopped = true;
            break;
        }
        std::vector<pollfd> pf;
        for (const Worker& w : ws) pf.push_back({w.nFd, POLLIN, 0});
        const int rc = poll(pf.data(), pf.size(), 200);
        if (rc < 0 && errno != EINTR) {
            OutputLine("datagen: poll: %s\n", strerror(errno));
            bOk = false;
            break;
        }
        for (size_t i = 0; i < ws.size() && bOk && nWritten < opt.nPositions; i++) {
            if (!(pf[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            uint8_t chunk[1 << 16];
            const ssize_t n = read(ws[i].nFd, chunk, sizeof chunk);
            if (n <= 0) {
                OutputLine("datagen: worker %zu ended unexpectedly\n", i + 1);
                bOk = false;
                break;
            }
            std::vector<uint8_t>& b = ws[i].buf;
            b.insert(b.end(), chunk, chunk + n);
            // Whole games only: a packet is written once all of it has arrived.
            while (b.size() >= 8 && nWritten < opt.nPositions) {
                uint32_t nRecs;
                memcpy(&nRecs, b.data(), 4);
                const size_t nBytes = 8 + size_t(nRecs) * kPosRecordBytes;
                if (b.size() < nBytes) break;
                const uint64_t nTake = std::min<uint64_t>(nRecs, opt.nPositions - nWritten);
                if (fwrite(b.data() + 8, kPosRecordBytes, nTake, f) != nTake || fflush(f) != 0) {
                    OutputLine("datagen: cannot write %s: %s (disk full?); the file keeps its %" PRIu64
                               " whole records\n",
                               opt.sOut.c_str(), strerror(errno), nHad + nWritten);
                    if (ftruncate(fileno(f), nGood) != 0) {
                    }
                    bOk = false;
                    break;
                }
                nWritten += nTake;
                nGood += off_t(nTake * kPosRecordBytes);
                nGames++;
                anResults[std::min<int>(b[4], 2)]++;
                b.erase(b.begin(), b.begin() + long(nBytes));
            }
        }
        if (NowMs() - tLast >= 5000) {
            tLast = NowMs();
            progress("");
        }
    }
    EndWorkers(ws);
    if (fclose(f) != 0 && bOk) {
        OutputLine("datagen: cannot close %s: %s\n", opt.sOut.c_str(), strerror(errno));
        bOk = false;
    }
    progress(bStopped ? " stopped" : " done");
    OutputLine("datagen: %s holds %" PRIu64 " positions\n", opt.sOut.c_str(), nHad + nWritten);
    return bOk && !bStopped;
}

namespace {

DatagenOptions jobOptions;

void DatagenJob(void*) {
    RunDatagen(jobOptions);
}

}  // namespace

void DatagenCommand(const DatagenOptions& opt) {
    jobOptions = opt;
    StartToolJob(DatagenJob, nullptr);
}
