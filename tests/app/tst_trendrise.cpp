// The leak test in the trend window: a stretch of the simulator's rate-of-rise run marked
// with the mouse or with Start/Stopp, measured against the rate the simulator was given.

#include "gaugesimcore.h"
#include "livetrend.h"
#include "pressureunitbar.h"
#include "receivedline.h"
#include "riseoverlay.h"
#include "risetestpanel.h"
#include "trendwindow.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <cmath>
#include <memory>

using namespace kelmor;

namespace {

constexpr qint64 kStartMs = 1'765'000'000'000; // a December morning
constexpr int kLineMs = 100;

// The simulator's lines of a run: pump-down, then closed off with the given rise, one
// line every kLineMs for `seconds`, stored as a run with wall-clock times.
std::unique_ptr<TrendStore> simulatedRun(const sim::RateOfRise &rise, double pumpDown,
                                         double seconds, double gapAt = -1.0)
{
    sim::SimOptions options;
    options.pumpDownSeconds = pumpDown;
    options.rise = rise;
    options.seed = 11;
    sim::GaugeSimCore core(options);
    core.receive("SX1\r");
    auto store = std::make_unique<TrendStore>(1 << 16, TrendStore::Axis::WallClock);
    const int lines = int(seconds * 1000 / kLineMs);
    for (int i = 0; i <= lines; ++i) {
        const double t = i * kLineMs / 1000.0;
        const QByteArray line = core.nextStreamLine(t);
        if (gapAt >= 0.0 && std::abs(t - gapAt) < 1e-9)
            store->markGap();
        const QByteArray field = line.mid(sim::kPressurePosition - 1, 8);
        store->appendSample(kStartMs + i * kLineMs, readPressureMbar(field),
                            quint16(line.mid(sim::kStatusPosition - 1, 4).toUInt(nullptr, 16)),
                            field);
    }
    return store;
}

// Drags with Shift held across the pressure plot from one key to another.
void shiftDrag(TrendPlot *plot, double fromKey, double toKey)
{
    QCPAxis *key = plot->keyAxis();
    const int y = plot->pressureRect()->rect().center().y();
    const QPoint a(int(key->coordToPixel(fromKey)), y);
    const QPoint b(int(key->coordToPixel(toKey)), y);
    QTest::mousePress(plot, Qt::LeftButton, Qt::ShiftModifier, a);
    QTest::mouseMove(plot, (a + b) / 2);
    QTest::mouseMove(plot, b);
    QTest::mouseRelease(plot, Qt::LeftButton, Qt::ShiftModifier, b);
}

ReceivedLine liveLine(double mbar, quint16 status)
{
    ReceivedLine l;
    l.monotonicNs = LiveTrend::steadyNowNs();
    l.wallClock = QDateTime::currentDateTime();
    l.isMeasurement = true;
    l.pressureMbar = mbar;
    l.status = status;
    l.pressureText = QString::number(mbar, 'E', 2);
    l.raw = "PR=" + l.pressureText.toLatin1();
    return l;
}

} // namespace

class TestTrendRise : public QObject
{
    Q_OBJECT

private slots:
    void markedRiseMatchesSimulator_data();
    void markedRiseMatchesSimulator();
    void unitChoiceReachesPlotAndResult();
    void stretchWithGapGivesNoResult();
    void startStopMarksLiveLines();
};

void TestTrendRise::markedRiseMatchesSimulator_data()
{
    QTest::addColumn<double>("leak");
    QTest::addColumn<double>("outgas");
    QTest::addColumn<double>("tau");
    QTest::addColumn<double>("from"); // seconds after the start of the run
    QTest::addColumn<double>("to");
    QTest::addColumn<RiseShape>("shape");

    QTest::newRow("leak") << 2e-6 << 0.0 << 0.0 << 30.0 << 70.0 << RiseShape::Straight;
    QTest::newRow("fast leak, short stretch")
        << 5e-5 << 0.0 << 0.0 << 22.0 << 28.0 << RiseShape::Straight;
    QTest::newRow("outgassing") << 0.0 << 1e-4 << 15.0 << 21.0 << 60.0 << RiseShape::BendsOver;
}

