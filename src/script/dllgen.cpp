#include "script/dllgen.h"

#include "morvane.h"

#include <cstddef>
#include <vector>

namespace kellix {

namespace {

SampleBlock* LibraryBlock(int32_t handle) {
    return static_cast<SampleBlock*>(MorvaneSampleBlock(handle));
}

int32_t LibraryHandle(const SampleBlock* block) {
    return MorvaneSampleHandle(block);
}

void LibraryRelease(SampleBlock* block) {
    FreeSample(MorvaneSampleHandle(block));
}

} // namespace

std::unique_ptr<Scripting> StartScripting() {
    // Copied field by field, so that the two declarations of the layout need not be one type.
    std::vector<IdentEntry> table;
    const MorvaneIdentEntry* entry = GetSampleTableAddres();
    for (; entry && entry->Address != 0; ++entry) {
        table.push_back(IdentEntry{entry->Kind, entry->EntryName, entry->Address, entry->ParamCount,
                                   entry->ParamTypes});
    }
    table.push_back(IdentEntry{});
    GeneratorBinding binding;
    binding.Table = table.data();
    binding.FreeSample = &FreeSample;
    binding.BlockOf = &LibraryBlock;
    binding.HandleOf = &LibraryHandle;
    binding.Reset = &MorvaneReset;
    binding.Keep = &MorvaneKeepSample;
    binding.BeginRun = &MorvaneBeginRun;
    binding.EndRun = &MorvaneEndRun;
    SetSampleRelease(&LibraryRelease);
    return std::make_unique<Scripting>(binding);
}

} // namespace kellix
