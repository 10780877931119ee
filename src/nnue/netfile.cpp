// The net's file image: a 48-byte header the engine checks before it trusts a byte of the
// payload, then the weights (docs/nnue-format.md).
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "nnue/nnue.h"

namespace {

constexpr char kMagic[8] = {'Q', 'M', 'N', 'N', 'U', 'E', '\x1a', '\n'};
constexpr size_t kHeaderBytes = 48;

// FNV-1a over the payload: enough to tell a damaged or truncated download from a good one.
uint32_t Checksum(const uint8_t* p, size_t n) {
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < n; i++) {
        h ^= p[i];
        h *= 16777619u;
    }
    return h;
}

void Put32(std::vector<uint8_t>* out, uint32_t v) {
    for (int i = 0; i < 4; i++) out->push_back(uint8_t(v >> (8 * i)));
}
void Put16(std::vector<uint8_t>* out, int16_t v) {
    const uint16_t u = uint16_t(v);
    out->push_back(uint8_t(u));
    out->push_back(uint8_t(u >> 8));
}
uint32_t Get32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
int16_t Get16(const uint8_t* p) {
    return int16_t(uint16_t(p[0] | p[1] << 8));
}

size_t PayloadBytes(int nHidden) {
    return 2 * (size_t(kNetInputs) * nHidden + nHidden + 2 * size_t(nHidden)) + 4;
}

bool Fail(std::string* pErr, const std::string& s) {
    if (pErr) *pErr = s;
    return false;
}

}  // namespace

bool ValidNetShape(const Network& net) {
    const int h = net.nHidden;
    return h >= 16 && h <= kNetMaxHidden && h % 16 == 0 &&
           (net.nActivation == NET_CRELU || net.nActivation == NET_SCRELU) &&
           net.anInputWeights.size() == size_t(kNetInputs) * h && net.anInputBias.size() == size_t(h) &&
           net.anOutputWeights.size() == size_t(2 * h);
}

