// The trend window: opened from the main window, fed by a live run of the gauge
// simulator, drawn with gaps and marks where they belong, and exported.

#include "form1harness.h"
#include "gaugelines.h"
#include "livetrend.h"
#include "trendwindow.h"

#include <QImage>
#include <QLocale>
#include <QRegularExpression>
#include <QWheelEvent>

#include <cmath>

using namespace kelmor;
using namespace kelmor::test;

namespace {

// A handled line as the receiver makes it, received now or `agoMs` before.
ReceivedLine line(double mbar, quint16 status, bool measurement = true, qint64 agoMs = 0)
{
    ReceivedLine l;
    l.monotonicNs = LiveTrend::steadyNowNs() - agoMs * 1'000'000;
    l.wallClock = QDateTime::currentDateTime().addMSecs(-agoMs);
    l.isMeasurement = measurement;
    if (measurement) {
        l.pressureMbar = mbar;
        l.status = status;
        l.pressureText = QString::number(mbar, 'E', 2);
        l.raw = "001 " + l.pressureText.toLatin1();
    } else {
        l.raw = "RV KELMOR-SIM 1.0";
    }
    return l;
}

// A sample of a recorded run is placed where the test says, not when it runs.
void sampleAt(TrendStore &store, qint64 time, double mbar, quint16 status)
{
    store.appendSample(time, mbar, status, QByteArray::number(mbar, 'E', 2));
}

// The window at 900 × 600 on screen, showing a recorded run; false when it was never
// exposed.
bool showRecordedOnScreen(TrendWindow &w, std::unique_ptr<TrendStore> run)
{
    w.resize(900, 600);
    w.show();
    const bool exposed = QTest::qWaitForWindowExposed(&w);
    w.showRecorded(std::move(run), QStringLiteral("Test"));
    return exposed;
}

int nanCount(const TrendFrame &f)
{
    return int(std::count_if(f.pressures.begin(), f.pressures.end(),
                             [](double v) { return std::isnan(v); }));
}

QList<QByteArray> csvRows(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QByteArray all = f.readAll();
    if (all.startsWith("\xEF\xBB\xBF"))
        all.remove(0, 3);
    QList<QByteArray> rows = all.split('\n');
    for (QByteArray &r : rows)
        r = r.trimmed();
    rows.removeAll(QByteArray());
    return rows;
}

// The pressure field (positions 4 to 11) of each data record of a data log.
QList<QByteArray> loggedPressureFields(const QByteArray &log)
{
    QList<QByteArray> fields;
    for (QByteArray record : log.split('\n')) {
        record = record.trimmed();
        if (record.size() < 2)
            continue;
        const QByteArray field = record.mid(1, record.size() - 2);
        if (field.size() > 47) // a header is short; a measurement line reaches the status
            fields << field.mid(3, 8).split('\t').first();
    }
    return fields;
}

QByteArray record(const QByteArray &field)
{
    return '"' + field + "\"\r\n";
}

// A data log as the program writes it: runs of measurement lines, each with its header.
QByteArray dataLog(const QList<int> &runLines, const QByteArray &firstPressure = "1.00E-03")
{
    QByteArray log;
    for (int r = 0; r < runLines.size(); ++r) {
        log += record(QStringLiteral("0%1-12-26 14:05:09").arg(r + 1).toLatin1());
        for (int i = 0; i < runLines[r]; ++i) {
            const QByteArray p = i == 0 ? firstPressure : QByteArray("2.50E-05");
            log += record(measurementLine(p, i % 2 ? "8049 " : "0049 "));
        }
    }
    return log;
}

} // namespace

class TestTrendWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initApplication(); }

    void buttonSitsInTheFreeStrip();
    void buttonOpensOneWindow();
    void frame_data();
    void frame();
    void readout_data();
    void readout();
    void followsTheNewestLine_data();
    void followsTheNewestLine();
    void dragWithTheMouse_data();
    void dragWithTheMouse();
    void recordedRunIsDrawnOverLineNumbers();
    void linkWatch_data();
    void linkWatch();
    void noAlarmWithoutAStream_data();
    void noAlarmWithoutAStream();
    void liveRunExportedAndReadBack();
    void openLog_data();
    void openLog();
    void bigLogKeepsTheWindowResponsive();
};

