// The three pictures, pixel by pixel, at coordinates worked out by hand from the drawing rules.
#include "pixels.h"
#include "test_blocks.h"
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

struct BlockDeleter {
    void operator()(SampleBlock* b) const { std::free(b); }
};
using Sample = std::unique_ptr<SampleBlock, BlockDeleter>;

// DataSize may claim anything: reading past the data is caught by the address checker.
Sample MakeSample(uint8_t format, const std::vector<int16_t>& values, int32_t dataSize,
                  size_t bytes) {
    Sample b(NewBlock(format, dataSize, bytes));
    for (size_t i = 0; i < values.size() && 2 * i + 2 <= bytes; ++i) {
        StoreS16(SampleData(b.get()) + 2 * i, values[i]);
    }
    return b;
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

// What a probe of a picture should find: the grey at (x, y).
struct Probe {
    int x, y, grey;
};

// The first probe the image does not match, described; empty when all match.
QString Mismatch(const QImage& image, const std::vector<Probe>& probes) {
    for (const Probe& p : probes) {
        if (RgbAt(image, p.x, p.y) != GreyRgb(p.grey)) {
            return QStringLiteral("(%1, %2) is %3")
                .arg(p.x)
                .arg(p.y)
                .arg(RgbAt(image, p.x, p.y), 0, 16);
        }
    }
    return {};
}

} // namespace

class DrawTest : public QObject {
    Q_OBJECT
  private slots:
    void patternPixels();
    void patternFrames();
    void patternNotesOutOfView();
    void patternLabels();
    void patternCellAt();
    void patternConvertsOtherFormats();
    void trackPixels();
    void trackLabels();
    void trackNegativeEntriesAndNarrowImage();
    void trackCellAt();
    void sampleColumns();
    void sampleLongAndShort();
    void sampleNeighbouringFramesShareColumns();
    void sampleWidthKeepsContent();
    void sampleBadSizes();
};

void DrawTest::patternPixels() {
    const struct {
        int height, h, v, row;
        std::vector<Probe> probes;
    } views[] = {
        // H = V = 0, Row 16: grid from x 64, tone 83 in rows 0..15, tone 82 (A#) in rows
        // 16..31: the origin line, a cell, band 1 from step 16 to 19; white keys to x 63 with
        // separators at rows 0, 27, 82, 192; an odd octave band; the black key A# over x 0..47,
        // also over a separator; B without one.
        {300,
         0,
         0,
         16,
         {{64, 0, 0x77},
          {65, 1, 0x00},
          {321, 1, 0x33},
          {383, 5, 0x33},
          {50, 1, 0xAA},
          {63, 20, 0xAA},
          {50, 0, 0x77},
          {50, 27, 0x77},
          {50, 28, 0xAA},
          {50, 82, 0x77},
          {50, 192, 0x77},
          {50, 200, 0x99},
          {0, 20, 0x00},
          {47, 20, 0x00},
          {48, 20, 0xAA},
          {10, 27, 0x00},
          {10, 5, 0xAA}}},
        // The designed V = 750: rows 0..1 are tone 37 (C#), row 2 the line above tone 36 (C).
        {300,
         0,
         750,
         16,
         {{10, 0, 0x00},
          {55, 0, 0x99},
          {100, 2, 0x77},
          {100, 3, 0x00},
          {55, 18, 0x77},
          {55, 30, 0xAA}}},
        // H inside band 0 (H = 300: x = 0 is d = 236) and H = 40 (keyboard columns 0..23).
        {300, 300, 0, 16, {{0, 1, 0x00}, {4, 1, 0x77}, {21, 1, 0x33}}},
        {300, 40, 0, 16, {{7, 20, 0x00}, {8, 20, 0xAA}, {24, 20, 0x77}, {25, 20, 0x00}}},
        // Row 0 counts as 1: bands one step wide. A negative Row draws the bands of its size.
        {300, 0, 0, 0, {{79, 1, 0x00}, {81, 1, 0x33}}},
        {300, 0, 0, 4, {{129, 1, 0x33}}},
        {300, 0, 0, -16, {{321, 1, 0x33}}},
        {300, 0, 0, INT_MIN, {{321, 1, 0x00}}},
        // The lowest octave (tones -12..-1) at the bottom of the scroll range, V = 1554 - 154:
        // F# black, C white.
        {150, 0, 1400, 16, {{10, 30, 0x00}, {10, 125, 0x99}}},
        // Above the world (not reachable by scrolling) the octave bands keep alternating.
        {300, 0, -16, 16, {{50, 15, 0x99}, {10, 5, 0x99}}},
        {300, 0, -40, 16, {{50, 12, 0x77}}},
    };
    for (const auto& view : views) {
        QImage image = GreyImage(400, view.height, kMarker);
        DrawPatternGrid(image, view.h, view.v, view.row, 0, nullptr);
        const QString wrong = Mismatch(image, view.probes);
        QVERIFY2(wrong.isEmpty(),
                 qPrintable(QStringLiteral("H %1 V %2: ").arg(view.h).arg(view.v) + wrong));
    }
}

