#include "script/smplescript.h"

#include "support/blocks.h"
#include "support/numtext.h"
#include "support/text.h"
#include "support/tokenizer.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kellix {

const char* const ErrorMessages[kErrorMessageCount] = {
    "Success",
    "Undeclared indentifier",
    "Not enough actual parameters",
    "Too many actual parameters",
    "Unterminated string",
    "The wrong index of data",
    "Argument text too long",
    "Too many statements",
};

namespace {

constexpr char kSeparators[] = " /(),:;='\n\r";

// Record layout: the entry index, then the slots (kind, value, text reference).
constexpr std::size_t kSlotSize = 8 + sizeof(char*);
constexpr std::size_t SlotOffset(int32_t slot) {
    return 4 + static_cast<std::size_t>(slot) * kSlotSize;
}

const uint8_t* StatementFieldCodes() {
    static const auto codes = [] {
        std::vector<uint8_t> c{7};
        for (int32_t i = 0; i < kMaxParams; ++i) {
            c.insert(c.end(), {7, 7, kFieldText});
        }
        return c;
    }();
    return codes.data();
}

void StoreStatement(uint8_t* data, const Statement& s) {
    std::memcpy(data, &s.Entry, 4);
    for (int32_t i = 0; i < kMaxParams; ++i) {
        uint8_t* slot = data + SlotOffset(i);
        std::memcpy(slot, &s.Slots[i].ArgKind, 4);
        std::memcpy(slot + 4, &s.Slots[i].ArgValue, 4);
        std::memcpy(slot + 8, &s.Slots[i].ArgText, sizeof(char*));
    }
}

void LoadStatement(const uint8_t* data, Statement& s) {
    std::memcpy(&s.Entry, data, 4);
    for (int32_t i = 0; i < kMaxParams; ++i) {
        const uint8_t* slot = data + SlotOffset(i);
        std::memcpy(&s.Slots[i].ArgKind, slot, 4);
        std::memcpy(&s.Slots[i].ArgValue, slot + 4, 4);
        std::memcpy(&s.Slots[i].ArgText, slot + 8, sizeof(char*));
    }
}

// The text without its comments, with the way back to positions in the original.
struct StrippedText {
    std::string Text;
    // (start in Text, start in the original) of each piece kept, in order.
    std::vector<std::pair<std::size_t, std::size_t>> Pieces;
    // Where a comment that removed further lines of code starts in the original, or -1.
    std::ptrdiff_t SwallowingComment = -1;

    std::ptrdiff_t Original(std::size_t pos) const {
        auto it =
            std::upper_bound(Pieces.begin(), Pieces.end(), pos,
                             [](std::size_t p, const std::pair<std::size_t, std::size_t>& piece) {
                                 return p < piece.first;
                             });
        --it; // Pieces starts with (0, 0)
        return static_cast<std::ptrdiff_t>(it->second + (pos - it->first));
    }
};

// A "//" removes everything up to the next CR, or the rest of the text when no CR follows.
// One pass from the left is enough: the character after a removed comment is a CR, so a
// removal never joins two slashes into a new comment.
StrippedText StripComments(std::string_view text) {
    StrippedText out;
    out.Text.reserve(text.size());
    out.Pieces.emplace_back(0, 0);
    std::size_t from = 0;
    for (;;) {
        std::size_t slashes = text.find("//", from);
        if (slashes == std::string_view::npos) {
            out.Text.append(text.substr(from));
            break;
        }
        out.Text.append(text.substr(from, slashes - from));
        std::size_t cr = text.find('\r', slashes + 2);
        if (cr == std::string_view::npos) {
            // Lines broken by LF alone: the comment takes every line after it.
            std::size_t lf = text.find('\n', slashes + 2);
            if (lf != std::string_view::npos &&
                text.find_first_not_of(" \t\n", lf) != std::string_view::npos) {
                out.SwallowingComment = static_cast<std::ptrdiff_t>(slashes);
            }
            break;
        }
        from = cr;
        out.Pieces.emplace_back(out.Text.size(), cr);
    }
    return out;
}

// Tokens and the separator runs after them, over the stripped copy.
struct Lexer {
    WordSplitter Splitter;
    char* Base = nullptr;
    char* Token = nullptr;    // null when the text is used up
    std::string Run;          // the separators after Token; empty at the end of the text
    std::size_t RunStart = 0; // offset of the run in the stripped text

