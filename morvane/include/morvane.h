/* libmorvane: the sound generators that instrument scripts call. C ABI. */
#ifndef MORVANE_H
#define MORVANE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(MORVANE_BUILDING)
#define MORVANE_API __attribute__((visibility("default")))
#else
#define MORVANE_API
#endif

/* One name a script can use. Kind: 0 procedure, 1 function, 2 inert name, 3 variable (Address
 * points at its 32-bit cell), 4 constant (Address holds the value). Procedures and functions
 * take ParamCount 32-bit arguments in written order and return one 32-bit value; ParamTypes
 * holds one byte per argument slot from the last parameter to the first (0 integer, 1 float
 * passed as its IEEE-754 single-precision bits), or is null for all-integer. */
#pragma pack(push, 1)
typedef struct MorvaneIdentEntry {
    uint8_t Kind;
    const char* EntryName;
    intptr_t Address;
    int32_t ParamCount;
    const uint8_t* ParamTypes;
} MorvaneIdentEntry;
#pragma pack(pop)

/* The identifier table, ended by the first entry whose Address is 0. */
MORVANE_API const MorvaneIdentEntry* GetSampleTableAddres(void);
/* Address of a sample procedure by its name (as written, e.g. "CreateSample"), or 0. */
MORVANE_API intptr_t GetSampleProcAddres(const char* name);
/* Kellix has no raster or model generators: both always return 0. */
MORVANE_API intptr_t GetRasterProcAddres(const char* name);
MORVANE_API intptr_t GetModelProcAddres(const char* name);

/* Releases the block behind a handle and returns 0; 0 or a stale handle does nothing. */
MORVANE_API int32_t FreeSample(int32_t handle);
/* The packed block behind a handle (4-byte header, Format, DataSize, Data), or null for 0, stale
 * handles and kept blocks. A freed handle never resolves to another block later. */
MORVANE_API void* MorvaneSampleBlock(int32_t handle);
/* Hands a block over to the program (it becomes an instrument's sample, which voices may play):
 * from then on scripts can only read it (CloneSample copies it; MixSample's source and
 * Operator's modulator may be it), so no script can rewrite or release a block in use by handle
 * number. Only FreeSample releases it. */
MORVANE_API void MorvaneKeepSample(int32_t handle);
/* The handle stored in a block's header (0 for null). */
MORVANE_API int32_t MorvaneSampleHandle(const void* block);
/* The sample memory (headers and data) that the blocks created during one script run may hold
 * at once: 1 GiB. */
#define MORVANE_RUN_SAMPLE_BYTES 1073741824u
/* Starts a script run: from now on CreateSample and CloneSample belong to it and give 0 once
 * the run's live blocks would exceed MORVANE_RUN_SAMPLE_BYTES. */
MORVANE_API void MorvaneBeginRun(void);
/* Ends the run: releases every block created since MorvaneBeginRun that is still alive, except
 * the count handles in keep (what the program holds on to), so that no block a script lost
 * track of outlives its run. Returns 1 when a creation was refused for the limit, else 0. */
MORVANE_API int32_t MorvaneEndRun(const int32_t* keep, int32_t count);
/* The number of blocks alive, kept ones included, and the bytes they hold (headers and data). */
MORVANE_API int32_t MorvaneLiveSamples(void);
MORVANE_API int64_t MorvaneLiveSampleBytes(void);
/* Returns every setting that affects generation (sample mode, curve points, ...) to its start
 * value, so that a script's result depends on its own code only. */
MORVANE_API void MorvaneReset(void);

#ifdef __cplusplus
}
#endif

#endif
