// The monitor against the simulated gauge: the lamps follow what the gauge reports, and a
// control word sent by hand changes what the gauge does, and so the lamps, within a second.

#include "form1harness.h"

#include <QElapsedTimer>

using namespace kelmor;
using namespace kelmor::test;

namespace {

// The simulator writes, beside the status word, what it does in plain text (" G=PI",
// " F=1", " SC=0009"): that is the second source the lamps are held against.
bool isMeasurement(const Seen &s)
{
    return s.line.startsWith("PR=");
}

QList<Seen> measurements(const QList<Seen> &seen, qsizetype from = 0)
{
    QList<Seen> result;
    for (qsizetype i = from; i < seen.size(); ++i) {
        if (isMeasurement(seen.at(i)))
            result.append(seen.at(i));
    }
    return result;
}

// The line counter after "N=".
int counter(const QByteArray &line)
{
    const qsizetype at = line.indexOf("N=");
    return at < 0 ? -1 : line.mid(at + 2).toInt();
}

QByteArray lampsText(const Seen &s)
{
    QByteArray text;
    for (int bit = 0; bit < 15; ++bit) {
        if (s.lit(bit))
            text += QByteArray(kLampNames[bit]) + ' ';
    }
    return text + (s.life ? "life" : "");
}

// A line shows the expected lamps: exactly these bits lit.
bool shows(const Seen &s, const QList<int> &litBits)
{
    for (int bit = 0; bit < 15; ++bit) {
        if (s.lit(bit) != litBits.contains(bit))
            return false;
    }
    return true;
}

} // namespace

class TestE2eLamps : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initApplication(); }
    void lampsFollowTheGauge();
    void principleByHand();
};

void TestE2eLamps::lampsFollowTheGauge()
{
    // Autorange hands over from the Pirani to the IG a quarter into the pump-down: 4 s
    // after the simulator's start, time enough to load the window and start the run.
    GaugeSim sim({QStringLiteral("--interval"), QStringLiteral("50"), QStringLiteral("--pumpdown"),
                  QStringLiteral("16")});
    QVERIFY2(sim.started(), sim.errors().constData());
    SimWindow w(sim);
    QVERIFY(comKelmor(*w.window).portOpen());
    QVERIFY(w.messages.messages().isEmpty());

    // The start-up control word, then the version: both answered by the gauge.
    QCOMPARE(controlWordText(*w.window), QStringLiteral("0009"));
    w.click("CmdSenden");
    QCOMPARE(sendMonitorText(*w.window), QStringLiteral("SC 0009\r\n"));
    QVERIFY(!w.get("CmdSenden")->isEnabled());
    QTRY_COMPARE(receiveMonitorText(*w.window), QStringLiteral("SC OK\r\n"));
    w.click("CmdBefehl");
    QTRY_COMPARE(receiveMonitorText(*w.window), QStringLiteral("RV KELMOR-SIM 1.0\r\n"));
    QTest::qWait(150); // no stream before the start
    QCOMPARE(w.seen.size(), 2);
    QCOMPARE(w.get<QLabel>("lblDruck")->text(), QStringLiteral("---"));

    w.click("cmdMonitor");
    QCOMPARE(w.get<QPushButton>("cmdMonitor")->text(), QStringLiteral("STOP"));
    QTRY_VERIFY_WITH_TIMEOUT(!w.seen.isEmpty() && w.seen.constLast().line.contains(" G=IG"), 15000);
    QTest::qWait(300);
    w.click("cmdMonitor");
    QCOMPARE(w.get<QPushButton>("cmdMonitor")->text(), QStringLiteral("START"));

    const QList<Seen> lines = measurements(w.seen);
    QVERIFY2(lines.constFirst().line.contains(" G=PI"),
             "the run began after the handover to the IG: the start-up took too long");
    int pirani = 0;
    int ig = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const Seen &s = lines.at(i);
        const QByteArray &l = s.line;
        const QByteArray where =
            "line " + QByteArray::number(i) + ": " + l + "\nlit: " + lampsText(s);
        QVERIFY2(l.contains(" SC=0009"), where.constData());
        QVERIFY2(s.pressure == QString::fromLatin1(l.mid(3, 8)), where.constData());
        QVERIFY2(s.lit(0), where.constData()); // Autorange
        QVERIFY2(s.lit(1) == l.contains(" G=PI"), where.constData());
        QVERIFY2(s.lit(2) == l.contains(" G=IG"), where.constData());
        QVERIFY2(s.lit(3), where.constData()); // Auto Filament
        QVERIFY2(s.lit(4) == l.contains(" F=1"), where.constData());
        QVERIFY2(s.lit(5) == l.contains(" F=2"), where.constData());
        for (int bit = 6; bit < 15; ++bit)
            QVERIFY2(!s.lit(bit), where.constData());
        // The life-bit lamp shows the line's own life bit.
        QVERIFY2(s.life == ((l.mid(46, 4).toUInt(nullptr, 16) & 0x8000) != 0), where.constData());
        // Shown in the order they came (the window shows the newest line of each frame).
        if (i > 0)
            QVERIFY2(counter(l) > counter(lines.at(i - 1).line), where.constData());
        pirani += s.lit(1);
        ig += s.lit(2);
    }
    // No line lost or handled twice, and the life bit toggles from line to line.
    QList<QByteArray> handled;
    for (const QByteArray &l : w.handled) {
        if (l.startsWith("PR="))
            handled.append(l);
    }
    QVERIFY(handled.size() >= lines.size());
    for (qsizetype i = 1; i < handled.size(); ++i) {
        const QByteArray &l = handled.at(i);
        QVERIFY2(counter(l) == counter(handled.at(i - 1)) + 1, l.constData());
        QVERIFY2(
            ((l.mid(46, 4).toUInt(nullptr, 16) ^ handled.at(i - 1).mid(46, 4).toUInt(nullptr, 16)) &
             0x8000) != 0,
            l.constData());
    }
    QVERIFY2(pirani >= 2 && ig >= 2,
             qPrintable(QStringLiteral("%1 Pirani and %2 IG lines").arg(pirani).arg(ig)));

    // The stop darkens everything.
    const Seen after = w.snapshot();
    for (int bit = 0; bit < 15; ++bit)
        QVERIFY2(!after.enabled[bit], kLampNames[bit]);
    QVERIFY(!after.life);
    QCOMPARE(after.pressure, QStringLiteral("---"));
    QVERIFY(w.messages.messages().isEmpty());
}