std::vector<uint8_t> SerializeNetwork(const Network& net) {
    std::vector<uint8_t> out;
    if (!ValidNetShape(net)) return out;
    std::vector<uint8_t> payload;
    payload.reserve(PayloadBytes(net.nHidden));
    for (int16_t w : net.anInputWeights) Put16(&payload, w);
    for (int16_t w : net.anInputBias) Put16(&payload, w);
    for (int16_t w : net.anOutputWeights) Put16(&payload, w);
    Put32(&payload, uint32_t(net.nOutputBias));
    out.insert(out.end(), kMagic, kMagic + 8);
    Put32(&out, kNetFormatVersion);
    Put32(&out, kNetInputs);
    Put32(&out, uint32_t(net.nHidden));
    Put32(&out, uint32_t(net.nActivation));
    Put32(&out, kNetQA);
    Put32(&out, kNetQB);
    Put32(&out, kNetScale);
    Put32(&out, uint32_t(payload.size()));
    Put32(&out, Checksum(payload.data(), payload.size()));
    Put32(&out, 0);
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

bool ParseNetwork(const uint8_t* p, size_t n, Network* pNet, std::string* pErr) {
    if (n < kHeaderBytes) return Fail(pErr, "too short for a net (" + std::to_string(n) + " bytes)");
    if (memcmp(p, kMagic, 8) != 0) return Fail(pErr, "not a QuietMarmoset net (bad magic)");
    const uint32_t nVersion = Get32(p + 8);
    if (nVersion != kNetFormatVersion)
        return Fail(pErr, "format version " + std::to_string(nVersion) + ", this engine reads " +
                              std::to_string(kNetFormatVersion));
    const uint32_t nInputs = Get32(p + 12), nHidden = Get32(p + 16), nAct = Get32(p + 20);
    if (nInputs != uint32_t(kNetInputs) || nHidden < 16 || nHidden > uint32_t(kNetMaxHidden) ||
        nHidden % 16 || (nAct != NET_CRELU && nAct != NET_SCRELU))
        return Fail(pErr, "unsupported architecture " + std::to_string(nInputs) + "->" +
                              std::to_string(nHidden) + " activation " + std::to_string(nAct));
    if (Get32(p + 24) != uint32_t(kNetQA) || Get32(p + 28) != uint32_t(kNetQB) ||
        Get32(p + 32) != uint32_t(kNetScale))
        return Fail(pErr, "unsupported quantisation scales");
    const size_t nPayload = Get32(p + 36);
    if (nPayload != PayloadBytes(int(nHidden)))
        return Fail(pErr, "payload size does not match the architecture");
    if (n != kHeaderBytes + nPayload)
        return Fail(pErr, n < kHeaderBytes + nPayload ? "truncated file" : "trailing bytes after the net");
    const uint8_t* q = p + kHeaderBytes;
    if (Checksum(q, nPayload) != Get32(p + 40)) return Fail(pErr, "checksum mismatch (damaged file)");

    Network net;
    net.nHidden = int(nHidden);
    net.nActivation = int(nAct);
    net.anInputWeights.resize(size_t(kNetInputs) * nHidden);
    net.anInputBias.resize(nHidden);
    net.anOutputWeights.resize(2 * size_t(nHidden));
    for (int16_t& w : net.anInputWeights) w = Get16(q), q += 2;
    for (int16_t& w : net.anInputBias) w = Get16(q), q += 2;
    for (int16_t& w : net.anOutputWeights) w = Get16(q), q += 2;
    net.nOutputBias = int32_t(Get32(q));
    *pNet = std::move(net);
    return true;
}

bool LoadNetworkFile(const char* szPath, Network* pNet, std::string* pErr) {
    FILE* f = fopen(szPath, "rb");
    if (!f) return Fail(pErr, std::string("cannot open ") + szPath);
    std::vector<uint8_t> data;
    uint8_t buf[1 << 16];
    size_t n;
    // A net is a few MB at most; anything far larger is not one and is not read into memory.
    constexpr size_t kMaxBytes = kHeaderBytes + 2 * (size_t(kNetInputs) + 3) * kNetMaxHidden + 4;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) {
        data.insert(data.end(), buf, buf + n);
        if (data.size() > kMaxBytes) break;
    }
    const bool bErr = ferror(f);
    fclose(f);
    if (bErr) return Fail(pErr, std::string("read error on ") + szPath);
    if (data.size() > kMaxBytes) return Fail(pErr, "file too large for a net");
    return ParseNetwork(data.data(), data.size(), pNet, pErr);
}

bool WriteNetworkFile(const char* szPath, const Network& net, std::string* pErr) {
    const std::vector<uint8_t> img = SerializeNetwork(net);
    if (img.empty()) return Fail(pErr, "the net's shape is invalid");
    const std::string sTmp = std::string(szPath) + ".tmp";
    FILE* f = fopen(sTmp.c_str(), "wb");
    if (!f) return Fail(pErr, "cannot write " + sTmp + ": " + strerror(errno));
    const bool bOk = fwrite(img.data(), 1, img.size(), f) == img.size();
    const bool bClosed = fclose(f) == 0;
    if (!bOk || !bClosed) {
        std::remove(sTmp.c_str());
        return Fail(pErr, "cannot write " + sTmp + " (disk full?)");
    }
    std::error_code ec;
    std::filesystem::rename(sTmp, szPath, ec);
    if (ec) {
        std::remove(sTmp.c_str());
        return Fail(pErr, std::string("cannot rename into ") + szPath + ": " + ec.message());
    }
    return true;
}

std::string NetDescription(const Network& net) {
    return std::to_string(kNetInputs) + "x2->" + std::to_string(net.nHidden) + "->1 " +
           (net.nActivation == NET_SCRELU ? "SCReLU" : "CReLU");
}
