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

    std::string Name(const Statement& st) { return IdentTable[st.Entry].EntryName; }
};

void ExpectSlot(const ArgSlot& slot, int32_t kind, int32_t value, const char* text) {
    EXPECT_EQ(slot.ArgKind, kind);
    EXPECT_EQ(slot.ArgValue, value);
    if (text) {
        ASSERT_NE(slot.ArgText, nullptr);
        EXPECT_STREQ(slot.ArgText, text);
    } else {
        EXPECT_EQ(slot.ArgText, nullptr);
    }
}

TEST_F(Compiler, DefaultCodeCompilesToThreeStatementsAndRuns) {
    ASSERT_EQ(std::strlen(kDefaultCode), 68u);
    Compile(kDefaultCode);
    ASSERT_EQ(ErrorCode, 0);
    EXPECT_EQ(ErrorPos, -1);
    auto st = Statements();
    ASSERT_EQ(st.size(), 3u);
    EXPECT_EQ(Name(st[0]), "GENERATORSAMPLEMODE");
    ExpectSlot(st[0].Slots[0], kArgConstant, 1, "SM_ADD");
    EXPECT_EQ(Name(st[1]), "RESULT");
    EXPECT_EQ(Name(st[2]), "CREATESAMPLE");
    ExpectSlot(st[2].Slots[1], kArgImmediate, 10000, "10000");
    ExpectSlot(st[2].Slots[0], kArgImmediate, 1, "1");

    RunProgram();
    ASSERT_EQ(fake::Calls.size(), 2u);
    EXPECT_EQ(fake::Calls[0].Name, "GENERATORSAMPLEMODE");
    EXPECT_EQ(fake::Calls[0].Args, std::vector<int32_t>{1});
    EXPECT_EQ(fake::Calls[1].Name, "CREATESAMPLE");
    EXPECT_EQ(fake::Calls[1].Args, (std::vector<int32_t>{10000, 1}));
    ASSERT_NE(fake::Block(Vars.Result), nullptr);
    EXPECT_EQ(int32_t{fake::Block(Vars.Result)->DataSize}, 20000);
}

TEST_F(Compiler, CaseAndPunctuationDoNotMatter) {
    Compile("result := createsample(10000,1)");
    ASSERT_EQ(ErrorCode, 0);
    auto st = Statements();
    ASSERT_EQ(st.size(), 2u);
    EXPECT_EQ(Name(st[0]), "RESULT");
    EXPECT_EQ(Name(st[1]), "CREATESAMPLE");
    ExpectSlot(st[1].Slots[1], kArgImmediate, 10000, "10000");
    ExpectSlot(st[1].Slots[0], kArgImmediate, 1, "1");
}

TEST_F(Compiler, SlotsFillFromTheLastToTheFirst) {
    Compile("REC3(1, 2, 3)");
    ASSERT_EQ(ErrorCode, 0);
    auto st = Statements();
    ASSERT_EQ(st.size(), 1u);
    ExpectSlot(st[0].Slots[2], kArgImmediate, 1, "1");
    ExpectSlot(st[0].Slots[1], kArgImmediate, 2, "2");
    ExpectSlot(st[0].Slots[0], kArgImmediate, 3, "3");
    RunProgram();
    ASSERT_EQ(fake::Calls.size(), 1u);
    EXPECT_EQ(fake::Calls[0].Args, (std::vector<int32_t>{1, 2, 3}));
}

TEST_F(Compiler, SixteenArgumentsArriveInWrittenOrder) {
    Compile("REC16(1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16)");
    ASSERT_EQ(ErrorCode, 0);
    RunProgram();
    ASSERT_EQ(fake::Calls.size(), 1u);
    EXPECT_EQ(fake::Calls[0].Args,
              (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}));
}

TEST_F(Compiler, EmptyAndDoubledCommas) {
    Compile("CreateSample( 10000 , )");
    ASSERT_EQ(ErrorCode, 0);
    auto st = Statements();
    ExpectSlot(st[0].Slots[1], kArgImmediate, 10000, "10000");
    ExpectSlot(st[0].Slots[0], kArgImmediate, 0, nullptr);

    Compile("CreateSample(1,,2)");
    ASSERT_EQ(ErrorCode, 0);
    st = Statements();
    ExpectSlot(st[0].Slots[1], kArgImmediate, 1, "1");
    ExpectSlot(st[0].Slots[0], kArgImmediate, 2, "2");
}

