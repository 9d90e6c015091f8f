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

// Something the compilation accepted that is most likely a mistake; the script runs as written
// all the same. Pos is the byte offset of the token in the text compiled. The warnings: an
// argument that is no number, string or variable or constant name (passed as 0), an argument
// with text after its number (read up to it), a statement that names a constant (does
// nothing), and a "//" comment with further lines after it but no CR (in text whose lines end
// in LF alone it removes the rest of the code).
struct CompileWarning {
    std::string Text;
    std::ptrdiff_t Pos;
};

// How a text compiled: ErrorCode 0 on success; ErrorPos is the byte offset of the offending
// token in the text (comments included), -1 for none; the warnings in the order of the text,
// up to the error if any.
struct CompileResult {
    int32_t ErrorCode = kErrSuccess;
    std::ptrdiff_t ErrorPos = -1;
    std::vector<CompileWarning> Warnings;
};

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

// A compiled program: the statements of the last text compiled, one a record of a record
// table (field codes 7, then sixteen times 7, 7, 9), bound to an identifier table that must
// outlive it.
class CompiledScript {
  public:
    CompiledScript();

    // Replaces the program by the compilation of a zero-terminated text (null counts as empty)
    // against the table. Compilation stops at the first error; statements compiled before it
    // stay but must not be run. The text itself is not changed.
    CompileResult Compile(const char* text, const IdentEntry* table, int32_t count);
    // Runs the statements in order; function results that no variable asked for are dropped.
    void Run();
    // Forgets the program, before the table it was compiled against goes away.
    void Clear();

    // Number of compiled statements, and statement n (1-based); false when there is none.
    int32_t StatementCount() const;
    bool ReadStatement(int32_t n, Statement& out);

  private:
    TRecords program_;
    const IdentEntry* table_ = nullptr;
    int32_t count_ = 0;
    int32_t discard_ = 0;
};

} // namespace kellix
