#include <cstdio>
#include <cstring>

#include "console/console.h"
#include "nnue/nnue.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>

void PrintProcessorInfo() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    unsigned nFeatureEdx = 0, nFeatureEcx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx)) {
        nFeatureEdx = edx;
        nFeatureEcx = ecx;
    }
    const unsigned nMaxExtended = __get_cpuid_max(0x80000000u, nullptr);

    printf("CPU info:\n");
    if (!(nMaxExtended & 0x80000000u)) return;
    if (nMaxExtended >= 0x80000004u) {
        unsigned aBrand[12];
        for (unsigned leaf = 0; leaf < 3; ++leaf)
            __cpuid(0x80000002u + leaf, aBrand[leaf * 4], aBrand[leaf * 4 + 1], aBrand[leaf * 4 + 2],
                    aBrand[leaf * 4 + 3]);
        char szBrand[49];
        memcpy(szBrand, aBrand, 48);
        szBrand[48] = '\0';
        printf("  %s\n", szBrand);
    }
    if (nMaxExtended >= 0x80000006u) {
        __cpuid(0x80000006u, eax, ebx, ecx, edx);
        printf("  L2 Cache Size = %dK\n", int(ecx >> 16));
        printf("  L2 Associativity = %d\n", int((ecx >> 12) & 0xF));
        printf("  Cache Line Size = %d\n", int(ecx & 0xFF));
        printf("  SSE/SSE2/SSE3 = %s/%s/%s\n", (nFeatureEdx >> 25) & 1 ? "Yes" : "No",
               (nFeatureEdx >> 26) & 1 ? "Yes" : "No", nFeatureEcx & 1 ? "Yes" : "No");
    }
    printf("  Net arithmetic = %s\n", NetSimdName());
}

#else

void PrintProcessorInfo() {
    printf("CPU info:\n");
    printf("  Net arithmetic = %s\n", NetSimdName());
}

#endif