void TestTrendRise::markedRiseMatchesSimulator()
{
    QFETCH(double, leak);
    QFETCH(double, outgas);
    QFETCH(double, tau);
    QFETCH(double, from);
    QFETCH(double, to);
    QFETCH(RiseShape, shape);

    LiveTrend live;
    TrendWindow window(live);
    window.showRecorded(simulatedRun({leak, outgas, tau}, 20.0, 80.0),
                        QStringLiteral("Simulation"));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.plot()->replot();

    shiftDrag(window.plot(), kStartMs / 1000.0 + from, kStartMs / 1000.0 + to);
    QVERIFY(window.hasStretch());
    RiseTestPanel *panel = window.riseTest();
    panel->findChild<QLineEdit *>("txtVolumen")->setText(QStringLiteral("10"));
    const RiseResult &result = panel->result();
    QVERIFY2(result.isValid(), qPrintable(panel->stretchMessage() + panel->volumeMessage()));
    // The drag lands on whole pixels: the stretch is what was dragged, to a pixel.
    const double pixelSeconds =
        window.plot()->keyAxis()->range().size() / window.plot()->keyAxis()->axisRect()->width();
    QVERIFY(std::abs(result.durationSeconds - (to - from)) < 2 * pixelSeconds + 0.2);
    QCOMPARE(result.shape, shape);

    if (shape == RiseShape::Straight) {
        // The simulator's rate, within the fit's error and the printed digits' rounding.
        const double allowed = std::max(4.0 * result.whole.slopeError, 0.01 * leak);
        QVERIFY2(std::abs(result.whole.slope - leak) < allowed,
                 qPrintable(QStringLiteral("%1 ± %2 for %3")
                                .arg(result.whole.slope)
                                .arg(result.whole.slopeError)
                                .arg(leak)));
        QVERIFY(std::abs(result.leakRate - 10.0 * leak) < 10.0 * allowed);
        QVERIFY(panel->resultText().contains(QStringLiteral("Gerader Anstieg")));
    } else {
        QVERIFY(panel->resultText().contains(QStringLiteral("Ausgasung")));
    }
    // The fit is drawn over the stretch, where the data are.
    QCPGraph *fit = window.riseOverlay()->wholeFit();
    QVERIFY(fit->dataCount() > 10);
    QVERIFY(window.riseOverlay()->secondHalfFit()->dataCount() > 10);
    const double middle = (fit->data()->begin()->key + (fit->data()->end() - 1)->key) / 2;
    QVERIFY(std::abs(middle - (kStartMs / 1000.0 + (from + to) / 2)) < 1.0);
}

void TestTrendRise::unitChoiceReachesPlotAndResult()
{
    LiveTrend live;
    TrendWindow window(live);
    window.showRecorded(simulatedRun({2e-6, 0, 0}, 20.0, 80.0), QStringLiteral("Simulation"));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.markStretch(kStartMs + 30'000, kStartMs + 70'000);
    RiseTestPanel *panel = window.riseTest();
    panel->findChild<QLineEdit *>("txtVolumen")->setText(QStringLiteral("10"));
    const double mbarSlope = panel->result().whole.slope;

    window.unitBar()->findChild<QComboBox *>("comboEinheit")->setCurrentText("Pa");
    QCOMPARE(window.plot()->pressureAxis()->label(), QStringLiteral("Druck / Pa"));
    window.plot()->replot();
    // The plot now holds Pascal: a hundred times the mbar numbers.
    QVERIFY(window.plot()->lastMax() > 100 * 1e-5);
    QVERIFY(panel->resultText().contains(QStringLiteral(" Pa/s")));
    QVERIFY(panel->resultText().contains(QStringLiteral(" Pa·m³/s")));
    QVERIFY(window.readoutAt(kStartMs / 1000.0 + 50).contains(QStringLiteral(" Pa")));
    // The rate itself is kept in mbar; only its display changes.
    QCOMPARE(panel->result().whole.slope, mbarSlope);

    // A gauge that sends Torr: the same numbers are 1.33 times as many mbar.
    window.unitBar()->setGaugeUnit(UnitOfPressure::Torr);
    QVERIFY(std::abs(panel->result().whole.slope / mbarSlope - 101325.0 / 76000.0) < 1e-9);
}

void TestTrendRise::stretchWithGapGivesNoResult()
{
    LiveTrend live;
    TrendWindow window(live);
    window.showRecorded(simulatedRun({2e-6, 0, 0}, 20.0, 80.0, 50.0), QStringLiteral("Lücke"));
    window.markStretch(kStartMs + 30'000, kStartMs + 70'000);
    RiseTestPanel *panel = window.riseTest();
    panel->findChild<QLineEdit *>("txtVolumen")->setText(QStringLiteral("10"));
    QVERIFY(!panel->result().isValid());
    QVERIFY2(panel->stretchMessage().contains(QStringLiteral("Lücke")),
             qPrintable(panel->stretchMessage()));
    QVERIFY(!panel->resultText().contains(QStringLiteral("Leckrate")));
    QCOMPARE(window.riseOverlay()->wholeFit()->dataCount(), 0);

    // Marked on either side of the gap, it measures.
    window.markStretch(kStartMs + 51'000, kStartMs + 70'000);
    QVERIFY(panel->result().isValid());
}

void TestTrendRise::startStopMarksLiveLines()
{
    LiveTrend live;
    TrendWindow window(live);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *start = window.riseTest()->findChild<QPushButton *>("cmdAnstiegStart");
    auto *stop = window.riseTest()->findChild<QPushButton *>("cmdAnstiegStopp");
    QVERIFY(start->isEnabled());

    for (int i = 0; i < 5; ++i) {
        live.addLine(liveLine(1e-6, 0x001D));
        QTest::qWait(5);
    }
    start->click();
    QVERIFY(window.hasStretch());
    const int marked = 12;
    for (int i = 0; i < marked; ++i) {
        QTest::qWait(15);
        live.addLine(liveLine(1e-6 + 1e-7 * i, 0x001D));
    }
    window.repaintNow();
    // The stretch grows with the run while marking.
    QCOMPARE(int(window.riseTest()->result().points), marked);
    stop->click();
    for (int i = 0; i < 5; ++i) {
        QTest::qWait(5);
        live.addLine(liveLine(1e-3, 0x001D));
    }
    window.repaintNow();
    QCOMPARE(int(window.riseTest()->result().points), marked);
    QVERIFY(window.riseTest()->result().whole.slope > 0.0);
}

QTEST_MAIN(TestTrendRise)
#include "tst_trendrise.moc"
