// The library's C entry points and the identifier table that binds script names to procedures.
#include "blocks.h"
#include "morvane.h"
#include "procedures.h"
#include "state.h"

#include <array>
#include <cctype>
#include <string>
#include <vector>

namespace morvane {

int32_t CreateSample(int32_t frames, int32_t format) {
    return NewBlock(frames, format);
}

int32_t CloneSample(int32_t sample) {
    return CopyBlock(sample);
}

int32_t FreeSampleProc(int32_t sample) {
    ReleaseBlock(sample, Releaser::Script);
    return 0;
}

namespace {

// One procedure as scripts see it. params lists the parameter types in written order:
// 'i' integer, 'f' real (single-precision bits).
struct Procedure {
    const char* name;
    uint8_t kind; // 0 procedure, 1 function
    intptr_t address;
    const char* params;
};

template <class F> intptr_t Address(F* f) {
    return reinterpret_cast<intptr_t>(f);
}

const std::vector<Procedure>& Procedures() {
    static const std::vector<Procedure> list = {
        {"CreateSample", 1, Address(CreateSample), "ii"},
        {"GeneratorSampleMode", 0, Address(GeneratorSampleMode), "i"},
        {"CloneSample", 1, Address(CloneSample), "i"},
        {"FreeSample", 1, Address(FreeSampleProc), "i"},
        {"GSample", 0, Address(GSample), "iifi"},
        {"Rossler", 0, Address(Rossler), "ifi"},
        {"Lorenz", 0, Address(Lorenz), "ifi"},
        {"NoiseSample", 0, Address(NoiseSample), "iii"},
        {"WavletNoise", 0, Address(WavletNoise), "iifi"},
        {"GConst", 0, Address(GConst), "ii"},
        {"SplCount", 0, Address(SplCount), "i"},
        {"SplSet", 0, Address(SplSet), "iff"},
        {"Fade", 0, Address(Fade), "iii"},
        {"Distortion", 0, Address(Distortion), "if"},
        {"ZandR", 0, Address(ZandR), "iff"},
        {"SPLPFilter", 0, Address(SPLPFilter), "if"},
        {"WavletHQ", 0, Address(WavletHQ), "iifi"},
        {"Quant", 0, Address(Quant), "ii"},
        {"Operator", 0, Address(Operator), "iifiif"},
        {"Reverb", 0, Address(Reverb), "ifff"},
        {"GSweep", 0, Address(GSweep), "iifffi"},
        {"Envelope", 0, Address(Envelope), "i"},
        {"MixSample", 0, Address(MixSample), "iii"},
    };
    return list;
}

std::string Upper(const char* s) {
    std::string u(s);
    for (char& c : u) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return u;
}

struct IdentTable {
    std::vector<std::string> names;
    std::vector<std::array<uint8_t, 16>> types;
    std::vector<MorvaneIdentEntry> entries;

    IdentTable() {
        const auto& procs = Procedures();
        names.reserve(procs.size());
        types.resize(procs.size());
        for (size_t i = 0; i < procs.size(); ++i) {
            const Procedure& p = procs[i];
            names.push_back(Upper(p.name));
            auto count = static_cast<int32_t>(std::char_traits<char>::length(p.params));
            // Type bytes go from the last parameter to the first.
            for (int32_t j = 0; j < count; ++j) {
                types[i][j] = p.params[count - 1 - j] == 'f' ? 1 : 0;
            }
            entries.push_back(
                MorvaneIdentEntry{p.kind, names[i].c_str(), p.address, count, types[i].data()});
        }
        entries.push_back(MorvaneIdentEntry{0, nullptr, 0, 0, nullptr});
    }
};

} // namespace
} // namespace morvane

extern "C" {

const MorvaneIdentEntry* GetSampleTableAddres(void) {
    static const morvane::IdentTable table;
    return table.entries.data();
}

intptr_t GetSampleProcAddres(const char* name) {
    if (name == nullptr) {
        return 0;
    }
    std::string wanted = morvane::Upper(name);
    for (const auto& p : morvane::Procedures()) {
        if (morvane::Upper(p.name) == wanted) {
            return p.address;
        }
    }
    return 0;
}

intptr_t GetRasterProcAddres(const char*) {
    return 0;
}

intptr_t GetModelProcAddres(const char*) {
    return 0;
}

int32_t FreeSample(int32_t handle) {
    morvane::ReleaseBlock(handle, morvane::Releaser::Program);
    return 0;
}

void* MorvaneSampleBlock(int32_t handle) {
    return morvane::BlockPointer(handle);
}

void MorvaneKeepSample(int32_t handle) {
    morvane::KeepBlock(handle);
}

int32_t MorvaneSampleHandle(const void* block) {
    return morvane::HandleOf(block);
}

void MorvaneBeginRun(void) {
    morvane::BeginRun();
}

int32_t MorvaneEndRun(const int32_t* keep, int32_t count) {
    return morvane::EndRun(keep, keep != nullptr && count > 0 ? count : 0) ? 1 : 0;
}

int32_t MorvaneLiveSamples(void) {
    return morvane::LiveBlocks();
}

int64_t MorvaneLiveSampleBytes(void) {
    return static_cast<int64_t>(morvane::LiveBytes());
}

void MorvaneReset(void) {
    morvane::CurrentSettings() = morvane::Settings{};
}
}
