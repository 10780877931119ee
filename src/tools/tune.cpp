// The weight tuner: quiet leaves of labelled positions, the logistic scale, and a descent on
// each round's linear model of the evaluation.
#include "tools/tune.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_set>

#include "core/log.h"
#include "eval/cache.h"
#include "eval/eval.h"
#include "movegen/movegen.h"
#include "search/search.h"
#include "search/threads.h"

namespace {

// Weights the fit leaves alone: thresholds and bases that are not linear terms (or only
// restate others), and the lazy margins, which a full-window evaluation never meets.
bool Fixed(const char* szName) {
    static const char* const kFixed[] = {"anMobilityBase",         "nKingBlendPhase", "nTropismNumerator",
                                         "nOutpostNoMinorsFactor", "nLazyMargin1",    "nLazyMargin2"};
    for (const char* f : kFixed)
        if (strcmp(f, szName) == 0) return true;
    return false;
}

struct FlatWeight {
    int nField;  // index among the record's fields
    int nIndex;  // index in the field
    int* pValue;
};

// Every tunable weight of w, in the record's order.
std::vector<FlatWeight> Tunable(EvalWeights& w) {
    std::vector<FlatWeight> out;
    int nField = 0;
    ForEachWeight(w, [&](const char* szName, int* p, int n) {
        if (!Fixed(szName))
            for (int i = 0; i < n; i++) out.push_back({nField, i, p + i});
        nField++;
    });
    return out;
}

double Sigmoid(double e, double dK) {
    return 1.0 / (1.0 + std::pow(10.0, -dK * e / 400.0));
}

bool ParseResult(const char* s, float* pf) {
    while (*s == ' ' || *s == '\t' || *s == '"' || *s == '[') s++;
    if (strncmp(s, "1/2-1/2", 7) == 0 || strncmp(s, "0.5", 3) == 0) return *pf = 0.5f, true;
    if (strncmp(s, "1-0", 3) == 0 || strncmp(s, "1.0", 3) == 0 || (s[0] == '1' && !isdigit(s[1])))
        return *pf = 1.0f, true;
    if (strncmp(s, "0-1", 3) == 0 || strncmp(s, "0.0", 3) == 0 || (s[0] == '0' && !isdigit(s[1])))
        return *pf = 0.0f, true;
    return false;
}

// Evaluation tables would keep results of other weights: the tuner evaluates without them.
void DropEvalCaches() {
    FreePawnHash();
    FreeEvalHash();
}

struct Term {
    uint32_t nWeight;  // index into the tunable weights
    float fSlope;      // change of the white evaluation per unit of the weight
};

// One round's linear model: base evaluations and the sparse slopes of every position.
struct LinearModel {
    std::vector<float> afBase;
    std::vector<uint32_t> anStart;  // terms of sample i: anStart[i] .. anStart[i + 1]
    std::vector<Term> terms;
};

// Finite differences, one weight at a time over all samples (a weight change clears the
// material table, so that is the cheap order). Returns false when aborted.
bool BuildModel(std::vector<TuneSample>& samples, EvalWeights& w, LinearModel* m) {
    const size_t n = samples.size();
    std::vector<FlatWeight> flat = Tunable(w);
    m->afBase.resize(n);
    UseEvalWeights(w);
    for (size_t i = 0; i < n; i++) m->afBase[i] = float(WhiteEvaluation(samples[i].pos));
    std::vector<std::vector<Term>> per(n);
    constexpr int kStep = 4;
    for (size_t j = 0; j < flat.size(); j++) {
        if (ToolAborted()) return false;
        *flat[j].pValue += kStep;
        UseEvalWeights(w);
        for (size_t i = 0; i < n; i++) {
            const int d = WhiteEvaluation(samples[i].pos) - int(m->afBase[i]);
            if (d) per[i].push_back({uint32_t(j), float(d) / kStep});
        }
        *flat[j].pValue -= kStep;
    }
    UseEvalWeights(w);
    m->anStart.assign(1, 0);
    m->terms.clear();
    for (size_t i = 0; i < n; i++) {
        m->terms.insert(m->terms.end(), per[i].begin(), per[i].end());
        m->anStart.push_back(uint32_t(m->terms.size()));
    }
    return true;
}

// Sample i's evaluation in the linear model with the weight changes adDelta.
double ModelEvaluation(const LinearModel& m, size_t i, const std::vector<double>& adDelta) {
    double e = m.afBase[i];
    for (uint32_t k = m.anStart[i]; k < m.anStart[i + 1]; k++)
        e += m.terms[k].fSlope * adDelta[m.terms[k].nWeight];
    return e;
}

// The linear model's mean squared error over samples nFrom .. nTo with the changes adDelta.
double ModelError(const std::vector<TuneSample>& samples, const LinearModel& m, double dK, size_t nFrom,
                  size_t nTo, const std::vector<double>& adDelta) {
    double sum = 0;
    for (size_t i = nFrom; i < nTo; i++) {
        const double d = samples[i].fResult - Sigmoid(ModelEvaluation(m, i, adDelta), dK);
        sum += d * d;
    }
    return nTo > nFrom ? sum / double(nTo - nFrom) : 0.0;
}

// Adam on the mean squared error of the linear model over the first nTrain samples; adDelta
// holds the change of every tunable weight from the model's point. The held-out samples after
// nTrain stop it early: the changes kept are those with the lowest held-out error, since
// positions of one game share their result and a long descent learns the games by heart.
void Descend(const std::vector<TuneSample>& samples, const LinearModel& m, double dK, size_t nTrain,
             const std::vector<bool>& frozen, std::vector<double>* adDelta) {
    const size_t nW = adDelta->size();
    std::vector<double> g(nW), m1(nW, 0.0), m2(nW, 0.0);
    constexpr double kRate = 0.5, kBeta1 = 0.9, kBeta2 = 0.999;
    constexpr int kEpochs = 400, kCheckEvery = 10;
    const double dScale = dK * std::log(10.0) / 400.0;
    const bool bHeldOut = nTrain < samples.size();
    std::vector<double> best = *adDelta;
    double dBest = bHeldOut ? ModelError(samples, m, dK, nTrain, samples.size(), *adDelta) : 0.0;
    for (int t = 1; t <= kEpochs && !ToolAborted(); t++) {
        std::fill(g.begin(), g.end(), 0.0);
        for (size_t i = 0; i < nTrain; i++) {
            const double s = Sigmoid(ModelEvaluation(m, i, *adDelta), dK);
            const double f = -2.0 * (samples[i].fResult - s) * s * (1.0 - s) * dScale;
            for (uint32_t k = m.anStart[i]; k < m.anStart[i + 1]; k++)
                g[m.terms[k].nWeight] += f * m.terms[k].fSlope;
        }
        for (size_t j = 0; j < nW; j++) {
            if (frozen[j]) continue;
            const double gj = g[j] / double(nTrain);
            m1[j] = kBeta1 * m1[j] + (1 - kBeta1) * gj;
            m2[j] = kBeta2 * m2[j] + (1 - kBeta2) * gj * gj;
            const double mh = m1[j] / (1 - std::pow(kBeta1, t)), vh = m2[j] / (1 - std::pow(kBeta2, t));
            (*adDelta)[j] -= kRate * mh / (std::sqrt(vh) + 1e-12);
        }
        if (bHeldOut && t % kCheckEvery == 0) {
            const double h = ModelError(samples, m, dK, nTrain, samples.size(), *adDelta);
            if (h < dBest) dBest = h, best = *adDelta;
        }
    }
    if (bHeldOut) *adDelta = best;
}

double ErrorOf(const std::vector<TuneSample>& samples, size_t nFrom, size_t nTo, double dK) {
    double sum = 0;
    for (size_t i = nFrom; i < nTo; i++) {
        const double d = samples[i].fResult - Sigmoid(WhiteEvaluation(samples[i].pos), dK);
        sum += d * d;
    }
    return nTo > nFrom ? sum / double(nTo - nFrom) : 0.0;
}

// The second lazy exit's margin for the weights in use: the gap between the full score and
// the pawn-level score that all but one in a hundred positions stay within, rounded up to ten. A
// margin the evaluation's own terms often exceed lets a null-window search cut on a score the
// full evaluation would not give.
int FitLazyMargin(const std::vector<TuneSample>& samples) {
    std::vector<int> gap;
    gap.reserve(samples.size());
    for (const TuneSample& s : samples) {
        int an[2];
        gap.push_back(std::abs(Evaluate(&s.pos, -32000, 32000, 0, an, 0) - SecondLazyScore(&s.pos)));
    }
    if (gap.empty()) return evalWeights.nLazyMargin2;
    const size_t k = gap.size() * 99 / 100;
    std::nth_element(gap.begin(), gap.begin() + ptrdiff_t(k), gap.end());
    return (gap[k] + 9) / 10 * 10;
}

struct TuneJobArgs {
    std::string sData, sOut;
    int nRounds;
    bool bOk;
};
TuneJobArgs tuneArgs;

void TuneJob(void*) {
    const HandEvalScope hand;
    tuneArgs.bOk = false;
    const EvalWeights before = evalWeights;
    int nBad = 0;
    std::vector<TuneSample> raw = ReadTuneData(tuneArgs.sData.c_str(), &nBad);
    if (raw.empty()) {
        OutputLine("No positions in %s\n", tuneArgs.sData.c_str());
        return;
    }
    DropEvalCaches();
    std::vector<TuneSample> samples;
    std::unordered_set<uint64_t> seen;
    int nInCheck = 0, nRepeated = 0, nLopsided = 0;
    for (TuneSample& s : raw) {
        if (!QuietLeaf(&s.pos)) {
            nInCheck++;
            continue;
        }
        if (!seen.insert(s.pos.nHashKey).second) {
            nRepeated++;
            continue;
        }
        if (std::abs(WhiteEvaluation(s.pos)) > 1500) {
            nLopsided++;
            continue;
        }
        samples.push_back(s);
    }
    raw.clear();
    raw.shrink_to_fit();
    // The held-out tenth is the end of the file: positions of one game come together, so a
    // split by position would hold out near copies of positions the fit has seen.
    const size_t nTrain = samples.size() - samples.size() / 10;
    OutputLine(
        "Positions: %zu quiet (%zu for the fit, %zu held out); dropped %d in check, %d repeated, "
        "%d lopsided, %d unreadable lines\n",
        samples.size(), nTrain, samples.size() - nTrain, nInCheck, nRepeated, nLopsided, nBad);
    if (nTrain == 0) return;

    EvalWeights w = evalWeights;
    const double dK = FitScale(samples);
    const double dTrain0 = ErrorOf(samples, 0, nTrain, dK),
                 dHeld0 = ErrorOf(samples, nTrain, samples.size(), dK);
    OutputLine("K = %.3f; error %.6f (held out %.6f)\n", dK, dTrain0, dHeld0);
    double dTrain = dTrain0, dHeld = dHeld0;
    for (int r = 1; r <= tuneArgs.nRounds && !ToolAborted(); r++) {
        LinearModel m;
        if (!BuildModel(samples, w, &m)) break;
        std::vector<FlatWeight> flat = Tunable(w);
        std::vector<double> delta(flat.size(), 0.0);
        // A weight that few positions see would be fitted to their noise: it keeps its value.
        std::vector<uint32_t> seen(flat.size(), 0);
        for (uint32_t k = 0; k < m.anStart[nTrain]; k++) seen[m.terms[k].nWeight]++;
        const uint32_t nMinSeen = uint32_t(std::max<size_t>(100, nTrain / 200));
        std::vector<bool> frozen(flat.size());
        int nFrozen = 0;
        for (size_t j = 0; j < flat.size(); j++) nFrozen += (frozen[j] = seen[j] < nMinSeen);
        Descend(samples, m, dK, nTrain, frozen, &delta);
        if (ToolAborted()) break;
        EvalWeights next = w;
        std::vector<FlatWeight> flatNext = Tunable(next);
        for (size_t j = 0; j < flatNext.size(); j++) *flatNext[j].pValue += int(std::lround(delta[j]));
        UseEvalWeights(next);
        const double t = ErrorOf(samples, 0, nTrain, dK), h = ErrorOf(samples, nTrain, samples.size(), dK);
        OutputLine("Round %d: %zu weights fitted (%d seen too rarely); error %.6f (held out %.6f)\n", r,
                   flat.size() - size_t(nFrozen), nFrozen, t, h);
        // Stop when the fit no longer carries over to unseen games (or the model misled).
        if (t >= dTrain || (nTrain < samples.size() && h >= dHeld)) break;
        w = next;
        dTrain = t, dHeld = h;
    }
    UseEvalWeights(w);
    const int nLazy = FitLazyMargin(samples);
    OutputLine("Second lazy margin: %d (was %d)\n", nLazy, w.nLazyMargin2);
    w.nLazyMargin2 = nLazy;
    char szNote[256];
    snprintf(szNote, sizeof(szNote),
             "%zu positions of %s, K = %.3f; error %.6f -> %.6f, held out %.6f -> %.6f", samples.size(),
             tuneArgs.sData.c_str(), dK, dTrain0, dTrain, dHeld0, dHeld);
    OutputLine("Fitted: %s\n", szNote);
    const std::string src = WeightsSource(w, szNote);
    FILE* f = fopen(tuneArgs.sOut.c_str(), "w");
    if (!f || fputs(src.c_str(), f) < 0 || fclose(f) != 0)
        OutputLine("Cannot write file %s\n", tuneArgs.sOut.c_str());
    else
        OutputLine("Written to %s\n", tuneArgs.sOut.c_str()), tuneArgs.bOk = true;
    UseEvalWeights(before);
}

}  // namespace