    void Next(char* text = nullptr) {
        Token = NextToken(Splitter, text, kSeparators);
        Run = Splitter.Delimiters;
        RunStart = Token ? static_cast<std::size_t>(Token - Base) + std::strlen(Token) : 0;
    }
    std::size_t Pos() const { return static_cast<std::size_t>(Token - Base); }
};

bool NameMatches(const char* token, const char* name) {
    for (; *token && *name; ++token, ++name) {
        if (UpperAscii(*token) != *name) {
            return false;
        }
    }
    return *token == 0 && *name == 0;
}

int32_t Lookup(const IdentEntry* table, int32_t count, const char* token) {
    for (int32_t i = 0; i < count; ++i) {
        if (UsableEntry(table[i]) && NameMatches(token, table[i].EntryName)) {
            return i;
        }
    }
    return -1;
}

bool Contains(std::string_view run, char c) {
    return run.find(c) != std::string_view::npos;
}

// Where a run closes a string: the first comma after its first quote, or else the first
// closing bracket after it; npos when the run closes none.
std::size_t ClosingPoint(std::string_view run) {
    std::size_t quote = run.find('\'');
    if (quote == std::string_view::npos) {
        return std::string_view::npos;
    }
    std::size_t comma = run.find(',', quote + 1);
    return comma != std::string_view::npos ? comma : run.find(')', quote + 1);
}

std::string Quoted(const char* token) {
    return std::string("\"") + token + "\"";
}

struct Compiler {
    const IdentEntry* Table;
    int32_t Count;
    TRecords& Program;
    CompileResult& Result;
    StrippedText Source;
    Lexer Lex;
    // Argument texts of the statement being compiled; the record gets copies.
    std::string Texts[kMaxParams];

    bool Fail(int32_t code, std::size_t pos) {
        Result.ErrorCode = code;
        Result.ErrorPos = Source.Original(pos);
        return false;
    }

    void Warn(std::size_t pos, std::string text) {
        Result.Warnings.push_back(CompileWarning{std::move(text), Source.Original(pos)});
    }

    void SetArgument(ArgSlot& slot, const char* token, std::size_t pos, uint8_t type) {
        int32_t i = Lookup(Table, Count, token);
        if (i < 0) {
            const bool real = type == kParamFloat;
            std::size_t read = 0;
            slot.ArgValue =
                real ? std::bit_cast<int32_t>(TextToSingle(token, &read)) : TextToInt(token, &read);
            if (read == 0) {
                Warn(pos, Quoted(token) + " is no number, string or known name: passed as 0");
            } else if (token[read] != 0) {
                char value[32];
                if (real) {
                    std::snprintf(value, sizeof value, "%g",
                                  static_cast<double>(std::bit_cast<float>(slot.ArgValue)));
                } else {
                    std::snprintf(value, sizeof value, "%d", static_cast<int>(slot.ArgValue));
                }
                Warn(pos, Quoted(token) + " is read as " + value +
                              ": the text after the number is ignored");
            }
            return;
        }
        const IdentEntry& e = Table[i];
        if (e.Kind == kIdentVariable) {
            slot.ArgKind = kArgVariable;
            slot.ArgValue = i;
        } else if (e.Kind == kIdentConstant) {
            slot.ArgKind = kArgConstant;
            slot.ArgValue = static_cast<int32_t>(e.Address);
        } else {
            Warn(pos, Quoted(token) + " names a procedure, not a value: passed as 0");
        }
    }

