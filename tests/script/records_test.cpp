#include "script/records.h"

#include "support/text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

using namespace kellix;

namespace {

// A table of n records whose first byte holds the record number.
void Fill(TUniRec& t, int n) {
    for (int i = 1; i <= n; ++i) {
        *static_cast<uint8_t*>(t.Append()) = static_cast<uint8_t>(i);
    }
}

int CurrentTag(const TUniRec& t) {
    return t.CurrentData() ? *static_cast<const uint8_t*>(t.CurrentData()) : -1;
}

TEST(UniRec, AppendKeepsTheCursorOnceThereIsOne) {
    TUniRec t(4);
    EXPECT_EQ(t.RecNo, 0);
    auto* first = static_cast<uint8_t*>(t.Append());
    EXPECT_EQ(t.RecNo, 1);
    EXPECT_EQ(first[0] | first[1] | first[2] | first[3], 0);
    Fill(t, 2);
    EXPECT_EQ(t.Count, 3);
    EXPECT_EQ(t.RecNo, 1);
    EXPECT_EQ(t.CurrentData(), first);
}

// Each step: an operation and the record number and tag that follow (-1: none current).
TEST(UniRec, CursorWalksBothWaysAndRunsOff) {
    TUniRec t(1);
    Fill(t, 5);
    enum Op { GoTo, Next, First };
    const struct {
        Op op;
        int32_t arg, recNo, tag;
    } steps[] = {
        {GoTo, 5, 5, 5},   {GoTo, 3, 3, 3}, {GoTo, 9, 0, -1}, {GoTo, 4, 4, 4}, // via record 1
        {GoTo, -1, 0, -1}, {GoTo, 1, 1, 1}, {Next, 0, 2, 2},  {GoTo, 5, 5, 5},
        {Next, 0, 0, -1},  {Next, 0, 1, 1}, {GoTo, 0, 0, -1}, {First, 0, 1, 1},
    };
    for (const auto& s : steps) {
        if (s.op == GoTo) {
            t.GoTo(s.arg);
        } else if (s.op == Next) {
            t.Next();
        } else {
            t.First();
        }
        EXPECT_EQ(t.RecNo, s.recNo) << s.op << " " << s.arg;
        EXPECT_EQ(CurrentTag(t), s.tag) << s.op << " " << s.arg;
    }
    TUniRec empty(1);
    empty.GoTo(3);
    EXPECT_EQ(empty.RecNo, 0);
}

TEST(UniRec, DeleteMovesTheCursor) {
    TUniRec t(1);
    Fill(t, 3);
    t.GoTo(2);
    t.Delete();
    EXPECT_EQ(t.Count, 2);
    EXPECT_EQ(t.RecNo, 2);
    EXPECT_EQ(CurrentTag(t), 3);
    t.Delete(); // the last record: the new last one becomes current
    EXPECT_EQ(t.RecNo, 1);
    EXPECT_EQ(CurrentTag(t), 1);
    t.Delete();
    EXPECT_EQ(t.Count, 0);
    EXPECT_EQ(t.RecNo, 0);
    EXPECT_EQ(t.FirstNode, nullptr);
    EXPECT_EQ(t.LastNode, nullptr);
    t.Delete(); // nothing current: nothing happens
    EXPECT_EQ(t.Count, 0);

    Fill(t, 3);
    t.GoTo(1);
    t.Delete();
    EXPECT_EQ(CurrentTag(t), 2);
    EXPECT_EQ(t.FirstNode, t.Current);
    t.Clear();
    EXPECT_EQ(t.Count, 0);
    EXPECT_EQ(t.Current, nullptr);
}

class Records : public ::testing::Test {
  protected:
    void SetUp() override {
        std::snprintf(path, sizeof path, "/tmp/kellix-records-XXXXXX");
        fd = mkstemp(path);
        ASSERT_GE(fd, 0);
    }
    void TearDown() override {
        close(fd);
        unlink(path);
    }
    void Rewind() { ASSERT_EQ(lseek(fd, 0, SEEK_SET), 0); }

