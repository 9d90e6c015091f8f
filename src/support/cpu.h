#pragma once

#include <cstdint>

namespace kellix {

// Feature bits filled by TestCPU from the processor's identification instruction.
enum : uint32_t {
    CPU_FPU = 0x001,
    CPU_MMX = 0x002,
    CPU_3DNOW = 0x004,
    CPU_FXSR = 0x008,
    CPU_CMOV = 0x010,
    CPU_TSC = 0x020,
    CPU_MSR = 0x040,
    CPU_CX8 = 0x080,
    CPU_SSE = 0x100,
    CPU_SSE2 = 0x200,
};

// 0 before detection.
extern uint32_t ProcessorFeatures;

// The leaf-0 vendor text, "No Processor" before detection.
const char* ProcessorVendor();

// Feature bits from the identification registers (leaf 1 EDX, leaf 0x80000000 EAX, leaf
// 0x80000001 EDX); split out so that the mapping can be checked without the processor.
uint32_t FeaturesFromCpuid(uint32_t leaf1Edx, uint32_t maxExtendedLeaf, uint32_t ext1Edx);

// The start-up checks: the processor must identify itself and have a floating-point unit,
// otherwise the program ends through FatalError.
void TestCPU();

} // namespace kellix
