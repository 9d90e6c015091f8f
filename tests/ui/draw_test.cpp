// The three pictures (the piano roll with its notes, selection and zoom, the track grid and the
// sample), pixel by pixel, and the piano roll's geometry, at coordinates worked out by hand from
// the drawing rules: cells of 16 x 16 pixels at the default width, time step t from world column
// 64 + t x width, tone n from world row (83 - n) x 16.
#include "pixels.h"
#include "test_blocks.h"
#include "ui/draw_pattern.h"
#include "ui/draw_sample.h"
#include "ui/draw_track.h"

#include <QtTest>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <memory>
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

TIdPoint Note(int32_t time, int32_t tone, int32_t instrument, int32_t vol = 256) {
    return {time, tone, instrument, vol, 128};
}

QImage Draw(const PatternPicture& picture) {
    QImage image = GreyImage(400, 300, kMarker);
    DrawPatternGrid(image, picture);
    return image;
}

bool IsGrey(uint32_t rgb) {
    return (rgb >> 16 & 0xFF) == (rgb & 0xFF) && (rgb >> 8 & 0xFF) == (rgb & 0xFF);
}

int Brightness(uint32_t rgb) {
    return int(rgb >> 16 & 0xFF) + int(rgb >> 8 & 0xFF) + int(rgb & 0xFF);
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
        // The view (H, V, Row) and what it shows. H = V = 0, Row 16: grid from x 64, tone 83 in
        // rows 0..15, tone 82 (A#) in rows 16..31: the origin line, band 1 from step 16, a white
        // key, a key separator, an odd octave band, the black key A# over x 0..47, a black key
        // over a separator. The designed V = 750: row 2 is the line above tone 36. H = 40: the
        // keyboard moves left with the grid; the black key A# ends at x 7. Row 0 counts as 1; a
        // negative Row draws the bands of its size; INT_MIN none. The lowest octave (tones
        // -12..-1) at the bottom of the scroll range: F# black. Above the world (not reachable
        // by scrolling) the octave bands keep alternating.
        const std::tuple<int, int, int, std::vector<Probe>> views[] = {
            {0, 0, 16, {{64, 0, 0x77}, {321, 1, 0x33}, {50, 1, 0xAA}, {50, 27, 0x77}}},
            {0, 0, 16, {{50, 200, 0x99}, {47, 20, 0x00}, {10, 27, 0x00}}},
            {0, 750, 16, {{100, 2, 0x77}}},
            {40, 0, 16, {{8, 20, 0xAA}}},
            {0, 0, 0, {{81, 1, 0x33}}},
            {0, 0, -16, {{321, 1, 0x33}}},
            {0, 0, INT_MIN, {{321, 1, 0x00}}},
            {0, 1400, 16, {{10, 30, 0x00}}},
            {0, -16, 16, {{50, 15, 0x99}}}};
        for (const auto& [h, v, row, probes] : views) {
            QCOMPARE(Mismatch(Draw({.View = {h, v}, .Row = row, .Instrument = 2}), probes),
                     QString());
        }
    }

    void patternNotesOutOfView() {
        std::vector<TIdPoint> notes{Note(INT_MAX, 40, 2), Note(INT_MIN, 40, 2), Note(3, INT_MIN, 2),
                                    Note(3, INT_MAX, 2),  Note(-5, 83, 2),      Note(3, -12, 2)};
        QImage image = Draw({.Instrument = 2, .Notes = notes});
        QCOMPARE(image, Draw({.Instrument = 2}));
        // Extreme scroll offsets and an empty image draw without overflowing.
        for (const int m : {INT_MAX, INT_MIN}) {
            DrawPatternGrid(image, {.View = {m, m}, .Row = m, .Instrument = 2, .Notes = notes});
        }
        QImage none;
        DrawPatternGrid(none, {.Instrument = 2, .Notes = notes});
        QVERIFY(none.isNull());
    }

    void trackPixels() {
        // Six cells a row at widths 96..111, ten at 160; the track frames patterns 7, 2 and 12:
        // the last line of a row, the strip right of it, frames just inside their cells.
        // Scrolled by 20, frame 7 spans rows -3..11, frame 12 rows 13..27. Narrower than a cell:
        // the grid alone, no labels and no frames. Entries that name no cell draw nothing.
        const std::tuple<int, int, std::vector<Probe>> views[] = {
            {103, 0, {{96, 40, 0x77}, {100, 40, 0x00}, {17, 17, 0xAA}, {1, 33, 0xAA}}},
            {103, 20, {{17, 0, 0xAA}, {1, 13, 0xAA}}},
            {96, 0, {{95, 40, 0x00}}},
            {160, 0, {{113, 1, 0xAA}}},
            {15, 0, {{0, 5, 0x77}}}};
        TTrackPattern track{{7, 2, 12, 0, -1, -7, INT_MIN, INT_MAX, 600}};
        for (const auto& [width, v, probes] : views) {
            QImage image = GreyImage(width, 265, kMarker);
            DrawTrackGrid(image, v, 10, &track);
            QCOMPARE(Mismatch(image, probes), QString());
            QVERIFY(width > 15 || !AnyPixelOtherThan(image, QRect(1, 1, 14, 15), {GreyRgb(0)}));
            // Far scroll positions and huge counts stay quick and in range.
            DrawTrackGrid(image, INT_MAX, INT_MAX, &track);
            DrawTrackGrid(image, INT_MIN, INT_MAX, &track);
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
            const auto bytes = 2 * values.size();
            QVERIFY(ColumnIs(Sampled(MakeSample(format, values, int32_t(bytes), bytes)), column,
                             from, to));
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

    // With one instrument at the default width, every pixel is the empty grid's (with its labels)
    // or the grey frame 15 pixels square just inside a note's cell, except the fill 11 pixels
    // square inside the frame, which is coloured.
    void classicPixelsKept() {
        const std::vector<TIdPoint> notes{Note(0, 83, 4), Note(1, 82, 4),     Note(-1, 72, 4),
                                          Note(3, 36, 4), Note(20, 30, 4),    Note(5, 35, 4, 0),
                                          Note(2, 80, 4), Note(6, 35, 4, 258)};
        const std::tuple<int, int, int> views[] = {
            {0, 0, 16}, {0, 750, 16}, {40, 700, 4}, {100, 0, 1}};
        for (const auto& [h, v, row] : views) {
            const QImage empty = Draw({.View = {h, v}, .Row = row});
            const QImage image =
                Draw({.View = {h, v}, .Row = row, .Instrument = 4, .Notes = notes});
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    uint32_t expected = RgbAt(empty, x, y);
                    bool fill = false;
                    for (const TIdPoint& n : notes) {
                        const int left = 64 + 16 * n.Time - h + 1;
                        const int top = (83 - n.Tone) * 16 - v + 1;
                        const int dx = x - left;
                        const int dy = y - top;
                        if (dx >= 0 && dx <= 14 && dy >= 0 && dy <= 14) {
                            if (dx == 0 || dx == 14 || dy == 0 || dy == 14) {
                                expected = GreyRgb(0xAA);
                            }
                            fill = fill || (dx >= 2 && dx <= 12 && dy >= 2 && dy <= 12);
                        }
                    }
                    if (fill ? IsGrey(RgbAt(image, x, y)) : RgbAt(image, x, y) != expected) {
                        QFAIL(qPrintable(QStringLiteral("pixel (%1, %2)").arg(x).arg(y)));
                    }
                }
            }
        }
    }

    // Other instruments' fills, the brightness by volume, the selection and the rubber band.
    void notesSelectionAndBand() {
        // Instrument 2 is current; 0 and 1 have notes in cells of their own at Time 0 and 1 on
        // tone 83 (x 64..79 and 80..95), instrument 5 shares Time 2 with instrument 2 (x 96..).
        const std::vector<TIdPoint> notes{Note(0, 83, 0), Note(1, 83, 1), Note(2, 83, 5),
                                          Note(2, 83, 2), Note(3, 83, 12)};
        const QImage image = Draw({.Instrument = 2, .Notes = notes});
        const uint32_t zero = RgbAt(image, 72, 8);
        const uint32_t one = RgbAt(image, 88, 8);
        QVERIFY(!IsGrey(zero) && !IsGrey(one) && zero != one);
        // The fill leaves the frame's place to the grid: 2 .. 14 inside the cell's lines. The
        // shared cell: the current frame on top, a ring of instrument 5 inside it, then the
        // current instrument's own fill. The palette repeats after twelve instruments.
        QVERIFY(RgbAt(image, 66, 2) == zero && RgbAt(image, 78, 14) == zero);
        QCOMPARE(Mismatch(image, {{65, 1, 0x00}, {79, 8, 0x00}, {97, 1, 0xAA}}), QString());
        const uint32_t ring = RgbAt(image, 98, 2);
        QVERIFY(!IsGrey(ring) && ring != RgbAt(image, 104, 8) && !IsGrey(RgbAt(image, 104, 8)));
        QCOMPARE(RgbAt(image, 120, 8), zero);
        // Vol 258, 50, 0 and the out-of-range 1000 and -5 in cells Time 0..4 of tone 83.
        const std::vector<TIdPoint> volumes{Note(0, 83, 1, 258), Note(1, 83, 1, 50),
                                            Note(2, 83, 1, 0), Note(3, 83, 1, 1000),
                                            Note(4, 83, 1, -5)};
        const QImage bright = Draw({.Instrument = 1, .Notes = volumes});
        const auto at = [&](int time) { return RgbAt(bright, 64 + 16 * time + 8, 8); };
        QVERIFY(Brightness(at(0)) > Brightness(at(1)) && Brightness(at(1)) > Brightness(at(2)));
        QVERIFY(at(3) == at(0) && at(4) == at(2));
        // Notes 0 and 2 selected (Time 0 and 2 of tone 83), index 9 and -1 name no note.
        const std::vector<TIdPoint> row{Note(0, 83, 1), Note(1, 83, 1), Note(2, 83, 1)};
        const std::vector<int32_t> selected{0, 2, 9, -1};
        const QImage plain = Draw({.Instrument = 1, .Notes = row});
        const QImage selection = Draw({.Instrument = 1, .Notes = row, .Selected = selected});
        const uint32_t highlight = RgbAt(selection, 64, 8);
        QVERIFY(!IsGrey(highlight));
        // The cell's lines from x 64 to 80 and y 0 to 16; the middle note keeps its grid lines
        // apart from those it shares.
        for (const QPoint p : {QPoint(80, 16), QPoint(72, 16), QPoint(96, 0)}) {
            QCOMPARE(RgbAt(selection, p.x(), p.y()), highlight);
        }
        QCOMPARE(Mismatch(selection, {{88, 16, 0x77}, {65, 1, 0xAA}}), QString());
        QCOMPARE(RgbAt(selection, 72, 8), RgbAt(plain, 72, 8));

        // A band from (300, 250) back to (200, 100): its outline, nothing inside.
        const QImage band = Draw({.Band = RubberBand{{300, 250}, {200, 100}}});
        const QImage empty = Draw({});
        const uint32_t line = RgbAt(band, 200, 100);
        QVERIFY(!IsGrey(line));
        const auto unchanged = [&](int x, int y) {
            return RgbAt(band, x, y) == RgbAt(empty, x, y);
        };
        QVERIFY(RgbAt(band, 300, 250) == line && RgbAt(band, 250, 250) == line);
        QVERIFY(RgbAt(band, 300, 170) == line && unchanged(250, 170) && unchanged(301, 170));
    }

    void zoomScalesTime() {
        // Width 32: step 3's line at 64 + 96 - h; Row 2 makes steps 2..3 an odd band. A note at
        // Time 3 has its frame over x 161..191 at h 0 and the line of step 4 at 192.
        const std::vector<TIdPoint> notes{Note(3, 83, 0)};
        // H, the cell width and what the view shows.
        const std::tuple<int, int, std::vector<Probe>> views[] = {
            {0,
             32,
             {{160, 5, 0x77}, {159, 5, 0x33}, {161, 1, 0xAA}, {191, 1, 0xAA}, {192, 5, 0x77}}},
            {40, 32, {{120, 5, 0x77}, {121, 1, 0xAA}}},
            {0, 8, {{88, 5, 0x77}, {89, 1, 0xAA}, {95, 1, 0xAA}, {96, 5, 0x77}}},
            {0, 1000, {{64 + 3 * 64, 5, 0x77}}}, // clamped to 64
            {0, 0, {{64 + 3 * 8, 5, 0x77}}},     // clamped to 8
        };
        const QImage classic = Draw({.Row = 2});
        for (const auto& [h, width, probes] : views) {
            const QImage image = Draw({.View = {h, 0, width}, .Row = 2, .Notes = notes});
            QCOMPARE(Mismatch(image, probes), QString());
            if (h == 0) {
                QCOMPARE(image.copy(0, 0, 64, 300), classic.copy(0, 0, 64, 300));
            }
        }
    }

    void geometry() {
        // Cells at widths 16 and 32: grid lines belong to the cell right of and below them; above
        // the picture the cells continue outward, and far scroll offsets do not overflow.
        const int m = INT_MAX;
        // x, y, the view (H, V, cell width) and the cell's Time and Tone.
        const std::tuple<int, int, int, int, int, int, int> cells[] = {
            {64, 0, 0, 0, 16, 0, 83},    {63, 15, 0, 0, 16, -1, 83},
            {96, 16, 0, 0, 32, 1, 82},   {95, 16, 0, 0, 32, 0, 82},
            {10, 0, 86, 750, 32, 1, 37}, {0, 0, 0, 0, 32, -2, 83},
            {64, -1, 0, 0, 16, 0, 84},   {m, m, m, m, 16, 268435451, -268435372},
        };
        for (const auto& [x, y, h, v, width, time, tone] : cells) {
            const PatternCell cell = PatternCellAt(x, y, {h, v, width});
            QCOMPARE(cell.Time, time);
            QCOMPARE(cell.Tone, tone);
        }
        QCOMPARE(PlayLineX(2.5, {0, 0, 16}), 104);
        QCOMPARE(PlayLineX(2.5, {30, 0, 32}), 114);
        QCOMPARE(PlayLineX(-0.5, {}), -1);
        QCOMPARE(PlayLineX(std::nan(""), {}), -1);
        QCOMPARE(PlayLineX(1e300, {}), INT_MAX);
        // Row 16: 16 x 512 + 16 world columns at width 16, twice as many steps' pixels at 32.
        QCOMPARE(PatternScrollHMax(16, 16, 1000), 7208);
        QCOMPARE(PatternScrollHMax(16, 32, 1000), 15400);
        QCOMPARE(PatternScrollHMax(1, 16, 1000), 0);
        QCOMPARE(PatternScrollHMax(INT_MAX, 64, 0), INT_MAX);
        // Step 2.25 stays under x 100 when the width doubles and back; the keyboard stays put.
        QCOMPARE(ZoomedH(0, 100, 16, 32), 36);
        QCOMPARE(ZoomedH(36, 100, 32, 16), 0);
        QCOMPARE(ZoomedH(20, 10, 16, 64), 20);
        QCOMPARE(ZoomedH(1000, 900, 64, 8), 0);
    }

    void hitTesting() {
        // Two notes of instrument 1 and, after them, one of instrument 0 share Time 2 Tone 82;
        // instrument 0 alone holds Time 0 Tone 83.
        const std::vector<TIdPoint> notes{Note(2, 82, 1), Note(0, 83, 0),  Note(2, 82, 1),
                                          Note(5, 80, 1), Note(-1, 83, 1), Note(2, 82, 0)};
        // x, y, the cell width, the note under the pixel and the one a tooltip names (another
        // instrument's too).
        const std::tuple<int, int, int, int, int> hits[] = {
            {100, 20, 16, 2, 2},   {96, 16, 16, 2, 2},  {95, 16, 16, -1, -1},
            {70, 5, 16, -1, 1},    {50, 5, 16, 4, 4},   {130, 20, 32, 2, 2},
            {100, 20, 32, -1, -1}, {230, 50, 32, 3, 3}, {90, 5, 32, -1, 1},
        };
        for (const auto& [x, y, width, note, shown] : hits) {
            QCOMPARE(NoteAt(notes, 1, x, y, {0, 0, width}), note);
            QCOMPARE(NoteShownAt(notes, 1, x, y, {0, 0, width}), shown);
        }
        // Bands in image pixels, corners in any order.
        const std::tuple<QPoint, QPoint, int, std::vector<int32_t>> bands[] = {
            {{64, 0}, {111, 31}, 16, {0, 2}},        // Time 0..2, tones 83..82
            {{112, 0}, {97, 47}, 16, {0, 2}},        // the line at 112 is Time 3's
            {{200, 60}, {64, 0}, 16, {0, 2, 3}},     // Time 0..8, tones 83..80
            {{127, 16}, {127, 16}, 32, {}},          // Time 1 at width 32
            {{128, 16}, {128, 16}, 32, {0, 2}},      // Time 2
            {{50, 0}, {300, 100}, 32, {0, 2, 3, 4}}, // the keyboard's Time -1 too
        };
        for (const auto& [from, to, width, covered] : bands) {
            QCOMPARE(NotesCovered(notes, 1, RubberBand{from, to}, {0, 0, width}), covered);
        }
    }
};

QTEST_MAIN(DrawTest)
#include "draw_test.moc"
