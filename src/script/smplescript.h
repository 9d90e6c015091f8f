#pragma once

#include "script/ident.h"
#include "script/records.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kellix {

// Error codes of the last compilation, indexes into ErrorMessages.
enum : int32_t {
    kErrSuccess = 0,
    kErrUndeclared = 1,
    kErrNotEnoughParams = 2,
    kErrTooManyParams = 3,
    kErrUnterminatedString = 4,
    kErrWrongIndex = 5, // never raised by the compiler
    kErrArgumentTooLong = 6,
    kErrTooManyStatements = 7,
};
constexpr int32_t kErrorMessageCount = 8;
extern const char* const ErrorMessages[kErrorMessageCount];

// An argument's text (a token, or a string's characters) must be shorter than this.
constexpr std::size_t kMaxArgumentText = 128;
// A program holds at most this many statements; instrument code needs a few dozen.
constexpr int32_t kMaxStatements = 65536;

// State of the last compilation: ErrorCode 0 on success; ErrorPos is the byte offset of the
// offending token in the text given to CompileScript (comments included), -1 for none.
extern int32_t ErrorCode;
extern std::ptrdiff_t ErrorPos;

// Something the last compilation accepted that is most likely a mistake; the script runs as
// written all the same. Pos is the byte offset of the token in the text given to CompileScript.
// The warnings: an argument that is no number, string or variable or constant name (passed as
// 0), an argument with text after its number (read up to it), a statement that names a
// constant (does nothing), and a "//" comment with further lines after it but no CR (in text
// whose lines end in LF alone it removes the rest of the code).
struct CompileWarning {
    std::string Text;
    std::ptrdiff_t Pos;
};
// The warnings of the last compilation in the order of the text, up to its error if any.
const std::vector<CompileWarning>& CompileWarnings();

// Takes function results that no variable asked for.
extern int32_t DiscardCell;

// The table the next compilations bind names against; it must outlive the compiled program.
void SetIdentifierTable(const IdentEntry* entries, int32_t count);

// Replaces the compiled program by the compilation of a zero-terminated text (null counts as
// empty). Compilation stops at the first error; statements compiled before it stay but must
// not be run. The text itself is not changed.
void CompileScript(const char* text);

// Runs the statements of the last compilation in order.
void RunProgram();

// Forgets the compiled program, before the table it was compiled against goes away.
void ClearProgram();

// ---- The compiled program, one statement a record.

enum : int32_t {
    kArgImmediate = 0, // ArgValue is passed
    kArgConstant = 1,  // ArgValue is passed
    kArgVariable = 2, // ArgValue is the index of the variable's entry; its cell is read at the call
};

struct ArgSlot {
    int32_t ArgKind;
    int32_t ArgValue;
    const char* ArgText; // the argument as written (owned by the program), null for an empty slot
};

// Entry is the statement's index into the identifier table. Slots[n - 1] holds the first
// written argument of an n-parameter call, Slots[0] the last.
struct Statement {
    int32_t Entry;
    ArgSlot Slots[kMaxParams];
};

// Number of compiled statements, and statement n (1-based); false when there is none.
int32_t StatementCount();
bool ReadStatement(int32_t n, Statement& out);

// The record table that holds the program: field codes 7, then sixteen times 7, 7, 9.
TRecords& ScriptProgram();

} // namespace kellix
