// The three pictures, pixel by pixel, at coordinates worked out by hand from the drawing rules.
#include "pixels.h"
#include "ui/draw_pattern.h"
#include "ui/draw_sample.h"
#include "ui/draw_track.h"

#include <QtTest>

#include <climits>
#include <cstdlib>
#include <memory>
#include <vector>

using namespace kellix;
using namespace kellix::test;

namespace {

constexpr int kMarker = 0x55; // a grey none of the pictures uses: "left as it was"

struct FreeBlock {
    void operator()(SampleBlock* b) const { std::free(b); }
};
using Sample = std::unique_ptr<SampleBlock, FreeBlock>;

// A block of exactly the header plus `bytes` bytes, so that reading past the data is caught by
// the address checker; DataSize may claim anything.
Sample MakeSample(uint8_t format, const std::vector<int16_t>& values, int32_t dataSize,
                  size_t bytes) {
    auto* b = static_cast<SampleBlock*>(std::malloc(sizeof(SampleBlock) + bytes));
    b->Format = format;
    b->DataSize = dataSize;
    for (size_t i = 0; i < values.size() && 2 * i + 2 <= bytes; ++i) {
        StoreS16(SampleData(b) + 2 * i, values[i]);
    }
    return Sample(b);
}
Sample MakeSample(uint8_t format, const std::vector<int16_t>& values) {
    const size_t bytes = 2 * values.size();
    return MakeSample(format, values, static_cast<int32_t>(bytes), bytes);
}

// Column x holds black exactly in the image rows from..to and white elsewhere.
bool ColumnIs(const QImage& image, int x, int from, int to) {
    for (int y = 0; y < image.height(); ++y) {
        if (RgbAt(image, x, y) != GreyRgb(y >= from && y <= to ? 0x00 : 0xFF)) {
            return false;
        }
    }
    return true;
}
bool ColumnUntouched(const QImage& image, int x) {
    for (int y = 0; y < image.height(); ++y) {
        if (RgbAt(image, x, y) != GreyRgb(kMarker)) {
            return false;
        }
    }
    return true;
}

TIdPoint Note(int32_t time, int32_t tone, int32_t instrument) {
    return {time, tone, instrument, 256, 128};
}

} // namespace

class DrawTest : public QObject {
    Q_OBJECT
  private slots:
    void patternPixels_data();
    void patternPixels();
    void patternFrames_data();
    void patternFrames();
    void patternNotesOutOfView();
    void patternLabels_data();
    void patternLabels();
    void patternCellAt_data();
    void patternCellAt();
    void patternConvertsOtherFormats();
    void trackPixels_data();
    void trackPixels();
    void trackLabels_data();
    void trackLabels();
    void trackNegativeEntriesAndNarrowImage();
    void trackCellAt_data();
    void trackCellAt();
    void sampleColumns_data();
    void sampleColumns();
    void sampleLongAndShort();
    void sampleNeighbouringFramesShareColumns();
    void sampleWidthKeepsContent();
    void sampleBadSizes_data();
    void sampleBadSizes();
};