void TestTrendWindow::buttonSitsInTheFreeStrip()
{
    LoadedWindow lw;
    QWidget *button = lw.get("CmdVerlauf");
    QVERIFY(button);
    QCOMPARE(qobject_cast<QPushButton *>(button)->text(), QStringLiteral("Verlauf…"));
    for (QWidget *w : lw.window->centralWidget()->findChildren<QWidget *>(
             QString(), Qt::FindDirectChildrenOnly)) {
        if (w != button && !w->objectName().isEmpty())
            QVERIFY2(!w->geometry().intersects(button->geometry()), qPrintable(w->objectName()));
    }
    const QRect status = lw.get("FrameStatus")->geometry();
    const QRect receive = lw.get("FrameEmpfang")->geometry();
    const QRect command = lw.get("Cmdframe")->geometry();
    QVERIFY(button->geometry().top() > status.bottom());
    QVERIFY(button->geometry().bottom() < receive.top());
    QVERIFY(button->geometry().left() >= status.left());
    QVERIFY(button->geometry().right() <= status.right());
    // Level with the command frame.
    QVERIFY(button->geometry().top() >= command.top());
    QVERIFY(button->geometry().bottom() <= command.bottom());
}

void TestTrendWindow::buttonOpensOneWindow()
{
    LoadedWindow lw;
    QVERIFY(!trendWindow(*lw.window));
    lw.click("CmdVerlauf");
    TrendWindow *trend = trendWindow(*lw.window);
    QVERIFY(trend);
    QVERIFY(QTest::qWaitForWindowExposed(trend));
    QVERIFY(trend->isWindow());
    QCOMPARE(trend->windowTitle(), QStringLiteral("Druckverlauf"));

    // Hidden behind, minimised or closed: the second click brings the same window back.
    trend->showMinimized();
    lw.click("CmdVerlauf");
    QCOMPARE(trendWindow(*lw.window), trend);
    QVERIFY(!(trend->windowState() & Qt::WindowMinimized));
    trend->close();
    lw.click("CmdVerlauf");
    QCOMPARE(trendWindow(*lw.window), trend);
    QVERIFY(trend->isVisible());
    QCOMPARE(lw.window->findChildren<TrendWindow *>().size(), 1);

    // The main window goes on while the trend window is open, and takes it along.
    QVERIFY(lw.window->isVisible());
    lw.window->close();
    QVERIFY(!trend->isVisible());
}

void TestTrendWindow::frame_data()
{
    // Samples at the given times (ms after the start), one marker; the view from 0 to
    // 20 s at 200 columns. Expected: breaks in the line, columns with status bit 6, a
    // column with a marker.
    QTest::addColumn<QList<qint64>>("times");
    QTest::addColumn<qint64>("markerAt"); // -1: none
    QTest::addColumn<int>("breaks");
    QTest::addColumn<bool>("degasSeen");

    QList<qint64> steady;
    for (qint64 t = 0; t < 20000; t += 100)
        steady << t;
    QList<qint64> paused;
    for (qint64 t = 0; t < 20000; t += 100) {
        if (t < 5000 || t >= 12000)
            paused << t;
    }
    QList<qint64> twoPauses;
    for (qint64 t = 0; t < 20000; t += 16) {
        if ((t < 4000 || t >= 7000) && (t < 13000 || t >= 16000))
            twoPauses << t;
    }
    QTest::newRow("steady, no break") << steady << qint64(-1) << 0 << true;
    QTest::newRow("a pause breaks the line once") << paused << qint64(-1) << 1 << false;
    QTest::newRow("two pauses, crowded columns") << twoPauses << qint64(-1) << 2 << true;
    QTest::newRow("an answer is marked, not a break") << steady << qint64(7050) << 0 << true;
    QTest::newRow("sparse samples 1.5 s apart stay joined")
        << QList<qint64>{0, 1500, 3000, 4500, 6000} << qint64(-1) << 0 << false;
}