void TestE2eLamps::principleByHand()
{
    // At base pressure from the start: Autorange measures with the IG.
    GaugeSim sim({QStringLiteral("--interval"), QStringLiteral("50"), QStringLiteral("--pumpdown"),
                  QStringLiteral("0")});
    QVERIFY2(sim.started(), sim.errors().constData());
    SimWindow w(sim);
    w.click("cmdMonitor");
    QTRY_VERIFY(!measurements(w.seen).isEmpty());
    QVERIFY(shows(measurements(w.seen).constLast(), {0, 2, 3, 4}));

    struct Step
    {
        const char *name;
        QList<const char *> boxes;
        const char *word;
        QList<int> litBits;
    };
    const Step steps[] = {
        {"Pirani by hand", {"CheckAutorange"}, "000A", {1, 3, 4}},
        {"IG by hand", {"CheckIG"}, "000C", {2, 3, 4}},
        {"IG by hand with degas", {"CheckDegas"}, "004C", {2, 3, 4, 6}},
        {"Pirani again, degas goes off", {"CheckPirani"}, "000A", {1, 3, 4}},
        {"filament 2 by hand", {"CheckAutoFil", "CheckFil2"}, "0022", {1, 5}},
        {"all automatic again", {"CheckAutorange", "CheckAutoFil"}, "0009", {0, 2, 3, 4}},
    };
    for (const Step &step : steps) {
        for (const char *box : step.boxes)
            w.clickBox(box);
        const QString word = QString::fromLatin1(step.word);
        QVERIFY2(controlWordText(*w.window) == word, step.name);
        const qsizetype before = w.seen.size();
        QElapsedTimer clock;
        clock.start();
        w.click("CmdSenden");
        QVERIFY2(sendMonitorText(*w.window).endsWith(QStringLiteral("SC ") + word +
                                                     QStringLiteral("\r\n")),
                 step.name);

        // The first line in which the gauge reports the new word shows it on the lamps.
        const QByteArray inForce = " SC=" + QByteArray(step.word);
        auto firstInForce = [&]() -> const Seen * {
            for (qsizetype i = before; i < w.seen.size(); ++i) {
                if (isMeasurement(w.seen.at(i)) && w.seen.at(i).line.contains(inForce))
                    return &w.seen.at(i);
            }
            return nullptr;
        };
        QTRY_VERIFY2_WITH_TIMEOUT(firstInForce() != nullptr, step.name, 1000);
        const qint64 elapsed = clock.elapsed();
        const Seen first = *firstInForce();
        QVERIFY2(shows(first, step.litBits),
                 QByteArray(step.name) + ": " + first.line + "\nlit: " + lampsText(first));
        QVERIFY2(elapsed < 1000, step.name);

        // The lamps stay so, and the Autorange lamp, once lit in this run, keeps its
        // enabled state when its bit is clear: only its colour turns grey.
        const qsizetype seenFirst = w.seen.size();
        QTest::qWait(200);
        const QList<Seen> later = measurements(w.seen, seenFirst);
        QVERIFY2(!later.isEmpty(), step.name);
        for (const Seen &s : later) {
            QVERIFY2(shows(s, step.litBits),
                     QByteArray(step.name) + ": " + s.line + "\nlit: " + lampsText(s));
            QVERIFY2(s.enabled[0], step.name);
        }
    }
    QVERIFY(w.messages.messages().isEmpty());
}

QTEST_MAIN(TestE2eLamps)
#include "tst_lamps.moc"