void DrawTest::patternPixels_data() {
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("v");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("grey");
    // H = V = 0, Row 16: grid from x 64, tone 83 in rows 0..15, tone 82 (A#) in rows 16..31.
    QTest::newRow("grid origin line") << 300 << 0 << 0 << 16 << 64 << 0 << 0x77;
    QTest::newRow("first cell") << 300 << 0 << 0 << 16 << 65 << 1 << 0x00;
    QTest::newRow("vertical line") << 300 << 0 << 0 << 16 << 80 << 5 << 0x77;
    QTest::newRow("horizontal line") << 300 << 0 << 0 << 16 << 70 << 16 << 0x77;
    QTest::newRow("band 1 first cell") << 300 << 0 << 0 << 16 << 321 << 1 << 0x33;
    QTest::newRow("band 1 line") << 300 << 0 << 0 << 16 << 320 << 5 << 0x77;
    QTest::newRow("band 1 step 19") << 300 << 0 << 0 << 16 << 383 << 5 << 0x33;
    QTest::newRow("white key") << 300 << 0 << 0 << 16 << 50 << 1 << 0xAA;
    QTest::newRow("keyboard last column") << 300 << 0 << 0 << 16 << 63 << 20 << 0xAA;
    QTest::newRow("separator row 0") << 300 << 0 << 0 << 16 << 50 << 0 << 0x77;
    QTest::newRow("separator row 27") << 300 << 0 << 0 << 16 << 50 << 27 << 0x77;
    QTest::newRow("above separator 27") << 300 << 0 << 0 << 16 << 50 << 26 << 0xAA;
    QTest::newRow("below separator 27") << 300 << 0 << 0 << 16 << 50 << 28 << 0xAA;
    QTest::newRow("separator row 82") << 300 << 0 << 0 << 16 << 50 << 82 << 0x77;
    QTest::newRow("above separator 82") << 300 << 0 << 0 << 16 << 50 << 81 << 0xAA;
    QTest::newRow("separator row 192") << 300 << 0 << 0 << 16 << 50 << 192 << 0x77;
    QTest::newRow("odd octave band") << 300 << 0 << 0 << 16 << 50 << 200 << 0x99;
    QTest::newRow("black key A#") << 300 << 0 << 0 << 16 << 0 << 20 << 0x00;
    QTest::newRow("black key right column") << 300 << 0 << 0 << 16 << 47 << 20 << 0x00;
    QTest::newRow("right of black key") << 300 << 0 << 0 << 16 << 48 << 20 << 0xAA;
    QTest::newRow("black key over separator") << 300 << 0 << 0 << 16 << 10 << 27 << 0x00;
    QTest::newRow("B has no black key") << 300 << 0 << 0 << 16 << 10 << 5 << 0xAA;
    QTest::newRow("A has no black key") << 300 << 0 << 0 << 16 << 10 << 40 << 0xAA;
    // The designed V = 750: rows 0..1 are tone 37 (C#), row 2 the line above tone 36 (C).
    QTest::newRow("V750 C# black key") << 300 << 0 << 750 << 16 << 10 << 0 << 0x00;
    QTest::newRow("V750 C# white part") << 300 << 0 << 750 << 16 << 55 << 0 << 0x99;
    QTest::newRow("V750 line above C") << 300 << 0 << 750 << 16 << 100 << 2 << 0x77;
    QTest::newRow("V750 C key") << 300 << 0 << 750 << 16 << 10 << 2 << 0x99;
    QTest::newRow("V750 cell") << 300 << 0 << 750 << 16 << 100 << 3 << 0x00;
    QTest::newRow("V750 separator 768") << 300 << 0 << 750 << 16 << 55 << 18 << 0x77;
    QTest::newRow("V750 B separator") << 300 << 0 << 750 << 16 << 10 << 18 << 0x77;
    QTest::newRow("V750 even band") << 300 << 0 << 750 << 16 << 55 << 30 << 0xAA;
    // H inside band 0 (H = 300: x = 0 is d = 236) and H = 40 (keyboard columns 0..23).
    QTest::newRow("H300 cell") << 300 << 300 << 0 << 16 << 0 << 1 << 0x00;
    QTest::newRow("H300 before line") << 300 << 300 << 0 << 16 << 3 << 1 << 0x00;
    QTest::newRow("H300 line d240") << 300 << 300 << 0 << 16 << 4 << 1 << 0x77;
    QTest::newRow("H300 band line") << 300 << 300 << 0 << 16 << 20 << 1 << 0x77;
    QTest::newRow("H300 band 1") << 300 << 300 << 0 << 16 << 21 << 1 << 0x33;
    QTest::newRow("H40 black key") << 300 << 40 << 0 << 16 << 7 << 20 << 0x00;
    QTest::newRow("H40 white key") << 300 << 40 << 0 << 16 << 8 << 20 << 0xAA;
    QTest::newRow("H40 grid line") << 300 << 40 << 0 << 16 << 24 << 20 << 0x77;
    QTest::newRow("H40 cell") << 300 << 40 << 0 << 16 << 25 << 20 << 0x00;
    // Row 0 counts as 1: bands one step wide. A negative Row draws the bands of its size.
    QTest::newRow("row 0 step 0") << 300 << 0 << 0 << 0 << 79 << 1 << 0x00;
    QTest::newRow("row 0 step 1") << 300 << 0 << 0 << 0 << 81 << 1 << 0x33;
    QTest::newRow("row 0 step 2") << 300 << 0 << 0 << 0 << 98 << 1 << 0x00;
    QTest::newRow("row 4 step 3") << 300 << 0 << 0 << 4 << 127 << 1 << 0x00;
    QTest::newRow("row 4 step 4") << 300 << 0 << 0 << 4 << 129 << 1 << 0x33;
    QTest::newRow("row -16 band 0") << 300 << 0 << 0 << -16 << 100 << 1 << 0x00;
    QTest::newRow("row -16 band 1") << 300 << 0 << 0 << -16 << 321 << 1 << 0x33;
    QTest::newRow("row INT_MIN") << 300 << 0 << 0 << INT_MIN << 321 << 1 << 0x00;
    // The lowest octave (tones -12..-1) at the bottom of the scroll range, V = 1554 - 154.
    QTest::newRow("tone -6 F# black") << 150 << 0 << 1400 << 16 << 10 << 30 << 0x00;
    QTest::newRow("tone -7 F white") << 150 << 0 << 1400 << 16 << 10 << 45 << 0x99;
    QTest::newRow("tone -11 C# black") << 150 << 0 << 1400 << 16 << 10 << 110 << 0x00;
    QTest::newRow("tone -12 C white") << 150 << 0 << 1400 << 16 << 10 << 125 << 0x99;
    // Above the world (not reachable by scrolling) the octave bands keep alternating.
    QTest::newRow("row -1 octave band -1") << 300 << 0 << -16 << 16 << 50 << 15 << 0x99;
    QTest::newRow("row -16 line") << 300 << 0 << -16 << 16 << 100 << 0 << 0x77;
    QTest::newRow("tone 84 C") << 300 << 0 << -16 << 16 << 10 << 5 << 0x99;
    QTest::newRow("separator row -28") << 300 << 0 << -40 << 16 << 50 << 12 << 0x77;
}

