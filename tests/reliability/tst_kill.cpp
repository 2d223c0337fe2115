// The program killed outright in the middle of a run, again and again into one log file:
// every line it had shown is in the file, the file ends with a whole record, and each
// new start appends to what is there.

#include "ptypair.h"
#include "reliability.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

using namespace kelmor::test;

namespace {

const int kKills = 50;
// A sanitized Qt program takes several times longer to start.
const int kStartTimeoutMs = kUnderAsan ? 30000 : 10000;

struct Records
{
    QList<QByteArray> fields;
    bool whole = true; // the bytes end exactly after a record
};

// The lines of this test hold no quote, CR or LF, so records split cleanly.
Records parseRecords(const QByteArray &bytes)
{
    Records out;
    qsizetype at = 0;
    while (at < bytes.size()) {
        const qsizetype end = bytes.indexOf("\r\n", at);
        if (end < 0 || bytes.at(at) != '"' || end - at < 2 || bytes.at(end - 1) != '"') {
            out.whole = false;
            return out;
        }
        out.fields << bytes.mid(at + 1, end - at - 2);
        at = end + 2;
    }
    return out;
}

} // namespace

class TestKill : public QObject
{
    Q_OBJECT

private slots:
    void killedAtRandomMoments();
};

void TestKill::killedAtRandomMoments()
{
    QTemporaryDir dir;
    const QString logPath = dir.filePath(QStringLiteral("KelmorLog.txt"));
    const QRegularExpression header(QStringLiteral("^\\d\\d-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"));
    QRandomGenerator rng(0x4B494C4C);
    QByteArray before;
    int shownTotal = 0;
    int loggedTotal = 0;
    int lost = 0;
    int lineNumber = 0;

    for (int kill = 0; kill < kKills; ++kill) {
        PtyPair pty;
        QVERIFY(pty.isValid());
        QProcess driver;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KELMOR_COM1"), pty.slavePath());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        driver.setProcessEnvironment(env);
        driver.setProcessChannelMode(QProcess::SeparateChannels);
        driver.start(QStringLiteral(KELMOR_KILLDRIVER), {logPath});
        QVERIFY2(driver.waitForStarted(), qPrintable(driver.errorString()));

        QByteArray out;
        QElapsedTimer clock;
        clock.start();
        while (!out.startsWith("RUN\n") && clock.elapsed() < kStartTimeoutMs &&
               driver.state() == QProcess::Running) {
            driver.waitForReadyRead(50);
            out += driver.readAllStandardOutput();
        }
        QVERIFY2(out.startsWith("RUN\n"), driver.readAllStandardError().constData());
        QCOMPARE(pty.read(4), QByteArray("SX1\r"));

        // Lines at a gauge's pace or in bursts, until the kill comes at a random moment.
        QList<QByteArray> sent;
        const int killAfterMs = 5 + rng.bounded(300);
        const bool bursts = rng.bounded(2) == 1;
        clock.restart();
        while (clock.elapsed() < killAfterMs) {
            const int n = bursts ? 1 + rng.bounded(40) : 1;
            QByteArray chunk;
            for (int i = 0; i < n; ++i) {
                sent << "P1 1.00E-03 kill " + QByteArray::number(kill) + " line " +
                            QByteArray::number(lineNumber++);
                chunk += sent.last() + "\r";
            }
            QVERIFY(pty.write(chunk));
            driver.waitForReadyRead(1 + rng.bounded(3));
            out += driver.readAllStandardOutput();
        }
        driver.kill();
        QVERIFY(driver.waitForFinished(5000));
        QCOMPARE(driver.exitStatus(), QProcess::CrashExit);
        out += driver.readAllStandardOutput();

        QList<QByteArray> shown;
        for (const QByteArray &hex : out.split('\n').mid(1)) {
            if (!hex.isEmpty())
                shown << QByteArray::fromHex(hex);
        }

        QFile file(logPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray log = file.readAll();
        QVERIFY2(log.startsWith(before), "an earlier run's records changed");
        const Records run = parseRecords(log.mid(before.size()));
        QVERIFY2(run.whole,
                 qPrintable(QStringLiteral("kill %1: the log ends in a torn record").arg(kill)));
        QVERIFY(!run.fields.isEmpty());
        QVERIFY2(header.match(QString::fromLatin1(run.fields.constFirst())).hasMatch(),
                 run.fields.constFirst().constData());
        const QList<QByteArray> logged = run.fields.mid(1);
        // What was logged is what was sent, in order, with no gap.
        QVERIFY(logged.size() <= sent.size());
        QCOMPARE(logged, sent.first(logged.size()));
        for (const QByteArray &line : shown) {
            if (!logged.contains(line)) {
                ++lost;
                qWarning("kill %d: shown but not logged: %s", kill, line.constData());
            }
        }
        QVERIFY2(lost == 0,
                 qPrintable(QStringLiteral("kill %1: a shown line is not in the log").arg(kill)));
        shownTotal += shown.size();
        loggedTotal += logged.size();
        before = log;
    }

    // One header per start: every start appended.
    QCOMPARE(parseRecords(before).fields.count(), loggedTotal + kKills);
    qInfo("%d kills survived: %d lines shown, %d logged, %d shown lines lost, log %lld bytes",
          kKills, shownTotal, loggedTotal, lost, qint64(before.size()));
}

QTEST_GUILESS_MAIN(TestKill)
#include "tst_kill.moc"
