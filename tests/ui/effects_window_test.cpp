// The window tells what is heard and what happened: the tool windows show the song's effects
// and switch the reverb, F9 lists the compiler's warnings, and the mends: the sample picture
// without a sample, captions that fit, tool windows beside the main window.
#include "ui/code_editor.h"
#include "ui/diagnostics_strip.h"
#include "ui/env_form.h"
#include "ui/reverb_form.h"
#include "ui/stereo_form.h"
#include "ui/tool_placement.h"
#include "window_rig.h"

using namespace kellix;
using namespace kellix::test;

class EffectsWindowTest : public QObject {
    Q_OBJECT

    TreverbformForm reverb_;
    TFromenvForm env_;
    TformstereoForm stereo_;
    WindowRig rig_;

    TKellixForm& Open() { return rig_.Show({&reverb_, &env_, &stereo_}); }

  private slots:
    void cleanup() { rig_.Form.reset(); }

    void toolWindowsShowAndSetTheSongsEffects() {
        TKellixForm& f = Open();
        // The values heard at start; a bar whose range ends below its value stands at its end.
        QCOMPARE(stereo_.Edit3->text(), QString("9980"));
        QCOMPARE(stereo_.ScrollBar1->value(), 10000);
        QCOMPARE(reverb_.Edit2->text(), QString("10000"));
        f.Model().SetStereoDelay(9980, 40000, 3000, 15876);
        QCOMPARE(stereo_.Edit1->text(), QString("3000"));
        QCOMPARE(stereo_.ScrollBar1->value(), 3000);
        QCOMPARE(stereo_.ScrollBar4->value(), 32767);
        // The "On" box, right of its caption, switches the reverb: one step.
        reverb_.show();
        QCheckBox* on = reverb_.CheckBox1;
        QTest::mouseClick(on, Qt::LeftButton, {}, QPoint(on->width() - 6, on->height() / 2));
        QVERIFY(rig_.Live->Effects().ReverbOn);
        f.Model().Undo();
        QVERIFY(!on->isChecked() && !rig_.Live->Effects().ReverbOn);
        reverb_.hide();
        stereo_.ScrollBar2->setValue(5000);
        QCOMPARE(rig_.Live->Effects().Delay.DelayR, 5000);
        f.Model().Undo();
        QCOMPARE(stereo_.Edit2->text(), QString("15876"));
        // A box holding a non-number stops every send, whatever the bars do, and says why; a
        // valid change sends what all four boxes show and takes the report away.
        TypeOver(stereo_.Edit4, "8x");
        stereo_.ScrollBar1->setValue(6000);
        QCOMPARE(rig_.Live->Effects().Delay.DelayL, 3000);
        QCOMPARE(stereo_.NumberError(), QString("'8x' is not a valid integer value"));
        TypeOver(stereo_.Edit4, "$100");
        QVERIFY((rig_.Live->Effects().Delay == StereoDelaySettings{9980, 256, 6000, 15876}));
        QVERIFY(stereo_.NumberError().isEmpty());
    }

    // Instrument 2 a loud sine; instrument 1 a misspelled name and no sample. The picture is
    // empty for an instrument without a sample, whether run, selected or after New.
    void f9ListsTheWarningsAndThePictureShowsOnlyASample() {
        TKellixForm& f = Open();
        // Clicks the row, runs the code when given, and tells whether the picture shows a wave.
        const auto show = [&f](int row, const char* code) {
            if (row >= 0) {
                ClickRow(f.Instruments, row);
            }
            if (code) {
                f.SamCode->SetCode(code);
                f.Model().SetCodeText(code);
                PressF9(f);
            }
            const QImage shown = f.SampleImage->grab().toImage();
            return AnyPixelOtherThan(shown, shown.rect(), {0xFFFFFFu});
        };
        QVERIFY(show(1, " Result:=CreateSample( 4410 , 1 );\r\n GSample( Result , FG_SIN , 440 , "
                        "30000 );"));
        QVERIFY(!show(
            0, " GeneratorSampleMode( SM_ADD );\r\n GSample( Result , FG_SQUAR , 440 , 100 );"));
        const QString warning =
            "line 2: \"FG_SQUAR\" is no number, string or known name: passed as 0";
        QVERIFY(f.WarningStrip->isVisible());
        QCOMPARE(f.WarningStrip->FullText(), warning);
        QCOMPARE(f.WarningStrip->toolTip(), warning);
        QCOMPARE(f.SamCode->WarningMarks(), std::vector<int>{2});
        QVERIFY(show(1, nullptr) && !show(0, nullptr) && show(1, nullptr));
        rig_.Ask.SaveChangesAnswers = {SaveAnswer::Discard};
        QVERIFY(f.Model().New() && !show(-1, nullptr));
    }

    // Every caption shows whole in its panel and, in the tool windows, left of the boxes; the
    // tool windows open right of the main window, else left of it, one under the other with
    // room for a number report.
    void captionsFitAndToolWindowsOpenBeside() {
        TKellixForm& f = Open();
        for (QWidget* panel : std::initializer_list<QWidget*>{f.PlaneOptions, f.PanelTracks,
                                                              &reverb_, &env_, &stereo_}) {
            for (const QLabel* label : panel->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
                const QRect whole(label->pos(), label->sizeHint());
                QVERIFY2(whole.right() < panel->width(), qPrintable(label->text()));
                for (const QLineEdit* box : panel->findChildren<QLineEdit*>()) {
                    QVERIFY(!panel->isWindow() || label->text().isEmpty() ||
                            whole.right() + 2 < box->x() || whole.bottom() < box->y());
                }
            }
        }
        const std::vector<QSize> frames = {{130, 140}, {120, 110}, {150, 230}};
        for (const auto& [main, x] : {std::pair{QRect(100, 50, 786, 621), 100 + 786 + 8},
                                      std::pair{QRect(1100, 50, 786, 621), 1100 - 8 - 150}}) {
            const std::vector<QPoint> expected = {{x, 50}, {x, 230}, {x, 380}};
            QCOMPARE(ToolWindowSpots(main, {0, 0, 1920, 1080}, frames), expected);
        }
    }
};

QTEST_MAIN(EffectsWindowTest)
#include "effects_window_test.moc"