void DrawTest::patternPixels() {
    QFETCH(int, height);
    QFETCH(int, h);
    QFETCH(int, v);
    QFETCH(int, row);
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(int, grey);
    QImage image = GreyImage(400, height, kMarker);
    DrawPatternGrid(image, h, v, row, 0, nullptr);
    QCOMPARE(RgbAt(image, x, y), GreyRgb(grey));
}

void DrawTest::patternFrames_data() {
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("v");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("grey");
    // Time 0 Tone 83: the outline covers x 65..79, y 1..15.
    QTest::newRow("top left") << 0 << 0 << 65 << 1 << 0xAA;
    QTest::newRow("top right") << 0 << 0 << 79 << 1 << 0xAA;
    QTest::newRow("bottom left") << 0 << 0 << 65 << 15 << 0xAA;
    QTest::newRow("bottom right") << 0 << 0 << 79 << 15 << 0xAA;
    QTest::newRow("top middle") << 0 << 0 << 72 << 1 << 0xAA;
    QTest::newRow("left middle") << 0 << 0 << 65 << 8 << 0xAA;
    QTest::newRow("right middle") << 0 << 0 << 79 << 8 << 0xAA;
    QTest::newRow("bottom middle") << 0 << 0 << 72 << 15 << 0xAA;
    QTest::newRow("inside") << 0 << 0 << 72 << 8 << 0x00;
    QTest::newRow("left line") << 0 << 0 << 64 << 8 << 0x77;
    QTest::newRow("right line") << 0 << 0 << 80 << 8 << 0x77;
    QTest::newRow("top line") << 0 << 0 << 72 << 0 << 0x77;
    QTest::newRow("bottom line") << 0 << 0 << 72 << 16 << 0x77;
    QTest::newRow("other instrument") << 0 << 0 << 81 << 1 << 0x00;
    // Time 16 Tone 82 in band 1.
    QTest::newRow("band 1 corner") << 0 << 0 << 321 << 17 << 0xAA;
    QTest::newRow("band 1 inside") << 0 << 0 << 328 << 24 << 0x33;
    QTest::newRow("band 1 far corner") << 0 << 0 << 335 << 31 << 0xAA;
    // Time -1 Tone 83 (read from a file) lies on the keyboard, x 49..63.
    QTest::newRow("keyboard note") << 0 << 0 << 49 << 1 << 0xAA;
    QTest::newRow("keyboard note corner") << 0 << 0 << 63 << 15 << 0xAA;
    // V = 750: Time 2 Tone 37 spans rows -13..1, x 97..111.
    QTest::newRow("V750 bottom edge") << 0 << 750 << 104 << 1 << 0xAA;
    QTest::newRow("V750 bottom left") << 0 << 750 << 97 << 1 << 0xAA;
    QTest::newRow("V750 left column") << 0 << 750 << 97 << 0 << 0xAA;
    QTest::newRow("V750 right column") << 0 << 750 << 111 << 0 << 0xAA;
    QTest::newRow("V750 inside") << 0 << 750 << 104 << 0 << 0x00;
    QTest::newRow("V750 next line") << 0 << 750 << 112 << 1 << 0x77;
    // H = 100: Time 2 Tone 80 spans x -3..11, y 49..63; Time 0 is out of view.
    QTest::newRow("H100 clipped top") << 100 << 0 << 0 << 49 << 0xAA;
    QTest::newRow("H100 top right") << 100 << 0 << 11 << 49 << 0xAA;
    QTest::newRow("H100 right") << 100 << 0 << 11 << 56 << 0xAA;
    QTest::newRow("H100 bottom") << 100 << 0 << 5 << 63 << 0xAA;
    QTest::newRow("H100 inside") << 100 << 0 << 5 << 56 << 0x00;
    QTest::newRow("H100 line") << 100 << 0 << 12 << 49 << 0x77;
    QTest::newRow("H100 no Time 0") << 100 << 0 << 0 << 1 << 0x00;
    // H = 300: Time 16 Tone 82 spans x 21..35.
    QTest::newRow("H300 left") << 300 << 0 << 21 << 17 << 0xAA;
    QTest::newRow("H300 right") << 300 << 0 << 35 << 17 << 0xAA;
    QTest::newRow("H300 line") << 300 << 0 << 36 << 17 << 0x77;
    QTest::newRow("H300 inside") << 300 << 0 << 28 << 24 << 0x33;
}

