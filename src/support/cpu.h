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
    // The wider vector instructions the mixer's routines use, each only where the operating
    // system also keeps the registers they need across task switches.
    CPU_AVX2 = 0x400,   // leaf 7 EBX bit 5, with the 256-bit registers saved
    CPU_AVX512 = 0x800, // leaf 7 EBX bits 16 (F) and 30 (BW), with the 512-bit registers saved
};

// 0 before detection.
extern uint32_t ProcessorFeatures;

// The leaf-0 vendor text, "No Processor" before detection.
const char* ProcessorVendor();

// Feature bits from the identification registers (leaf 1 EDX, leaf 0x80000000 EAX, leaf
// 0x80000001 EDX); split out so that the mapping can be checked without the processor.
uint32_t FeaturesFromCpuid(uint32_t leaf1Edx, uint32_t maxExtendedLeaf, uint32_t ext1Edx);

// The wide-vector bits from leaf 1 ECX, leaf 7 EBX (0 when there is no leaf 7) and the
// register-state mask XCR0 (0 when the operating system does not report it).
uint32_t WideFeaturesFromCpuid(uint32_t leaf1Ecx, uint32_t leaf7Ebx, uint64_t xcr0);

// Reads the identification instruction: every bit above, 0 without the instruction. TestCPU
// stores its result in ProcessorFeatures; routines chosen before main use it directly.
uint32_t DetectProcessorFeatures();

// The start-up checks: the processor must identify itself and have a floating-point unit,
// otherwise the program ends through FatalError.
void TestCPU();

} // namespace kellix