    char path[64];
    int fd = -1;
};

void SetText(TRecords& t, int32_t field, const char* text) {
    char* copy = TextDuplicate(text, std::strlen(text));
    std::memcpy(t.FieldAddress(field), &copy, sizeof copy);
}

const char* GetText(const TRecords& t, int32_t field) {
    const char* text;
    std::memcpy(&text, t.FieldAddress(field), sizeof text);
    return text;
}

TEST_F(Records, LayoutOfTheFields) {
    const uint8_t codes[] = {7, 7, 7, 9};
    TRecords t(codes, 4);
    // Three 32-bit fields and a pointer-sized text reference.
    EXPECT_EQ(t.RecordSize, static_cast<int32_t>(12 + sizeof(char*)));
    EXPECT_EQ(t.FieldType(3), 9);
    EXPECT_EQ(t.FieldType(4), 0);
    EXPECT_EQ(t.FieldAddress(0), nullptr);
    auto* data = static_cast<uint8_t*>(t.Append());
    EXPECT_EQ(t.FieldAddress(0), data);
    EXPECT_EQ(t.FieldAddress(3), data + 12);
    EXPECT_EQ(t.FieldAddress(4), nullptr);

    const uint8_t mixed[] = {1, 0x85, 8, 10, 11, 0x81};
    TRecords m(mixed, 6);
    EXPECT_EQ(m.RecordSize, 1 + 2 + 4 + 255 + 0 + 1);
}

TEST_F(Records, DeleteAndDestroyFreeTheTexts) {
    // Run under LeakSanitizer: a text left behind fails the test program.
    const uint8_t codes[] = {7, 7, 7, 9};
    TRecords t(codes, 4);
    t.Append();
    SetText(t, 3, "first");
    t.Append();
    t.GoTo(2);
    SetText(t, 3, "second");
    t.GoTo(1);
    t.Delete();
    EXPECT_EQ(t.Count, 1);
    EXPECT_STREQ(GetText(t, 3), "second");
}

TEST_F(Records, SaveAndLoadRoundTrip) {
    const uint8_t codes[] = {7, 9, 10, 5, 1};
    TRecords out(codes, 5);
    for (int i = 0; i < 3; ++i) {
        out.Append();
        out.GoTo(i + 1);
        int32_t v = -1000 * i - 7;
        std::memcpy(out.FieldAddress(0), &v, 4);
        if (i != 1) {
            SetText(out, 1, std::string(static_cast<std::size_t>(i * 100 + 1), 'a' + i).c_str());
        }
        std::strcpy(static_cast<char*>(out.FieldAddress(2)), i == 2 ? "" : "inline");
        int16_t w = static_cast<int16_t>(300 + i);
        std::memcpy(out.FieldAddress(3), &w, 2);
        *static_cast<uint8_t*>(out.FieldAddress(4)) = static_cast<uint8_t>(200 + i);
    }
    ASSERT_TRUE(out.SaveToFile(fd));

    // Header: field count 5, record size, record count 3, then the codes.
    Rewind();
    uint8_t header[17];
    ASSERT_EQ(read(fd, header, sizeof header), 17);
    const int32_t size = out.RecordSize;
    EXPECT_EQ(size, static_cast<int32_t>(4 + sizeof(char*) + 255 + 2 + 1));
    const uint8_t expected[17] = {
        5, 0, 0, 0, uint8_t(size), uint8_t(size >> 8), 0, 0, 3, 0, 0, 0, 7, 9, 10, 5, 1};
    EXPECT_EQ(std::memcmp(header, expected, 17), 0);

    Rewind();
    TRecords in(codes, 5);
    in.Append();
    ASSERT_TRUE(in.LoadFromFile(fd));
    ASSERT_EQ(in.Count, 3);
    for (int i = 0; i < 3; ++i) {
        in.GoTo(i + 1);
        int32_t v;
        std::memcpy(&v, in.FieldAddress(0), 4);
        EXPECT_EQ(v, -1000 * i - 7);
        std::string text =
            i == 1 ? "" : std::string(static_cast<std::size_t>(i * 100 + 1), 'a' + i);
        EXPECT_EQ(std::string(GetText(in, 1)), text);
        EXPECT_STREQ(static_cast<char*>(in.FieldAddress(2)), i == 2 ? "" : "inline");
        int16_t w;
        std::memcpy(&w, in.FieldAddress(3), 2);
        EXPECT_EQ(w, 300 + i);
        EXPECT_EQ(*static_cast<uint8_t*>(in.FieldAddress(4)), 200 + i);
    }
}

TEST_F(Records, RefusedSavesAndLoads) {
    const uint8_t codes[] = {7, 9};
    TRecords t(codes, 2);
    EXPECT_FALSE(t.SaveToFile(-1));
    int32_t count = 0;
    EXPECT_FALSE(t.ReadHeader(-1, count));

    // A text of more than 255 bytes would be written with a wrong length byte.
    t.Append();
    SetText(t, 1, std::string(256, 'x').c_str());
    EXPECT_FALSE(t.SaveToFile(fd));

    // Another field count fails, after the table has been cleared.
    const uint8_t other[] = {7, 9, 7};
    TRecords wide(other, 3);
    wide.Append();
    Rewind();
    ASSERT_EQ(ftruncate(fd, 0), 0);
    ASSERT_TRUE(wide.SaveToFile(fd));
    Rewind();
    EXPECT_FALSE(t.LoadFromFile(fd));
    EXPECT_EQ(t.Count, 0);

    // Codes that change a field's size would let records overrun: refused.
    const uint8_t inlineText[] = {10, 9};
    TRecords big(inlineText, 2);
    big.Append();
    Rewind();
    ASSERT_EQ(ftruncate(fd, 0), 0);
    ASSERT_TRUE(big.SaveToFile(fd));
    Rewind();
    EXPECT_FALSE(t.LoadFromFile(fd));

    // A file cut short stops loading at the record that is missing.
    const uint8_t ints[] = {7};
    TRecords a(ints, 1);
    Fill(a, 3);
    Rewind();
    ASSERT_EQ(ftruncate(fd, 0), 0);
    ASSERT_TRUE(a.SaveToFile(fd));
    ASSERT_EQ(ftruncate(fd, 13 + 4 * 2 + 1), 0);
    Rewind();
    TRecords b(ints, 1);
    EXPECT_FALSE(b.LoadFromFile(fd));
    EXPECT_EQ(b.Count, 3);
}

} // namespace
