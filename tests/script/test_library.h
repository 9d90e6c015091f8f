// The generator library bound as the program binds it, with a few entries of the tests' own
// before its end mark: REC3, FPARAMS(integer, real) and REC16 record their arguments, NOARGS
// returns 7, SAME returns its argument, INERT compiles to a statement that does nothing;
// TOOMANY (17 parameters) and AFTEREND (behind an end mark) cannot be used.
#pragma once

#include "script/exec.h"
#include "song/sample.h"

#include "morvane.h"

#include <vector>

namespace scripttest {

inline std::vector<int32_t> Args; // of the last recording call

inline int32_t Rec3(int32_t a, int32_t b, int32_t c) {
    Args = {a, b, c};
    return 0;
}

inline int32_t Rec2(int32_t a, int32_t b) {
    Args = {a, b};
    return 0;
}

inline int32_t Rec16(int32_t a0, int32_t a1, int32_t a2, int32_t a3, int32_t a4, int32_t a5,
                     int32_t a6, int32_t a7, int32_t a8, int32_t a9, int32_t a10, int32_t a11,
                     int32_t a12, int32_t a13, int32_t a14, int32_t a15) {
    Args = {a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15};
    return 0;
}

inline int32_t NoArgs() {
    return 7;
}

inline int32_t Same(int32_t v) {
    return v;
}

template <class F> intptr_t At(F* f) {
    return reinterpret_cast<intptr_t>(f);
}

inline void Install() {
    using namespace kellix;
    static const uint8_t realLast[2] = {kParamFloat, kParamInt};
    static std::vector<IdentEntry> table;
    table.clear();
    for (const MorvaneIdentEntry* e = GetSampleTableAddres(); e->Address != 0; ++e) {
        table.push_back({e->Kind, e->EntryName, e->Address, e->ParamCount, e->ParamTypes});
    }
    table.insert(table.end(), {
                                  {kIdentProcedure, "REC3", At(&Rec3), 3, nullptr},
                                  {kIdentProcedure, "FPARAMS", At(&Rec2), 2, realLast},
                                  {kIdentProcedure, "REC16", At(&Rec16), 16, nullptr},
                                  {kIdentFunction, "NOARGS", At(&NoArgs), 0, nullptr},
                                  {kIdentFunction, "SAME", At(&Same), 1, nullptr},
                                  {kIdentInert, "INERT", 1, 0, nullptr},
                                  {kIdentProcedure, "TOOMANY", At(&Rec16), 17, nullptr},
                                  {kIdentProcedure, "ENDMARK", 0, 0, nullptr},
                                  {kIdentProcedure, "AFTEREND", At(&NoArgs), 0, nullptr},
                              });
    GeneratorBinding b;
    b.Table = table.data();
    b.FreeSample = &FreeSample;
    b.BlockOf = [](int32_t h) { return static_cast<SampleBlock*>(MorvaneSampleBlock(h)); };
    b.Reset = &MorvaneReset;
    b.Keep = &MorvaneKeepSample;
    b.BeginRun = &MorvaneBeginRun;
    b.EndRun = &MorvaneEndRun;
    InitScripts(b);
    SetSampleRelease([](SampleBlock* s) { FreeSample(MorvaneSampleHandle(s)); });
}

} // namespace scripttest
