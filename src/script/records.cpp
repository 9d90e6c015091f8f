#include "script/records.h"

#include "support/blocks.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace kellix {

namespace {

uint8_t* NodeData(TRecNode* node) {
    return node ? reinterpret_cast<uint8_t*>(node) + sizeof(TRecNode) : nullptr;
}

bool ReadAll(int file, void* dst, std::size_t size) {
    auto* p = static_cast<uint8_t*>(dst);
    while (size > 0) {
        ssize_t got = ::read(file, p, size);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        p += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

bool WriteAll(int file, const void* src, std::size_t size) {
    const auto* p = static_cast<const uint8_t*>(src);
    while (size > 0) {
        ssize_t put = ::write(file, p, size);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        p += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

bool ReadInt(int file, int32_t& value) {
    uint8_t b[4];
    if (!ReadAll(file, b, 4)) {
        return false;
    }
    value =
        static_cast<int32_t>(static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                             static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24);
    return true;
}

bool WriteInt(int file, int32_t value) {
    uint32_t v = static_cast<uint32_t>(value);
    uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                    static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
    return WriteAll(file, b, 4);
}

bool IsTextReference(uint8_t code) {
    return (code & 0x7F) == kFieldText;
}

} // namespace

// ---- TUniRec

TUniRec::TUniRec(int32_t recordSize) : RecordSize(recordSize > 0 ? recordSize : 0) {}

TUniRec::~TUniRec() {
    Destroying = true;
    Clear();
}

void TUniRec::GoTo(int32_t n) {
    if (n == 0) {
        Current = nullptr;
        RecNo = 0;
        return;
    }
    if (n == 1 || !Current) {
        Current = FirstNode;
        RecNo = Current ? 1 : 0;
        if (n == 1 || !Current) {
            return;
        }
    }
    int64_t steps = static_cast<int64_t>(n) - RecNo;
    while (steps > 0 && Current) {
        Current = Current->Next;
        --steps;
    }
    while (steps < 0 && Current) {
        Current = Current->Prev;
        ++steps;
    }
    RecNo = Current ? n : 0;
}

void* TUniRec::Append() {
    if (Destroying) {
        return nullptr;
    }
    TRecNode* node = nullptr;
    AllocBlock(node, sizeof(TRecNode) + static_cast<std::size_t>(RecordSize));
    std::memset(node, 0, sizeof(TRecNode) + static_cast<std::size_t>(RecordSize));
    node->Prev = LastNode;
    if (LastNode) {
        LastNode->Next = node;
    } else {
        FirstNode = node;
        Current = node;
        RecNo = 1;
    }
    LastNode = node;
    ++Count;
    return NodeData(node);
}

void TUniRec::Clear() {
    GoTo(1);
    while (Current) {
        Delete();
    }
    Count = 0;
    FirstNode = Current = LastNode = nullptr;
    RecNo = 0;
}

void TUniRec::Delete() {
    TRecNode* node = Current;
    if (!node) {
        return;
    }
    if (node->Prev) {
        node->Prev->Next = node->Next;
    } else {
        FirstNode = node->Next;
    }
    if (node->Next) {
        node->Next->Prev = node->Prev;
        Current = node->Next;
    } else {
        LastNode = node->Prev;
        Current = node->Prev;
        RecNo = Current ? RecNo - 1 : 0;
    }
    --Count;
    FreeBlock(node);
}

void TUniRec::First() {
    GoTo(1);
}

void TUniRec::Next() {
    if (!Current) {
        First();
        return;
    }
    Current = Current->Next;
    RecNo = Current ? RecNo + 1 : 0;
}

void* TUniRec::CurrentData() const {
    return NodeData(Current);
}

// ---- TRecords

int32_t FieldSize(uint8_t code) {
    switch (code & 0x7F) {
    case 1:
    case 2:
    case 3:
    case 4:
        return 1;
    case 5:
    case 6:
        return 2;
    case 7:
    case 8:
        return 4;
    case kFieldText:
        return static_cast<int32_t>(sizeof(char*));
    case kFieldInline:
        return 255;
    default:
        return 0;
    }
}

namespace {

int32_t SumOfSizes(const uint8_t* codes, int32_t count) {
    int32_t size = 0;
    for (int32_t i = 0; i < count; ++i) {
        size += FieldSize(codes[i]);
    }
    return size;
}

} // namespace

TRecords::TRecords(const uint8_t* fieldTypes, int32_t fieldCount)
    : TUniRec(SumOfSizes(fieldTypes, fieldCount > 0 ? fieldCount : 0)),
      FieldCount(fieldCount > 0 ? fieldCount : 0) {
    AllocBlock(FieldTypes, static_cast<std::size_t>(FieldCount));
    if (FieldCount > 0) {
        std::memcpy(FieldTypes, fieldTypes, static_cast<std::size_t>(FieldCount));
    }
}

TRecords::~TRecords() {
    // The base destructor would only reach the base Delete, which leaves the texts behind.
    Destroying = true;
    Clear();
    FreeBlock(FieldTypes);
}

uint8_t TRecords::FieldType(int32_t i) const {
    return (i >= 0 && i < FieldCount) ? FieldTypes[i] : 0;
}

void* TRecords::FieldAddress(int32_t i) const {
    uint8_t* data = NodeData(Current);
    if (!data || i < 0 || i >= FieldCount) {
        return nullptr;
    }
    return data + SumOfSizes(FieldTypes, i);
}

void TRecords::Delete() {
    if (!Current) {
        return;
    }
    uint8_t* field = NodeData(Current);
    for (int32_t i = 0; i < FieldCount; ++i) {
        if (IsTextReference(FieldTypes[i])) {
            char* text;
            std::memcpy(&text, field, sizeof text);
            FreeBlock(text);
            std::memcpy(field, &text, sizeof text);
        }
        field += FieldSize(FieldTypes[i]);
    }
    TUniRec::Delete();
}

bool TRecords::WriteHeader(int file) {
    if (file == -1) {
        return false;
    }
    return WriteInt(file, FieldCount) && WriteInt(file, RecordSize) && WriteInt(file, Count) &&
           WriteAll(file, FieldTypes, static_cast<std::size_t>(FieldCount));
}

bool TRecords::ReadHeader(int file, int32_t& count) {
    if (file == -1) {
        return false;
    }
    Clear();
    int32_t fieldCount = 0;
    int32_t recordSize = 0;
    if (!ReadInt(file, fieldCount) || fieldCount != FieldCount || !ReadInt(file, recordSize) ||
        !ReadInt(file, count)) {
        return false;
    }
    uint8_t* codes = nullptr;
    AllocBlock(codes, static_cast<std::size_t>(FieldCount));
    bool ok = ReadAll(file, codes, static_cast<std::size_t>(FieldCount));
    for (int32_t i = 0; ok && i < FieldCount; ++i) {
        ok = FieldSize(codes[i]) == FieldSize(FieldTypes[i]) &&
             IsTextReference(codes[i]) == IsTextReference(FieldTypes[i]);
    }
    if (ok && FieldCount > 0) {
        std::memcpy(FieldTypes, codes, static_cast<std::size_t>(FieldCount));
    }
    FreeBlock(codes);
    return ok;
}

bool TRecords::WriteFields(int file) {
    if (file == -1 || !Current) {
        return false;
    }
    for (int32_t i = 0; i < FieldCount; ++i) {
        uint8_t code = FieldTypes[i] & 0x7F;
        const uint8_t* field = static_cast<const uint8_t*>(FieldAddress(i));
        if (code >= 1 && code <= 8) {
            if (!WriteAll(file, field, static_cast<std::size_t>(FieldSize(code)))) {
                return false;
            }
            continue;
        }
        const char* text = nullptr;
        std::size_t length = 0;
        if (code == kFieldText) {
            std::memcpy(&text, field, sizeof text);
            length = text ? std::strlen(text) : 0;
        } else if (code == kFieldInline) {
            text = reinterpret_cast<const char*>(field);
            length = strnlen(text, 255);
        } else {
            return false;
        }
        if (length > 255) {
            return false;
        }
        uint8_t lengthByte = static_cast<uint8_t>(length);
        if (!WriteAll(file, &lengthByte, 1) || !WriteAll(file, text, length)) {
            return false;
        }
    }
    return true;
}

bool TRecords::ReadFields(int file) {
    if (file == -1 || !Current) {
        return false;
    }
    for (int32_t i = 0; i < FieldCount; ++i) {
        uint8_t code = FieldTypes[i] & 0x7F;
        uint8_t* field = static_cast<uint8_t*>(FieldAddress(i));
        if (code >= 1 && code <= 8) {
            if (!ReadAll(file, field, static_cast<std::size_t>(FieldSize(code)))) {
                return false;
            }
            continue;
        }
        if (code != kFieldText && code != kFieldInline) {
            return false;
        }
        uint8_t length = 0;
        if (!ReadAll(file, &length, 1)) {
            return false;
        }
        if (code == kFieldInline) {
            if (!ReadAll(file, field, length)) {
                return false;
            }
            if (length < 255) {
                field[length] = 0;
            }
            continue;
        }
        char* text;
        std::memcpy(&text, field, sizeof text);
        FreeBlock(text);
        AllocBlock(text, static_cast<std::size_t>(length) + 1);
        text[length] = 0;
        std::memcpy(field, &text, sizeof text);
        if (!ReadAll(file, text, length)) {
            return false;
        }
    }
    return true;
}

bool TRecords::SaveToFile(int file) {
    if (Destroying || !WriteHeader(file)) {
        return false;
    }
    for (int32_t i = 1; i <= Count; ++i) {
        GoTo(i);
        if (!WriteFields(file)) {
            return false;
        }
    }
    return true;
}

bool TRecords::LoadFromFile(int file) {
    int32_t count = 0;
    if (!ReadHeader(file, count)) {
        return false;
    }
    for (int32_t i = 1; i <= count; ++i) {
        Append();
        GoTo(i);
        if (!ReadFields(file)) {
            return false;
        }
    }
    return true;
}

} // namespace kellix
