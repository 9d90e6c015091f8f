#include "fake_library.h"

#include "script/exec.h"
#include "script/smplescript.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <string>
#include <vector>

using namespace kellix;

namespace {

const char kDefaultCode[] =
    " GeneratorSampleMode( SM_ADD );\r\n Result:=CreateSample( 10000 , 1 );";

class Compiler : public ::testing::Test {
  protected:
    void SetUp() override { fake::Install(); }
    void TearDown() override {
        DoneScripts();
        fake::Clear();
    }

    void Compile(const char* text) {
        SetIdentifierTable(IdentTable, IdentCount);
        CompileScript(text);
    }

    std::vector<Statement> Statements() {
        std::vector<Statement> all(static_cast<std::size_t>(StatementCount()));
        for (std::size_t i = 0; i < all.size(); ++i) {
            EXPECT_TRUE(ReadStatement(static_cast<int32_t>(i + 1), all[i]));
        }
        return all;
    }
};

TEST_F(Compiler, DefaultCodeCompilesToThreeStatementsAndRuns) {
    Compile(kDefaultCode);
    ASSERT_EQ(ErrorCode, 0);
    EXPECT_EQ(ErrorPos, -1);
    auto st = Statements();
    ASSERT_EQ(st.size(), 3u);
    EXPECT_STREQ(IdentTable[st[0].Entry].EntryName, "GENERATORSAMPLEMODE");
    EXPECT_STREQ(IdentTable[st[1].Entry].EntryName, "RESULT");
    EXPECT_STREQ(IdentTable[st[2].Entry].EntryName, "CREATESAMPLE");

    RunProgram();
    ASSERT_EQ(fake::Calls.size(), 2u);
    EXPECT_EQ(fake::Calls[0].Name, "GENERATORSAMPLEMODE");
    EXPECT_EQ(fake::Calls[0].Args, std::vector<int32_t>{1});
    EXPECT_EQ(fake::Calls[1].Args, (std::vector<int32_t>{10000, 1}));
    ASSERT_NE(fake::Block(Vars.Result), nullptr);
    EXPECT_EQ(int32_t{fake::Block(Vars.Result)->DataSize}, 20000);
}

// The slots of one statement fill from the last to the first; each keeps its kind, value and
// text. Unknown names convert as numbers (0 here); constants pass their value; a library
// constant hides the built-in of the same name; numbers in decimal and hexadecimal; strings
// lose their quotes and the blanks around them and join across separators.
TEST_F(Compiler, ArgumentSlots) {
    const int32_t s1 = fake::EntryIndex("S1"), libVar = fake::EntryIndex("LIBVAR");
    const struct {
        const char* code;
        int32_t statement, slot, kind, value;
        const char* text; // null: no text
    } cases[] = {
        {kDefaultCode, 0, 0, kArgConstant, 1, "SM_ADD"},
        {kDefaultCode, 2, 1, kArgImmediate, 10000, "10000"},
        {"result := createsample(10000,1)", 1, 0, kArgImmediate, 1, "1"},
        {"REC3(1, 2, 3)", 0, 2, kArgImmediate, 1, "1"},
        {"REC3(1, 2, 3)", 0, 0, kArgImmediate, 3, "3"},
        {"CreateSample( 10000 , )", 0, 0, kArgImmediate, 0, nullptr},
        {"CreateSample(1,,2)", 0, 0, kArgImmediate, 2, "2"},
        {"GeneratorSampleMode(SM_ADDD)", 0, 0, kArgImmediate, 0, "SM_ADDD"},
        {"GeneratorSampleMode(SM_MUL)", 0, 0, kArgConstant, 99, "SM_MUL"},
        {"REC3($FF, -5, 12AB)", 0, 2, kArgImmediate, 255, "$FF"},
        {"REC3($FF, -5, 12AB)", 0, 1, kArgImmediate, -5, "-5"},
        {"REC3($FF, -5, 12AB)", 0, 0, kArgImmediate, 12, "12AB"},
        {"REC3(S1, LIBVAR, LIBCONST)", 0, 2, kArgVariable, s1, "S1"},
        {"REC3(S1, LIBVAR, LIBCONST)", 0, 1, kArgVariable, libVar, "LIBVAR"},
        {"REC3(S1, LIBVAR, LIBCONST)", 0, 0, kArgConstant, 42, "LIBCONST"},
        {"REC3(CreateSample, INERT, SM_SUB)", 0, 2, kArgImmediate, 0, "CreateSample"},
        {"REC3(CreateSample, INERT, SM_SUB)", 0, 1, kArgImmediate, 0, "INERT"},
        {"REC3(' a b ', 5, 6)", 0, 2, kArgImmediate, 0, "a b"},
        {"REC3(1, 'x:=y; z', 3)", 0, 1, kArgImmediate, 0, "x:=y; z"},
        {"REC3(1, 'x:=y; z', 3)", 0, 0, kArgImmediate, 3, "3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        Compile(c.code);
        ASSERT_EQ(ErrorCode, 0);
        const std::vector<Statement> st = Statements();
        const ArgSlot& slot = st.at(static_cast<std::size_t>(c.statement)).Slots[c.slot];
        EXPECT_EQ(slot.ArgKind, c.kind);
        EXPECT_EQ(slot.ArgValue, c.value);
        EXPECT_STREQ(slot.ArgText, c.text);
    }
}

// What the last library call of a run received. A float slot takes the single-precision bits
// (FPARAMS(int, float): its type bytes list slot 0, the float, first); variables pass their
// value at the call.
TEST_F(Compiler, CallsReceiveTheirArgumentsInWrittenOrder) {
    fake::LibVar = 5;
    const std::string longRuns =
        "REC3(1," + std::string(1000, ' ') + "2," + std::string(300, '\n') + "3)";
    const struct {
        std::string code;
        std::vector<int32_t> args;
    } cases[] = {
        {"REC3(1, 2, 3)", {1, 2, 3}},
        {longRuns, {1, 2, 3}},
        {"REC16(1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16)",
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
        {"FParams(7, 2.5)", {7, 0x40200000}},
        {"FParams(-3, -0.5)", {-3, std::bit_cast<int32_t>(0xBF000000u)}},
        {"FParams(1.5, x)", {1, 0}},
        {"FParams(SM_ADD, SM_SUB)", {1, 2}},
        {"REC3(LIBVAR, LIBCONST, 0)", {5, 42, 0}},
        {"S2 := CreateSample(10,1) S2 := SetResultTo(77) REC3(S2, 0, 0)", {77, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        fake::Calls.clear();
        Compile(c.code.c_str());
        ASSERT_EQ(ErrorCode, 0);
        RunProgram();
        ASSERT_FALSE(fake::Calls.empty());
        EXPECT_EQ(fake::Calls.back().Args, c.args);
    }
    Vars.S[1] = 0;
}

TEST_F(Compiler, AssignmentTarget) {
    Compile("S1 := CreateSample(100, 1); RESULT := CreateSample(200, 1)");
    RunProgram();
    ASSERT_NE(fake::Block(Vars.S[0]), nullptr);
    ASSERT_NE(fake::Block(Vars.Result), nullptr);
    EXPECT_EQ(int32_t{fake::Block(Vars.S[0])->DataSize}, 200);
    EXPECT_EQ(int32_t{fake::Block(Vars.Result)->DataSize}, 400);

    Vars.Result = 0;
    Vars.S[0] = 0;
    Compile("CreateSample(100, 1)");
    RunProgram();
    EXPECT_EQ(Vars.Result, 0);
    EXPECT_NE(fake::Block(DiscardCell), nullptr);

    // The target survives procedures, is replaced by another variable, and a function call
    // resets it to the discard cell.
    Compile("RESULT GeneratorSampleMode(1) NoArgs()");
    RunProgram();
    EXPECT_EQ(Vars.Result, 7);
    Compile("RESULT S2 SetResultTo(5) SetResultTo(6)");
    RunProgram();
    EXPECT_EQ(Vars.Result, 7);
    EXPECT_EQ(Vars.S[1], 5);
    EXPECT_EQ(DiscardCell, 6);
    Vars.Result = Vars.S[1] = 0;
}

TEST_F(Compiler, ConstantsCompileToNothingAndInertNamesToNoOps) {
    const std::pair<const char*, int32_t> cases[] = {
        {"SM_ADD;", 0}, {"INERT; INERT", 2}, {"", 0}, {nullptr, 0}, {"REC3(1,2,3) // Foo", 1}};
    for (auto [code, statements] : cases) {
        Compile(code);
        EXPECT_EQ(ErrorCode, 0);
        EXPECT_EQ(StatementCount(), statements);
    }
    Compile("INERT; INERT");
    RunProgram();
    EXPECT_TRUE(fake::Calls.empty());
}

// Error positions count the comments of the original text; statements before an error stay.
TEST_F(Compiler, ErrorCodesAndPositions) {
    std::string words;
    for (int i = 0; i < 70; ++i) {
        words += "ab ";
    }
    const struct {
        std::string Text;
        int32_t Code;
        std::ptrdiff_t Pos;
        int32_t Statements = -1; // -1: not checked
    } cases[] = {
        {"Function InitSample", kErrUndeclared, 0, 0},
        {"\tREC3(1,2,3)", kErrUndeclared, 0},
        {"REC3(1,2,3) REC3(4,5,6) Foo REC3(7,8,9)", kErrUndeclared, 24, 2},
        {"TOOMANY(1)", kErrUndeclared, 0}, // more than 16 parameters: refused
        {"AFTEREND", kErrUndeclared, 0},   // behind the library's end mark
        {"// note\r\n REC3(1,2,3); Foo", kErrUndeclared, 23, 1},
        {"REC3(1, // first\r\n 2, 3) // a // b\r\n Bar // tail", kErrUndeclared, 37, 1},
        {"GeneratorSampleMode SM_ADD", kErrNotEnoughParams, 0},
        {"CreateSample( 10000 )", kErrNotEnoughParams, 14},
        {"GeneratorSampleMode( 1, 2 )", kErrTooManyParams, 24},
        {"REC16(1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17)", kErrTooManyParams, 45},
        {"GeneratorSampleMode(1,", kErrTooManyParams, 21}, // no token left: the comma
        {"REC3(a', b, c)", kErrUnterminatedString, 5},
        {"REC3('abc, d", kErrUnterminatedString, 6},
        {"REC3(1, 'abc", kErrUnterminatedString, 9},
        // A "//" inside a string starts a comment too.
        {"REC3('a//b', 1, 2)", kErrUnterminatedString, 6},
        {"GeneratorSampleMode(" + std::string(127, 'A') + ")", 0, -1, 1},
        {"GeneratorSampleMode(" + std::string(128, 'A') + ")", kErrArgumentTooLong, 20},
        {"REC3(1, ' " + words + "')", kErrArgumentTooLong, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        Compile(c.Text.c_str());
        EXPECT_EQ(ErrorCode, c.Code);
        EXPECT_EQ(ErrorPos, c.Pos);
        EXPECT_TRUE(c.Statements < 0 || StatementCount() == c.Statements) << StatementCount();
    }
}

struct WarningCase {
    const char* Text;
    std::vector<CompileWarning> Expected;
};

// The script runs as before; only the warnings are new. The texts and values were worked out
// by hand from the number rules.
TEST_F(Compiler, WarningsNameMistakesThatCompile) {
    const WarningCase cases[] = {
        {"REC3( FG_SQUAR , 1 , 2 )",
         {{"\"FG_SQUAR\" is no number, string or known name: passed as 0", 6}}},
        // FPARAMS takes an integer, then a real.
        {"FPARAMS( 5 , 261.63*2 )",
         {{"\"261.63*2\" is read as 261.63: the text after the number is ignored", 13}}},
        {"FPARAMS( 1.5 , 1e )",
         {{"\"1.5\" is read as 1: the text after the number is ignored", 9},
          {"\"1e\" is read as 1: the text after the number is ignored", 15}}},
        // A number that stops early loses its sign; 4294967295 takes nine digits.
        {"REC3( -12AB , $1FG , 4294967295 )",
         {{"\"-12AB\" is read as 12: the text after the number is ignored", 6},
          {"\"$1FG\" is read as 31: the text after the number is ignored", 14},
          {"\"4294967295\" is read as 429496729: the text after the number is ignored", 21}}},
        {"REC3( NoArgs , - , $ )",
         {{"\"NoArgs\" names a procedure, not a value: passed as 0", 6},
          {"\"-\" is no number, string or known name: passed as 0", 15},
          {"\"$\" is no number, string or known name: passed as 0", 19}}},
        {"SM_ADD; REC3(1,2,3); LibConst;",
         {{"\"SM_ADD\" is a constant: as a statement it does nothing", 0},
          {"\"LibConst\" is a constant: as a statement it does nothing", 21}}},
        // Positions count the comments of the original text.
        {"// note\r\n REC3( X , 0 , 0 )",
         {{"\"X\" is no number, string or known name: passed as 0", 16}}},
        {"REC3( -7 , $fF , +3 ); FPARAMS( 2 , -1.5e3 ); REC3( 'a b' , LibVar , LibConst )", {}},
        {"FPARAMS( 2 , .5 ); FPARAMS( 2 , 5. ); REC3( S1 , RESULT , FG_SAW )", {}},
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
    for (const WarningCase& c : cases) {
        SCOPED_TRACE(c.Text);
        Compile(c.Text);
        const std::vector<CompileWarning>& got = CompileWarnings();
        ASSERT_EQ(got.size(), c.Expected.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].Text, c.Expected[i].Text);
            EXPECT_EQ(got[i].Pos, c.Expected[i].Pos);
        }
    }
    Compile("REC3( FG_SQUAR , 261.63*2 , 2 )");
    RunProgram();
    EXPECT_EQ(fake::Calls.back().Args, (std::vector<int32_t>{0, 261, 2}));
}

TEST_F(Compiler, ProgramSizeIsBoundedAndForgottenWithItsTable) {
    std::string text;
    for (int i = 0; i < kMaxStatements; ++i) {
        text += "INERT SM_ADD ";
    }
    Compile(text.c_str());
    EXPECT_EQ(ErrorCode, 0);
    EXPECT_EQ(StatementCount(), kMaxStatements);
    text += "INERT";
    Compile(text.c_str());
    EXPECT_EQ(ErrorCode, kErrTooManyStatements);
    EXPECT_EQ(ErrorPos, static_cast<std::ptrdiff_t>(text.size()) - 5);

    Compile("REC3(1,2,3)");
    DoneScripts();
    EXPECT_EQ(StatementCount(), 0);
    RunProgram();
    EXPECT_TRUE(fake::Calls.empty());
}

} // namespace
