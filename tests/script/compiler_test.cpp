#include "test_library.h"

#include "script/smplescript.h"

#include <gtest/gtest.h>

#include <bit>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using namespace kellix;
using scripttest::Args;

namespace {

class Compiler : public ::testing::Test {
  protected:
    std::unique_ptr<Scripting> Scripts = scripttest::Install();
    CompiledScript Program;
    CompileResult Result;

    void Compile(const char* text) {
        const std::vector<IdentEntry>& names = Scripts->Names();
        Result = Program.Compile(text, names.data(), static_cast<int32_t>(names.size()));
    }
};

// What the last recording call of a run received. Numbers in decimal and hexadecimal; unknown
// names and strings pass 0, constants their value; strings lose their quotes and join across
// separators; an empty argument passes 0. A real slot takes the single-precision bits;
// variables pass their value at the call; a function's result goes to the variable named
// before it, or else to the discard cell.
TEST_F(Compiler, CallsReceiveTheirArgumentsInWrittenOrder) {
    const std::string longRuns =
        "REC3(1," + std::string(1000, ' ') + "2," + std::string(300, '\n') + "3)";
    const std::pair<std::string, std::vector<int32_t>> cases[] = {
        {longRuns, {1, 2, 3}},
        {"REC3($FF, -5, 12AB)", {255, -5, 12}},
        {"REC3(SM_ADDD, SM_SUB, ' a b ')", {0, 2, 0}},
        {"REC3(1, 'x:=y; z', 3)", {1, 0, 3}},
        {"REC3( 7 , 8 , )", {7, 8, 0}},
        {"REC16(1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16)",
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
        {"FParams(-3, -0.5)", {-3, std::bit_cast<int32_t>(0xBF000000u)}},
        {"FParams(1.5, x)", {1, 0}},
        {"FParams(SM_ADD, SM_SUB)", {1, 2}},
        {"S2 := SAME(77) S3 := NoArgs() REC3(S2, S3, 0)", {77, 7, 0}},
        {"RESULT GConst(0, 0) NoArgs() S4 SAME(5) SAME(6) REC3(RESULT, S4, 0)", {7, 5, 0}},
    };
    for (const auto& [code, args] : cases) {
        SCOPED_TRACE(code);
        Compile(code.c_str());
        ASSERT_EQ(Result.ErrorCode, 0);
        Program.Run();
        EXPECT_EQ(Args, args);
    }
    Scripts->Variables() = {};
}

// Error positions count the comments of the original text; statements before an error stay.
// Constants compile to nothing, inert names to statements that do nothing. Each case: the text,
// the error code and position, and the statements compiled (-1: not checked).
TEST_F(Compiler, ErrorCodesAndPositions) {
    const std::tuple<std::string, int32_t, std::ptrdiff_t, int32_t> cases[] = {
        {"SM_ADD;", 0, -1, 0},
        {"INERT; INERT // Foo", 0, -1, 2},
        {"Function InitSample", kErrUndeclared, 0, 0},
        {"REC3(1,2,3) REC3(4,5,6) Foo REC3(7,8,9)", kErrUndeclared, 24, 2},
        {"TOOMANY(1)", kErrUndeclared, 0, -1}, // more than 16 parameters: refused
        {"AFTEREND", kErrUndeclared, 0, -1},   // behind the library's end mark
        {"REC3(1, // first\r\n 2, 3) // a // b\r\n Bar // tail", kErrUndeclared, 37, 1},
        {"GeneratorSampleMode SM_ADD", kErrNotEnoughParams, 0, -1},
        {"CreateSample( 10000 )", kErrNotEnoughParams, 14, -1},
        {"GeneratorSampleMode( 1, 2 )", kErrTooManyParams, 24, -1},
        {"GeneratorSampleMode(1,", kErrTooManyParams, 21, -1}, // no token left: the comma
        {"REC3(a', b, c)", kErrUnterminatedString, 5, -1},
        // A "//" in a string starts a comment.
        {"REC3('a//b', 1, 2)", kErrUnterminatedString, 6, -1},
        {"GeneratorSampleMode(" + std::string(127, 'A') + ")", 0, -1, 1},
        {"GeneratorSampleMode(" + std::string(128, 'A') + ")", kErrArgumentTooLong, 20, -1},
        {"REC3(1, ' " + std::string(64, 'a') + " " + std::string(64, 'b') + "')",
         kErrArgumentTooLong, 10, -1}, // the words of a string join
    };
    for (const auto& [text, code, pos, statements] : cases) {
        SCOPED_TRACE(text);
        Compile(text.c_str());
        EXPECT_EQ(Result.ErrorCode, code);
        EXPECT_EQ(Result.ErrorPos, pos);
        EXPECT_TRUE(statements < 0 || Program.StatementCount() == statements)
            << Program.StatementCount();
    }
}

// The script runs as before; only the warnings are new. The texts and values were worked out
// by hand from the number rules.
TEST_F(Compiler, WarningsNameMistakesThatCompile) {
    using Warnings = std::vector<std::pair<std::string, std::ptrdiff_t>>;
    auto unknown = [](std::string word) {
        return "\"" + word + "\" is no number, string or known name: passed as 0";
    };
    auto readAs = [](std::string text, std::string value) {
        return "\"" + text + "\" is read as " + value + ": the text after the number is ignored";
    };
    auto constant = [](std::string word) {
        return "\"" + word + "\" is a constant: as a statement it does nothing";
    };
    const std::pair<const char*, Warnings> cases[] = {
        {"REC3( FG_SQUAR , 1 , 2 )", {{unknown("FG_SQUAR"), 6}}},
        // FPARAMS takes an integer, then a real.
        {"FPARAMS( 5 , 261.63*2 )", {{readAs("261.63*2", "261.63"), 13}}},
        // A number that stops early loses its sign; 4294967295 takes nine digits.
        {"REC3( -12AB , $1FG , 4294967295 )",
         {{readAs("-12AB", "12"), 6},
          {readAs("$1FG", "31"), 14},
          {readAs("4294967295", "429496729"), 21}}},
        {"REC3( NoArgs , - , 0 )",
         {{"\"NoArgs\" names a procedure, not a value: passed as 0", 6}, {unknown("-"), 15}}},
        {"SM_ADD; REC3(1,2,3); FG_Saw;", {{constant("SM_ADD"), 0}, {constant("FG_Saw"), 21}}},
        // Positions count the comments of the original text.
        {"// note\r\n REC3( X , 0 , 0 )", {{unknown("X"), 16}}},
        {"REC3( -7 , $fF , +3 ); FPARAMS( 2 , -1.5e3 ); FPARAMS( 2 , .5 ); REC3( 'a b' , S1 , "
         "SM_ADD )",
         {}},
        // Lines ending in LF alone: a comment removes the rest of the code.
        {"REC3( 1 , 2 , 3 ) // first\n REC3( X , 2 , 3 )",
         {{"this comment runs to the end of the code (no CR follows it): the lines after it are "
           "ignored",
           18}}},
        {"REC3( 1 , 2 , 3 ) // last\n \n", {}},
        // Warnings up to an error stay.
        {"REC3( Q , 0 , 0 ) Foo REC3( R , 0 , 0 )", {{unknown("Q"), 6}}},
    };
    for (const auto& [text, expected] : cases) {
        Compile(text);
        Warnings got;
        for (const CompileWarning& w : Result.Warnings) {
            got.emplace_back(w.Text, w.Pos);
        }
        EXPECT_EQ(got, expected) << text;
    }
    Compile("REC3( FG_SQUAR , 261.63*2 , 2 )");
    Program.Run();
    EXPECT_EQ(Args, (std::vector<int32_t>{0, 261, 2}));
}

TEST_F(Compiler, ProgramSizeIsBoundedAndForgottenWithItsTable) {
    std::string text;
    for (int i = 0; i < kMaxStatements; ++i) {
        text += "INERT SM_ADD ";
    }
    Compile(text.c_str());
    EXPECT_EQ(Result.ErrorCode, 0);
    EXPECT_EQ(Program.StatementCount(), kMaxStatements);
    Statement last;
    EXPECT_TRUE(Program.ReadStatement(kMaxStatements, last) && !Program.ReadStatement(0, last));
    EXPECT_STREQ(Scripts->Names()[static_cast<std::size_t>(last.Entry)].EntryName, "INERT");
    Program.Run();
    Compile(nullptr);
    EXPECT_EQ(Program.StatementCount(), 0);
    text += "INERT";
    Compile(text.c_str());
    EXPECT_EQ(Result.ErrorCode, kErrTooManyStatements);
    EXPECT_EQ(Result.ErrorPos, static_cast<std::ptrdiff_t>(text.size()) - 5);
}

} // namespace