void DrawTest::patternFrames() {
    QFETCH(int, h);
    QFETCH(int, v);
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(int, grey);
    std::vector<TIdPoint> notes{Note(0, 83, 2),  Note(1, 83, 3), Note(16, 82, 2),
                                Note(-1, 83, 2), Note(2, 37, 2), Note(2, 80, 2)};
    TPattern pattern{static_cast<int32_t>(notes.size()), notes.data()};
    QImage image = GreyImage(400, 300, kMarker);
    DrawPatternGrid(image, h, v, 16, 2, &pattern);
    QCOMPARE(RgbAt(image, x, y), GreyRgb(grey));
}

void DrawTest::patternNotesOutOfView() {
    QImage empty = GreyImage(400, 300, kMarker);
    DrawPatternGrid(empty, 0, 0, 16, 2, nullptr);
    std::vector<TIdPoint> notes{Note(INT_MAX, 40, 2),      Note(INT_MIN, 40, 2),
                                Note(3, INT_MIN, 2),       Note(3, INT_MAX, 2),
                                Note(-5, 83, 2),           Note(INT_MAX, INT_MIN, 2),
                                Note(INT_MIN, INT_MAX, 2), Note(3, -12, 2)};
    TPattern pattern{static_cast<int32_t>(notes.size()), notes.data()};
    QImage image = GreyImage(400, 300, kMarker);
    DrawPatternGrid(image, 0, 0, 16, 2, &pattern);
    QCOMPARE(image, empty);

    TPattern noPoints{5, nullptr};
    DrawPatternGrid(image, 0, 0, 16, 2, &noPoints);
    QCOMPARE(image, empty);
    // Extreme scroll offsets draw something without overflowing.
    DrawPatternGrid(image, INT_MAX, INT_MAX, INT_MAX, 2, &pattern);
    DrawPatternGrid(image, INT_MIN, INT_MIN, INT_MIN, 2, &pattern);
    QImage none;
    DrawPatternGrid(none, 0, 0, 16, 2, &pattern);
    QVERIFY(none.isNull());
}

void DrawTest::patternLabels_data() {
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("v");
    QTest::addColumn<QRect>("box");
    QTest::addColumn<bool>("written");
    // Labels are black text on the keys; only the keys' greys are background there.
    QTest::newRow("C8") << 0 << 0 << QRect(50, 179, 14, 13) << true;
    QTest::newRow("C7") << 0 << 0 << QRect(50, 371, 14, 13) << true;
    QTest::newRow("no label between C8 and C7") << 0 << 0 << QRect(48, 198, 16, 165) << false;
    QTest::newRow("no label above C8") << 0 << 0 << QRect(48, 0, 16, 170) << false;
    QTest::newRow("V750 C5") << 0 << 750 << QRect(50, 5, 14, 12) << true;
    QTest::newRow("V750 C4") << 0 << 750 << QRect(50, 197, 14, 13) << true;
    QTest::newRow("V1400 C1") << 0 << 1400 << QRect(50, 123, 14, 13) << true;
    QTest::newRow("H40 C8") << 40 << 0 << QRect(10, 179, 14, 13) << true;
}

void DrawTest::patternLabels() {
    QFETCH(int, h);
    QFETCH(int, v);
    QFETCH(QRect, box);
    QFETCH(bool, written);
    QImage image = GreyImage(300, 400, kMarker);
    DrawPatternGrid(image, h, v, 16, 0, nullptr);
    QCOMPARE(AnyPixelOtherThan(image, box, {GreyRgb(0xAA), GreyRgb(0x99), GreyRgb(0x77)}), written);
}

