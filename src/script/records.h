#pragma once

#include <cstdint>

namespace kellix {

// One list node: the links, then RecordSize bytes of record data.
struct TRecNode {
    TRecNode* Prev; // toward FirstNode
    TRecNode* Next; // toward LastNode
};

// A doubly linked list of equal-sized, zero-initialised records with a 1-based cursor.
class TUniRec {
  public:
    explicit TUniRec(int32_t recordSize);
    virtual ~TUniRec();
    TUniRec(const TUniRec&) = delete;
    TUniRec& operator=(const TUniRec&) = delete;

    // 0 clears the cursor, 1 moves to the first record; any other n walks from the current
    // record (record 1 when there is none) by n - RecNo links, leaving no cursor when it runs
    // off either end.
    virtual void GoTo(int32_t n);
    // A new zero-filled record after the last one; the cursor moves only when the list was
    // empty. Returns the record's data, or null while the table is being destroyed.
    virtual void* Append();
    virtual void Clear();
    // Unlinks the current record. The cursor moves to the following record (same RecNo), or
    // to the new last record when the last one went.
    virtual void Delete();

    void First();
    // With no current record, moves to record 1.
    void Next();
    void* CurrentData() const;

    int32_t RecordSize = 0;
    int32_t Count = 0;
    TRecNode* FirstNode = nullptr;
    TRecNode* Current = nullptr;
    TRecNode* LastNode = nullptr;
    int32_t RecNo = 0;
    bool Destroying = false;
};

// Field type codes; bit 7 of a code is ignored for its size and meaning.
enum : uint8_t {
    kFieldText = 9,    // reference to a text block owned by the record
    kFieldInline = 10, // zero-terminated text of up to 255 bytes in the record
};

// Size in bytes of a field of the given type code. A text reference is pointer-sized.
int32_t FieldSize(uint8_t code);

// Records of typed fields laid out one after another, with ownership of type-9 texts and
// saving to and loading from an open POSIX file descriptor.
class TRecords : public TUniRec {
  public:
    TRecords(const uint8_t* fieldTypes, int32_t fieldCount);
    ~TRecords() override;

    // The code of field i, or 0 past the last field.
    uint8_t FieldType(int32_t i) const;
    // Field i of the current record, or null past the last field or without a current record.
    void* FieldAddress(int32_t i) const;
    // Frees the current record's type-9 texts before unlinking it.
    void Delete() override;

    // Clears the table and reads a header written by WriteHeader. The field count must match
    // and every field must keep its size and meaning, so that records read afterwards fit.
    virtual bool ReadHeader(int file, int32_t& count);
    virtual bool WriteHeader(int file);
    virtual bool ReadFields(int file);
    // Texts travel with a one-byte length: a text of more than 255 bytes fails rather than
    // being written with a wrong length.
    virtual bool WriteFields(int file);
    virtual bool LoadFromFile(int file);
    virtual bool SaveToFile(int file);

    uint8_t* FieldTypes = nullptr;
    int32_t FieldCount = 0;
};

} // namespace kellix
