// Feeds arbitrary text to the script compiler and runs what compiles, first against a table of
// harmless procedures directly, then through ExeScript with the built-in names and a small
// stand-in sample library. Any crash, sanitizer report or leak is a failure.
#include "script/exec.h"
#include "script/scripting.h"
#include "script/smplescript.h"

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace kellix;

std::map<int32_t, SampleBlock*> g_blocks;
int32_t g_nextHandle = 1;
int32_t g_libVar = 0;
volatile int32_t g_sink = 0;

SampleBlock* BlockOf(int32_t handle) {
    auto it = g_blocks.find(handle);
    return it == g_blocks.end() ? nullptr : it->second;
}

int32_t FreeHandle(int32_t handle) {
    auto it = g_blocks.find(handle);
    if (it != g_blocks.end()) {
        std::free(it->second);
        g_blocks.erase(it);
    }
    return 0;
}

void FreeAll() {
    for (auto& [handle, block] : g_blocks) {
        std::free(block);
    }
    g_blocks.clear();
}

int32_t CreateSample(int32_t frames, int32_t format) {
    if (frames < 1 || frames > 4096 || (format != 1 && format != 2)) {
        return 0;
    }
    int32_t size = frames * 2 * format;
    auto* block = static_cast<SampleBlock*>(std::calloc(1, 9 + static_cast<std::size_t>(size)));
    int32_t handle = g_nextHandle++;
    std::memcpy(block->Header, &handle, 4);
    block->Format = static_cast<uint8_t>(format);
    block->DataSize = size;
    for (int32_t i = 0; i + 2 <= size; i += 2) {
        StoreS16(SampleData(block) + i, static_cast<int16_t>(i * 977));
    }
    g_blocks[handle] = block;
    return handle;
}

// Reads every argument as a handle and as a float, touching the block a handle names.
template <std::size_t> using Int32Param = int32_t;
template <std::size_t... I> int32_t Check(Int32Param<I>... args) {
    int32_t acc = 0;
    for (int32_t a : {args..., 0}) {
        if (SampleBlock* b = BlockOf(a)) {
            acc ^= b->DataSize > 1 ? LoadS16(SampleData(b)) : 0;
        }
        acc ^= std::isfinite(std::bit_cast<float>(a)) ? 1 : 0;
    }
    g_sink = acc;
    return acc;
}

template <std::size_t... I> intptr_t CheckAddress(std::index_sequence<I...>) {
    return reinterpret_cast<intptr_t>(&Check<I...>);
}

const uint8_t kMixedTypes[16] = {1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0};

std::vector<IdentEntry> BuildLibrary() {
    static const char* const procNames[17] = {"P0",  "P1",  "P2",  "P3",  "P4",  "P5",
                                              "P6",  "P7",  "P8",  "P9",  "P10", "P11",
                                              "P12", "P13", "P14", "P15", "P16"};
    static const char* const funcNames[17] = {"F0",  "F1",  "F2",  "F3",  "F4",  "F5",
                                              "F6",  "F7",  "F8",  "F9",  "F10", "F11",
                                              "F12", "F13", "F14", "F15", "F16"};
    const intptr_t checks[17] = {
        CheckAddress(std::make_index_sequence<0>{}),  CheckAddress(std::make_index_sequence<1>{}),
        CheckAddress(std::make_index_sequence<2>{}),  CheckAddress(std::make_index_sequence<3>{}),
        CheckAddress(std::make_index_sequence<4>{}),  CheckAddress(std::make_index_sequence<5>{}),
        CheckAddress(std::make_index_sequence<6>{}),  CheckAddress(std::make_index_sequence<7>{}),
        CheckAddress(std::make_index_sequence<8>{}),  CheckAddress(std::make_index_sequence<9>{}),
        CheckAddress(std::make_index_sequence<10>{}), CheckAddress(std::make_index_sequence<11>{}),
        CheckAddress(std::make_index_sequence<12>{}), CheckAddress(std::make_index_sequence<13>{}),
        CheckAddress(std::make_index_sequence<14>{}), CheckAddress(std::make_index_sequence<15>{}),
        CheckAddress(std::make_index_sequence<16>{})};
    std::vector<IdentEntry> table;
    for (int32_t n = 0; n <= 16; ++n) {
        table.push_back(IdentEntry{kIdentProcedure, procNames[n], checks[n], n, nullptr});
        table.push_back(IdentEntry{kIdentFunction, funcNames[n], checks[n], n, kMixedTypes});
    }
    table.push_back(IdentEntry{kIdentFunction, "CREATESAMPLE",
                               reinterpret_cast<intptr_t>(&CreateSample), 2, nullptr});
    table.push_back(IdentEntry{kIdentFunction, "FREESAMPLE",
                               reinterpret_cast<intptr_t>(&FreeHandle), 1, nullptr});
    table.push_back(IdentEntry{kIdentInert, "INERT", 1, 0, nullptr});
    table.push_back(
        IdentEntry{kIdentVariable, "LIBVAR", reinterpret_cast<intptr_t>(&g_libVar), 0, nullptr});
    table.push_back(IdentEntry{kIdentVariable, "NOCELL", 0, 0, nullptr});
    table.push_back(IdentEntry{kIdentConstant, "LIBCONST", 42, 0, nullptr});
    // Refused when the table is built: too many parameters, no name.
    table.push_back(IdentEntry{kIdentProcedure, "P17", checks[16], 17, nullptr});
    table.push_back(IdentEntry{kIdentProcedure, nullptr, checks[0], 0, nullptr});
    table.push_back(IdentEntry{});
    return table;
}

void Release(SampleBlock* block) {
    int32_t handle;
    std::memcpy(&handle, block->Header, 4);
    FreeHandle(handle);
}

struct Setup {
    std::vector<IdentEntry> library = BuildLibrary();
    std::unique_ptr<Scripting> scripts;
    Setup() {
        GeneratorBinding binding;
        binding.Table = library.data();
        binding.FreeSample = &FreeHandle;
        binding.BlockOf = &BlockOf;
        scripts = std::make_unique<Scripting>(binding);
        SetSampleRelease(&Release);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static Setup setup;
    std::string text(reinterpret_cast<const char*>(data), size);

    CompiledScript program;
    const CompileResult result = program.Compile(
        text.c_str(), setup.library.data(), static_cast<int32_t>(setup.library.size()));
    if (result.ErrorCode == kErrSuccess) {
        program.Run();
    } else if (result.ErrorCode < 0 || result.ErrorCode >= kErrorMessageCount ||
               result.ErrorPos < 0 ||
               static_cast<std::size_t>(result.ErrorPos) > std::strlen(text.c_str())) {
        std::abort();
    }

    const ScriptRun run = setup.scripts->Run(text);
    if (run.Status != "Ok" && run.Status.rfind("Error: ", 0) != 0) {
        std::abort();
    }
    ReleaseSample(run.Sample);
    setup.scripts->RunAlone(text);
    setup.scripts->Variables() = {};
    FreeAll();
    return 0;
}