void DrawTest::patternCellAt_data() {
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("v");
    QTest::addColumn<int>("time");
    QTest::addColumn<int>("tone");
    QTest::newRow("grid origin") << 64 << 0 << 0 << 0 << 0 << 83;
    QTest::newRow("keyboard") << 63 << 0 << 0 << 0 << -1 << 83;
    QTest::newRow("left edge") << 0 << 15 << 0 << 0 << -4 << 83;
    QTest::newRow("second row") << 79 << 16 << 0 << 0 << 0 << 82;
    QTest::newRow("designed V") << 100 << 0 << 0 << 750 << 2 << 37;
    QTest::newRow("designed V row 2") << 100 << 2 << 0 << 750 << 2 << 36;
    QTest::newRow("H300") << 20 << 0 << 300 << 0 << 16 << 83;
    QTest::newRow("bottom of world") << 64 << 135 << 0 << 1400 << 0 << -12;
    // Dragged above or left of the picture: the cells continue outward.
    QTest::newRow("above the world") << 64 << -1 << 0 << 0 << 0 << 84;
    QTest::newRow("left of the world") << -1 << 0 << 0 << 0 << -5 << 83;
    QTest::newRow("extreme") << INT_MAX << INT_MAX << INT_MAX << INT_MAX << 268435451 << -268435372;
}

void DrawTest::patternCellAt() {
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(int, h);
    QFETCH(int, v);
    QFETCH(int, time);
    QFETCH(int, tone);
    const PatternCell cell = PatternCellAt(x, y, h, v);
    QCOMPARE(cell.Time, time);
    QCOMPARE(cell.Tone, tone);
}

void DrawTest::patternConvertsOtherFormats() {
    QImage image(100, 40, QImage::Format_Grayscale8);
    image.fill(0);
    DrawPatternGrid(image, 0, 0, 16, 0, nullptr);
    QCOMPARE(image.format(), QImage::Format_RGB32);
    QCOMPARE(RgbAt(image, 64, 5), GreyRgb(0x77));
    QCOMPARE(RgbAt(image, 99, 39), GreyRgb(0x00));
}

void DrawTest::trackPixels_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("v");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("grey");
    // Six cells a row at widths 96..111; the track frames patterns 7, 2 and 12 (beyond the ten).
    QTest::newRow("corner") << 103 << 0 << 0 << 0 << 0x77;
    QTest::newRow("left line") << 103 << 0 << 0 << 100 << 0x77;
    QTest::newRow("vertical line") << 103 << 0 << 16 << 40 << 0x77;
    QTest::newRow("horizontal line") << 103 << 0 << 40 << 16 << 0x77;
    QTest::newRow("last line") << 103 << 0 << 96 << 40 << 0x77;
    QTest::newRow("strip") << 103 << 0 << 100 << 40 << 0x00;
    QTest::newRow("bottom line") << 103 << 0 << 5 << 256 << 0x77;
    QTest::newRow("bottom cell") << 103 << 0 << 5 << 264 << 0x00;
    QTest::newRow("unframed cell") << 103 << 0 << 40 << 40 << 0x00;
    QTest::newRow("7 top left") << 103 << 0 << 17 << 17 << 0xAA;
    QTest::newRow("7 top right") << 103 << 0 << 31 << 17 << 0xAA;
    QTest::newRow("7 bottom left") << 103 << 0 << 17 << 31 << 0xAA;
    QTest::newRow("7 bottom right") << 103 << 0 << 31 << 31 << 0xAA;
    QTest::newRow("7 bottom") << 103 << 0 << 24 << 31 << 0xAA;
    QTest::newRow("7 right line") << 103 << 0 << 32 << 17 << 0x77;
    QTest::newRow("2 top left") << 103 << 0 << 33 << 1 << 0xAA;
    QTest::newRow("2 bottom right") << 103 << 0 << 47 << 15 << 0xAA;
    QTest::newRow("12 top left") << 103 << 0 << 1 << 33 << 0xAA;
    QTest::newRow("12 bottom") << 103 << 0 << 8 << 47 << 0xAA;
    QTest::newRow("12 inside") << 103 << 0 << 5 << 37 << 0x00;
    // Scrolled by 20: lines at y 12, 28...; frame 7 spans rows -3..11, frame 12 rows 13..27.
    QTest::newRow("V20 line") << 103 << 20 << 5 << 12 << 0x77;
    QTest::newRow("V20 next line") << 103 << 20 << 5 << 28 << 0x77;
    QTest::newRow("V20 left line") << 103 << 20 << 0 << 5 << 0x77;
    QTest::newRow("V20 7 bottom left") << 103 << 20 << 17 << 11 << 0xAA;
    QTest::newRow("V20 7 bottom") << 103 << 20 << 24 << 11 << 0xAA;
    QTest::newRow("V20 7 left") << 103 << 20 << 17 << 0 << 0xAA;
    QTest::newRow("V20 7 right") << 103 << 20 << 31 << 5 << 0xAA;
    QTest::newRow("V20 7 below") << 103 << 20 << 24 << 12 << 0x77;
    QTest::newRow("V20 12 top left") << 103 << 20 << 1 << 13 << 0xAA;
    QTest::newRow("V20 12 bottom right") << 103 << 20 << 15 << 27 << 0xAA;
    QTest::newRow("96 7 top left") << 96 << 0 << 17 << 17 << 0xAA;
    QTest::newRow("96 last column") << 96 << 0 << 95 << 40 << 0x00;
    // Ten cells a row.
    QTest::newRow("160 7") << 160 << 0 << 113 << 1 << 0xAA;
    QTest::newRow("160 12") << 160 << 0 << 33 << 17 << 0xAA;
}

