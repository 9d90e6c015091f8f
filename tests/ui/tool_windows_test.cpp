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

    void reverbReadsLeniently_data();
    void reverbReadsLeniently();
    void stereoScrollBarSendsBoxes();
    void stereoReportsFirstWrongBoxInReadingOrder_data();
    void stereoReportsFirstWrongBoxInReadingOrder();
    void envStoresTypedValues();
    void closeBoxHidesAndDestroyingCallsNothing();
};

void ToolWindowsTest::reverbReadsLeniently_data() {
    QTest::addColumn<int>("box");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("amplitude");
    QTest::addColumn<int>("step"); // the box's 10400 is sent as the largest step, 10000
    QTest::addColumn<int>("band");
    QTest::newRow("step with a letter") << 1 << "12x" << 4000 << 12 << 256;
    QTest::newRow("cutoff box is the band") << 2 << "100" << 4000 << 10000 << 100;
    QTest::newRow("sign before a letter dropped") << 0 << "-5x" << 5 << 10000 << 256;
}

void ToolWindowsTest::reverbReadsLeniently() {
    QFETCH(int, box);
    QFETCH(QString, typed);
    QFETCH(int, amplitude);
    QFETCH(int, step);
    QFETCH(int, band);
    TreverbformForm form;
    int changes = 0;
    form.OnReverbChange = [&] {
        ++changes;
        ApplyReverbBoxes(form);
    };
    QLineEdit* boxes[] = {form.Edit1, form.Edit2, form.Edit3};
    TypeOver(boxes[box], typed);
    QCOMPARE(changes, typed.size()); // every keystroke re-sends
    const ReverbSettings r = CurrentReverb();
    QCOMPARE(r.Amplitude, amplitude);
    QCOMPARE(r.Spare, 20000);
    QCOMPARE(r.Step, step);
    QCOMPARE(r.Band, band);
    QCOMPARE(r.Cutoff, 256);
}

void ToolWindowsTest::stereoScrollBarSendsBoxes() {
    TformstereoForm form;
    // The start-up decays differ from the boxes until the first change.
    QCOMPARE(CurrentStereoDelay().DecayL, 9980);
    QCOMPARE(CurrentStereoDelay().DecayR, 8191);

    form.ScrollBar1->setValue(5000);
    QCOMPARE(form.Edit1->text(), QString("5000"));
    StereoDelaySettings d = CurrentStereoDelay();
    QCOMPARE(d.DecayL, 19960);
    QCOMPARE(d.DecayR, 16383);
    QCOMPARE(d.DelayL, 5000);
    QCOMPARE(d.DelayR, 15876);
    QVERIFY(form.NumberError().isEmpty());

    // Another box holding a non-number stops every send, whatever the bars do.
    TypeOver(form.Edit4, "8x");
    form.ScrollBar1->setValue(6000);
    QCOMPARE(form.Edit1->text(), QString("6000"));
    QCOMPARE(CurrentStereoDelay().DelayL, 5000);
    QCOMPARE(form.NumberError(), QString("'8x' is not a valid integer value"));
    // The bars do not follow the boxes; a valid change sends all four and takes the report away.
    TypeOver(form.Edit4, "$100");
    QCOMPARE(form.ScrollBar4->value(), 0);
    d = CurrentStereoDelay();
    QCOMPARE(d.DecayR, 256);
    QCOMPARE(d.DelayL, 6000);
    QVERIFY(form.NumberError().isEmpty());
}

void ToolWindowsTest::stereoReportsFirstWrongBoxInReadingOrder_data() {
    QTest::addColumn<QStringList>("texts"); // Edit1..Edit4
    QTest::addColumn<QString>("reported");
    QTest::newRow("R. Delay before L. Delay") << QStringList{"a", "b", "1", "1"} << "b";
    QTest::newRow("L. Delay before R. Decay") << QStringList{"a", "1", "1", "d"} << "a";
    QTest::newRow("R. Decay before L. Decay") << QStringList{"1", "1", "c", "d"} << "d";
    QTest::newRow("L. Decay alone") << QStringList{"1", "1", " - 3", "1"} << " - 3";
    QTest::newRow("too large") << QStringList{"2147483648", "1", "1", "1"} << "2147483648";
}

void ToolWindowsTest::stereoReportsFirstWrongBoxInReadingOrder() {
    QFETCH(QStringList, texts);
    QFETCH(QString, reported);
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
    QCOMPARE(form.NumberError(), QString("'%1' is not a valid integer value").arg(reported));
    QCOMPARE(CurrentStereoDelay().DecayL, 9980); // nothing sent
}

void ToolWindowsTest::envStoresTypedValues() {
    TFromenvForm form;
    std::vector<std::pair<int, int32_t>> stored;
    form.OnStore = [&](int field, int32_t value) { stored.emplace_back(field, value); };
    const TEnvelope env{120, 3400, -56};
    form.SetEnv(&env);
    QCOMPARE(form.Edit1->text(), QString("120"));
    QCOMPARE(form.Edit2->text(), QString("3400"));
    QCOMPARE(form.Edit3->text(), QString("-56"));

    stored.clear();
    TypeOver(form.Edit1, "500");
    QCOMPARE(stored.back(), std::make_pair(0, int32_t{500}));
    TypeOver(form.Edit3, "$10");
    QCOMPARE(stored.back(), std::make_pair(2, int32_t{16}));

    stored.clear();
    TypeOver(form.Edit1, "");
    QVERIFY(stored.empty());
    QCOMPARE(form.NumberError(), QString("'' is not a valid integer value"));
    QVERIFY(form.height() > 82); // the report shows inside the window
    QTest::keyClicks(form.Edit1, "7");
    QCOMPARE(stored, (std::vector<std::pair<int, int32_t>>{{0, 7}}));
    QVERIFY(form.NumberError().isEmpty());
    QCOMPARE(form.size(), QSize(105, 82));

    // Detached, a typed value is stored nowhere.
    form.SetEnv(nullptr);
    TypeOver(form.Edit2, "44");
    QCOMPARE(stored.size(), std::size_t(1));
}

void ToolWindowsTest::closeBoxHidesAndDestroyingCallsNothing() {
    int hides = 0;
    QPointer<TFromenvForm> form = new TFromenvForm;
    form->OnHide = [&] { ++hides; };
    QVERIFY(form->isHidden()); // hidden when created
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    QVERIFY(form->close());
    QCOMPARE(hides, 1);
    QVERIFY(form); // hidden, not deleted
    QVERIFY(form->isHidden());

    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    delete form.data();
    QCOMPARE(hides, 1);
}

QTEST_MAIN(ToolWindowsTest)
#include "tool_windows_test.moc"
