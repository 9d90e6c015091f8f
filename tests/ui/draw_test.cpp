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
#include <span>
#include <tuple>
#include <vector>

using namespace kellix;
using namespace kellix::test;

namespace {

constexpr int kMarker = 0x55; // a grey none of the pictures uses: "left as it was"

using Sample = std::unique_ptr<SampleBlock, decltype(&std::free)>;

// DataSize may claim anything: reading past the data is caught by the address checker.
Sample MakeSample(uint8_t format, const std::vector<int16_t>& values, int32_t dataSize,
                  size_t bytes) {
    Sample b(NewBlock(format, dataSize, bytes), &std::free);
    for (size_t i = 0; i < values.size() && 2 * i + 2 <= bytes; ++i) {
        StoreS16(SampleData(b.get()) + 2 * i, values[i]);
    }
    return b;
}
Sample MakeSample(uint8_t format, const std::vector<int16_t>& values) {
    return MakeSample(format, values, int32_t(2 * values.size()), 2 * values.size());
}

// Column x holds black exactly in the image rows from..to and white elsewhere; from < 0: the
// column was left as it was.
bool ColumnIs(const QImage& image, int x, int from, int to) {
    for (int y = 0; y < image.height(); ++y) {
        const int grey = from < 0 ? kMarker : y >= from && y <= to ? 0x00 : 0xFF;
        if (RgbAt(image, x, y) != GreyRgb(grey)) {
            return false;
        }
    }
    return true;
}

// What a probe of a picture should find: the grey at (x, y).
struct Probe {
    int x, y, grey;
};

// The probes the picture does not match; empty when all match.
QString Mismatch(const QImage& image, const std::vector<Probe>& probes) {
    QString wrong;
    for (const Probe& p : probes) {
        if (RgbAt(image, p.x, p.y) != GreyRgb(p.grey)) {
            wrong += QStringLiteral("(%1, %2) ").arg(p.x).arg(p.y);
        }
    }
    return wrong;
}

TIdPoint Note(int32_t time, int32_t tone, int32_t instrument) {
    return {time, tone, instrument, 256, 128};
}

void DrawPattern(QImage& image, int h, int v, int32_t row, int32_t instrument,
                 std::span<const TIdPoint> notes = {}) {
    DrawPatternGrid(image, {.View = {h, v}, .Row = row, .Instrument = instrument, .Notes = notes});
}

QImage Sampled(const Sample& sample) {
    QImage image = GreyImage(496, 97, kMarker);
    DrawSample(image, 496, sample.get());
    return image;
}

} // namespace

class DrawTest : public QObject {
    Q_OBJECT
  private slots:

    void patternPixels() {
        // The view (H, V, Row) and what it shows.
        const std::tuple<int, int, int, std::vector<Probe>> views[] = {
            // H = V = 0, Row 16: grid from x 64, tone 83 in rows 0..15, tone 82 (A#) in rows
            // 16..31: the origin line, band 1 from step 16, a white key, a key separator, an odd
            // octave band, the black key A# over x 0..47, a black key over a separator.
            {0, 0, 16, {{64, 0, 0x77}, {321, 1, 0x33}, {50, 1, 0xAA}, {50, 27, 0x77}}},
            {0, 0, 16, {{50, 200, 0x99}, {47, 20, 0x00}, {10, 27, 0x00}}},
            // The designed V = 750: row 2 is the line above tone 36. H = 40: the keyboard moves
            // left with the grid; the black key A# ends at x 7.
            {0, 750, 16, {{100, 2, 0x77}}},
            {40, 0, 16, {{8, 20, 0xAA}}},
            // Row 0 counts as 1; a negative Row draws the bands of its size; INT_MIN none.
            {0, 0, 0, {{81, 1, 0x33}}},
            {0, 0, -16, {{321, 1, 0x33}}},
            {0, 0, INT_MIN, {{321, 1, 0x00}}},
            // The lowest octave (tones -12..-1) at the bottom of the scroll range: F# black.
            // Above the world (not reachable by scrolling) the octave bands keep alternating.
            {0, 1400, 16, {{10, 30, 0x00}}},
            {0, -16, 16, {{50, 15, 0x99}}},
        };
        for (const auto& [h, v, row, probes] : views) {
            QImage image = GreyImage(400, 300, kMarker);
            DrawPattern(image, h, v, row, 2);
            QCOMPARE(Mismatch(image, probes), QString());
        }
        // Other formats are converted.
        QImage grey(100, 40, QImage::Format_Grayscale8);
        DrawPattern(grey, 0, 0, 16, 0);
        QCOMPARE(RgbAt(grey, 64, 5), GreyRgb(0x77));
    }

    void patternNotesOutOfView() {
        QImage empty = GreyImage(400, 300, kMarker);
        DrawPattern(empty, 0, 0, 16, 2);
        std::vector<TIdPoint> notes{Note(INT_MAX, 40, 2), Note(INT_MIN, 40, 2), Note(3, INT_MIN, 2),
                                    Note(3, INT_MAX, 2),  Note(-5, 83, 2),      Note(3, -12, 2)};
        QImage image = GreyImage(400, 300, kMarker);
        DrawPattern(image, 0, 0, 16, 2, notes);
        QCOMPARE(image, empty);
        // Extreme scroll offsets and an empty image draw without overflowing.
        DrawPattern(image, INT_MAX, INT_MAX, INT_MAX, 2, notes);
        DrawPattern(image, INT_MIN, INT_MIN, INT_MIN, 2, notes);
        QImage none;
        DrawPattern(none, 0, 0, 16, 2, notes);
        QVERIFY(none.isNull());
    }

