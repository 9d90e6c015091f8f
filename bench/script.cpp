// Compiling and running instrument code, and RESAMPLE on a long block.
#include "script/exec.h"
#include "script/scripting.h"
#include "script/resample.h"
#include "script/smplescript.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace kellix;

int32_t Procedure1(int32_t a) {
    return a;
}
int32_t Function2(int32_t a, int32_t b) {
    return a ^ b;
}
int32_t Procedure4(int32_t a, int32_t b, int32_t c, int32_t d) {
    return a + b + c + d;
}

const uint8_t kTypes4[4] = {0, 1, 1, 0};

// Procedures that do no work, so that the figures are the compiler's and the runner's own.
const IdentEntry kLibrary[] = {
    {kIdentProcedure, "GENERATORSAMPLEMODE", reinterpret_cast<intptr_t>(&Procedure1), 1, nullptr},
    {kIdentFunction, "CREATESAMPLE", reinterpret_cast<intptr_t>(&Function2), 2, nullptr},
    {kIdentProcedure, "GSAMPLE", reinterpret_cast<intptr_t>(&Procedure4), 4, kTypes4},
    {kIdentProcedure, "FADE", reinterpret_cast<intptr_t>(&Procedure1), 1, nullptr},
    {},
};

const char kDefaultCode[] =
    " GeneratorSampleMode( SM_ADD );\r\n Result:=CreateSample( 10000 , 1 );";

std::string FortyStatements() {
    std::string text = "// forty statements\r\n";
    for (int i = 0; i < 10; ++i) {
        text += " S1 := CreateSample( 44100 , 1 );\r\n";         // 2 statements
        text += " GSample( S1 , FG_SIN , 261.63 , 16000 );\r\n"; // 1
        text += " Fade( S1 ); // shape it\r\n";                  // 1
    }
    return text;
}

// The tables' procedures bound, with the built-in names.
std::unique_ptr<Scripting> Bind() {
    GeneratorBinding binding;
    binding.Table = kLibrary;
    return std::make_unique<Scripting>(binding);
}

// Compiles and runs the code the way F9 does.
void Runs(benchmark::State& state, const std::string& text, int32_t statements) {
    const std::unique_ptr<Scripting> scripts = Bind();
    const std::vector<IdentEntry>& names = scripts->Names();
    CompiledScript program;
    const CompileResult result =
        program.Compile(text.c_str(), names.data(), static_cast<int32_t>(names.size()));
    if (result.ErrorCode != 0 || program.StatementCount() != statements) {
        state.SkipWithError("the script does not compile as it should");
    }
    for (auto _ : state) {
        program.Compile(text.c_str(), names.data(), static_cast<int32_t>(names.size()));
        program.Run();
        benchmark::DoNotOptimize(scripts->Variables());
    }
    scripts->Variables() = {};
}

void BM_DefaultCode(benchmark::State& state) {
    Runs(state, kDefaultCode, 2);
}
BENCHMARK(BM_DefaultCode);

void BM_FortyStatements(benchmark::State& state) {
    Runs(state, FortyStatements(), 40);
}
BENCHMARK(BM_FortyStatements);

void BM_Resample(benchmark::State& state) {
    const int32_t frames = static_cast<int32_t>(state.range(0));
    std::vector<uint8_t> bytes(9 + static_cast<std::size_t>(frames) * 2);
    auto* block = reinterpret_cast<SampleBlock*>(bytes.data());
    block->Format = kSampleMono;
    block->DataSize = frames * 2;
    for (int32_t k = 0; k < frames; ++k) {
        StoreS16(SampleData(block) + 2 * k, static_cast<int16_t>((k * 7919) % 20000 - 10000));
    }
    for (auto _ : state) {
        ResampleBlock(block);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * frames);
}
BENCHMARK(BM_Resample)->Arg(1000000)->Unit(benchmark::kMillisecond);

} // namespace