void DrawTest::trackPixels() {
    QFETCH(int, width);
    QFETCH(int, v);
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(int, grey);
    std::vector<int32_t> entries{7, 2, 12};
    TTrackPattern track{3, entries.data()};
    QImage image = GreyImage(width, 265, kMarker);
    DrawTrackGrid(image, v, 10, &track);
    QCOMPARE(RgbAt(image, x, y), GreyRgb(grey));
}

void DrawTest::trackLabels_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("v");
    QTest::addColumn<QList<bool>>("written"); // cells 0..17 (rows 0..2) of the view
    const QList<bool> tenInSixes{true, true,  true,  true,  true,  true,  true,  true,  true,
                                 true, false, false, false, false, false, false, false, false};
    QTest::newRow("103 wide") << 103 << 0 << tenInSixes;
    QTest::newRow("96 wide") << 96 << 0 << tenInSixes;
    // Scrolled by one row: labels 7..10 at the top.
    QTest::newRow("scrolled") << 103 << 16 << QList<bool>{true,  true,  true,  true,  false, false,
                                                          false, false, false, false, false, false,
                                                          false, false, false, false, false, false};
}

void DrawTest::trackLabels() {
    QFETCH(int, width);
    QFETCH(int, v);
    QFETCH(QList<bool>, written);
    std::vector<int32_t> entries{7, 2, 12};
    TTrackPattern track{3, entries.data()};
    QImage image = GreyImage(width, 265, kMarker);
    DrawTrackGrid(image, v, 10, &track);
    for (int cell = 0; cell < written.size(); ++cell) {
        // Inside the cell's frame, where only the label can differ from the black background.
        const QRect box(16 * (cell % 6) + 2, 16 * (cell / 6) + 2, 13, 13);
        QVERIFY2(AnyPixelOtherThan(image, box, {GreyRgb(0x00)}) == written[cell],
                 qPrintable(QStringLiteral("cell %1").arg(cell)));
    }
}

void DrawTest::trackNegativeEntriesAndNarrowImage() {
    QImage plain = GreyImage(103, 100, kMarker);
    DrawTrackGrid(plain, 0, 10, nullptr);
    std::vector<int32_t> entries{-1, -6, -7, INT_MIN, INT_MAX, 600};
    TTrackPattern track{static_cast<int32_t>(entries.size()), entries.data()};
    QImage image = GreyImage(103, 100, kMarker);
    DrawTrackGrid(image, 0, 10, &track);
    QCOMPARE(image, plain);
    TTrackPattern noEntries{4, nullptr};
    DrawTrackGrid(image, 0, 10, &noEntries);
    QCOMPARE(image, plain);

    // Narrower than a cell: the grid alone, no labels and no frames.
    std::vector<int32_t> first{0};
    TTrackPattern framed{1, first.data()};
    QImage narrow = GreyImage(15, 40, kMarker);
    DrawTrackGrid(narrow, 0, 10, &framed);
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 15; ++x) {
            const bool line = x == 0 || y % 16 == 0;
            QCOMPARE(RgbAt(narrow, x, y), GreyRgb(line ? 0x77 : 0x00));
        }
    }
    // Far scroll positions and huge counts stay quick and in range.
    DrawTrackGrid(image, INT_MAX, INT_MAX, &track);
    DrawTrackGrid(image, INT_MIN, INT_MAX, &track);
}

