// Stand-ins used until the time control, the search output and the split-point search exist:
// weak definitions that a real definition elsewhere replaces. This file goes once all are in.
#include "console/options.h"
#include "search/search.h"

__attribute__((weak)) bool NeedToAbortMove(SearchStack*) {
    return bStopSearch.load(std::memory_order_relaxed);
}

__attribute__((weak)) void PrintCurrMove(int, const char*, uint64_t, double) {}

// No helper joins until the split-point search exists.
__attribute__((weak)) int OfferSplit(const SplitRequest&) {
    return 0;
}