void TestTrendWindow::frame()
{
    QFETCH(QList<qint64>, times);
    QFETCH(qint64, markerAt);
    QFETCH(int, breaks);
    QFETCH(bool, degasSeen);

    const qint64 t0 = QDateTime(QDate(2026, 12, 7), QTime(10, 0)).toMSecsSinceEpoch();
    auto run = std::make_unique<TrendStore>(1 << 16, TrendStore::Axis::WallClock);
    for (const qint64 t : times) {
        if (markerAt >= 0 && t > markerAt && t - 100 <= markerAt)
            run->appendMarker(t0 + markerAt, "RV KELMOR-SIM 1.0");
        // Degas from 8 s to 9 s, the life bit toggling.
        const quint16 status =
            quint16(0x0009 | (t >= 8000 && t < 9000 ? 0x0040 : 0) | ((t / 100) % 2 ? 0x8000 : 0));
        sampleAt(*run, t0 + t, 1e-3 * std::exp(-t / 5000.0), status);
    }
    LiveTrend live;
    TrendWindow w(live);
    QVERIFY(showRecordedOnScreen(w, std::move(run)));
    // A recorded run here has wall-clock times: keep its time axis.
    w.plot()->keyAxis()->setRange(t0 / 1000.0, t0 / 1000.0 + 20);
    w.plot()->replot();
    const TrendFrame &f = w.plot()->lastFrame();

    QCOMPARE(nanCount(f), breaks);
    QVERIFY(f.keys.size() == f.pressures.size());
    QVERIFY(std::is_sorted(f.keys.begin(), f.keys.end()));
    // Every sample in view is within the line's extremes.
    double lo = 1e9, hi = 0;
    for (double v : f.pressures) {
        if (!std::isnan(v)) {
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    }
    QVERIFY(hi <= 1e-3 * 1.0001);
    QVERIFY(lo >= 1e-3 * std::exp(-times.last() / 5000.0) * 0.9999);

    int degasColumns = 0, markerColumns = 0, lifeColumns = 0;
    for (std::size_t c = 0; c < f.columnFlags.size(); ++c) {
        degasColumns += (f.statusOr[c] & 0x0040) ? 1 : 0;
        lifeColumns += (f.statusOr[c] & 0x8000) ? 1 : 0;
        markerColumns += (f.columnFlags[c] & TrendFrame::NonMeasurement) ? 1 : 0;
        if (f.statusOr[c] & 0x0040) {
            // Only where degas was on: 8 s to 9 s of the 20 s in view.
            const double key = f.columnLo + (c + 0.5) * f.columnWidth - t0 / 1000.0;
            QVERIFY2(key > 7.85 && key < 9.15, qPrintable(QString::number(key)));
        }
    }
    QCOMPARE(degasColumns > 0, degasSeen);
    QVERIFY(lifeColumns > 0);
    QCOMPARE(markerColumns, markerAt >= 0 ? 1 : 0);
    // The pressure axis follows the data, in whole decades.
    const QCPRange p = w.plot()->pressureAxis()->range();
    QVERIFY(p.lower <= lo && p.upper >= hi);
    QCOMPARE(std::log10(p.lower), std::round(std::log10(p.lower)));
    QVERIFY(p.upper / p.lower <= 1e3 * 1.0001);
}

void TestTrendWindow::readout_data()
{
    QTest::addColumn<double>("mbar");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("expected"); // after the time

    QTest::newRow("IG range") << 1.23e-5 << 0x8049
                              << QStringLiteral("1,23E-05 mbar   Statuswort 8049");
    QTest::newRow("atmosphere") << 1000.0 << 0x000B
                                << QStringLiteral("1,00E+03 mbar   Statuswort 000B");
    QTest::newRow("unreadable") << std::nan("") << 0x0000
                                << QStringLiteral("kein Druckwert   Statuswort 0000");
}

void TestTrendWindow::readout()
{
    QFETCH(double, mbar);
    QFETCH(int, status);
    QFETCH(QString, expected);
    const QDateTime at(QDate(2026, 12, 7), QTime(14, 5, 9, 250));
    auto run = std::make_unique<TrendStore>(1024, TrendStore::Axis::WallClock);
    sampleAt(*run, at.toMSecsSinceEpoch() - 1000, 5.0, 0x0001);
    sampleAt(*run, at.toMSecsSinceEpoch(), mbar, quint16(status));
    sampleAt(*run, at.toMSecsSinceEpoch() + 1000, 5.0, 0x0001);
    LiveTrend live;
    TrendWindow w(live);
    w.showRecorded(std::move(run), QStringLiteral("Test"));
    // 0.4 s off still names the nearest line.
    const QString text = w.readoutAt(at.toMSecsSinceEpoch() / 1000.0 + 0.4);
    QCOMPARE(text, QStringLiteral("07.12.2026 14:05:09,250   ") + expected);
}

void TestTrendWindow::followsTheNewestLine_data()
{
    QTest::addColumn<QString>("move");
    QTest::addColumn<bool>("follows");
    QTest::newRow("shows everything") << "all" << true;
    QTest::newRow("wheel over the newest lines") << "wheel-right" << true;
    QTest::newRow("wheel over the oldest lines") << "wheel-left" << false;
    QTest::newRow("dragged into the past") << "drag" << false;
}

void TestTrendWindow::followsTheNewestLine()
{
    QFETCH(QString, move);
    QFETCH(bool, follows);
    LiveTrend live;
    TrendWindow w(live);
    w.resize(900, 600);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // Twelve seconds of lines, the last one now.
    for (int i = 60; i > 0; --i)
        live.addLine(line(1e-3, quint16(i % 2 ? 0x8009 : 0x0009), true, i * 200));
    w.showAll();
    w.repaintNow();
    QTest::qWait(20);
    QCustomPlot *plot = w.plot();
    const QRect rect = w.plot()->pressureRect()->rect();
    if (move.startsWith(QLatin1String("wheel"))) {
        const QPoint at(move.endsWith(QLatin1String("right")) ? rect.right() - 2 : rect.left() + 2,
                        rect.center().y());
        QWheelEvent wheel(at, plot->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(plot, &wheel);
        QCoreApplication::processEvents();
    } else if (move == QLatin1String("drag")) {
        // Zoom in first so that there is somewhere to drag to.
        plot->xAxis->scaleRange(0.3, plot->xAxis->range().upper);
        w.plot()->keyAxis()->setRange(plot->xAxis->range());
        QTest::mousePress(plot, Qt::LeftButton, {}, rect.center());
        QTest::mouseMove(plot, rect.center() + QPoint(rect.width() / 3, 0));
        QTest::mouseRelease(plot, Qt::LeftButton, {}, rect.center() + QPoint(rect.width() / 3, 0));
    }
    QCOMPARE(w.followsLive(), follows);

    // New lines: a following view moves with them, any other stays where it is.
    const QCPRange before = w.plot()->keyAxis()->range();
    QTest::qWait(300);
    for (int i = 0; i < 20; ++i) {
        live.addLine(line(1e-3, quint16(i % 2 ? 0x8009 : 0x0009)));
        QTest::qWait(5);
    }
    w.repaintNow();
    const QCPRange after = w.plot()->keyAxis()->range();
    const double newest = w.keyOf(live.store().last().time);
    if (follows) {
        QVERIFY(after.upper >= newest);
        QVERIFY(after.lower <= newest);
    } else {
        QCOMPARE(after.lower, before.lower);
        QCOMPARE(after.upper, before.upper);
    }
}

void TestTrendWindow::dragWithTheMouse_data()
{
    QTest::addColumn<bool>("ctrl");
    QTest::addColumn<bool>("overPressure"); // the pressure plot, or the timeline below
    // Start and end of the drag, as fractions of the plot's width and height.
    QTest::addColumn<QPointF>("from");
    QTest::addColumn<QPointF>("to");
    QTest::addColumn<QString>("expect"); // box, time-box, pan, nothing

    QTest::newRow("box over the pressure")
        << true << true << QPointF(0.2, 0.2) << QPointF(0.6, 0.7) << "box";
    QTest::newRow("box drawn from its lower right corner")
        << true << true << QPointF(0.7, 0.8) << QPointF(0.3, 0.1) << "box";
    QTest::newRow("box over the timeline: time only")
        << true << false << QPointF(0.25, 0.3) << QPointF(0.5, 0.6) << "time-box";
    QTest::newRow("box too narrow")
        << true << true << QPointF(0.5, 0.2) << QPointF(0.5, 0.8) << "nothing";
    QTest::newRow("plain drag pans")
        << false << true << QPointF(0.6, 0.5) << QPointF(0.3, 0.4) << "pan";
}

void TestTrendWindow::dragWithTheMouse()
{
    QFETCH(bool, ctrl);
    QFETCH(bool, overPressure);
    QFETCH(QPointF, from);
    QFETCH(QPointF, to);
    QFETCH(QString, expect);

    // A recorded run over four decades: nothing moves the view but the mouse.
    const qint64 t0 = QDateTime(QDate(2026, 12, 7), QTime(9, 0)).toMSecsSinceEpoch();
    auto run = std::make_unique<TrendStore>(4096, TrendStore::Axis::WallClock);
    for (int i = 0; i <= 600; ++i)
        sampleAt(*run, t0 + i * 100, std::pow(10.0, -2.0 - 4.0 * i / 600.0), 0x8009);
    LiveTrend live;
    TrendWindow w(live);
    QVERIFY(showRecordedOnScreen(w, std::move(run)));
    TrendPlot *plot = w.plot();
    plot->replot();
    QVERIFY(plot->followsPressure());

    const QRect area = overPressure ? plot->pressureRect()->rect() : plot->statusRect()->rect();
    auto at = [&](QPointF f) {
        return QPoint(area.left() + int(f.x() * area.width()),
                      area.top() + int(f.y() * area.height()));
    };
    const QPoint a = at(from);
    QPoint b = at(to);
    if (expect == QLatin1String("nothing"))
        b.setX(a.x() + 1); // narrower than a box is taken
    QCPAxis *key = plot->keyAxis();
    QCPAxis *pressure = plot->pressureAxis();
    const QCPRange keyBefore = key->range();
    const QCPRange pressureBefore = pressure->range();
    const double keyA = key->pixelToCoord(a.x());
    const double keyB = key->pixelToCoord(b.x());
    const double pressureA = pressure->pixelToCoord(a.y());
    const double pressureB = pressure->pixelToCoord(b.y());
    // A pixel's worth of either axis.
    const double keyPixel = keyBefore.size() / area.width();
    const double decadesPixel =
        std::log10(pressureBefore.upper / pressureBefore.lower) / plot->pressureRect()->height();

    const Qt::KeyboardModifiers modifiers = ctrl ? Qt::ControlModifier : Qt::NoModifier;
    QTest::mousePress(plot, Qt::LeftButton, modifiers, a);
    for (int step = 1; step <= 4; ++step)
        QTest::mouseMove(plot, a + (b - a) * step / 4);
    QTest::mouseRelease(plot, Qt::LeftButton, modifiers, b);
    QCoreApplication::processEvents();

    const QCPRange keyAfter = key->range();
    const QCPRange pressureAfter = pressure->range();
    if (expect == QLatin1String("box") || expect == QLatin1String("time-box")) {
        QVERIFY2(std::abs(keyAfter.lower - std::min(keyA, keyB)) <= 1.5 * keyPixel,
                 qPrintable(QString::number(keyAfter.lower - std::min(keyA, keyB))));
        QVERIFY(std::abs(keyAfter.upper - std::max(keyA, keyB)) <= 1.5 * keyPixel);
    }
    if (expect == QLatin1String("box")) {
        QVERIFY(!plot->followsPressure());
        QVERIFY(std::abs(std::log10(pressureAfter.lower / std::min(pressureA, pressureB))) <=
                1.5 * decadesPixel);
        QVERIFY(std::abs(std::log10(pressureAfter.upper / std::max(pressureA, pressureB))) <=
                1.5 * decadesPixel);
    } else {
        // Only a box over the pressure plot takes the pressure range from the box.
        QVERIFY(plot->followsPressure());
    }
    if (expect == QLatin1String("pan")) {
        // The same stretch of time, moved with the hand: dragged to the left, later times.
        QVERIFY(std::abs(keyAfter.size() - keyBefore.size()) <= keyPixel);
        QVERIFY(std::abs((keyAfter.lower - keyBefore.lower) - (keyA - keyB)) <= 1.5 * keyPixel);
        QVERIFY(keyAfter.lower > keyBefore.lower);
    }
    if (expect == QLatin1String("nothing")) {
        QCOMPARE(keyAfter.lower, keyBefore.lower);
        QCOMPARE(keyAfter.upper, keyBefore.upper);
        QCOMPARE(pressureAfter.lower, pressureBefore.lower);
        QCOMPARE(pressureAfter.upper, pressureBefore.upper);
    }
}

void TestTrendWindow::recordedRunIsDrawnOverLineNumbers()
{
    auto run = std::make_unique<TrendStore>(1024, TrendStore::Axis::LineNumber);
    for (int i = 1; i <= 500; ++i)
        sampleAt(*run, i, 1e-4, 0x0009);
    LiveTrend live;
    live.addLine(line(1e-6, 0x8009));
    TrendWindow w(live);
    w.show();
    w.showRecorded(std::move(run), QStringLiteral("Lauf vom 06-12-26 14:05:09"));
    QCOMPARE(w.windowTitle(), QStringLiteral("Druckverlauf – Lauf vom 06-12-26 14:05:09"));
    QVERIFY(!w.plot()->keyIsTime());
    const QCPRange view = w.plot()->keyAxis()->range();
    QCOMPARE(view.lower, 1.0);
    QCOMPARE(view.upper, 500.0);
    QVERIFY(!w.followsLive());
    // Lines of the live run do not disturb it, and it comes back with one click.
    live.addLine(line(1e-6, 0x0009));
    w.repaintNow();
    QCOMPARE(w.plot()->keyAxis()->range().upper, 500.0);
    auto *back = w.findChild<QPushButton *>(QStringLiteral("cmdLive"));
    QVERIFY(back && back->isVisible());
    back->click();
    QCOMPARE(w.windowTitle(), QStringLiteral("Druckverlauf"));
    QVERIFY(w.plot()->keyIsTime());
    QCOMPARE(w.shownStore().size(), qsizetype(2));
    QVERIFY(!back->isVisible());
}

void TestTrendWindow::linkWatch_data()
{
    QTest::addColumn<bool>("lifeToggles");
    QTest::addColumn<int>("feedMs"); // lines every 50 ms for this long, then none
    QTest::addColumn<QString>("problem");
    QTest::newRow("silent") << true << 300
                            << QStringLiteral("Keine Daten vom Messgerät seit mehr als 2 Sekunden");
    QTest::newRow("life bit stuck")
        << false << 5600 << QStringLiteral("Lebensbit seit mehr als 5 Sekunden unverändert");
}

void TestTrendWindow::linkWatch()
{
    QFETCH(bool, lifeToggles);
    QFETCH(int, feedMs);
    QFETCH(QString, problem);
    LoadedWindow lw;
    Form1 &f = *lw.window;
    const QString title = f.windowTitle();
    const QRect shape = lw.get("ShapeLB")->geometry();
    LiveTrend &live = liveTrend(f);
    QElapsedTimer feeding;
    feeding.start();
    int n = 0;
    while (feeding.elapsed() < feedMs) {
        live.addLine(line(1e-3, quint16(0x0009 | (lifeToggles && n++ % 2 ? 0x8000 : 0))));
        QTest::qWait(50);
        if (!lifeToggles && f.windowTitle() != title)
            break;
    }
    QTRY_COMPARE_WITH_TIMEOUT(f.windowTitle(), title + QStringLiteral(" – ") + problem, 8000);
    QCOMPARE(lw.get("ShapeLB")->toolTip(), problem);
    QCOMPARE(lw.get("ShapeLB")->geometry(), shape);
    QVERIFY(lw.messages.messages().isEmpty()); // no message box

    // The trouble is a stretch in the trend.
    QCOMPARE(live.store().intervals().size(), std::size_t(1));
    QVERIFY(live.store().intervals().back().ongoing);

    // Lines with a changing life bit clear it at once.
    live.addLine(line(1e-3, 0x8009));
    live.addLine(line(1e-3, 0x0009));
    QCOMPARE(f.windowTitle(), title);
    QCOMPARE(lw.get("ShapeLB")->toolTip(), QString());
    QVERIFY(!live.store().intervals().back().ongoing);

    // Drawn across the plot where it happened.
    lw.click("CmdVerlauf");
    TrendWindow *trend = trendWindow(f);
    trend->showAll();
    trend->plot()->replot();
    const TrendFrame &frame = trend->plot()->lastFrame();
    QVERIFY(std::any_of(frame.columnFlags.begin(), frame.columnFlags.end(),
                        [](quint8 c) { return c & TrendFrame::LinkLost; }));

    // A stopped run is silent on purpose: no alarm.
    live.linesEnded();
    QTest::qWait(2300);
    QCOMPARE(f.windowTitle(), title);
}

void TestTrendWindow::noAlarmWithoutAStream_data()
{
    QTest::addColumn<bool>("measurement");
    QTest::addColumn<bool>("justStopped");
    QTest::newRow("an answer to a command") << false << false;
    QTest::newRow("a line still under way at the stop") << true << true;
}

void TestTrendWindow::noAlarmWithoutAStream()
{
    QFETCH(bool, measurement);
    QFETCH(bool, justStopped);
    LiveTrend live;
    QSignalSpy changes(&live, &LiveTrend::linkStateChanged);
    if (justStopped) {
        live.addLine(line(1e-3, 0x8009));
        live.linesEnded();
        changes.clear();
    }
    live.addLine(line(1e-3, 0x0009, measurement));
    QTest::qWait(2400);
    QCOMPARE(live.linkState(), LinkState::Idle);
    QVERIFY(changes.isEmpty());
    QCOMPARE(live.store().size() + qsizetype(live.store().markers().size()),
             qsizetype(justStopped ? 2 : 1));
}

void TestTrendWindow::liveRunExportedAndReadBack()
{
    GaugeSim sim({QStringLiteral("--interval"), QStringLiteral("20"), QStringLiteral("--pumpdown"),
                  QStringLiteral("8")});
    QVERIFY(sim.started());
    SimWindow w(sim);
    w.click("CmdVerlauf");
    TrendWindow *trend = trendWindow(*w.window);
    QVERIFY(QTest::qWaitForWindowExposed(trend));
    w.click("cmdMonitor");
    QVERIFY(QTest::qWaitFor([&] { return liveTrend(*w.window).store().size() >= 250; }, 20000));
    w.click("cmdMonitor"); // STOP
    QTest::qWait(300);
    // An answer is marked, not drawn. (Asked once the stream is still: an answer that
    // shares the buffer with the next measurement line reads as one.)
    w.window->findChild<QLineEdit *>(QStringLiteral("TextBoxBefehl"))
        ->setText(QStringLiteral("RV"));
    w.click("CmdBefehl");
    QTRY_VERIFY(!liveTrend(*w.window).store().markers().empty());

    // The live view followed the run and drew it.
    trend->repaintNow();
    trend->plot()->replot();
    const TrendStore &store = trend->shownStore();
    QVERIFY(trend->followsLive());
    QVERIFY(trend->plot()->keyAxis()->range().upper >= trend->keyOf(store.last().time));
    QVERIFY(trend->plot()->pressureGraph()->dataCount() > 100);
    QVERIFY(std::any_of(trend->plot()->lastFrame().columnFlags.begin(),
                        trend->plot()->lastFrame().columnFlags.end(),
                        [](quint8 c) { return c & TrendFrame::NonMeasurement; }));

    // Every line in the log is a row of the export, in order, as received.
    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("verlauf.csv"));
    QString error;
    trend->showAll();
    QVERIFY2(trend->saveCsv(csv, &error), qPrintable(error));
    const QList<QByteArray> rows = csvRows(csv);
    QCOMPARE(rows.size(), int(store.size()) + 1);
    QVERIFY(rows[0].startsWith("Datum und Uhrzeit;Sekunden seit erster Zeile;Druck [mbar]"));
    QVERIFY(rows[0].endsWith(";Pirani-ATM;Lebensbit"));
    // The log holds the same lines in the same order; a line or two may come after STOP,
    // when the trend still takes them and the log no longer does.
    const QList<QByteArray> logged = loggedPressureFields(w.logBytes());
    QVERIFY(logged.size() >= 250);
    QVERIFY(rows.size() - 1 >= logged.size());
    QVERIFY(rows.size() - 1 - logged.size() <= 3);
    for (int i = 1; i < rows.size(); ++i) {
        const QList<QByteArray> cells = rows[i].split(';');
        QCOMPARE(cells.size(), 5 + 16);
        const TrendSample &s = store.at(i - 1);
        QCOMPARE(cells[4], QByteArray::number(s.status, 16).rightJustified(4, '0').toUpper());
        QCOMPARE(cells[3], s.pressureText().toByteArray());
        if (i - 1 < logged.size())
            QCOMPARE(cells[3], logged[i - 1]);
        bool ok = false;
        const double p = QLocale(QLocale::German).toDouble(QString::fromLatin1(cells[2]), &ok);
        QVERIFY2(ok, cells[2].constData());
        QVERIFY(std::abs(p - s.pressure) <= 1e-6 * s.pressure);
        for (int bit = 0; bit < 16; ++bit)
            QCOMPARE(cells[5 + bit], QByteArray((s.status >> bit) & 1 ? "1" : "0"));
    }

    // A zoomed view exports its stretch only.
    const QCPRange all = trend->plot()->keyAxis()->range();
    trend->plot()->keyAxis()->setRange(all.lower + all.size() / 4, all.upper - all.size() / 4);
    QVERIFY(trend->saveCsv(csv, &error));
    const int part = csvRows(csv).size() - 1;
    QVERIFY2(part > store.size() / 4 && part < store.size() * 3 / 4,
             qPrintable(QString::number(part)));

    const QString png = dir.filePath(QStringLiteral("verlauf.png"));
    QVERIFY(trend->savePng(png));
    const QImage image(png);
    QCOMPARE(image.size(), trend->plot()->size());
}

void TestTrendWindow::openLog_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("choose"); // index of the run the operator picks
    QTest::addColumn<int>("lines");  // lines of the run drawn; -1: nothing is drawn
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("message"); // part of the failure message, or empty

    QTest::newRow("two runs, the first chosen")
        << dataLog({30, 50}) << 0 << 30 << QStringLiteral("Lauf 1 vom 01.12.2026 14:05:09")
        << QString();
    QTest::newRow("two runs, the second chosen")
        << dataLog({30, 50}) << 1 << 50 << QStringLiteral("Lauf 2 vom 02.12.2026 14:05:09")
        << QString();
    QTest::newRow("torn last record: read as far as it is sound")
        << dataLog({40}) + "\"P1 1.00E-0" << 0 << 40 << QStringLiteral("Lauf 1 vom 01.12.2026")
        << QString();
    QTest::newRow("operator chooses none")
        << dataLog({30, 50}) << -1 << -1 << QString() << QString();
    QByteArray binary(4096, '\0');
    for (int i = 0; i < binary.size(); ++i)
        binary[i] = char((i * 7919) % 251);
    QTest::newRow("binary") << binary << 0 << -1 << QString() << QStringLiteral("kein Datenlog");
    QTest::newRow("empty") << QByteArray() << 0 << -1 << QString() << QStringLiteral("leer");
}