std::vector<TuneSample> ReadTuneData(const char* path, int* pnBad) {
    std::vector<TuneSample> out;
    *pnBad = 0;
    FILE* f = path ? fopen(path, "r") : nullptr;
    if (!f) {
        OutputLine("Cannot open file %s\n", path ? path : "");
        return out;
    }
    static GameState scratch;
    char line[512];
    while (fgets(line, sizeof(line), f)) {
        char* p = line;
        while (*p == ' ' || *p == '\t') p++;
        if (*p == '\0' || *p == '\n' || *p == '\r' || *p == '#') continue;
        char* semi = strchr(p, ';');
        TuneSample s{};
        if (!semi || !ParseResult(semi + 1, &s.fResult)) {
            ++*pnBad;
            continue;
        }
        *semi = '\0';
        if (!ParseFenQuiet(&s.pos, &scratch, p)) {
            ++*pnBad;
            continue;
        }
        // The sides that have castled (a FEN cannot say it; the king safety asks).
        if (const char* c = strchr(semi + 1, ';')) {
            for (c++; *c && *c != '\n' && *c != '\r'; c++) {
                if (*c == 'W') s.pos.nCastling |= CASTLED_W;
                if (*c == 'B') s.pos.nCastling |= CASTLED_B;
            }
        }
        out.push_back(s);
    }
    fclose(f);
    return out;
}