TEST_F(Compiler, ArgumentsByKind) {
    // Unknown names convert as numbers (0 here); constants pass their value; a library
    // constant hides the built-in of the same name; numbers in decimal and hexadecimal.
    Compile("GeneratorSampleMode(SM_ADDD) GeneratorSampleMode(SM_MUL) REC3($FF, -5, 12AB) "
            "REC3(S1, LIBVAR, LIBCONST) REC3(CreateSample, INERT, SM_SUB)");
    ASSERT_EQ(ErrorCode, 0);
    auto st = Statements();
    ASSERT_EQ(st.size(), 5u);
    ExpectSlot(st[0].Slots[0], kArgImmediate, 0, "SM_ADDD");
    ExpectSlot(st[1].Slots[0], kArgConstant, 99, "SM_MUL");
    ExpectSlot(st[2].Slots[2], kArgImmediate, 255, "$FF");
    ExpectSlot(st[2].Slots[1], kArgImmediate, -5, "-5");
    ExpectSlot(st[2].Slots[0], kArgImmediate, 12, "12AB");
    ExpectSlot(st[3].Slots[2], kArgVariable, fake::EntryIndex("S1"), "S1");
    ExpectSlot(st[3].Slots[1], kArgVariable, fake::EntryIndex("LIBVAR"), "LIBVAR");
    ExpectSlot(st[3].Slots[0], kArgConstant, 42, "LIBCONST");
    ExpectSlot(st[4].Slots[2], kArgImmediate, 0, "CreateSample");
    ExpectSlot(st[4].Slots[1], kArgImmediate, 0, "INERT");
    ExpectSlot(st[4].Slots[0], kArgConstant, 2, "SM_SUB");
}

TEST_F(Compiler, FloatSlotsTakeSinglePrecisionBits) {
    // FPARAMS(int, float): the type bytes list slot 0 (the float) first.
    Compile("FParams(7, 2.5) FParams(-3, -0.5) FParams(1.5, x) FParams(SM_ADD, SM_SUB)");
    ASSERT_EQ(ErrorCode, 0);
    RunProgram();
    ASSERT_EQ(fake::Calls.size(), 4u);
    EXPECT_EQ(fake::Calls[0].Args, (std::vector<int32_t>{7, 0x40200000}));
    EXPECT_EQ(fake::Calls[1].Args, (std::vector<int32_t>{-3, std::bit_cast<int32_t>(0xBF000000u)}));
    EXPECT_EQ(fake::Calls[2].Args, (std::vector<int32_t>{1, 0}));
    EXPECT_EQ(fake::Calls[3].Args, (std::vector<int32_t>{1, 2}));
}

TEST_F(Compiler, StringArguments) {
    Compile("REC3(' a b ', 5, 6)");
    ASSERT_EQ(ErrorCode, 0);
    auto st = Statements();
    ASSERT_EQ(st.size(), 1u);
    ExpectSlot(st[0].Slots[2], kArgImmediate, 0, "a b");
    ExpectSlot(st[0].Slots[1], kArgImmediate, 5, "5");
    ExpectSlot(st[0].Slots[0], kArgImmediate, 6, "6");

    // A string in the middle, joined across several separators.
    Compile("REC3(1, 'x:=y; z', 3)");
    ASSERT_EQ(ErrorCode, 0);
    st = Statements();
    ExpectSlot(st[0].Slots[1], kArgImmediate, 0, "x:=y; z");
    ExpectSlot(st[0].Slots[0], kArgImmediate, 3, "3");
}

