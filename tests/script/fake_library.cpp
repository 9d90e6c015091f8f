#include "fake_library.h"

#include "song/sample.h"

#include <cstdlib>
#include <cstring>
#include <map>

namespace fake {

std::vector<Call> Calls;
std::vector<int32_t> Freed;
int ResetCount = 0;
int32_t Mode = 0;
int32_t LibVar = 0;

namespace {

std::map<int32_t, kellix::SampleBlock*> g_blocks;
int32_t g_nextHandle = 100;

void Record(const char* name, std::vector<int32_t> args) {
    Calls.push_back(Call{name, std::move(args)});
}

int32_t GeneratorSampleMode(int32_t mode) {
    Record("GENERATORSAMPLEMODE", {mode});
    Mode = mode;
    return 0;
}

int32_t CreateSample(int32_t frames, int32_t format) {
    Record("CREATESAMPLE", {frames, format});
    return NewBlock(frames, format);
}

int32_t FreeSample(int32_t handle) {
    Freed.push_back(handle);
    auto it = g_blocks.find(handle);
    if (it != g_blocks.end()) {
        std::free(it->second);
        g_blocks.erase(it);
    }
    return 0;
}

int32_t Rec3(int32_t a, int32_t b, int32_t c) {
    Record("REC3", {a, b, c});
    return 0;
}

int32_t FParams(int32_t a, int32_t b) {
    Record("FPARAMS", {a, b});
    return 0;
}

int32_t Rec16(int32_t a0, int32_t a1, int32_t a2, int32_t a3, int32_t a4, int32_t a5, int32_t a6,
              int32_t a7, int32_t a8, int32_t a9, int32_t a10, int32_t a11, int32_t a12,
              int32_t a13, int32_t a14, int32_t a15) {
    Record("REC16", {a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15});
    return 0;
}

int32_t NoArgs() {
    Record("NOARGS", {});
    return 7;
}

int32_t TooMany(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) {
    return 0;
}

int32_t FillSample(int32_t handle, int32_t value) {
    Record("FILLSAMPLE", {handle, value});
    if (kellix::SampleBlock* b = Block(handle)) {
        int32_t stride = b->Format == 2 ? 4 : 2;
        for (int32_t i = 0; i + 2 <= b->DataSize; i += stride) {
            kellix::StoreS16(kellix::SampleData(b) + i, static_cast<int16_t>(value));
        }
    }
    return 0;
}

int32_t SetResultTo(int32_t value) {
    return value;
}

void ResetLibrary() {
    ++ResetCount;
    Mode = 0;
}

void Release(kellix::SampleBlock* block) {
    int32_t handle;
    std::memcpy(&handle, block->Header, 4);
    FreeSample(handle);
}

const uint8_t kFParamsTypes[2] = {kellix::kParamFloat, kellix::kParamInt};

template <class F> intptr_t Addr(F* f) {
    return reinterpret_cast<intptr_t>(f);
}

} // namespace

void Clear() {
    for (auto& [handle, block] : g_blocks) {
        std::free(block);
    }
    g_blocks.clear();
    Calls.clear();
    Freed.clear();
    ResetCount = 0;
    Mode = 0;
    LibVar = 0;
}

int32_t NewBlock(int32_t frames, int32_t format) {
    if (frames < 1 || frames > 1000000 || (format != 1 && format != 2)) {
        return 0;
    }
    int32_t size = frames * 2 * format;
    auto* block = static_cast<kellix::SampleBlock*>(std::calloc(1, 9 + size));
    int32_t handle = g_nextHandle++;
    std::memcpy(block->Header, &handle, 4);
    block->Format = static_cast<uint8_t>(format);
    block->DataSize = size;
    g_blocks[handle] = block;
    return handle;
}

kellix::SampleBlock* Block(int32_t handle) {
    auto it = g_blocks.find(handle);
    return it == g_blocks.end() ? nullptr : it->second;
}

int LiveBlocks() {
    return static_cast<int>(g_blocks.size());
}

const kellix::IdentEntry* Table() {
    using namespace kellix;
    static const IdentEntry table[] = {
        {kIdentProcedure, "GENERATORSAMPLEMODE", Addr(&GeneratorSampleMode), 1, nullptr},
        {kIdentFunction, "CREATESAMPLE", Addr(&CreateSample), 2, nullptr},
        {kIdentFunction, "FREESAMPLE", Addr(&FreeSample), 1, nullptr},
        {kIdentProcedure, "REC3", Addr(&Rec3), 3, nullptr},
        {kIdentProcedure, "FPARAMS", Addr(&FParams), 2, kFParamsTypes},
        {kIdentProcedure, "REC16", Addr(&Rec16), 16, nullptr},
        {kIdentFunction, "NOARGS", Addr(&NoArgs), 0, nullptr},
        {kIdentInert, "INERT", 1, 0, nullptr},
        {kIdentVariable, "LIBVAR", reinterpret_cast<intptr_t>(&LibVar), 0, nullptr},
        {kIdentConstant, "LIBCONST", 42, 0, nullptr},
        {kIdentConstant, "SM_MUL", 99, 0, nullptr},
        {kIdentProcedure, "TOOMANY", Addr(&TooMany), 17, nullptr},
        {kIdentProcedure, "FILLSAMPLE", Addr(&FillSample), 2, nullptr},
        {kIdentFunction, "SETRESULTTO", Addr(&SetResultTo), 1, nullptr},
        // The table ends at the first entry whose Address is 0: AFTEREND is not part of it.
        {kIdentProcedure, "ENDMARK", 0, 0, nullptr},
        {kIdentProcedure, "AFTEREND", Addr(&NoArgs), 0, nullptr},
    };
    return table;
}

kellix::GeneratorBinding Binding() {
    kellix::GeneratorBinding b;
    b.Table = Table();
    b.FreeSample = &FreeSample;
    b.BlockOf = &Block;
    b.Reset = &ResetLibrary;
    return b;
}

void Install() {
    Clear();
    kellix::InitScripts(Binding());
    kellix::SetSampleRelease(&Release);
}

int32_t EntryIndex(const char* name) {
    for (int32_t i = 0; i < kellix::IdentCount; ++i) {
        if (std::strcmp(kellix::IdentTable[i].EntryName, name) == 0) {
            return i;
        }
    }
    return -1;
}

} // namespace fake
