#pragma once

#include <cstdint>

namespace kellix {

// One name a script can use. The generator library delivers its table in this packed layout;
// Address is pointer-sized.
#pragma pack(push, 1)
struct IdentEntry {
    uint8_t Kind;
    const char* EntryName;     // upper case, zero-terminated
    intptr_t Address;          // procedure entry, variable cell, or constant value
    int32_t ParamCount;        // procedures and functions: 0..kMaxParams
    const uint8_t* ParamTypes; // one type byte per slot, last parameter first; null: all integer
};
#pragma pack(pop)

enum : uint8_t {
    kIdentProcedure = 0, // called, result ignored
    kIdentFunction = 1,  // called, result stored in the assignment target
    kIdentInert = 2,     // compiled, does nothing
    kIdentVariable = 3,  // Address points at a 32-bit cell
    kIdentConstant = 4,  // Address is the value
};

// Parameter type bytes.
constexpr uint8_t kParamInt = 0;
constexpr uint8_t kParamFloat = 1; // passed as the IEEE-754 bits of a single-precision value

constexpr int32_t kMaxParams = 16;

// Whether the compiler can use the entry: a name, a known kind and, for procedures and
// functions, 0..kMaxParams parameters. Other entries are never matched.
inline bool UsableEntry(const IdentEntry& e) {
    if (!e.EntryName || e.Kind > kIdentConstant) {
        return false;
    }
    if (e.Kind == kIdentProcedure || e.Kind == kIdentFunction) {
        return e.ParamCount >= 0 && e.ParamCount <= kMaxParams;
    }
    return true;
}

} // namespace kellix
