#include "support/cpu.h"

#include "support/fatal.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#define KELLIX_HAVE_CPUID 1
#endif

namespace kellix {

uint32_t ProcessorFeatures = 0;

namespace {
char g_vendor[13] = "No Processor";
}

const char* ProcessorVendor() {
    return g_vendor;
}

uint32_t FeaturesFromCpuid(uint32_t leaf1Edx, uint32_t maxExtendedLeaf, uint32_t ext1Edx) {
    struct Bit {
        uint32_t edxBit;
        uint32_t flag;
    };
    static constexpr Bit kLeaf1[] = {{0, CPU_FPU},   {23, CPU_MMX}, {24, CPU_FXSR},
                                     {15, CPU_CMOV}, {4, CPU_TSC},  {5, CPU_MSR},
                                     {8, CPU_CX8},   {25, CPU_SSE}, {26, CPU_SSE2}};
    uint32_t features = 0;
    for (const Bit& b : kLeaf1) {
        if (leaf1Edx & (1u << b.edxBit)) {
            features |= b.flag;
        }
    }
    if (maxExtendedLeaf > 0x80000000u && (ext1Edx & (1u << 31))) {
        features |= CPU_3DNOW;
    }
    return features;
}

uint32_t WideFeaturesFromCpuid(uint32_t leaf1Ecx, uint32_t leaf7Ebx, uint64_t xcr0) {
    const bool osSaves = leaf1Ecx & (1u << 27); // OSXSAVE: XCR0 can be read
    const bool avx = leaf1Ecx & (1u << 28);
    // XCR0: SSE and AVX state (bits 1, 2); opmask and the upper 512-bit state (bits 5 to 7).
    const bool ymm = osSaves && avx && (xcr0 & 0x6) == 0x6;
    const bool zmm = ymm && (xcr0 & 0xE0) == 0xE0;
    uint32_t features = 0;
    if (ymm && (leaf7Ebx & (1u << 5))) {
        features |= CPU_AVX2;
    }
    if (zmm && (features & CPU_AVX2) && (leaf7Ebx & (1u << 16)) && (leaf7Ebx & (1u << 30))) {
        features |= CPU_AVX512;
    }
    return features;
}

uint32_t DetectProcessorFeatures() {
#ifdef KELLIX_HAVE_CPUID
    unsigned maxLeaf = __get_cpuid_max(0, nullptr);
    if (maxLeaf == 0) {
        return 0;
    }
    unsigned a = 0, b = 0, c = 0, d = 0;
    unsigned ecx1 = 0, edx1 = 0;
    __cpuid(1, a, b, ecx1, edx1);
    unsigned maxExt = 0;
    __cpuid(0x80000000u, maxExt, b, c, d);
    unsigned ext1Edx = 0;
    if (maxExt > 0x80000000u) {
        __cpuid(0x80000001u, a, b, c, ext1Edx);
    }
    unsigned ebx7 = 0;
    if (maxLeaf >= 7) {
        __cpuid_count(7, 0, a, ebx7, c, d);
    }
    uint64_t xcr0 = 0;
    if (ecx1 & (1u << 27)) {
        uint32_t lo = 0, hi = 0;
        __asm__("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
        xcr0 = (uint64_t{hi} << 32) | lo;
    }
    return FeaturesFromCpuid(edx1, maxExt, ext1Edx) | WideFeaturesFromCpuid(ecx1, ebx7, xcr0);
#else
    return 0;
#endif
}

void TestCPU() {
#ifdef KELLIX_HAVE_CPUID
    // __get_cpuid_max performs the flags-register ID test on 32-bit x86.
    if (__get_cpuid_max(0, nullptr) == 0) {
        FatalError("There is no opportunity to define a type of the processor");
    }
    unsigned a = 0, b = 0, c = 0, d = 0;
    __cpuid(0, a, b, c, d);
    std::memcpy(g_vendor, &b, 4);
    std::memcpy(g_vendor + 4, &d, 4);
    std::memcpy(g_vendor + 8, &c, 4);
    g_vendor[12] = 0;
    ProcessorFeatures = DetectProcessorFeatures();
#else
    // Without the identification instruction: every platform we build for has floating point.
    ProcessorFeatures = CPU_FPU;
#endif
    if (!(ProcessorFeatures & CPU_FPU)) {
        FatalError("FPU is not supported!");
    }
}

} // namespace kellix