    // Reads the argument list after the name at namePos, filling the slots from the last to
    // the first. Leaves the lexer on the token whose run closed the list (or at the end).
    bool ParseArguments(const IdentEntry& e, std::size_t namePos, Statement& st) {
        int32_t n = e.ParamCount;
        if (!Contains(Lex.Run, '(')) {
            return Fail(kErrNotEnoughParams, namePos);
        }
        int32_t slot = n - 1;
        bool inString = Contains(Lex.Run, '\'');
        std::size_t lastComma = 0;
        Lex.Next();
        while (Lex.Token && slot >= 0) {
            std::size_t tokenPos = Lex.Pos();
            std::size_t close = ClosingPoint(Lex.Run);
            ArgSlot& arg = st.Slots[slot];
            if (inString) {
                std::string text = Lex.Token;
                while (close == std::string::npos) {
                    if (Lex.Run.empty()) {
                        return Fail(kErrUnterminatedString, tokenPos);
                    }
                    text += Lex.Run;
                    Lex.Next();
                    if (!Lex.Token) {
                        return Fail(kErrUnterminatedString, tokenPos);
                    }
                    text += Lex.Token;
                    if (text.size() >= kMaxArgumentText) {
                        return Fail(kErrArgumentTooLong, tokenPos);
                    }
                    close = ClosingPoint(Lex.Run);
                }
                if (text.size() >= kMaxArgumentText) {
                    return Fail(kErrArgumentTooLong, tokenPos);
                }
                // A text reference does not fit the 32-bit value: strings pass 0.
                arg = ArgSlot{kArgImmediate, 0, nullptr};
                Texts[slot] = std::move(text);
                arg.ArgText = Texts[slot].c_str();
            } else if (close != std::string::npos) {
                return Fail(kErrUnterminatedString, tokenPos);
            } else if (*Lex.Token) {
                if (std::strlen(Lex.Token) >= kMaxArgumentText) {
                    return Fail(kErrArgumentTooLong, tokenPos);
                }
                uint8_t type = e.ParamTypes ? e.ParamTypes[slot] : kParamInt;
                arg = ArgSlot{kArgImmediate, 0, nullptr};
                SetArgument(arg, Lex.Token, tokenPos, type);
                Texts[slot] = Lex.Token;
                arg.ArgText = Texts[slot].c_str();
            }
            std::size_t comma = Lex.Run.find(',');
            if (comma != std::string::npos) {
                --slot;
                lastComma = Lex.RunStart + comma;
            }
            if (Contains(Lex.Run, ')')) {
                if (slot > 0) {
                    return Fail(kErrNotEnoughParams, tokenPos);
                }
                break;
            }
            inString = Contains(
                std::string_view(Lex.Run).substr(close == std::string::npos ? 0 : close), '\'');
            Lex.Next();
        }
        if (slot < 0) {
            // A surplus comma right before the end of the text has no token to point at.
            return Fail(kErrTooManyParams, Lex.Token ? Lex.Pos() : lastComma);
        }
        return true;
    }

    void Append(const Statement& st) {
        Statement copy = st;
        for (int32_t i = 0; i < kMaxParams; ++i) {
            if (copy.Slots[i].ArgText) {
                copy.Slots[i].ArgText = TextDuplicate(Texts[i].data(), Texts[i].size());
            }
        }
        StoreStatement(static_cast<uint8_t*>(Program.Append()), copy);
    }

