// Stand-in used until the split-point search exists: a weak definition that a real definition
// elsewhere replaces. This file goes once it is in.
#include "search/search.h"

// No helper joins until the split-point search exists.
__attribute__((weak)) int OfferSplit(const SplitRequest&) {
    return 0;
}
