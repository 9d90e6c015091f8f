#pragma once

// The x86-64 vector intrinsics and the attributes that compile a function for the 256-bit or
// 512-bit instructions; the routines so compiled run only where the processor checks found
// those instructions.

#if defined(__x86_64__)

// GCC 12's 512-bit intrinsics start some results from a deliberately undefined value, which
// its optimiser reports as uninitialised (fixed in GCC 13).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif
#include <immintrin.h>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#define KELLIX_AVX2 __attribute__((target("avx2")))
#define KELLIX_AVX512 __attribute__((target("avx512f,avx512bw")))

#endif