    void Run(const char* text) {
        Source = StripComments(text ? std::string_view(text) : std::string_view());
        Lex.Base = Source.Text.data();
        Lex.Next(Source.Text.data());
        while (Lex.Token && Result.ErrorCode == kErrSuccess) {
            if (*Lex.Token) {
                std::size_t namePos = Lex.Pos();
                int32_t i = Lookup(Table, Count, Lex.Token);
                if (i < 0) {
                    Fail(kErrUndeclared, namePos);
                    break;
                }
                const IdentEntry& e = Table[i];
                if (e.Kind != kIdentConstant && Program.Count >= kMaxStatements) {
                    Fail(kErrTooManyStatements, namePos);
                    break;
                }
                Statement st{};
                st.Entry = i;
                if (e.Kind == kIdentProcedure || e.Kind == kIdentFunction) {
                    if (e.ParamCount > 0 && !ParseArguments(e, namePos, st)) {
                        break;
                    }
                    Append(st);
                } else if (e.Kind != kIdentConstant) {
                    Append(st);
                } else {
                    Warn(namePos,
                         Quoted(Lex.Token) + " is a constant: as a statement it does nothing");
                }
                if (!Lex.Token) {
                    break;
                }
            }
            Lex.Next();
        }
        if (Source.SwallowingComment >= 0) {
            Result.Warnings.push_back(
                CompileWarning{"this comment runs to the end of the code (no CR follows it): the "
                               "lines after it are ignored",
                               Source.SwallowingComment});
        }
    }
};

template <std::size_t> using Int32Param = int32_t;

template <std::size_t... I>
int32_t CallWith(intptr_t address, const int32_t* args, std::index_sequence<I...>) {
    using Procedure = int32_t (*)(Int32Param<I>...);
    return reinterpret_cast<Procedure>(address)(args[I]...);
}

int32_t CallEntry(const IdentEntry* table, int32_t count, const IdentEntry& e,
                  const Statement& st) {
    int32_t n = e.ParamCount;
    int32_t args[kMaxParams] = {};
    for (int32_t i = 0; i < n; ++i) {
        const ArgSlot& slot = st.Slots[n - 1 - i];
        if (slot.ArgKind != kArgVariable) {
            args[i] = slot.ArgValue;
        } else if (slot.ArgValue >= 0 && slot.ArgValue < count && table[slot.ArgValue].Address) {
            args[i] = *reinterpret_cast<const int32_t*>(table[slot.ArgValue].Address);
        }
    }
    intptr_t a = e.Address;
    switch (n) {
    case 0:
        return CallWith(a, args, std::make_index_sequence<0>{});
    case 1:
        return CallWith(a, args, std::make_index_sequence<1>{});
    case 2:
        return CallWith(a, args, std::make_index_sequence<2>{});
    case 3:
        return CallWith(a, args, std::make_index_sequence<3>{});
    case 4:
        return CallWith(a, args, std::make_index_sequence<4>{});
    case 5:
        return CallWith(a, args, std::make_index_sequence<5>{});
    case 6:
        return CallWith(a, args, std::make_index_sequence<6>{});
    case 7:
        return CallWith(a, args, std::make_index_sequence<7>{});
    case 8:
        return CallWith(a, args, std::make_index_sequence<8>{});
    case 9:
        return CallWith(a, args, std::make_index_sequence<9>{});
    case 10:
        return CallWith(a, args, std::make_index_sequence<10>{});
    case 11:
        return CallWith(a, args, std::make_index_sequence<11>{});
    case 12:
        return CallWith(a, args, std::make_index_sequence<12>{});
    case 13:
        return CallWith(a, args, std::make_index_sequence<13>{});
    case 14:
        return CallWith(a, args, std::make_index_sequence<14>{});
    case 15:
        return CallWith(a, args, std::make_index_sequence<15>{});
    default:
        return CallWith(a, args, std::make_index_sequence<16>{});
    }
}

} // namespace

CompiledScript::CompiledScript() : program_(StatementFieldCodes(), 1 + 3 * kMaxParams) {}

CompileResult CompiledScript::Compile(const char* text, const IdentEntry* table, int32_t count) {
    CompileResult result;
    program_.Clear();
    table_ = table;
    count_ = table && count > 0 ? count : 0;
    Compiler compiler{table_, count_, program_, result, {}, {}, {}};
    compiler.Run(text);
    return result;
}

void CompiledScript::Clear() {
    program_.Clear();
    table_ = nullptr;
    count_ = 0;
}

int32_t CompiledScript::StatementCount() const {
    return program_.Count;
}

bool CompiledScript::ReadStatement(int32_t n, Statement& out) {
    program_.GoTo(n);
    const auto* data = static_cast<const uint8_t*>(program_.CurrentData());
    if (n < 1 || !data) {
        return false;
    }
    LoadStatement(data, out);
    return true;
}

void CompiledScript::Run() {
    int32_t* target = &discard_;
    Statement st;
    for (program_.First(); program_.Current; program_.Next()) {
        LoadStatement(static_cast<const uint8_t*>(program_.CurrentData()), st);
        if (st.Entry < 0 || st.Entry >= count_) {
            continue;
        }
        const IdentEntry& e = table_[st.Entry];
        if (!e.Address) {
            continue;
        }
        switch (e.Kind) {
        case kIdentFunction:
            *target = CallEntry(table_, count_, e, st);
            target = &discard_;
            break;
        case kIdentProcedure:
            CallEntry(table_, count_, e, st);
            break;
        case kIdentVariable:
            target = reinterpret_cast<int32_t*>(e.Address);
            break;
        default:
            break;
        }
    }
}

} // namespace kellix