TEST_F(Compiler, VariablesPassTheirValueAtTheCall) {
    fake::LibVar = 5;
    Compile("S1 := CreateSample(100,1); REC3(S1, LIBVAR, LIBCONST); "
            "S1 := CreateSample(200,1); REC3(S1, 0, 0)");
    ASSERT_EQ(ErrorCode, 0);
    RunProgram();
    ASSERT_EQ(fake::Calls.size(), 4u);
    int32_t first = fake::Calls[1].Args[0];
    EXPECT_NE(fake::Block(first), nullptr);
    EXPECT_EQ(fake::Calls[1].Args, (std::vector<int32_t>{first, 5, 42}));
    EXPECT_NE(fake::Calls[3].Args[0], first);
    EXPECT_EQ(fake::Calls[3].Args[0], Vars.S[0]);
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
    Compile("SM_ADD;");
    EXPECT_EQ(ErrorCode, 0);
    EXPECT_EQ(StatementCount(), 0);
    Compile("INERT; INERT");
    EXPECT_EQ(ErrorCode, 0);
    EXPECT_EQ(StatementCount(), 2);
    RunProgram();
    EXPECT_TRUE(fake::Calls.empty());
    Compile("");
    EXPECT_EQ(ErrorCode, 0);
    EXPECT_EQ(StatementCount(), 0);
    Compile(nullptr);
    EXPECT_EQ(ErrorCode, 0);
}

TEST_F(Compiler, LongSeparatorRuns) {
    std::string text = "REC3(1," + std::string(1000, ' ') + "2," + std::string(300, '\n') + "3)";
    Compile(text.c_str());
    ASSERT_EQ(ErrorCode, 0);
    RunProgram();
    EXPECT_EQ(fake::Calls[0].Args, (std::vector<int32_t>{1, 2, 3}));
}

struct ErrorCase {
    const char* Text;
    int32_t Code;
    std::ptrdiff_t Pos;
};

TEST_F(Compiler, ErrorCodesAndPositions) {
    const ErrorCase cases[] = {
        {"Function InitSample", kErrUndeclared, 0},
        {"\tREC3(1,2,3)", kErrUndeclared, 0},
        {"REC3(1,2,3) Foo", kErrUndeclared, 12},
        {"TOOMANY(1)", kErrUndeclared, 0}, // more than 16 parameters: refused
        {"AFTEREND", kErrUndeclared, 0},   // behind the library's end mark
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
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.Text);
        Compile(c.Text);
        EXPECT_EQ(ErrorCode, c.Code);
        EXPECT_EQ(ErrorPos, c.Pos);
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

TEST_F(Compiler, StatementsBeforeAnErrorStay) {
    Compile("REC3(1,2,3) REC3(4,5,6) Foo REC3(7,8,9)");
    EXPECT_EQ(ErrorCode, kErrUndeclared);
    EXPECT_EQ(StatementCount(), 2);
}

TEST_F(Compiler, PositionsCountTheCommentsOfTheOriginalText) {
    Compile("// note\r\n REC3(1,2,3); Foo");
    EXPECT_EQ(ErrorCode, kErrUndeclared);
    EXPECT_EQ(ErrorPos, 23);
    Compile("REC3(1, // first\r\n 2, 3) // a // b\r\n Bar // tail");
    EXPECT_EQ(ErrorCode, kErrUndeclared);
    EXPECT_EQ(ErrorPos, 37);
    Compile("REC3(1,2,3) // Foo");
    EXPECT_EQ(ErrorCode, 0);
    EXPECT_EQ(StatementCount(), 1);
}

TEST_F(Compiler, ArgumentTextsMustStayUnder128Characters) {
    std::string ok = "GeneratorSampleMode(" + std::string(127, 'A') + ")";
    Compile(ok.c_str());
    EXPECT_EQ(ErrorCode, 0);
    std::string tooLong = "GeneratorSampleMode(" + std::string(128, 'A') + ")";
    Compile(tooLong.c_str());
    EXPECT_EQ(ErrorCode, kErrArgumentTooLong);
    EXPECT_EQ(ErrorPos, 20);
    std::string words;
    for (int i = 0; i < 70; ++i) {
        words += "ab ";
    }
    std::string longString = "REC3(1, ' " + words + "')";
    Compile(longString.c_str());
    EXPECT_EQ(ErrorCode, kErrArgumentTooLong);
    EXPECT_EQ(ErrorPos, 10);
}

TEST_F(Compiler, ProgramSizeIsBounded) {
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
}

TEST_F(Compiler, ProgramIsForgottenWithItsTable) {
    Compile("REC3(1,2,3)");
    ASSERT_EQ(StatementCount(), 1);
    DoneScripts();
    EXPECT_EQ(StatementCount(), 0);
    RunProgram();
    EXPECT_TRUE(fake::Calls.empty());
}

} // namespace