void DrawTest::trackCellAt_data() {
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("v");
    QTest::addColumn<int>("cell");
    QTest::newRow("first") << 0 << 0 << 103 << 0 << 0;
    QTest::newRow("row 1 column 1") << 20 << 20 << 103 << 0 << 7;
    QTest::newRow("96 wide") << 20 << 20 << 96 << 0 << 7;
    QTest::newRow("strip gives next row") << 100 << 5 << 103 << 0 << 6;
    QTest::newRow("strip of row 1") << 100 << 20 << 103 << 0 << 12;
    QTest::newRow("scrolled") << 20 << 20 << 103 << 20 << 13;
    QTest::newRow("ten a row") << 20 << 20 << 160 << 0 << 11;
    // No cell: narrower than a cell, left of the picture, above the first row.
    QTest::newRow("narrow") << 5 << 5 << 15 << 0 << -1;
    QTest::newRow("left") << -1 << 5 << 103 << 0 << -1;
    QTest::newRow("above") << 5 << -1 << 103 << 0 << -1;
    QTest::newRow("beyond int") << 0 << INT_MAX << INT_MAX << INT_MAX << INT_MAX;
}

void DrawTest::trackCellAt() {
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(int, width);
    QFETCH(int, v);
    QFETCH(int, cell);
    QCOMPARE(TrackCellAt(x, y, width, v), cell);
}

void DrawTest::sampleColumns_data() {
    QTest::addColumn<int>("format");
    QTest::addColumn<QList<int>>("values");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("from"); // black image rows from..to; -1 -1: column left as it was
    QTest::addColumn<int>("to");
    // h = 97: the middle is row 48 from the bottom, image row 48; full scale reaches 64 rows.
    const QList<int> four{32767, -32768, 0, 1000};
    QTest::newRow("full up, clipped") << 1 << four << 97 << 0 << 0 << 48;
    QTest::newRow("full down, keeps the top") << 1 << four << 97 << 1 << 0 << 96;
    QTest::newRow("back to middle") << 1 << four << 97 << 2 << 48 << 96;
    QTest::newRow("1000 is one row") << 1 << four << 97 << 3 << 47 << 48;
    QTest::newRow("after the frames") << 1 << four << 97 << 4 << -1 << -1;
    QTest::newRow("-1 shifts down") << 1 << QList<int>{-1} << 97 << 0 << 48 << 49;
    QTest::newRow("full up, h 200") << 1 << QList<int>{32767} << 200 << 0 << 36 << 99;
    QTest::newRow("full down, h 200") << 1 << QList<int>{-32768} << 200 << 0 << 99 << 163;
    QTest::newRow("h 10") << 1 << QList<int>{1000} << 10 << 0 << 3 << 4;
    QTest::newRow("h 10 clipped up") << 1 << QList<int>{32767} << 10 << 0 << 0 << 4;
    QTest::newRow("h 10 clipped down") << 1 << QList<int>{-32768} << 10 << 0 << 4 << 9;
    QTest::newRow("other format as mono") << 0 << QList<int>{32767} << 97 << 0 << 0 << 48;
    // Stereo: (1000 + 3000) / 2 = 2000 -> 3; (-1000 - 3001) >> 1 = -2001 -> -4.
    const QList<int> stereo{1000, 3000, -1000, -3001};
    QTest::newRow("stereo average") << 2 << stereo << 97 << 0 << 45 << 48;
    QTest::newRow("stereo range") << 2 << stereo << 97 << 1 << 45 << 52;
    QTest::newRow("stereo after") << 2 << stereo << 97 << 2 << -1 << -1;
    QTest::newRow("stereo full up") << 2 << QList<int>{32767, 32767} << 97 << 0 << 0 << 48;
    QTest::newRow("stereo full down") << 2 << QList<int>{-32768, -32768} << 97 << 0 << 48 << 96;
    QTest::newRow("stereo opposite") << 2 << QList<int>{32767, -32768} << 97 << 0 << 48 << 49;
}

void DrawTest::sampleColumns() {
    QFETCH(int, format);
    QFETCH(QList<int>, values);
    QFETCH(int, height);
    QFETCH(int, column);
    QFETCH(int, from);
    QFETCH(int, to);
    const Sample sample = MakeSample(static_cast<uint8_t>(format),
                                     std::vector<int16_t>(values.begin(), values.end()));
    QImage image = GreyImage(496, height, kMarker);
    DrawSample(image, 496, sample.get());
    if (from < 0) {
        QVERIFY(ColumnUntouched(image, column));
    } else {
        QVERIFY(ColumnIs(image, column, from, to));
    }
}

