// Placeholder exports until the generators land.
#include "morvane.h"

extern "C" {

static const MorvaneIdentEntry kEmptyTable[1] = {{0, nullptr, 0, 0, nullptr}};

const MorvaneIdentEntry* GetSampleTableAddres(void) { return kEmptyTable; }
intptr_t GetSampleProcAddres(const char*) { return 0; }
intptr_t GetRasterProcAddres(const char*) { return 0; }
intptr_t GetModelProcAddres(const char*) { return 0; }
int32_t FreeSample(int32_t) { return 0; }
void* MorvaneSampleBlock(int32_t) { return nullptr; }
int32_t MorvaneSampleHandle(const void*) { return 0; }
void MorvaneReset(void) {}
}