bool QuietLeaf(Position* pos) {
    pos->nInCheck = uint8_t(InCheck(pos));
    if (pos->nInCheck) return false;
    game.nGamePly = 0;
    aThreadMarkers[0].nLastIrreversible = 0;
    PvLine pv{};
    SearchStack ss{0, 0, 0, -1, -1, NODE_PV, 0};
    Quiesce(pos, 32, -SCORE_INF, SCORE_INF, &pv, 1, &ss, 0);
    for (int i = 0; i < pv.nLength && i < kMaxPly; i++) {
        Position next;
        MakeMove(pv.anMoves[i], pos, &next, i + 1, -1);
        *pos = next;
    }
    pos->nInCheck = uint8_t(InCheck(pos));
    return !pos->nInCheck;
}

int WhiteEvaluation(const Position& pos) {
    int an[2];
    const int e = Evaluate(&pos, -32000, 32000, 0, an, 0);
    return pos.bSideToMove == WHITE ? e : -e;
}

double TuneError(const std::vector<TuneSample>& samples, double dK) {
    return ErrorOf(samples, 0, samples.size(), dK);
}

double FitScale(const std::vector<TuneSample>& samples) {
    std::vector<int> e(samples.size());
    for (size_t i = 0; i < samples.size(); i++) e[i] = WhiteEvaluation(samples[i].pos);
    auto err = [&](double k) {
        double sum = 0;
        for (size_t i = 0; i < samples.size(); i++) {
            const double d = samples[i].fResult - Sigmoid(e[i], k);
            sum += d * d;
        }
        return sum;
    };
    // Golden-section search; the error is unimodal in K over this range.
    double a = 0.05, b = 5.0;
    const double g = (std::sqrt(5.0) - 1) / 2;
    double c = b - g * (b - a), d = a + g * (b - a), fc = err(c), fd = err(d);
    for (int i = 0; i < 60; i++) {
        if (fc < fd)
            b = d, d = c, fd = fc, c = b - g * (b - a), fc = err(c);
        else
            a = c, c = d, fc = fd, d = a + g * (b - a), fd = err(d);
    }
    return (a + b) / 2;
}

