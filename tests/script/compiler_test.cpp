#include "test_library.h"

#include "script/smplescript.h"

#include <gtest/gtest.h>

#include <bit>
#include <string>
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
    const struct {
        std::string code;
        std::vector<int32_t> args;
    } cases[] = {
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
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        Compile(c.code.c_str());
        ASSERT_EQ(Result.ErrorCode, 0);
        Program.Run();
        EXPECT_EQ(Args, c.args);
    }
    Scripts->Variables() = {};
}

// Error positions count the comments of the original text; statements before an error stay.
// Constants compile to nothing, inert names to statements that do nothing.
TEST_F(Compiler, ErrorCodesAndPositions) {
    const struct {
        std::string Text;
        int32_t Code;
        std::ptrdiff_t Pos;
        int32_t Statements = -1; // -1: not checked
    } cases[] = {
        {"SM_ADD;", 0, -1, 0},
        {"INERT; INERT // Foo", 0, -1, 2},
        {"Function InitSample", kErrUndeclared, 0, 0},
        {"REC3(1,2,3) REC3(4,5,6) Foo REC3(7,8,9)", kErrUndeclared, 24, 2},
        {"TOOMANY(1)", kErrUndeclared, 0}, // more than 16 parameters: refused
        {"AFTEREND", kErrUndeclared, 0},   // behind the library's end mark
        {"REC3(1, // first\r\n 2, 3) // a // b\r\n Bar // tail", kErrUndeclared, 37, 1},
        {"GeneratorSampleMode SM_ADD", kErrNotEnoughParams, 0},
        {"CreateSample( 10000 )", kErrNotEnoughParams, 14},
        {"GeneratorSampleMode( 1, 2 )", kErrTooManyParams, 24},
        {"GeneratorSampleMode(1,", kErrTooManyParams, 21}, // no token left: the comma
        {"REC3(a', b, c)", kErrUnterminatedString, 5},
        {"REC3('a//b', 1, 2)", kErrUnterminatedString, 6}, // a "//" in a string starts a comment
        {"GeneratorSampleMode(" + std::string(127, 'A') + ")", 0, -1, 1},
        {"GeneratorSampleMode(" + std::string(128, 'A') + ")", kErrArgumentTooLong, 20},
        {"REC3(1, ' " + std::string(64, 'a') + " " + std::string(64, 'b') + "')",
         kErrArgumentTooLong, 10}, // the words of a string join
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        Compile(c.Text.c_str());
        EXPECT_EQ(Result.ErrorCode, c.Code);
        EXPECT_EQ(Result.ErrorPos, c.Pos);
        EXPECT_TRUE(c.Statements < 0 || Program.StatementCount() == c.Statements)
            << Program.StatementCount();
    }
}

// The script runs as before; only the warnings are new. The texts and values were worked out
// by hand from the number rules.
TEST_F(Compiler, WarningsNameMistakesThatCompile) {
    const struct {
        const char* Text;
        std::vector<CompileWarning> Expected;
    } cases[] = {
        {"REC3( FG_SQUAR , 1 , 2 )",
         {{"\"FG_SQUAR\" is no number, string or known name: passed as 0", 6}}},
        // FPARAMS takes an integer, then a real.
        {"FPARAMS( 5 , 261.63*2 )",
         {{"\"261.63*2\" is read as 261.63: the text after the number is ignored", 13}}},
        // A number that stops early loses its sign; 4294967295 takes nine digits.
        {"REC3( -12AB , $1FG , 4294967295 )",
         {{"\"-12AB\" is read as 12: the text after the number is ignored", 6},
          {"\"$1FG\" is read as 31: the text after the number is ignored", 14},
          {"\"4294967295\" is read as 429496729: the text after the number is ignored", 21}}},
        {"REC3( NoArgs , - , 0 )",
         {{"\"NoArgs\" names a procedure, not a value: passed as 0", 6},
          {"\"-\" is no number, string or known name: passed as 0", 15}}},
        {"SM_ADD; REC3(1,2,3); FG_Saw;",
         {{"\"SM_ADD\" is a constant: as a statement it does nothing", 0},
          {"\"FG_Saw\" is a constant: as a statement it does nothing", 21}}},
        // Positions count the comments of the original text.
        {"// note\r\n REC3( X , 0 , 0 )",
         {{"\"X\" is no number, string or known name: passed as 0", 16}}},
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
        {"REC3( Q , 0 , 0 ) Foo REC3( R , 0 , 0 )",
         {{"\"Q\" is no number, string or known name: passed as 0", 6}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        Compile(c.Text);
        const std::vector<CompileWarning>& got = Result.Warnings;
        ASSERT_EQ(got.size(), c.Expected.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].Text, c.Expected[i].Text);
            EXPECT_EQ(got[i].Pos, c.Expected[i].Pos);
        }
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

    Compile("REC3(1,2,3)");
    Program.Clear();
    EXPECT_EQ(Program.StatementCount(), 0);
    Args.clear();
    Program.Run();
    EXPECT_TRUE(Args.empty());
}

} // namespace
