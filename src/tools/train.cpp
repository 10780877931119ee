// The trainer: a float copy of the engine's net, forward and backward passes that touch only the
// active input rows, Adam over one block of parameters, and the quantisation the engine reads.
#include "tools/train.h"

#include <strings.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <thread>

#include "core/log.h"
#include "search/threads.h"
#include "tools/posdata.h"

namespace {

// Input weights and biases stay within this, so that a quantised accumulator (the bias and at
// most 32 rows of at most round(1.98 * 255) = 505) stays under 33 * 505 = 16665, inside int16.
// Output weights too: round(1.98 * 64) = 127, and the engine forms clamp(a) * w in int16 before
// its squared multiply-add, which holds while 255 * |w| <= 32767. The output bias is int32 at
// QA * QB and needs no bound.
constexpr float kClip = 1.98f;
constexpr float kBeta1 = 0.9f, kBeta2 = 0.999f, kEpsilon = 1e-8f;
// The rate drops to a tenth for the last quarter of the epochs. A step rather than a cosine:
// the rate stays the same for most of the run, so the held-out losses of those epochs compare
// like with like and show when the data is learnt out; the slow tail then settles the weights
// the last checkpoints are made of.
constexpr double kLateRateFactor = 0.1;
// Positions on which the quantised net is compared with the float net.
constexpr size_t kQuantCheckPositions = 10000;
// Training positions the quantised output layer is fitted on (2H activations each in memory).
constexpr size_t kFitPositions = 8192;
constexpr int kTrainMaxThreads = 256;

// Every parameter in one block, so that Adam, clipping and the gradient sums are single loops:
// input weights [768][H] (one row per feature), input biases [H], output weights [2H] (side to
// move's half first), output bias, padding to a multiple of 16.
struct Layout {
    int nHidden;
    size_t nInputBias, nOutputWeights, nOutputBias, nTotal;
};

Layout MakeLayout(int h) {
    Layout l{};
    l.nHidden = h;
    l.nInputBias = size_t(kNetInputs) * h;
    l.nOutputWeights = l.nInputBias + h;
    l.nOutputBias = l.nOutputWeights + 2 * size_t(h);
    l.nTotal = (l.nOutputBias + 1 + 15) / 16 * 16;
    return l;
}

struct FloatNet {
    Layout l;
    int nActivation;
    std::vector<float> afParams;
};

// Seeded random numbers of our own, so that a seed gives the same net with any library.
struct SplitMix {
    uint64_t n;
    uint64_t Next() {
        uint64_t z = (n += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint64_t Below(uint64_t n) { return uint64_t((unsigned __int128)Next() * n >> 64); }
    float Uniform(float a) { return (float(Next() >> 40) * 0x1p-24f * 2.f - 1.f) * a; }
};

template <class T>
void Shuffle(std::vector<T>* pv, SplitMix* rng) {
    for (size_t i = pv->size(); i > 1; i--) std::swap((*pv)[i - 1], (*pv)[rng->Below(i)]);
}

// Small random input weights put a typical pre-activation (about 30 rows) near 0.3, inside
// the activation's slope; small output weights start every output near zero.
FloatNet InitialNet(int h, int nActivation, SplitMix* rng) {
    FloatNet net{MakeLayout(h), nActivation, {}};
    net.afParams.assign(net.l.nTotal, 0.f);
    for (size_t i = 0; i < net.l.nInputBias; i++) net.afParams[i] = rng->Uniform(0.1f);
    const float fOut = 1.f / std::sqrt(float(2 * h));
    for (int i = 0; i < 2 * h; i++) net.afParams[net.l.nOutputWeights + i] = rng->Uniform(fOut);
    return net;
}

float Sigmoid(float x) {
    return 1.f / (1.f + std::exp(-x));
}

// A record's active features: [0] from the side to move's view, [1] from the other side's.
struct Features {
    int n;
    uint16_t aan[2][32];
};

// bMirror flips the files (a <-> h): without castling rights a position and its mirror image
// are worth the same, so a small data set can be shown twice as many positions.
void RecordFeatures(const PosRecord& r, Features* f, bool bMirror = false) {
    PackedPiece a[32];
    f->n = RecordPieces(r, a);
    const int stm = RecordSideToMove(r);
    const int nFlip = bMirror && ((r.nFlags >> 1) & 15) == 0 ? 7 : 0;
    for (int i = 0; i < f->n; i++) {
        const int sq = a[i].nSquare ^ nFlip;
        f->aan[0][i] = uint16_t(NetFeature(stm, a[i].nColour, a[i].nType, sq));
        f->aan[1][i] = uint16_t(NetFeature(stm ^ 1, a[i].nColour, a[i].nType, sq));
    }
}

// A record whose pieces all make features (anything else would index outside the weights).
bool UsableRecord(const PosRecord& r) {
    if (std::popcount(r.nOccupancy) > 32 || r.nResult > 2) return false;
    PackedPiece a[32];
    const int n = RecordPieces(r, a);
    for (int i = 0; i < n; i++)
        if (a[i].nType < PAWN || a[i].nType > KING) return false;
    return true;
}

float Target(const PosRecord& r, float fLambda) {
    float fResult = float(r.nResult) * 0.5f;
    if (RecordSideToMove(r) == BLACK) fResult = 1.f - fResult;
    return fLambda * fResult + (1.f - fLambda) * Sigmoid(float(r.nScore) / float(kNetScale));
}

// Sixteen partial sums in a fixed order: vectorised without reassociating, and the same
// result every run.
float Dot(const float* __restrict a, const float* __restrict b, int n) {
    float s[16] = {};
    for (int i = 0; i < n; i += 16)
        for (int k = 0; k < 16; k++) s[k] += a[i + k] * b[i + k];
    float t = 0.f;
    for (float x : s) t += x;
    return t;
}

// 1 inside the activation's slope (0 < x < 1), else 0. Arithmetic rather than a choice: the
// compiler may not vectorise a choice between floats, since the comparison could trap.
inline float Inside(float x) {
    return float((x > 0.f) & (x < 1.f));
}

// Eight floats, one AVX register (two SSE ones on older machines).
typedef float Lanes8 __attribute__((vector_size(32)));

// out[j] = init[j] plus lane j of every listed row of w (rows of h floats), 8 * kVecs lanes from
// j0: the sums stay in registers, independent enough for the additions to overlap, and each
// lane is stored once however many rows there are (the compiler's own vectorising keeps such
// sums in memory).
template <int kVecs>
void SumRowsAt(float* out, const float* init, const float* w, const uint16_t* anRow, int nRows, int h,
               int j0) {
    Lanes8 acc[kVecs];
    for (int k = 0; k < kVecs; k++) memcpy(&acc[k], init + j0 + 8 * k, sizeof(Lanes8));
    for (int i = 0; i < nRows; i++) {
        const float* row = w + size_t(anRow[i]) * h + j0;
        for (int k = 0; k < kVecs; k++) {
            Lanes8 v;
            memcpy(&v, row + 8 * k, sizeof v);
            acc[k] += v;
        }
    }
    for (int k = 0; k < kVecs; k++) memcpy(out + j0 + 8 * k, &acc[k], sizeof(Lanes8));
}

void SumRows(float* out, const float* init, const float* w, const uint16_t* anRow, int nRows, int h) {
    int j = 0;
    for (; j + 64 <= h; j += 64) SumRowsAt<8>(out, init, w, anRow, nRows, h, j);
    for (; j < h; j += 16) SumRowsAt<2>(out, init, w, anRow, nRows, h, j);
}

// The output o (centipawns = o * kNetScale) of the float net; pre and act get the
// pre-activations and activations, both perspectives side by side [2H].
template <bool kSquared>
float Forward(const FloatNet& net, const Features& f, float* pre, float* act) {
    const int h = net.l.nHidden;
    const float* w = net.afParams.data();
    for (int p = 0; p < 2; p++) SumRows(pre + size_t(p) * h, w + net.l.nInputBias, w, f.aan[p], f.n, h);
    for (int j = 0; j < 2 * h; j++) {
        const float x = pre[j], y = Inside(x) * x + float(x >= 1.f);
        act[j] = kSquared ? y * y : y;
    }
    return Dot(act, w + net.l.nOutputWeights, 2 * h) + w[net.l.nOutputBias];
}

// Adds the gradients of the output layer and of the input biases for a position whose loss
// has the derivative dOut by o, and leaves in delta [2H] the derivative by the
// pre-activations, which the position's active input rows get.
template <bool kSquared>
void BackwardDense(const FloatNet& net, float dOut, const float* __restrict pre, const float* __restrict act,
                   float* __restrict delta, float* g) {
    const int h = net.l.nHidden;
    const float* __restrict wOut = net.afParams.data() + net.l.nOutputWeights;
    float* __restrict gOut = g + net.l.nOutputWeights;
    for (int j = 0; j < 2 * h; j++) {
        gOut[j] += dOut * act[j];
        const float x = pre[j];
        const float fSlope = kSquared ? Inside(x) * 2.f * x : Inside(x);
        delta[j] = dOut * wOut[j] * fSlope;
    }
    g[net.l.nOutputBias] += dOut;
    float* __restrict gBias = g + net.l.nInputBias;
    for (int j = 0; j < h; j++) gBias[j] += delta[j] + delta[h + j];
}

// One thread's buffers for a block of positions. The input rows' gradients are added feature
// by feature over the block: a row of the gradient is then written once a block rather than
// once for each position that has the feature, which leaves more of the core's cache to the
// weights (a fifth faster on random positions; real games share more features).
struct Block {
    int nSize;                                // positions a block
    std::vector<float> afPre, afAct;          // [2H]: the position in hand
    std::vector<float> afDelta;               // [nSize][2H]: slot 2 * position + perspective
    std::vector<uint16_t> anFeature, anSlot;  // the block's (feature, slot) pairs
    std::vector<uint16_t> anStart;            // [769]: counting sort of the pairs by feature
    std::vector<uint16_t> anSorted;           // slots by feature
    int nPairs = 0;
};

Block MakeBlock(int h) {
    Block b;
    b.nSize = std::clamp(16384 / h, 8, 64);  // at most 128 KB of deltas
    b.afPre.resize(2 * size_t(h)), b.afAct.resize(2 * size_t(h));
    b.afDelta.resize(size_t(b.nSize) * 2 * h);
    b.anFeature.resize(size_t(b.nSize) * 64), b.anSlot.resize(size_t(b.nSize) * 64);
    b.anSorted.resize(size_t(b.nSize) * 64), b.anStart.resize(kNetInputs + 1);
    return b;
}

// Forward for code outside the training loop, with the block's buffers as scratch.
float Output(const FloatNet& net, const Features& f, Block* b) {
    return net.nActivation == NET_SCRELU ? Forward<true>(net, f, b->afPre.data(), b->afAct.data())
                                         : Forward<false>(net, f, b->afPre.data(), b->afAct.data());
}

void AddPairs(Block* b, const Features& f, int nPosition) {
    for (int p = 0; p < 2; p++)
        for (int i = 0; i < f.n; i++) {
            b->anFeature[size_t(b->nPairs)] = f.aan[p][i];
            b->anSlot[size_t(b->nPairs++)] = uint16_t(2 * nPosition + p);
        }
}

// Adds the block's deltas to the input rows of the gradient and empties the block.
void BackwardSparse(Block* b, int h, float* g) {
    std::fill(b->anStart.begin(), b->anStart.end(), uint16_t(0));
    for (int i = 0; i < b->nPairs; i++) b->anStart[b->anFeature[size_t(i)] + 1u]++;
    for (int k = 0; k < kNetInputs; k++) b->anStart[size_t(k) + 1] += b->anStart[size_t(k)];
    for (int i = 0; i < b->nPairs; i++)
        b->anSorted[b->anStart[b->anFeature[size_t(i)]]++] = b->anSlot[size_t(i)];
    // anStart[k] now ends feature k's slots (and starts k + 1's).
    int nFrom = 0;
    for (int k = 0; k < kNetInputs; k++) {
        const int nTo = b->anStart[size_t(k)];
        if (nFrom == nTo) continue;
        float* row = g + size_t(k) * h;
        SumRows(row, row, b->afDelta.data(), &b->anSorted[size_t(nFrom)], nTo - nFrom, h);
        nFrom = nTo;
    }
    b->nPairs = 0;
}

// Runs fn(0 .. n-1) on n threads, fn(0) on the caller's; a thread that cannot be had runs its
// share here.
template <class F>
void ParallelRun(int n, F&& fn) {
    std::vector<std::thread> a;
    for (int t = 1; t < n; t++) {
        try {
            a.emplace_back(fn, t);
        } catch (const std::system_error&) {
            fn(t);
        }
    }
    fn(0);
    for (std::thread& th : a) th.join();
}

// Thread t's share [first, last) of n items.
std::pair<size_t, size_t> Share(size_t n, int t, int nThreads) {
    return {n * size_t(t) / size_t(nThreads), n * size_t(t + 1) / size_t(nThreads)};
}

struct Trainer {
    const std::vector<PosRecord>& recs;
    const TrainOptions& opt;
    FloatNet net;
    std::vector<float> afMoment1, afMoment2;
    std::vector<std::vector<float>> aafGrad;  // one buffer a thread, zero between batches
    std::vector<Block> aBlock;
    std::vector<double> adLoss;  // one sum a thread
    int64_t nStep = 0;
    bool bMirrorEpoch = false;  // this epoch shows the mirror images (TrainOptions::bMirror)
};

template <bool kSquared>
void BatchShare(Trainer* tr, const uint32_t* anIndex, size_t n, int t) {
    const auto [first, last] = Share(n, t, tr->opt.nThreads);
    const float fLambda = float(tr->opt.dLambda), fScale = 2.f / float(n);
    const int h = tr->net.l.nHidden;
    float* g = tr->aafGrad[size_t(t)].data();
    Block* b = &tr->aBlock[size_t(t)];
    double dLoss = 0;
    Features f;
    for (size_t i = first, nAt = 0; i < last; i++) {
        if (i + 8 < last) __builtin_prefetch(&tr->recs[anIndex[i + 8]]);
        const PosRecord& r = tr->recs[anIndex[i]];
        RecordFeatures(r, &f, tr->bMirrorEpoch);
        const size_t nOffset = nAt * 2 * size_t(h);
        float* pre = b->afPre.data();
        float* act = b->afAct.data();
        const float p = Sigmoid(Forward<kSquared>(tr->net, f, pre, act)), e = p - Target(r, fLambda);
        dLoss += double(e) * e;
        BackwardDense<kSquared>(tr->net, fScale * e * p * (1.f - p), pre, act, b->afDelta.data() + nOffset,
                                g);
        AddPairs(b, f, int(nAt));
        if (++nAt == size_t(b->nSize) || i + 1 == last) BackwardSparse(b, h, g), nAt = 0;
    }
    tr->adLoss[size_t(t)] = dLoss;
}

// Thread t's share of the parameters: the summed gradients (in thread order, so a thread
// count gives one result) and the Adam step, then clipping.
void StepShare(Trainer* tr, float fRate, int t) {
    const Layout& l = tr->net.l;
    auto [first, last] = Share(l.nTotal / 16, t, tr->opt.nThreads);
    first *= 16, last *= 16;
    float* __restrict g0 = tr->aafGrad[0].data();
    for (size_t k = 1; k < tr->aafGrad.size(); k++) {
        float* __restrict gk = tr->aafGrad[k].data();
        for (size_t j = first; j < last; j++) g0[j] += gk[j], gk[j] = 0.f;
    }
    const double dT = double(tr->nStep);
    const float fStep = float(fRate * std::sqrt(1.0 - std::pow(kBeta2, dT)) / (1.0 - std::pow(kBeta1, dT)));
    float* __restrict w = tr->net.afParams.data();
    float* __restrict m1 = tr->afMoment1.data();
    float* __restrict m2 = tr->afMoment2.data();
    for (size_t j = first; j < last; j++) {
        const float gj = g0[j];
        g0[j] = 0.f;
        m1[j] = kBeta1 * m1[j] + (1.f - kBeta1) * gj;
        m2[j] = kBeta2 * m2[j] + (1.f - kBeta2) * gj * gj;
        w[j] -= fStep * m1[j] / (std::sqrt(m2[j]) + kEpsilon);
    }
    const size_t nClipEnd = std::min(last, l.nOutputBias);
    for (size_t j = first; j < nClipEnd; j++) w[j] = std::clamp(w[j], -kClip, kClip);
}

void TrainBatch(Trainer* tr, const uint32_t* anIndex, size_t n, float fRate) {
    ParallelRun(tr->opt.nThreads, [&](int t) {
        if (tr->net.nActivation == NET_SCRELU)
            BatchShare<true>(tr, anIndex, n, t);
        else
            BatchShare<false>(tr, anIndex, n, t);
    });
    tr->nStep++;
    ParallelRun(tr->opt.nThreads, [&](int t) { StepShare(tr, fRate, t); });
}

// Mean loss of the float net over the positions anIndex (0 for none).
double MeanLoss(Trainer* tr, const std::vector<uint32_t>& anIndex) {
    if (anIndex.empty()) return 0;
    const float fLambda = float(tr->opt.dLambda);
    ParallelRun(tr->opt.nThreads, [&](int t) {
        const auto [first, last] = Share(anIndex.size(), t, tr->opt.nThreads);
        Block* b = &tr->aBlock[size_t(t)];
        double dLoss = 0;
        Features f;
        for (size_t i = first; i < last; i++) {
            const PosRecord& r = tr->recs[anIndex[i]];
            RecordFeatures(r, &f);
            const float o = Output(tr->net, f, b);
            const float e = Sigmoid(o) - Target(r, fLambda);
            dLoss += double(e) * e;
        }
        tr->adLoss[size_t(t)] = dLoss;
    });
    double dSum = 0;
    for (int t = 0; t < tr->opt.nThreads; t++) dSum += tr->adLoss[size_t(t)];
    return dSum / double(anIndex.size());
}

int16_t Quantise16(float x, int nScale) {
    return int16_t(std::clamp<long>(std::lround(double(x) * nScale), INT16_MIN, INT16_MAX));
}

Network Quantise(const FloatNet& f) {
    const Layout& l = f.l;
    Network net;
    net.nHidden = l.nHidden;
    net.nActivation = f.nActivation;
    const float* w = f.afParams.data();
    for (size_t i = 0; i < l.nInputBias; i++) net.anInputWeights.push_back(Quantise16(w[i], kNetQA));
    for (int i = 0; i < l.nHidden; i++) net.anInputBias.push_back(Quantise16(w[l.nInputBias + i], kNetQA));
    for (int i = 0; i < 2 * l.nHidden; i++)
        net.anOutputWeights.push_back(Quantise16(w[l.nOutputWeights + i], kNetQB));
    net.nOutputBias = int32_t(std::lround(double(w[l.nOutputBias]) * kNetQA * kNetQB));
    return net;
}

// The output layer fitted to the float net on top of the quantised hidden layer. Rounded one by
// one, output weights of a few steps of 1/QB each are off by up to half a step, which over 2H
// of them costs several centipawns; chosen together, by coordinate descent on the squared
// difference from the float net's outputs over a sample of training positions, the errors
// mostly cancel. Every step lowers that difference, and the clip stays.
void FitOutputLayer(Trainer* tr, const std::vector<uint32_t>& anSample, Network* q) {
    const int h = q->nHidden, n2 = 2 * h;
    const size_t n = anSample.size();
    const bool bSquared = q->nActivation == NET_SCRELU;
    const int nMaxWeight = int(std::lround(kClip * kNetQB));
    std::vector<float> afY(size_t(n2) * n);  // the engine's activations, one column a unit
    std::vector<double> adR(n);              // float output - engine output, in units of QA * QB
    std::vector<int32_t> anAcc(static_cast<size_t>(n2));
    Block* b = &tr->aBlock[0];
    Features f;
    for (size_t i = 0; i < n; i++) {
        const PosRecord& r = tr->recs[anSample[i]];
        RecordFeatures(r, &f);
        const float o = Output(tr->net, f, b);
        double dOut = q->nOutputBias;
        for (int p = 0; p < 2; p++) {
            int32_t* acc = anAcc.data() + size_t(p) * h;
            for (int j = 0; j < h; j++) acc[j] = q->anInputBias[size_t(j)];
            for (int k = 0; k < f.n; k++) {
                const int16_t* row = q->anInputWeights.data() + size_t(f.aan[p][k]) * h;
                for (int j = 0; j < h; j++) acc[j] += row[j];
            }
        }
        for (int j = 0; j < n2; j++) {
            const float v = float(std::clamp(anAcc[size_t(j)], 0, kNetQA));
            const float y = bSquared ? v * v / float(kNetQA) : v;
            afY[size_t(j) * n + i] = y;
            dOut += double(y) * q->anOutputWeights[size_t(j)];
        }
        adR[i] = double(o) * kNetQA * kNetQB - dOut;
    }
    for (int nPass = 0; nPass < 4; nPass++) {
        for (int j = 0; j < n2; j++) {
            const float* y = afY.data() + size_t(j) * n;
            double dNum = 0, dDen = 0;
            for (size_t i = 0; i < n; i++) dNum += adR[i] * y[i], dDen += double(y[i]) * y[i];
            if (dDen <= 0) continue;
            int16_t& w = q->anOutputWeights[size_t(j)];
            const int nNew = std::clamp(int(w + std::lround(dNum / dDen)), -nMaxWeight, nMaxWeight);
            const int d = nNew - w;
            if (!d) continue;
            w = int16_t(nNew);
            for (size_t i = 0; i < n; i++) adR[i] -= double(d) * y[i];
        }
        double dMean = 0;
        for (double r : adR) dMean += r;
        const long nShift = n ? std::lround(dMean / double(n)) : 0;
        q->nOutputBias += int32_t(nShift);
        for (double& r : adR) r -= double(nShift);
    }
}

float LargestMagnitude(const std::vector<float>& a, size_t first, size_t last) {
    float m = 0;
    for (size_t i = first; i < last; i++) m = std::max(m, std::fabs(a[i]));
    return m;
}

// The clip keeps every product in range; the engine's int32 sum of a half needs the sum of
// |w| * QA^2 (SCReLU; QA for CReLU) to stay in range too, which up to 256 hidden always do
// (256 * 127 * 255^2 < 2^31), and wider layers unless their output weights are unusually big.
void ReportWeights(const FloatNet& f, const Network& q) {
    const Layout& l = f.l;
    OutputLine(
        "Largest |weight| before quantising: input %.3f, input bias %.3f, output %.3f (clip %.2f), "
        "output bias %.3f\n",
        LargestMagnitude(f.afParams, 0, l.nInputBias),
        LargestMagnitude(f.afParams, l.nInputBias, l.nOutputWeights),
        LargestMagnitude(f.afParams, l.nOutputWeights, l.nOutputBias), double(kClip),
        double(std::fabs(f.afParams[l.nOutputBias])));
    const int64_t nPeak = f.nActivation == NET_SCRELU ? int64_t(kNetQA) * kNetQA : kNetQA;
    for (int half = 0; half < 2; half++) {
        int64_t nBound = 0;
        for (int i = 0; i < l.nHidden; i++)
            nBound += std::abs(q.anOutputWeights[size_t(half * l.nHidden + i)]);
        if (nBound * nPeak > INT32_MAX)
            OutputLine("Warning: the output sum of half %d could exceed int32 (bound %lld)\n", half,
                       (long long)(nBound * nPeak));
    }
}

// Mean |float - engine| in centipawns over up to kQuantCheckPositions of the positions.
double QuantisationError(Trainer* tr, const Network& q, const std::vector<uint32_t>& anIndex) {
    auto acc = std::make_unique<Accumulator>();
    Block* b = &tr->aBlock[0];
    double dSum = 0, dMax = 0;
    size_t n = 0;
    Features f;
    for (size_t i = 0; i < anIndex.size() && n < kQuantCheckPositions; i++) {
        const PosRecord& r = tr->recs[anIndex[i]];
        Position pos;
        if (!UnpackPosition(r, &pos)) continue;
        RecordFeatures(r, &f);
        const float o = Output(tr->net, f, b);
        RefreshAccumulator(q, pos, acc.get());
        const double d = std::fabs(double(o) * kNetScale - NetOutput(q, *acc, pos.bSideToMove));
        dSum += d, dMax = std::max(dMax, d), n++;
    }
    if (!n) {
        OutputLine("No position to compare the quantised net on\n");
        return 0;
    }
    OutputLine("Quantised against float on %zu positions: mean |difference| %.2f cp, largest %.1f cp\n", n,
               dSum / double(n), dMax);
    return dSum / double(n);
}

bool Stopped() {
    return ToolJobRunning() && ToolAborted();
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

bool ReadInt(const char* s, long nMin, long nMax, int* p) {
    char* end = nullptr;
    errno = 0;
    const long n = strtol(s, &end, 10);
    if (end == s || *end || errno || n < nMin || n > nMax) return false;
    *p = int(n);
    return true;
}

bool ReadReal(const char* s, double dMin, double dMax, double* p) {
    char* end = nullptr;
    const double d = strtod(s, &end);
    if (end == s || *end || !(d >= dMin && d <= dMax)) return false;
    *p = d;
    return true;
}

// The ranges RunTraining accepts; the same words as the parser's messages.
const char* BadOption(const TrainOptions& o) {
    if (o.asData.empty()) return "no data file given";
    if (o.sOut.empty()) return "no output given (--out NET)";
    if (o.nHidden < 16 || o.nHidden > kNetMaxHidden || o.nHidden % 16)
        return "--hidden must be a multiple of 16 from 16 to 1024";
    if (o.nEpochs < 1 || o.nThreads < 1 || o.nThreads > kTrainMaxThreads || o.nBatch < 1)
        return "--epochs, --threads and --batch must be positive (threads at most 256)";
    if (!(o.dLambda >= 0 && o.dLambda <= 1) || !(o.dLearningRate > 0) ||
        !(o.dHoldout >= 0 && o.dHoldout <= 0.5))
        return "--lambda must be 0..1, --lr positive, --holdout 0..0.5";
    if (o.nActivation != NET_CRELU && o.nActivation != NET_SCRELU) return "bad activation";
    return nullptr;
}

// Before any training: a net that cannot be written would waste the whole run.
bool CheckWritable(const std::string& sOut) {
    std::error_code ec;
    if (std::filesystem::is_directory(sOut, ec)) {
        OutputLine("Cannot write the net to %s: it is a folder\n", sOut.c_str());
        return false;
    }
    const std::string sProbe = sOut + ".tmp";
    FILE* f = fopen(sProbe.c_str(), "wb");
    if (!f) {
        OutputLine("Cannot write the net to %s: %s\n", sOut.c_str(), strerror(errno));
        return false;
    }
    fclose(f);
    std::remove(sProbe.c_str());
    return true;
}

// Reads every file and keeps the usable records; false (said why) when a file cannot be read.
bool LoadAll(const TrainOptions& opt, std::vector<PosRecord>* pRecs) {
    for (const std::string& sPath : opt.asData) {
        const size_t nBefore = pRecs->size();
        bool bTorn = false;
        std::string sErr;
        if (!LoadPosData(sPath.c_str(), pRecs, &bTorn, &sErr)) {
            OutputLine("Cannot read %s: %s\n", sPath.c_str(), sErr.c_str());
            return false;
        }
        const auto itEnd = std::remove_if(pRecs->begin() + ptrdiff_t(nBefore), pRecs->end(),
                                          [](const PosRecord& r) { return !UsableRecord(r); });
        const size_t nBad = size_t(pRecs->end() - itEnd);
        pRecs->erase(itEnd, pRecs->end());
        OutputLine("Read %zu positions from %s%s", pRecs->size() - nBefore, sPath.c_str(),
                   bTorn ? " (warning: a torn last record was dropped)" : "");
        if (nBad) OutputLine(" (%zu records with impossible pieces skipped)", nBad);
        OutputLine("\n");
    }
    return true;
}

// The last part of the data held out, the rest for training, and a fixed sample of the
// training positions for fitting the quantised output layer; the subsets in file order, for
// the cache. The held-out part is the tail rather than a random subset because a game's
// positions share its result and look alike: held out at random, they would only measure how
// well the net remembers the games it was trained on.
void SplitPositions(size_t n, double dHoldout, SplitMix* rng, std::vector<uint32_t>* pTrain,
                    std::vector<uint32_t>* pHeld, std::vector<uint32_t>* pFit) {
    const size_t nTrain = n - size_t(double(n) * dHoldout);
    pTrain->resize(nTrain);
    for (size_t i = 0; i < nTrain; i++) (*pTrain)[i] = uint32_t(i);
    pHeld->clear();
    for (size_t i = nTrain; i < n; i++) pHeld->push_back(uint32_t(i));
    std::vector<uint32_t> sample = *pTrain;
    Shuffle(&sample, rng);
    pFit->assign(sample.begin(), sample.begin() + ptrdiff_t(std::min(sample.size(), kFitPositions)));
    std::sort(pFit->begin(), pFit->end());
}

TrainOptions jobOptions;

void TrainJob(void*) {
    RunTraining(jobOptions);
}

}  // namespace

bool ParseTrainArgs(int argc, char** argv, TrainOptions* pOpt, std::string* pErr) {
    TrainOptions o;
    auto fail = [&](const std::string& s) {
        if (pErr) *pErr = s + "\n" + kTrainUsage;
        return false;
    };
    static const char* const kFlags[] = {"--out",        "--epochs", "--threads", "--hidden",
                                         "--activation", "--lambda", "--lr",      "--batch",
                                         "--holdout",    "--seed",   "--mirror"};
    for (int i = 1; i < argc; i++) {
        const std::string w = argv[i];
        if (w.rfind("--", 0) != 0) {
            o.asData.push_back(w);
            continue;
        }
        if (std::find(std::begin(kFlags), std::end(kFlags), w) == std::end(kFlags))
            return fail("Unknown option " + w);
        if (i + 1 >= argc || strncmp(argv[i + 1], "--", 2) == 0) return fail(w + " needs a value");
        const char* v = argv[++i];
        bool bOk = true;
        if (w == "--out")
            o.sOut = v, bOk = *v != 0;
        else if (w == "--epochs")
            bOk = ReadInt(v, 1, 1000000, &o.nEpochs);
        else if (w == "--threads")
            bOk = ReadInt(v, 1, kTrainMaxThreads, &o.nThreads);
        else if (w == "--hidden")
            bOk = ReadInt(v, 16, kNetMaxHidden, &o.nHidden) && o.nHidden % 16 == 0;
        else if (w == "--activation") {
            o.nActivation = strcasecmp(v, "crelu") == 0 ? NET_CRELU : NET_SCRELU;
            bOk = o.nActivation == NET_CRELU || strcasecmp(v, "screlu") == 0;
        } else if (w == "--lambda")
            bOk = ReadReal(v, 0, 1, &o.dLambda);
        else if (w == "--lr")
            bOk = ReadReal(v, 1e-9, 1, &o.dLearningRate);
        else if (w == "--batch")
            bOk = ReadInt(v, 1, 1 << 24, &o.nBatch);
        else if (w == "--holdout")
            bOk = ReadReal(v, 0, 0.5, &o.dHoldout);
        else if (w == "--mirror") {
            o.bMirror = strcasecmp(v, "on") == 0;
            bOk = o.bMirror || strcasecmp(v, "off") == 0;
        } else {
            char* end = nullptr;
            o.nSeed = strtoull(v, &end, 10);
            bOk = end != v && !*end;
        }
        if (!bOk) return fail("Bad value for " + w + ": " + v);
    }
    if (const char* szBad = BadOption(o)) return fail(std::string("Cannot train: ") + szBad);
    *pOpt = o;
    return true;
}

bool RunTraining(const TrainOptions& opt, TrainReport* pReport) {
    TrainReport report;
    if (pReport) *pReport = report;
    if (const char* szBad = BadOption(opt)) {
        OutputLine("Cannot train: %s\n", szBad);
        return false;
    }
    if (!CheckWritable(opt.sOut)) return false;
    std::vector<PosRecord> recs;
    if (!LoadAll(opt, &recs)) return false;
    if (recs.empty()) {
        OutputLine("No positions to train on: the data set is empty\n");
        return false;
    }
    if (recs.size() > UINT32_MAX) {
        OutputLine("Too many positions (%zu): at most %u\n", recs.size(), UINT32_MAX);
        return false;
    }

    SplitMix rng{opt.nSeed};
    std::vector<uint32_t> anTrain, anHeld, anFit;
    SplitPositions(recs.size(), opt.dHoldout, &rng, &anTrain, &anHeld, &anFit);

    Trainer tr{recs, opt, InitialNet(opt.nHidden, opt.nActivation, &rng), {}, {}, {}, {}, {}};
    const Layout& l = tr.net.l;
    tr.afMoment1.assign(l.nTotal, 0.f);
    tr.afMoment2.assign(l.nTotal, 0.f);
    tr.aafGrad.assign(size_t(opt.nThreads), std::vector<float>(l.nTotal, 0.f));
    tr.aBlock.assign(size_t(opt.nThreads), MakeBlock(l.nHidden));
    tr.adLoss.assign(size_t(opt.nThreads), 0.0);

    Network shape;
    shape.nHidden = opt.nHidden, shape.nActivation = opt.nActivation;
    OutputLine(
        "Training %s on %zu positions (%zu held out): %d epochs, batches of %d, lambda %.2f, %d threads\n",
        NetDescription(shape).c_str(), anTrain.size(), anHeld.size(), opt.nEpochs, opt.nBatch, opt.dLambda,
        opt.nThreads);
    report.dHeldLossBefore = MeanLoss(&tr, anHeld);
    if (!anHeld.empty()) OutputLine("Held-out loss before training: %.6f\n", report.dHeldLossBefore);

    const auto tStart = std::chrono::steady_clock::now();
    const int nLateFrom = opt.nEpochs - opt.nEpochs / 4;  // epochs after this run at the low rate
    Network last;
    std::vector<float> afLast;  // the float net of the last finished epoch
    // With a held-out set, NET is the epoch that judged it best: on the few million positions
    // this machine makes, a net starts to learn its games by heart (the training loss falls on
    // while the held-out one rises) long before the rate's schedule ends.
    Network best;
    std::vector<float> afBest;
    int nBestEpoch = 0;
    double dBestHeld = 0;
    bool bStopped = false;
    for (int e = 1; e <= opt.nEpochs && !bStopped; e++) {
        const double dRate = opt.dLearningRate * (e > nLateFrom ? kLateRateFactor : 1.0);
        Shuffle(&anTrain, &rng);
        tr.bMirrorEpoch = opt.bMirror && e % 2 == 0;
        const auto tEpoch = std::chrono::steady_clock::now();
        double dLoss = 0;
        for (size_t b = 0; b < anTrain.size(); b += size_t(opt.nBatch)) {
            if (Stopped()) {
                bStopped = true;
                break;
            }
            const size_t n = std::min(size_t(opt.nBatch), anTrain.size() - b);
            TrainBatch(&tr, anTrain.data() + b, n, float(dRate));
            for (double d : tr.adLoss) dLoss += d;
        }
        if (bStopped) break;
        const double dSecs = Seconds(tEpoch);
        report.dPositionsPerSec = double(anTrain.size()) / std::max(dSecs, 1e-9);
        report.dHeldLossAfter = MeanLoss(&tr, anHeld);
        report.nEpochsDone = e;
        char szHeld[32] = "-";
        if (!anHeld.empty()) snprintf(szHeld, sizeof szHeld, "%.6f", report.dHeldLossAfter);
        OutputLine("Epoch %d/%d: loss %.6f, held out %s, %.0f positions/s, rate %g, %.1f s\n", e, opt.nEpochs,
                   dLoss / double(anTrain.size()), szHeld, report.dPositionsPerSec, dRate, Seconds(tStart));
        last = Quantise(tr.net);
        FitOutputLayer(&tr, anFit, &last);
        afLast = tr.net.afParams;
        const std::string sCheckpoint = opt.sOut + ".epoch-" + std::to_string(e);
        std::string sErr;
        if (!WriteNetworkFile(sCheckpoint.c_str(), last, &sErr))
            OutputLine("Cannot write checkpoint %s: %s\n", sCheckpoint.c_str(), sErr.c_str());
        if (nBestEpoch == 0 || anHeld.empty() || report.dHeldLossAfter < dBestHeld) {
            best = last, afBest = afLast, nBestEpoch = e;
            dBestHeld = report.dHeldLossAfter;
        }
    }
    if (report.nEpochsDone == 0) {
        OutputLine("Training stopped before the first epoch ended: %s not written\n", opt.sOut.c_str());
        if (pReport) *pReport = report;
        return false;
    }
    if (bStopped)
        OutputLine("Training stopped after epoch %d: keeping the best finished epoch\n", report.nEpochsDone);
    if (nBestEpoch != report.nEpochsDone)
        OutputLine("Keeping epoch %d, the lowest held-out loss (%.6f)\n", nBestEpoch, dBestHeld);
    last = best;
    tr.net.afParams = afBest;
    ReportWeights(tr.net, last);
    report.dQuantErrorCp = QuantisationError(&tr, last, anHeld.empty() ? anTrain : anHeld);
    if (pReport) *pReport = report;
    std::string sErr;
    if (!WriteNetworkFile(opt.sOut.c_str(), last, &sErr)) {
        OutputLine("Cannot write the net to %s: %s\n", opt.sOut.c_str(), sErr.c_str());
        return false;
    }
    OutputLine("Net written to %s (%s, epoch %d, %.1f s)\n", opt.sOut.c_str(), NetDescription(last).c_str(),
               nBestEpoch, Seconds(tStart));
    return true;
}

void TrainCommand(int argc, char** argv) {
    std::string sErr;
    if (!ParseTrainArgs(argc, argv, &jobOptions, &sErr)) {
        OutputLine("%s\n", sErr.c_str());
        return;
    }
    StartToolJob(TrainJob, nullptr);
}
