#include "script/records.h"

#include "support/text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <utility>

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

// The walk the script runner makes: GoTo from the current record (record 1 when there is none);
// running off either end leaves no cursor, and so does Next past the last record.
TEST(UniRec, CursorWalksAndRunsOffTheEnds) {
    TUniRec t(1);
    Fill(t, 5);
    // Each step: the record asked for and the tag found (-1: none).
    const std::pair<int32_t, int32_t> walk[] = {{5, 5}, {3, 3}, {9, -1}, {4, 4}, {-1, -1}, {0, -1}};
    for (auto [n, tag] : walk) {
        t.GoTo(n);
        EXPECT_EQ(CurrentTag(t), tag) << n;
        EXPECT_EQ(t.RecNo, tag < 0 ? 0 : n) << n;
    }
    t.GoTo(5);
    t.Next();
    EXPECT_EQ(t.RecNo, 0);
}

class Records : public ::testing::Test {
  protected:
    void TearDown() override { std::fclose(file); }
    // Saves the table as the whole file, ready to be read from its start.
    bool Saved(TRecords& t) {
        bool ok = lseek(fd, 0, SEEK_SET) == 0 && ftruncate(fd, 0) == 0 && t.SaveToFile(fd);
        return lseek(fd, 0, SEEK_SET) == 0 && ok;
    }

    // The whole file; reading goes on from its start.
    std::string Contents() {
        std::string bytes(static_cast<std::size_t>(lseek(fd, 0, SEEK_END)), '\0');
        EXPECT_EQ(pread(fd, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
        lseek(fd, 0, SEEK_SET);
        return bytes;
    }

    std::FILE* file = std::tmpfile();
    int fd = fileno(file);
};

void SetText(TRecords& t, int32_t field, const std::string& text) {
    char* copy = TextDuplicate(text.c_str(), text.size());
    std::memcpy(t.FieldAddress(field), &copy, sizeof copy);
}

// Under LeakSanitizer: deleting a record and destroying the table free their texts.
TEST_F(Records, SaveAndLoadRoundTrip) {
    const uint8_t codes[] = {7, 9, 10};
    TRecords out(codes, 3);
    for (int i = 0; i < 3; ++i) {
        out.Append();
        out.GoTo(i + 1);
        const uint8_t bytes[4] = {static_cast<uint8_t>(i), 0x80, 0, 0xFF};
        std::memcpy(out.FieldAddress(0), bytes, 4);
        if (i != 1) {
            SetText(out, 1, std::string(static_cast<std::size_t>(i * 100 + 1), 'a'));
        }
        std::strcpy(static_cast<char*>(out.FieldAddress(2)), i == 2 ? "" : "inline");
    }
    ASSERT_TRUE(Saved(out));
    const std::string saved = Contents();
    // Field count 3, record size 267, record count 3 and the codes; then each record: 4 bytes,
    // and the two texts with their length bytes (1 + 6, 0 + 6, 201 + 0).
    EXPECT_EQ(saved.substr(0, 15), std::string("\3\0\0\0\x0B\1\0\0\3\0\0\0\7\t\n", 15));
    EXPECT_EQ(saved.size(), 15u + 3 * (4 + 2) + 7 + 6 + 201);
    TRecords in(codes, 3);
    in.Append();
    ASSERT_TRUE(in.LoadFromFile(fd));
    ASSERT_TRUE(Saved(in));
    EXPECT_EQ(Contents(), saved);
    in.GoTo(1);
    in.Delete();
}

TEST_F(Records, RefusedSavesAndLoads) {
    const uint8_t codes[] = {7, 9};
    TRecords t(codes, 2);
    EXPECT_EQ(t.FieldType(2), 0);
    EXPECT_EQ(t.FieldAddress(0), nullptr) << "no record";
    EXPECT_FALSE(t.SaveToFile(-1));
    int32_t count = 0;
    EXPECT_FALSE(t.ReadHeader(-1, count));
    // A text of more than 255 bytes would be written with a wrong length byte.
    t.Append();
    EXPECT_EQ(t.FieldAddress(2), nullptr);
    SetText(t, 1, std::string(256, 'x'));
    EXPECT_FALSE(Saved(t));
    // Another field count fails after clearing the table; so do codes that change a field's
    // size, which would let records overrun.
    const uint8_t wider[] = {7, 9, 7}, inlineText[] = {10, 9};
    TRecords wide(wider, 3), big(inlineText, 2);
    wide.Append();
    big.Append();
    ASSERT_TRUE(Saved(wide));
    EXPECT_FALSE(t.LoadFromFile(fd));
    EXPECT_EQ(t.Count, 0);
    ASSERT_TRUE(Saved(big));
    EXPECT_FALSE(t.LoadFromFile(fd));
    // A file cut short stops loading at the record that is missing.
    const uint8_t ints[] = {7};
    TRecords a(ints, 1), b(ints, 1);
    Fill(a, 3);
    ASSERT_TRUE(Saved(a));
    ASSERT_EQ(ftruncate(fd, 13 + 4 * 2 + 1), 0);
    EXPECT_FALSE(b.LoadFromFile(fd));
    EXPECT_EQ(b.Count, 3);
}

} // namespace