    void trackPixels() {
        // Six cells a row at widths 96..111, ten at 160; the track frames patterns 7, 2 and 12:
        // the last line of a row, the strip right of it, frames just inside their cells.
        // Scrolled by 20, frame 7 spans rows -3..11, frame 12 rows 13..27.
        const std::tuple<int, int, std::vector<Probe>> views[] = {
            {103, 0, {{96, 40, 0x77}, {100, 40, 0x00}, {17, 17, 0xAA}, {1, 33, 0xAA}}},
            {103, 20, {{17, 0, 0xAA}, {1, 13, 0xAA}}},
            {96, 0, {{95, 40, 0x00}}},
            {160, 0, {{113, 1, 0xAA}}},
        };
        TTrackPattern track{{7, 2, 12}};
        for (const auto& [width, v, probes] : views) {
            QImage image = GreyImage(width, 265, kMarker);
            DrawTrackGrid(image, v, 10, &track);
            QCOMPARE(Mismatch(image, probes), QString());
        }
    }

    void trackNegativeEntriesAndNarrowImage() {
        QImage plain = GreyImage(103, 100, kMarker);
        DrawTrackGrid(plain, 0, 10, nullptr);
        TTrackPattern track{{-1, -7, INT_MIN, INT_MAX, 600}};
        QImage image = GreyImage(103, 100, kMarker);
        DrawTrackGrid(image, 0, 10, &track);
        QCOMPARE(image, plain);
        // Far scroll positions and huge counts stay quick and in range.
        DrawTrackGrid(image, INT_MAX, INT_MAX, &track);
        DrawTrackGrid(image, INT_MIN, INT_MAX, &track);

        // Narrower than a cell: the grid alone, no labels and no frames.
        TTrackPattern framed{{0}};
        QImage narrow = GreyImage(15, 40, kMarker);
        DrawTrackGrid(narrow, 0, 10, &framed);
        QCOMPARE(RgbAt(narrow, 0, 5), GreyRgb(0x77));
        QVERIFY(!AnyPixelOtherThan(narrow, QRect(1, 1, 14, 15), {GreyRgb(0x00)}));
    }

    void trackCellAt() {
        // x, y, the picture's width, V and the cell.
        const std::tuple<int, int, int, int, int> cases[] = {
            {20, 20, 103, 0, 7},   {20, 20, 96, 0, 7},
            {100, 5, 103, 0, 6},                      // the strip: next row
            {20, 20, 103, 20, 13}, {5, 5, 15, 0, -1}, // narrower than a cell
            {-1, 5, 103, 0, -1},   {0, INT_MAX, INT_MAX, INT_MAX, INT_MAX},
        };
        for (const auto& [x, y, width, v, cell] : cases) {
            QCOMPARE(TrackCellAt(x, y, width, v), cell);
        }
    }

    void sampleColumns() {
        // h = 97: the middle is image row 48; full scale reaches 64 rows.
        // Stereo: (1000 + 3000) / 2 = 2000 -> 3; (-1000 - 3001) >> 1 = -2001 -> -4.
        // 992 frames in 496 columns: column j >= 1 shows frames 2j - 2 .. 2j, so a peak at frame
        // 5 shows in column 3 only.
        const std::vector<int16_t> four{32767, -32768, 0, 1000};
        const std::vector<int16_t> stereo{1000, 3000, -1000, -3001};
        std::vector<int16_t> peak(992, 0);
        peak[5] = 32767;
        // The format, the values, a column and the black image rows from..to in it (-1: the
        // column is left as it was); other formats show as mono.
        const std::tuple<uint8_t, std::vector<int16_t>, int, int, int> cases[] = {
            {1, four, 0, 0, 48},    {1, four, 1, 0, 96},    {1, four, 3, 47, 48},
            {1, four, 4, -1, -1},   {0, {32767}, 0, 0, 48}, {2, stereo, 0, 45, 48},
            {2, stereo, 1, 45, 52}, {2, stereo, 2, -1, -1}, {1, peak, 2, 48, 48},
            {1, peak, 3, 0, 48},    {1, peak, 4, 48, 48},
        };
        for (const auto& [format, values, column, from, to] : cases) {
            QVERIFY(ColumnIs(Sampled(MakeSample(format, values)), column, from, to));
        }
    }

    // Silent blocks of every size, cut, odd or negative ones too: the columns that have data show
    // the middle line, the others are left as they were.
    void sampleSizes() {
        // The format, DataSize (also the bytes of the block's data) and the columns drawn.
        const std::tuple<uint8_t, int32_t, int> cases[] = {
            {1, -2, 0}, {1, 1, 0}, {1, 7, 3}, {2, 6, 1}, {2, 2, 0}, {1, 200, 100}, {1, 20000, 496}};
        for (const auto& [format, dataSize, columns] : cases) {
            const QImage image = Sampled(
                MakeSample(format, std::vector<int16_t>(8, 0), dataSize, std::max(dataSize, 0)));
            for (int x = 0; x < 496; ++x) {
                QVERIFY(ColumnIs(image, x, x < columns ? 48 : -1, 48));
            }
        }
    }
};

QTEST_MAIN(DrawTest)
#include "draw_test.moc"