void TestTrendWindow::openLog()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, choose);
    QFETCH(int, lines);
    QFETCH(QString, title);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("KelmorLog.txt"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    MessageCatcher messages;
    LiveTrend live;
    live.addLine(line(1e-6, 0x8009));
    TrendWindow w(live);
    w.show();
    int offered = -1;
    w.setRunChooser([&](const LogIndex &index) {
        offered = int(index.runs.size());
        return choose;
    });
    QSignalSpy done(&w, &TrendWindow::logReadingDone);
    w.openLog(path);
    QVERIFY(done.wait(10000));
    QCOMPARE(done.first().first().toBool(), lines >= 0);
    QVERIFY(!w.isReadingLog());
    if (!message.isEmpty()) {
        QCOMPARE(messages.messages().size(), 1);
        QVERIFY2(messages.messages().first().contains(message),
                 qPrintable(messages.messages().first()));
    } else {
        QVERIFY2(messages.messages().isEmpty(), qPrintable(messages.messages().join('|')));
    }
    if (lines < 0) {
        QVERIFY(!w.showsRecordedRun());
        QCOMPARE(w.windowTitle(), QStringLiteral("Druckverlauf"));
        return;
    }
    QVERIFY(offered >= 1);
    QVERIFY(w.showsRecordedRun());
    QVERIFY2(w.windowTitle().startsWith(QStringLiteral("Druckverlauf – KelmorLog.txt, ") + title),
             qPrintable(w.windowTitle()));
    QCOMPARE(w.shownStore().size(), qsizetype(lines));
    QCOMPARE(w.shownStore().first().time, qint64(1));
    QCOMPARE(w.shownStore().first().pressure, 1.0e-3f);
    QCOMPARE(w.shownStore().at(1).status, quint16(0x8049));
    QVERIFY(!w.plot()->keyIsTime());
    // The export of a recorded run numbers its lines.
    const QString csv = dir.filePath(QStringLiteral("lauf.csv"));
    QVERIFY(w.saveCsv(csv));
    const QList<QByteArray> rows = csvRows(csv);
    QCOMPARE(rows.size(), lines + 1);
    QVERIFY(rows[0].startsWith("Zeile;Druck [mbar];"));
    QVERIFY(rows[1].startsWith("1;0,001;"));
}