std::string WeightsSource(const EvalWeights& wIn, const std::string& sNote) {
    EvalWeights w = wIn;
    std::string s = "// Written by the \"tune\" command: the evaluation's weights fitted to " + sNote +
                    ".\n// Square tables are diagrams (rank 8 first, files a to h).\n"
                    "#include \"eval/eval.h\"\n#include \"eval/weights.h\"\n\n"
                    "// clang-format off\nconst EvalWeights kFittedWeights = {\n";
    ForEachWeight(w, [&](const char* szName, int* p, int n) {
        s += std::string("    .") + szName + " = ";
        if (n == 1) {
            s += std::to_string(*p) + ",\n";
            return;
        }
        if (n == 64) {
            s += "TableFromDiagram({\n";
            for (int r = 0; r < 8; r++) {
                s += "       ";
                for (int c = 0; c < 8; c++) {
                    s += ' ';
                    s += std::to_string(p[63 - (8 * r + c)]);
                    s += ',';
                }
                s += "\n";
            }
            s += "    }),\n";
            return;
        }
        s += "{";
        for (int i = 0; i < n; i++) {
            if (i) s += ", ";
            s += std::to_string(p[i]);
        }
        s += "},\n";
    });
    s += "};\n// clang-format on\n";
    return s;
}

namespace {

bool SetTuneArgs(const char* szData, const char* szOut, int nRounds) {
    if (!szData || !*szData) {
        OutputLine("Usage: tune DATA [OUT] [ROUNDS]\n");
        return false;
    }
    tuneArgs.sData = szData;
    tuneArgs.sOut = szOut && *szOut ? szOut : "weights_fitted.cpp";
    tuneArgs.nRounds = nRounds > 0 ? nRounds : 3;
    return true;
}

}  // namespace

void TuneCommand(const char* szData, const char* szOut, int nRounds) {
    if (SetTuneArgs(szData, szOut, nRounds)) StartToolJob(TuneJob, nullptr);
}

bool RunTune(const char* szData, const char* szOut, int nRounds) {
    if (!SetTuneArgs(szData, szOut, nRounds)) return false;
    TuneJob(nullptr);
    return tuneArgs.bOk;
}
