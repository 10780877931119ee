// The net in use: the one compiled into the program unless "EvalFile" named another. A net
// that cannot be read never replaces the one in use.
#include "nnue/nnue.h"

#if defined(QM_EMBEDDED_NET)
// The default net is linked in as bytes, so a fresh clone plays with it with no file beside
// the program.
asm(".section .rodata\n"
    ".balign 64\n"
    ".globl qmEmbeddedNet\n"
    "qmEmbeddedNet:\n"
    ".incbin \"" QM_EMBEDDED_NET
    "\"\n"
    ".globl qmEmbeddedNetEnd\n"
    "qmEmbeddedNetEnd:\n"
    ".byte 0\n"
    ".previous\n");
extern "C" const uint8_t qmEmbeddedNet[];
extern "C" const uint8_t qmEmbeddedNetEnd[];
#endif

uint32_t nNetGeneration = 1;

namespace {

Network activeNet;
bool bHaveNet = false;
std::string sSource = "none";

void Install(Network&& net, const std::string& sFrom) {
    activeNet = std::move(net);
    bHaveNet = true;
    sSource = sFrom;
    ++nNetGeneration;
}

// The embedded net is installed before the first evaluation asks for it.
struct EmbeddedLoader {
    EmbeddedLoader() { UseEmbeddedNetwork(nullptr); }
} embeddedLoader;

}  // namespace

const Network* ActiveNetwork() {
    return bHaveNet ? &activeNet : nullptr;
}

bool LoadActiveNetwork(const char* szPath, std::string* pErr) {
    Network net;
    if (!LoadNetworkFile(szPath, &net, pErr)) return false;
    Install(std::move(net), szPath);
    return true;
}

bool UseEmbeddedNetwork(std::string* pErr) {
#if defined(QM_EMBEDDED_NET)
    Network net;
    if (!ParseNetwork(qmEmbeddedNet, size_t(qmEmbeddedNetEnd - qmEmbeddedNet), &net, pErr)) return false;
    Install(std::move(net), "embedded");
    return true;
#else
    if (pErr) *pErr = "this build has no net compiled in";
    return false;
#endif
}

std::string ActiveNetworkSource() {
    return sSource;
}