void DrawTest::sampleLongAndShort() {
    const Sample longSample = MakeSample(1, std::vector<int16_t>(10000, 0));
    QImage image = GreyImage(496, 97, kMarker);
    DrawSample(image, 496, longSample.get());
    for (int x = 0; x < 496; ++x) {
        QVERIFY2(ColumnIs(image, x, 48, 48), qPrintable(QString::number(x)));
    }
    const Sample shortSample = MakeSample(1, std::vector<int16_t>(100, 0));
    image = GreyImage(496, 97, kMarker);
    DrawSample(image, 496, shortSample.get());
    for (int x = 0; x < 496; ++x) {
        QVERIFY2(x < 100 ? ColumnIs(image, x, 48, 48) : ColumnUntouched(image, x),
                 qPrintable(QString::number(x)));
    }
}

// 992 frames in 496 columns (two a column): column j >= 1 shows frames 2j - 2 .. 2j, so a peak
// at frame 5 shows in column 3 only.
void DrawTest::sampleNeighbouringFramesShareColumns() {
    std::vector<int16_t> values(992, 0);
    values[5] = 32767;
    const Sample sample = MakeSample(1, values);
    QImage image = GreyImage(496, 97, kMarker);
    DrawSample(image, 496, sample.get());
    QVERIFY(ColumnIs(image, 2, 48, 48));
    QVERIFY(ColumnIs(image, 3, 0, 48));
    QVERIFY(ColumnIs(image, 4, 48, 48));
    QVERIFY(ColumnIs(image, 495, 48, 48));
}

void DrawTest::sampleWidthKeepsContent() {
    QImage image = GreyImage(100, 97, kMarker);
    DrawSample(image, 120, nullptr);
    QCOMPARE(image.size(), QSize(120, 97));
    QCOMPARE(image.format(), QImage::Format_RGB32);
    QCOMPARE(RgbAt(image, 99, 50), GreyRgb(kMarker));
    QCOMPARE(RgbAt(image, 100, 0), GreyRgb(0xFF));
    QCOMPARE(RgbAt(image, 119, 96), GreyRgb(0xFF));

    DrawSample(image, 50, nullptr);
    QCOMPARE(image.size(), QSize(50, 97));
    QCOMPARE(RgbAt(image, 49, 96), GreyRgb(kMarker));

    // Two frames in 50 columns: one column each.
    const Sample sample = MakeSample(1, {0, 0});
    DrawSample(image, 50, sample.get());
    QVERIFY(ColumnIs(image, 0, 48, 48));
    QVERIFY(ColumnIs(image, 1, 48, 48));
    QVERIFY(ColumnUntouched(image, 2));

    DrawSample(image, 0, sample.get());
    QCOMPARE(image.width(), 0);
    DrawSample(image, -5, sample.get());
    QCOMPARE(image.width(), 0);
}

void DrawTest::sampleBadSizes_data() {
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("dataSize");
    QTest::addColumn<int>("bytes"); // of the block's data
    QTest::addColumn<int>("columns");
    QTest::newRow("negative") << 1 << -2 << 0 << 0;
    QTest::newRow("most negative") << 1 << INT_MIN << 0 << 0;
    QTest::newRow("empty") << 1 << 0 << 0 << 0;
    QTest::newRow("one byte") << 1 << 1 << 1 << 0;
    QTest::newRow("odd") << 1 << 7 << 7 << 3;
    QTest::newRow("stereo part frame") << 2 << 6 << 6 << 1;
    QTest::newRow("stereo half frame") << 2 << 2 << 2 << 0;
    QTest::newRow("stereo negative") << 2 << -8 << 0 << 0;
}

void DrawTest::sampleBadSizes() {
    QFETCH(int, format);
    QFETCH(int, dataSize);
    QFETCH(int, bytes);
    QFETCH(int, columns);
    const Sample sample = MakeSample(static_cast<uint8_t>(format), std::vector<int16_t>(8, 0),
                                     dataSize, static_cast<size_t>(bytes));
    QImage image = GreyImage(496, 97, kMarker);
    DrawSample(image, 496, sample.get());
    for (int x = 0; x < 496; ++x) {
        QVERIFY(x < columns ? ColumnIs(image, x, 48, 48) : ColumnUntouched(image, x));
    }
}

QTEST_MAIN(DrawTest)
#include "draw_test.moc"
