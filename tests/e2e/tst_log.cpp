// Monitoring runs against the simulated gauge, checked record by record: the data log holds
// exactly the lines the gauge sent, and a log played back by the simulator comes through
// the monitor unchanged.

#include "form1harness.h"
#include "monitortext.h"

#include <QRegularExpression>

using namespace kelmor;
using namespace kelmor::test;

namespace {

QByteArray record(const QByteArray &field)
{
    return '"' + field + "\"\r\n";
}

// A measurement line as a gauge lays it out: pressure at 4..11, status at 47..50.
QByteArray gaugeLine(const QByteArray &pressure, const QByteArray &status, const QByteArray &tail)
{
    QByteArray line = "PR=" + pressure + " mbar";
    line = line.leftJustified(46, ' ');
    return line + status + '\t' + tail;
}

struct Log
{
    QByteArray header;        // the run header's field
    QList<QByteArray> fields; // the data records' fields
    QByteArray rest;          // what could not be read as records, for the message
};

// Reads a log of one run, knowing which fields to expect: a record ends at '"' CR LF, and
// an expected field may hold both. Where the bytes stop matching, the rest is kept.
Log readRun(const QByteArray &bytes, const QList<QByteArray> &expected)
{
    Log log;
    qsizetype end = bytes.indexOf("\"\r\n");
    if (!bytes.startsWith('"') || end < 0) {
        log.rest = bytes;
        return log;
    }
    log.header = bytes.mid(1, end - 1);
    qsizetype pos = end + 3;
    for (qsizetype i = 0; pos < bytes.size(); ++i) {
        const QByteArray want = record(expected.at(i % expected.size()));
        if (bytes.mid(pos, want.size()) != want)
            break;
        log.fields.append(expected.at(i % expected.size()));
        pos += want.size();
    }
    log.rest = bytes.mid(pos);
    return log;
}

bool isHeader(const QByteArray &field)
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\d\\d-\\d\\d-\\d\\d \\d{1,2}:\\d\\d:\\d\\d$"));
    return pattern.match(QString::fromLatin1(field)).hasMatch();
}

// One run of a window against a simulator: start, wait for `lines` handled lines, stop.
struct Run
{
    QList<QByteArray> handled; // every line handled while the run was on
    QList<Seen> shown;         // what the window showed meanwhile
};

Run runFor(SimWindow &w, qsizetype lines)
{
    w.handled.clear();
    const qsizetype shownBefore = w.seen.size();
    w.click("cmdMonitor");
    if (!QTest::qWaitFor([&] { return w.handled.size() >= lines; }, 10000))
        qWarning("only %d lines came", int(w.handled.size()));
    Run run{w.handled, w.seen.mid(shownBefore)};
    w.click("cmdMonitor");
    return run;
}

// The receive monitor's text for a line.
QString monitorTextOf(const QByteArray &line)
{
    const QString shown = QString::fromLatin1(line + "\r\n");
    return shown.size() > kReceiveMonitorLimit ? shown.right(kReceiveMonitorKeep) : shown;
}

// Each shown text is one of the handled lines, in the order they came; nothing else.
bool shownInOrder(const QList<Seen> &shown, const QList<QByteArray> &handled)
{
    qsizetype next = 0;
    for (const Seen &s : shown) {
        while (next < handled.size() && monitorTextOf(handled.at(next)) != s.monitorText)
            ++next;
        if (next == handled.size())
            return false;
        ++next;
    }
    return true;
}

QStringList options(std::initializer_list<const char *> list)
{
    QStringList result;
    for (const char *o : list)
        result << QString::fromLatin1(o);
    return result;
}

} // namespace

class TestE2eLog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initApplication(); }
    void runIsLoggedRecordByRecord();
    void loggedRunPlaysBack_data();
    void loggedRunPlaysBack();
};

