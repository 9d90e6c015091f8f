// The generator library bound as the program binds it, with a few entries of the tests' own
// before its end mark: REC3, FPARAMS(integer, real) and REC16 record their arguments, NOARGS
// returns 7, SAME returns its argument, INERT compiles to a statement that does nothing;
// TOOMANY (17 parameters) and AFTEREND (behind an end mark) cannot be used.
#pragma once

#include "script/scripting.h"
#include "song/sample.h"

#include "morvane.h"

#include <memory>
#include <vector>

namespace scripttest {

inline std::vector<int32_t> Args; // of the last recording call

template <class... A> int32_t Record(A... a) {
    Args = {a...};
    return 0;
}

template <class F> intptr_t At(F* f) {
    return reinterpret_cast<intptr_t>(f);
}

// A scripting on the library and the tests' entries.
inline std::unique_ptr<kellix::Scripting> Install() {
    using namespace kellix;
    static const uint8_t realLast[2] = {kParamFloat, kParamInt};
    static std::vector<IdentEntry> table;
    table.clear();
    for (const MorvaneIdentEntry* e = GetSampleTableAddres(); e->Address != 0; ++e) {
        table.push_back({e->Kind, e->EntryName, e->Address, e->ParamCount, e->ParamTypes});
    }
    using I = int32_t;
    const intptr_t noArgs = At(+[] { return 7; });
    table.insert(table.end(),
                 {
                     {kIdentProcedure, "REC3", At(&Record<I, I, I>), 3, nullptr},
                     {kIdentProcedure, "FPARAMS", At(&Record<I, I>), 2, realLast},
                     {kIdentProcedure, "REC16",
                      At(&Record<I, I, I, I, I, I, I, I, I, I, I, I, I, I, I, I>), 16, nullptr},
                     {kIdentFunction, "NOARGS", noArgs, 0, nullptr},
                     {kIdentFunction, "SAME", At(+[](I v) { return v; }), 1, nullptr},
                     {kIdentInert, "INERT", 1, 0, nullptr},
                     {kIdentProcedure, "TOOMANY", noArgs, 17, nullptr},
                     {kIdentProcedure, "ENDMARK", 0, 0, nullptr},
                     {kIdentProcedure, "AFTEREND", noArgs, 0, nullptr},
                 });
    GeneratorBinding b;
    b.Table = table.data();
    b.FreeSample = &FreeSample;
    b.BlockOf = [](int32_t h) { return static_cast<SampleBlock*>(MorvaneSampleBlock(h)); };
    b.HandleOf = [](const SampleBlock* block) { return MorvaneSampleHandle(block); };
    b.Reset = &MorvaneReset;
    b.Keep = &MorvaneKeepSample;
    b.BeginRun = &MorvaneBeginRun;
    b.EndRun = &MorvaneEndRun;
    SetSampleRelease([](SampleBlock* s) { FreeSample(MorvaneSampleHandle(s)); });
    return std::make_unique<Scripting>(b);
}

} // namespace scripttest
