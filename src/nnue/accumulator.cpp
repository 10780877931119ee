// Inference: the accumulators, their incremental updates and the output layer, in AVX2 where
// the build has it and in plain loops otherwise (the two give the same numbers).
#include <algorithm>
#include <memory>

#if defined(__AVX2__)
#include <immintrin.h>
#endif

#include "nnue/nnue.h"

namespace {

// acc += row (kAdd) or acc -= row over n lanes.
template <bool kAdd>
inline void ApplyRow(int16_t* acc, const int16_t* row, int n) {
#if defined(__AVX2__)
    for (int i = 0; i < n; i += 16) {
        __m256i a = _mm256_load_si256(reinterpret_cast<const __m256i*>(acc + i));
        __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + i));
        a = kAdd ? _mm256_add_epi16(a, w) : _mm256_sub_epi16(a, w);
        _mm256_store_si256(reinterpret_cast<__m256i*>(acc + i), a);
    }
#else
    for (int i = 0; i < n; i++) acc[i] = int16_t(kAdd ? acc[i] + row[i] : acc[i] - row[i]);
#endif
}
inline void AddRow(int16_t* acc, const int16_t* row, int n) {
    ApplyRow<true>(acc, row, n);
}
inline void SubRow(int16_t* acc, const int16_t* row, int n) {
    ApplyRow<false>(acc, row, n);
}

// One half of the output layer: sum over the lanes of the activation times the weights, in
// units of QA * QB (the squared activation already divided by QA).
int64_t HalfOutput(const int16_t* acc, const int16_t* w, int n, bool bSquared) {
#if defined(__AVX2__)
    const __m256i zero = _mm256_setzero_si256(), qa = _mm256_set1_epi16(kNetQA);
    __m256i sum = _mm256_setzero_si256();
    for (int i = 0; i < n; i += 16) {
        __m256i v = _mm256_load_si256(reinterpret_cast<const __m256i*>(acc + i));
        v = _mm256_min_epi16(_mm256_max_epi16(v, zero), qa);
        const __m256i ww = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + i));
        // Squared: (v * w) fits int16 while |w| <= 128, then the pairwise multiply-add by v
        // gives v * v * w in int32 without widening first.
        const __m256i p =
            bSquared ? _mm256_madd_epi16(_mm256_mullo_epi16(v, ww), v) : _mm256_madd_epi16(v, ww);
        sum = _mm256_add_epi32(sum, p);
    }
    __m128i s = _mm_add_epi32(_mm256_castsi256_si128(sum), _mm256_extracti128_si256(sum, 1));
    s = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0x4E));
    s = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0xB1));
    const int64_t t = _mm_cvtsi128_si32(s);
#else
    int64_t t = 0;
    for (int i = 0; i < n; i++) {
        const int v = std::clamp<int>(acc[i], 0, kNetQA);
        t += bSquared ? int64_t(int16_t(v * w[i])) * v : int64_t(v) * w[i];
    }
#endif
    return bSquared ? t / kNetQA : t;
}

// This thread's accumulators by ply index, with the pieces each was computed for.
struct StackEntry {
    Accumulator acc;
    Bitboard abbPieces[2][6];
    uint32_t nGeneration;  // nNetGeneration it was computed under; 0: empty
    const Network* pNet;
};
thread_local std::unique_ptr<StackEntry[]> pStack;

int ChangedSquares(const StackEntry& e, const Position& pos) {
    int n = 0;
    for (int c = 0; c < 2; c++)
        for (int t = 0; t < 6; t++) n += PopCount(e.abbPieces[c][t] ^ pos.bbPieces[c][t]);
    return n;
}

void ApplyChanges(const Network& net, const StackEntry& from, const Position& pos, Accumulator* acc) {
    const int h = net.nHidden;
    const int16_t* w = net.anInputWeights.data();
    for (int c = 0; c < 2; c++)
        for (int t = 0; t < 6; t++) {
            Bitboard gone = from.abbPieces[c][t] & ~pos.bbPieces[c][t];
            Bitboard come = pos.bbPieces[c][t] & ~from.abbPieces[c][t];
            while (gone) {
                const int sq = PopLowest(gone);
                for (int p = 0; p < 2; p++)
                    SubRow(acc->an[p], w + size_t(NetFeatureOfSquare(p, c, t + 1, sq)) * h, h);
            }
            while (come) {
                const int sq = PopLowest(come);
                for (int p = 0; p < 2; p++)
                    AddRow(acc->an[p], w + size_t(NetFeatureOfSquare(p, c, t + 1, sq)) * h, h);
            }
        }
}

}  // namespace

void RefreshAccumulator(const Network& net, const Position& pos, Accumulator* acc) {
    const int h = net.nHidden;
    const int16_t* w = net.anInputWeights.data();
    for (int p = 0; p < 2; p++) {
        std::copy(net.anInputBias.begin(), net.anInputBias.end(), acc->an[p]);
        for (int c = 0; c < 2; c++)
            for (int t = 0; t < 6; t++) {
                Bitboard b = pos.bbPieces[c][t];
                while (b)
                    AddRow(acc->an[p], w + size_t(NetFeatureOfSquare(p, c, t + 1, PopLowest(b))) * h, h);
            }
    }
}

int NetOutput(const Network& net, const Accumulator& acc, int nSideToMove) {
    const int h = net.nHidden;
    const bool bSquared = net.nActivation == NET_SCRELU;
    const int64_t out = HalfOutput(acc.an[nSideToMove], net.anOutputWeights.data(), h, bSquared) +
                        HalfOutput(acc.an[nSideToMove ^ 1], net.anOutputWeights.data() + h, h, bSquared) +
                        net.nOutputBias;
    return int(out * kNetScale / (kNetQA * kNetQB));
}

int EvaluateNetwork(const Network& net, const Position& pos, int nPlyIndex) {
    if (!pStack) {
        pStack = std::make_unique<StackEntry[]>(kNetPlies);
        for (int i = 0; i < kNetPlies; i++) pStack[i].nGeneration = 0;
    }
    const int ply = std::clamp(nPlyIndex, 0, kNetPlies - 1);
    StackEntry& e = pStack[ply];
    // The cheapest start: this ply's last position (a sibling, or the same node again), or the
    // two plies above (the parent, or the grandparent when the parent never evaluated).
    const StackEntry* best = nullptr;
    int nBest = 1 << 30;
    for (int d = 0; d <= 2 && d <= ply; d++) {
        const StackEntry& c = pStack[ply - d];
        if (c.nGeneration != nNetGeneration || c.pNet != &net) continue;
        const int n = ChangedSquares(c, pos);
        if (n < nBest) nBest = n, best = &c;
    }
    // A refresh adds about 30 rows a perspective; a change costs one. Beyond that, start over.
    if (!best || nBest > 24) {
        RefreshAccumulator(net, pos, &e.acc);
    } else if (nBest > 0 || best != &e) {
        if (best != &e)
            for (int p = 0; p < 2; p++)
                std::copy(best->acc.an[p], best->acc.an[p] + net.nHidden, e.acc.an[p]);
        ApplyChanges(net, *best, pos, &e.acc);
    }
    for (int c = 0; c < 2; c++)
        for (int t = 0; t < 6; t++) e.abbPieces[c][t] = pos.bbPieces[c][t];
    e.nGeneration = nNetGeneration;
    e.pNet = &net;
    return NetOutput(net, e.acc, pos.bSideToMove);
}

void ResetNetworkStack() {
    pStack.reset();
}

const char* NetSimdName() {
#if defined(__AVX2__)
    return "AVX2";
#else
    return "portable";
#endif
}