void TestE2eLog::runIsLoggedRecordByRecord()
{
    // The gauge's lines are known exactly: the simulator plays back this log. Its
    // fields hold what a log must keep unchanged.
    const QList<QByteArray> fields = {
        gaugeLine("9.87E+02", "800B", "N=1"),
        gaugeLine("4.56E-06", "0055", "N=2"),
        "SC OK",
        "RV \"KELMOR\"\tquoted, with a tab",
        "Druck \xC4\xD6\xDC \xDF \xB5"
        "bar",
        "\n" + gaugeLine("1.00E-03", "8019", "N=3 after an LF"),
        QByteArray(420, 'x') + "end",
        "",
        "\"\"",
    };
    QByteArray file = record("01-02-26 10:00:00");
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i == 4)
            file += record("01-02-26 10:05:00"); // a second run's header: skipped
        file += record(fields.at(i));
    }
    QTemporaryDir dir;
    const QString replay = dir.filePath(QStringLiteral("replay.txt"));
    {
        QFile f(replay);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(file), file.size());
    }

    GaugeSim sim(options({"--interval", "20", "--replay"}) << replay);
    QVERIFY2(sim.started(), sim.errors().constData());
    SimWindow w(sim);
    const qsizetype wanted = fields.size() + 4; // once round and into the second loop
    const Run run = runFor(w, wanted);
    QVERIFY(run.handled.size() >= wanted);
    for (qsizetype i = 0; i < run.handled.size(); ++i)
        QVERIFY2(run.handled.at(i) == fields.at(i % fields.size()),
                 qPrintable(QStringLiteral("line %1").arg(i)));

    const QByteArray bytes = w.logBytes();
    const Log log = readRun(bytes, fields);
    QVERIFY2(isHeader(log.header), log.header.constData());
    QVERIFY2(log.rest.isEmpty(), ("not the gauge's lines: " + log.rest.left(200)).constData());
    // Every line handled during the run, and nothing else, is in the log.
    QCOMPARE(log.fields.size(), run.handled.size());

    // The receive monitor showed the lines in turn, the long one cut to its end; at a line
    // every 20 ms it shows the newest of each frame.
    QVERIFY(!run.shown.isEmpty());
    QVERIFY(shownInOrder(run.shown, run.handled));
    // The first line, shown as it came, with its lamps: Autorange, Pirani, Auto Filament, life.
    const Seen &first = run.shown.constFirst();
    QCOMPARE(first.monitorText, monitorTextOf(fields.constFirst()));
    QCOMPARE(first.pressure, QStringLiteral("9.87E+02"));
    QVERIFY(first.lit(0) && first.lit(1) && first.lit(3) && first.life);
    QVERIFY(!first.lit(2) && !first.lit(4));
    QVERIFY(w.messages.messages().isEmpty());
}

void TestE2eLog::loggedRunPlaysBack_data()
{
    QTest::addColumn<QStringList>("lineEnd");
    QTest::newRow("CR") << QStringList();
    // The LF of each CR LF stays at the front of the next line, in the log too.
    QTest::newRow("CR LF") << QStringList{QStringLiteral("--crlf")};
}

void TestE2eLog::loggedRunPlaysBack()
{
    QFETCH(QStringList, lineEnd);
    const qsizetype lines = 25;

    // A run against the simulated gauge, with a control word that changes the lamps. A
    // line every 40 ms: the window shows nearly every one as it comes.
    Run first;
    QTemporaryDir keep;
    const QString firstLog = keep.filePath(QStringLiteral("first.txt"));
    {
        GaugeSim sim(options({"--interval", "40", "--pumpdown", "3"}) + lineEnd);
        QVERIFY2(sim.started(), sim.errors().constData());
        SimWindow w(sim);
        w.clickBox("CheckSPauto");
        w.click("CmdSenden");
        QTRY_VERIFY(receiveMonitorText(*w.window).contains(QLatin1String("SC OK")));
        first = runFor(w, lines);
        QVERIFY(first.handled.size() >= lines);
        QVERIFY(shownInOrder(first.shown, first.handled));
        QVERIFY(QFile::copy(w.logPath, firstLog));
        const Log log = readRun(w.logBytes(), first.handled);
        QVERIFY2(log.rest.isEmpty(), ("not the gauge's lines: " + log.rest.left(200)).constData());
        QCOMPARE(log.fields.size(), first.handled.size());
        // The gauge's own counter: no line lost, none twice. With CR LF even the first
        // line starts with an LF: the one left over from "SC OK".
        for (qsizetype i = 0; i < first.handled.size(); ++i) {
            const QByteArray &line = first.handled.at(i);
            QVERIFY2(line.startsWith(lineEnd.isEmpty() ? "PR=" : "\nPR="), line.constData());
            QVERIFY2(line.endsWith("N=" + QByteArray::number(i + 1)), line.constData());
        }
    }
    const QList<QByteArray> &recorded = first.handled;

    // The log played back: the same lines again, in the receive monitor, on the lamps
    // and in the second run's log, round and round.
    GaugeSim sim(options({"--interval", "40", "--replay"}) << firstLog);
    QVERIFY2(sim.started(), sim.errors().constData());
    SimWindow w(sim);
    const Run again = runFor(w, recorded.size() + 5);
    QVERIFY(again.handled.size() >= recorded.size() + 5);
    for (qsizetype i = 0; i < again.handled.size(); ++i)
        QVERIFY2(again.handled.at(i) == recorded.at(i % recorded.size()),
                 qPrintable(QStringLiteral("line %1").arg(i)));
    // A line shown in both runs looks the same in both.
    int compared = 0;
    for (const Seen &s : again.shown) {
        for (const Seen &was : first.shown) {
            if (was.monitorText != s.monitorText)
                continue;
            QVERIFY2(s == was,
                     qPrintable(QStringLiteral("%1 shown differently").arg(s.monitorText)));
            ++compared;
            break;
        }
    }
    QVERIFY2(compared >= 3,
             qPrintable(QStringLiteral("only %1 lines shown in both runs").arg(compared)));
    const Log log = readRun(w.logBytes(), recorded);
    QVERIFY2(isHeader(log.header), log.header.constData());
    QVERIFY2(log.rest.isEmpty(), ("not the played-back lines: " + log.rest.left(200)).constData());
    QCOMPARE(log.fields.size(), again.handled.size());
    QVERIFY(w.messages.messages().isEmpty());
}

QTEST_MAIN(TestE2eLog)
#include "tst_log.moc"