void TestTrendWindow::bigLogKeepsTheWindowResponsive()
{
    // Large enough that reading takes longer than half a second here, so the bar shows.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("KelmorLog.txt"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        const QByteArray run = dataLog({20000});
        for (int i = 0; i < 60; ++i)
            f.write(run);
    }
    LiveTrend live;
    TrendWindow w(live);
    w.show();
    w.setRunChooser([](const LogIndex &index) { return int(index.runs.size()) - 1; });
    QSignalSpy done(&w, &TrendWindow::logReadingDone);
    // The event loop keeps turning while the file is read: a timer of 20 ms keeps firing.
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(20);
    QElapsedTimer clock;
    clock.start();
    w.openLog(path);
    bool barSeen = false;
    auto *bar = w.findChild<QProgressBar *>(QStringLiteral("progress"));
    while (done.isEmpty() && clock.elapsed() < 60000) {
        QTest::qWait(20);
        barSeen = barSeen || bar->isVisible();
    }
    QCOMPARE(done.size(), 1);
    QVERIFY(done.first().first().toBool());
    const qint64 ms = clock.elapsed();
    QVERIFY2(ticks >= ms / 20 / 4,
             qPrintable(QStringLiteral("%1 ticks in %2 ms").arg(ticks).arg(ms)));
    if (ms > 1500)
        QVERIFY(barSeen);
    QCOMPARE(w.shownStore().size(), qsizetype(20000));
    QVERIFY(!bar->isVisible());
}

QTEST_MAIN(TestTrendWindow)
#include "tst_trendwindow.moc"
