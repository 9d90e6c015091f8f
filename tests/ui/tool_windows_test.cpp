#include "audio/effects.h"
#include "song/track.h"
#include "support/numtext.h"
#include "ui/env_form.h"
#include "ui/reverb_form.h"
#include "ui/stereo_form.h"

#include <QLineEdit>
#include <QPointer>
#include <QScrollBar>
#include <QtTest>

#include <utility>
#include <vector>

using namespace kellix;

namespace {

// Replaces the whole text of a box by typing, as a person does after selecting it all.
void TypeOver(QLineEdit* box, const QString& text) {
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty()) {
        QTest::keyClick(box, Qt::Key_Backspace);
    } else {
        QTest::keyClicks(box, text);
    }
}

} // namespace

class ToolWindowsTest : public QObject {
    Q_OBJECT
  private slots:
    void init() { SetStartupEffects(); }

    void reverbReadsLeniently() {
        const struct {
            int box;
            QString typed;
            int amplitude, step, band; // the box's 10400 is sent as the largest step, 10000
        } cases[] = {
            {1, "12x", 4000, 12, 256},    // a letter ends the number
            {2, "100", 4000, 10000, 100}, // the cutoff box is the band
            {0, "-5x", 5, 10000, 256},    // a sign before a letter is dropped
        };
        for (const auto& c : cases) {
            TreverbformForm form;
            int changes = 0;
            form.OnReverbChange = [&] {
                ++changes;
                ApplyReverbBoxes(form);
            };
            QLineEdit* boxes[] = {form.Edit1, form.Edit2, form.Edit3};
            TypeOver(boxes[c.box], c.typed);
            QCOMPARE(changes, c.typed.size()); // every keystroke re-sends
            const ReverbSettings r = CurrentReverb();
            QCOMPARE(r.Amplitude, c.amplitude);
            QCOMPARE(r.Step, c.step);
            QCOMPARE(r.Band, c.band);
            QCOMPARE(r.Cutoff, 256);
        }
    }

    void stereoScrollBarSendsBoxes() {
        TformstereoForm form;
        // The start-up decays differ from the boxes until the first change.
        QCOMPARE(CurrentStereoDelay().DecayL, 9980);
        form.ScrollBar1->setValue(5000);
        QCOMPARE(form.Edit1->text(), QString("5000"));
        StereoDelaySettings d = CurrentStereoDelay();
        QCOMPARE(d.DecayL, 19960);
        QCOMPARE(d.DecayR, 16383);
        QCOMPARE(d.DelayL, 5000);
        QCOMPARE(d.DelayR, 15876);

        // Another box holding a non-number stops every send, whatever the bars do.
        TypeOver(form.Edit4, "8x");
        form.ScrollBar1->setValue(6000);
        QCOMPARE(CurrentStereoDelay().DelayL, 5000);
        QCOMPARE(form.NumberError(), QString("'8x' is not a valid integer value"));
        // A valid change sends all four and takes the report away.
        TypeOver(form.Edit4, "$100");
        d = CurrentStereoDelay();
        QCOMPARE(d.DecayR, 256);
        QCOMPARE(d.DelayL, 6000);
        QVERIFY(form.NumberError().isEmpty());
    }

    // The first wrong box in reading order (L. Delay, R. Delay, L. Decay, R. Decay) is reported.
    void stereoReportsFirstWrongBoxInReadingOrder() {
        const std::pair<QStringList, QString> cases[] = {
            {{"a", "b", "1", "1"}, "b"},
            {{"1", "1", "c", "d"}, "d"},
            {{"2147483648", "1", "1", "1"}, "2147483648"},
        };
        for (const auto& [texts, reported] : cases) {
            TformstereoForm form;
            QLineEdit* boxes[] = {form.Edit1, form.Edit2, form.Edit3, form.Edit4};
            // The wrong texts go in first, so that no change in between sends anything.
            for (bool wrong : {true, false}) {
                for (int i = 0; i < 4; ++i) {
                    int32_t value = 0;
                    if (StrictTextToInt(texts[i].toStdString(), value) != wrong) {
                        boxes[i]->setText(texts[i]);
                    }
                }
            }
            QCOMPARE(form.NumberError(),
                     QString("'%1' is not a valid integer value").arg(reported));
            QCOMPARE(CurrentStereoDelay().DecayL, 9980); // nothing sent
        }
    }

    void envStoresTypedValues() {
        TFromenvForm form;
        std::vector<std::pair<int, int32_t>> stored;
        form.OnStore = [&](int field, int32_t value) { stored.emplace_back(field, value); };
        const TEnvelope env{120, 3400, -56};
        form.SetEnv(&env);
        QCOMPARE(form.Edit3->text(), QString("-56"));
        TypeOver(form.Edit3, "$10");
        QCOMPARE(stored.back(), std::make_pair(2, int32_t{16}));

        // An empty box stores nothing and says why, inside the window.
        stored.clear();
        TypeOver(form.Edit1, "");
        QVERIFY(stored.empty());
        QCOMPARE(form.NumberError(), QString("'' is not a valid integer value"));
        QVERIFY(form.height() > 82);
        QTest::keyClicks(form.Edit1, "7");
        QCOMPARE(stored, (std::vector<std::pair<int, int32_t>>{{0, 7}}));
        QCOMPARE(form.size(), QSize(105, 82));

        // Detached, a typed value is stored nowhere.
        form.SetEnv(nullptr);
        TypeOver(form.Edit2, "44");
        QCOMPARE(stored.size(), std::size_t(1));
    }

    void closeBoxHidesAndDestroyingCallsNothing() {
        int hides = 0;
        QPointer<TFromenvForm> form = new TFromenvForm;
        form->OnHide = [&] { ++hides; };
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form));
        QVERIFY(form->close());
        QCOMPARE(hides, 1);
        QVERIFY(form); // hidden, not deleted
        form->show();
        delete form.data();
        QCOMPARE(hides, 1);
    }
};

QTEST_MAIN(ToolWindowsTest)
#include "tool_windows_test.moc"