void DrawTest::patternFrames() {
    const struct {
        int h, v;
        std::vector<Probe> probes;
    } views[] = {
        // Time 0 Tone 83: the outline covers x 65..79, y 1..15; instrument 3's note at Time 1 is
        // not framed. Time 16 Tone 82 lies in band 1; Time -1 Tone 83 (read from a file) on the
        // keyboard, x 49..63.
        {0,
         0,
         {{65, 1, 0xAA},
          {79, 15, 0xAA},
          {72, 15, 0xAA},
          {72, 8, 0x00},
          {81, 1, 0x00},
          {321, 17, 0xAA},
          {328, 24, 0x33},
          {49, 1, 0xAA}}},
        // V = 750: Time 2 Tone 37 spans rows -13..1, x 97..111.
        {0, 750, {{104, 1, 0xAA}, {97, 0, 0xAA}, {104, 0, 0x00}, {112, 1, 0x77}}},
        // H = 100: Time 2 Tone 80 spans x -3..11, y 49..63; Time 0 is out of view.
        {100, 0, {{0, 49, 0xAA}, {5, 56, 0x00}, {12, 49, 0x77}, {0, 1, 0x00}}},
        // H = 300: Time 16 Tone 82 spans x 21..35.
        {300, 0, {{21, 17, 0xAA}, {36, 17, 0x77}}},
    };
    std::vector<TIdPoint> notes{Note(0, 83, 2),  Note(1, 83, 3), Note(16, 82, 2),
                                Note(-1, 83, 2), Note(2, 37, 2), Note(2, 80, 2)};
    TPattern pattern{static_cast<int32_t>(notes.size()), notes.data()};
    for (const auto& view : views) {
        QImage image = GreyImage(400, 300, kMarker);
        DrawPatternGrid(image, view.h, view.v, 16, 2, &pattern);
        const QString wrong = Mismatch(image, view.probes);
        QVERIFY2(wrong.isEmpty(),
                 qPrintable(QStringLiteral("H %1 V %2: ").arg(view.h).arg(view.v) + wrong));
    }
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

void DrawTest::patternLabels() {
    // Labels are black text on the keys; only the keys' greys are background there.
    const struct {
        int h, v;
        QRect box;
        bool written;
    } cases[] = {
        {0, 0, QRect(50, 179, 14, 13), true},    // C8
        {0, 0, QRect(50, 371, 14, 13), true},    // C7
        {0, 0, QRect(48, 198, 16, 165), false},  // between C8 and C7
        {0, 0, QRect(48, 0, 16, 170), false},    // above C8
        {0, 750, QRect(50, 5, 14, 12), true},    // C5
        {0, 1400, QRect(50, 123, 14, 13), true}, // C1
        {40, 0, QRect(10, 179, 14, 13), true},   // C8
    };
    for (const auto& c : cases) {
        QImage image = GreyImage(300, 400, kMarker);
        DrawPatternGrid(image, c.h, c.v, 16, 0, nullptr);
        QCOMPARE(AnyPixelOtherThan(image, c.box, {GreyRgb(0xAA), GreyRgb(0x99), GreyRgb(0x77)}),
                 c.written);
    }
}

void DrawTest::patternCellAt() {
    const struct {
        int x, y, h, v, time, tone;
    } cases[] = {
        {64, 0, 0, 0, 0, 83},
        {63, 0, 0, 0, -1, 83},
        {0, 15, 0, 0, -4, 83},
        {100, 0, 0, 750, 2, 37},
        {20, 0, 300, 0, 16, 83},
        {64, 135, 0, 1400, 0, -12},
        // Dragged above or left of the picture: the cells continue outward.
        {64, -1, 0, 0, 0, 84},
        {-1, 0, 0, 0, -5, 83},
        {INT_MAX, INT_MAX, INT_MAX, INT_MAX, 268435451, -268435372},
    };
    for (const auto& c : cases) {
        const PatternCell cell = PatternCellAt(c.x, c.y, c.h, c.v);
        QCOMPARE(cell.Time, c.time);
        QCOMPARE(cell.Tone, c.tone);
    }
}

void DrawTest::patternConvertsOtherFormats() {
    QImage image(100, 40, QImage::Format_Grayscale8);
    image.fill(0);
    DrawPatternGrid(image, 0, 0, 16, 0, nullptr);
    QCOMPARE(image.format(), QImage::Format_RGB32);
    QCOMPARE(RgbAt(image, 64, 5), GreyRgb(0x77));
    QCOMPARE(RgbAt(image, 99, 39), GreyRgb(0x00));
}

void DrawTest::trackPixels() {
    const struct {
        int width, v;
        std::vector<Probe> probes;
    } views[] = {
        // Six cells a row at widths 96..111; the track frames patterns 7, 2 and 12 (beyond the
        // ten): grid lines, the strip right of the last cell, unframed cells, the frames just
        // inside their cells.
        {103,
         0,
         {{0, 0, 0x77},
          {16, 40, 0x77},
          {40, 16, 0x77},
          {96, 40, 0x77},
          {100, 40, 0x00},
          {5, 264, 0x00},
          {40, 40, 0x00},
          {17, 17, 0xAA},
          {31, 31, 0xAA},
          {32, 17, 0x77},
          {47, 15, 0xAA},
          {1, 33, 0xAA},
          {5, 37, 0x00}}},
        // Scrolled by 20: lines at y 12, 28...; frame 7 spans rows -3..11, frame 12 rows 13..27.
        {103, 20, {{5, 12, 0x77}, {17, 11, 0xAA}, {17, 0, 0xAA}, {24, 12, 0x77}, {1, 13, 0xAA}}},
        {96, 0, {{17, 17, 0xAA}, {95, 40, 0x00}}},
        // Ten cells a row.
        {160, 0, {{113, 1, 0xAA}, {33, 17, 0xAA}}},
    };
    std::vector<int32_t> entries{7, 2, 12};
    TTrackPattern track{3, entries.data()};
    for (const auto& view : views) {
        QImage image = GreyImage(view.width, 265, kMarker);
        DrawTrackGrid(image, view.v, 10, &track);
        const QString wrong = Mismatch(image, view.probes);
        QVERIFY2(wrong.isEmpty(),
                 qPrintable(QStringLiteral("width %1 V %2: ").arg(view.width).arg(view.v) + wrong));
    }
}

void DrawTest::trackLabels() {
    // Cells 0..17 (rows 0..2) of the view: labels 1..10 in six cells a row; scrolled by one
    // row, labels 7..10 at the top.
    const struct { int width, v, labels; } cases[] = {{103, 0, 10}, {96, 0, 10}, {103, 16, 4}};
    for (const auto& c : cases) {
        std::vector<int32_t> entries{7, 2, 12};
        TTrackPattern track{3, entries.data()};
        QImage image = GreyImage(c.width, 265, kMarker);
        DrawTrackGrid(image, c.v, 10, &track);
        for (int cell = 0; cell < 18; ++cell) {
            // Inside the cell's frame, where only the label can differ from the black background.
            const QRect box(16 * (cell % 6) + 2, 16 * (cell / 6) + 2, 13, 13);
            QVERIFY2(AnyPixelOtherThan(image, box, {GreyRgb(0x00)}) == (cell < c.labels),
                     qPrintable(QStringLiteral("cell %1").arg(cell)));
        }
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

void DrawTest::trackCellAt() {
    const struct {
        int x, y, width, v, cell;
    } cases[] = {
        {0, 0, 103, 0, 0},
        {20, 20, 103, 0, 7},
        {20, 20, 96, 0, 7},
        {100, 5, 103, 0, 6}, // the strip gives the next row
        {20, 20, 103, 20, 13},
        {20, 20, 160, 0, 11},
        // No cell: narrower than a cell, left of the picture, above the first row.
        {5, 5, 15, 0, -1},
        {-1, 5, 103, 0, -1},
        {5, -1, 103, 0, -1},
        {0, INT_MAX, INT_MAX, INT_MAX, INT_MAX},
    };
    for (const auto& c : cases) {
        QCOMPARE(TrackCellAt(c.x, c.y, c.width, c.v), c.cell);
    }
}

void DrawTest::sampleColumns() {
    // h = 97: the middle is row 48 from the bottom, image row 48; full scale reaches 64 rows.
    // Stereo: (1000 + 3000) / 2 = 2000 -> 3; (-1000 - 3001) >> 1 = -2001 -> -4.
    const std::vector<int16_t> four{32767, -32768, 0, 1000};
    const std::vector<int16_t> stereo{1000, 3000, -1000, -3001};
    const struct {
        uint8_t format;
        std::vector<int16_t> values;
        int height, column;
        int from, to; // black image rows from..to; -1 -1: column left as it was
    } cases[] = {
        {1, four, 97, 0, 0, 48},      {1, four, 97, 1, 0, 96},
        {1, four, 97, 2, 48, 96},     {1, four, 97, 3, 47, 48},
        {1, four, 97, 4, -1, -1},     {1, {-1}, 97, 0, 48, 49},
        {1, {32767}, 200, 0, 36, 99}, {1, {-32768}, 200, 0, 99, 163},
        {1, {1000}, 10, 0, 3, 4},     {1, {-32768}, 10, 0, 4, 9},
        {0, {32767}, 97, 0, 0, 48}, // other formats as mono
        {2, stereo, 97, 0, 45, 48},   {2, stereo, 97, 1, 45, 52},
        {2, stereo, 97, 2, -1, -1},   {2, {32767, -32768}, 97, 0, 48, 49},
    };
    for (const auto& c : cases) {
        const Sample sample = MakeSample(c.format, c.values);
        QImage image = GreyImage(496, c.height, kMarker);
        DrawSample(image, 496, sample.get());
        QVERIFY(c.from < 0 ? ColumnUntouched(image, c.column)
                           : ColumnIs(image, c.column, c.from, c.to));
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

void DrawTest::sampleBadSizes() {
    const struct {
        uint8_t format;
        int32_t dataSize;
        size_t bytes; // of the block's data
        int columns;
    } cases[] = {{1, -2, 0, 0}, {1, 0, 0, 0}, {1, 1, 1, 0},
                 {1, 7, 7, 3},  {2, 6, 6, 1}, {2, 2, 2, 0}};
    for (const auto& c : cases) {
        const Sample sample = MakeSample(c.format, std::vector<int16_t>(8, 0), c.dataSize, c.bytes);
        QImage image = GreyImage(496, 97, kMarker);
        DrawSample(image, 496, sample.get());
        for (int x = 0; x < 496; ++x) {
            QVERIFY(x < c.columns ? ColumnIs(image, x, 48, 48) : ColumnUntouched(image, x));
        }
    }
}

QTEST_MAIN(DrawTest)
#include "draw_test.moc"
