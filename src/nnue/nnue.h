// The learned evaluation: a "perspective" network of 768 piece-square inputs per side, one
// hidden layer per perspective (side to move first, then the other side) and one output.
//
// Inputs: feature = relation * 384 + (type - 1) * 64 + square, where relation is 0 for the
// perspective's own pieces and 1 for the other side's, and square counts a1 = 0 .. h8 = 63
// (file + 8 * rank), flipped vertically (square ^ 56) for black's perspective. The engine's own
// square numbering (h1 = 0) is square ^ 7 of it.
//
// Arithmetic (the quantised file, docs/nnue-format.md): hidden weights and biases are int16 at
// scale QA, output weights int16 at scale QB, the output bias int32 at QA * QB. With clipped
// ReLU the output is sum(clamp(a, 0, QA) * w) + bias; with squared clipped ReLU the sum of
// clamp(a, 0, QA)^2 * w is first divided by QA. Centipawns = output * kNetScale / (QA * QB).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "board/board.h"

inline constexpr int kNetInputs = 768;
inline constexpr int kNetMaxHidden = 1024;
inline constexpr int kNetQA = 255;
inline constexpr int kNetQB = 64;
inline constexpr int kNetScale = 400;
inline constexpr uint32_t kNetFormatVersion = 1;
enum : int { NET_CRELU = 0, NET_SCRELU = 1 };

// Feature of a piece (colour, type 1..6, square a1 = 0) seen from perspective persp.
inline constexpr int NetFeature(int persp, int colour, int type, int sqA1) {
    return (colour == persp ? 0 : 384) + (type - 1) * 64 + (persp == WHITE ? sqA1 : sqA1 ^ 56);
}
// The same for a square in the engine's numbering (h1 = 0).
inline constexpr int NetFeatureOfSquare(int persp, int colour, int type, int sq) {
    return NetFeature(persp, colour, type, sq ^ 7);
}

// A quantised network as the file holds it.
struct Network {
    int nHidden = 0;
    int nActivation = NET_SCRELU;
    std::vector<int16_t> anInputWeights;   // [kNetInputs][nHidden], one row per feature
    std::vector<int16_t> anInputBias;      // [nHidden]
    std::vector<int16_t> anOutputWeights;  // [2 * nHidden]: side to move's half, then the other's
    int32_t nOutputBias = 0;
};

// The file image of a net (header and payload, little-endian); a net that fails ValidNetShape
// gives an empty image.
std::vector<uint8_t> SerializeNetwork(const Network& net);
bool ValidNetShape(const Network& net);
// Reads a file image; false with the reason in *pErr for a bad magic, another format version,
// another architecture (inputs, hidden size out of range, activation, scales), a size that does
// not match, or a wrong checksum. *pNet is changed only on success.
bool ParseNetwork(const uint8_t* pData, size_t nBytes, Network* pNet, std::string* pErr);
bool LoadNetworkFile(const char* szPath, Network* pNet, std::string* pErr);
// Writes through a temporary file renamed into place, so that a failed write leaves no
// half-written net under the name.
bool WriteNetworkFile(const char* szPath, const Network& net, std::string* pErr);

// One-line description: "768x2->256->1 SCReLU".
std::string NetDescription(const Network& net);

// ---------------------------------------------------------------------------------------
// The net the engine evaluates with. The default is compiled into the program; "EvalFile"
// replaces it. Both return false (with the reason) and keep the net in use when the new one
// cannot be had.
const Network* ActiveNetwork();  // null only when no net was compiled in and none loaded
bool LoadActiveNetwork(const char* szPath, std::string* pErr);
bool UseEmbeddedNetwork(std::string* pErr);
// Where the active net came from: "embedded" or the file's path; "none".
std::string ActiveNetworkSource();
// Incremented whenever the active net changes (the evaluation caches compare it).
extern uint32_t nNetGeneration;

// ---------------------------------------------------------------------------------------
// Accumulators: the hidden layer's pre-activations for both perspectives, by colour.
struct alignas(64) Accumulator {
    int16_t an[2][kNetMaxHidden];
};
void RefreshAccumulator(const Network& net, const Position& pos, Accumulator* acc);
// Output in centipawns from the side to move's view.
int NetOutput(const Network& net, const Accumulator& acc, int nSideToMove);

// The engine's evaluation through this thread's accumulator stack: by ply index it keeps the
// accumulator and the pieces it was computed for, and brings the nearest one up to pos by the
// pieces that changed (a refresh only when that would cost more). nPlyIndex 0..kNetPlies-1.
inline constexpr int kNetPlies = 136;
int EvaluateNetwork(const Network& net, const Position& pos, int nPlyIndex);
// Forgets this thread's stack (a new net, tests).
void ResetNetworkStack();
// Which arithmetic the build uses: "AVX2" or "portable".
const char* NetSimdName();
