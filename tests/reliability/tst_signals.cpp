// The program asked to end by the system (SIGTERM at shutdown, Ctrl-C in a terminal,
// SIGHUP when the terminal goes) in the middle of a run: it ends as if the window had been
// closed, with the log whole and the next start appending. A second signal while it ends
// ends it at once, and SIGPIPE never does.

#include "ptypair.h"
#include "reliability.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using namespace kelmor::test;

namespace {

// A sanitized Qt program takes several times longer to start.
const int kPatienceMs = kUnderAsan ? 60000 : 30000;

// The program as a child process on its own pseudo-terminal.
class Driven
{
public:
    explicit Driven(const QString &logPath, const QStringList &extra = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KELMOR_COM1"), pty.slavePath());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(KELMOR_KILLDRIVER), QStringList{logPath} + extra);
        process.waitForStarted(kPatienceMs);
    }
    ~Driven()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }

    // Waits until the program has reported this line on its standard output.
    bool waitFor(const QByteArray &line)
    {
        QElapsedTimer clock;
        clock.start();
        while (!lines().contains(line) && clock.elapsed() < kPatienceMs &&
               process.state() == QProcess::Running) {
            process.waitForReadyRead(50);
            out += process.readAllStandardOutput();
        }
        out += process.readAllStandardOutput();
        return lines().contains(line);
    }
    bool waitForShown(const QByteArray &gaugeLine) { return waitFor(gaugeLine.toHex()); }
    QList<QByteArray> lines() const { return out.split('\n'); }

    void signal(int sig) { ::kill(pid_t(process.processId()), sig); }

    bool finished() { return process.waitForFinished(kPatienceMs); }
    QByteArray errors() { return process.readAllStandardError(); }

    PtyPair pty;
    QProcess process;
    QByteArray out;
};

// Fields of the records; `whole` is false when the bytes do not end after a record.
QList<QByteArray> recordFields(const QByteArray &bytes, bool *whole)
{
    QList<QByteArray> fields;
    *whole = true;
    qsizetype at = 0;
    while (at < bytes.size()) {
        const qsizetype end = bytes.indexOf("\"\r\n", at + 1);
        if (end < 0 || bytes.at(at) != '"') {
            *whole = false;
            break;
        }
        fields << bytes.mid(at + 1, end - at - 1);
        at = end + 3;
    }
    return fields;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestSignals : public QObject
{
    Q_OBJECT

private slots:
    void endsAsIfClosed_data();
    void endsAsIfClosed();
    void secondSignalEndsAtOnce();
    void brokenPipeDoesNotEnd();
    void signalWhileTheSettingsDialogIsOpen();
};

void TestSignals::endsAsIfClosed_data()
{
    QTest::addColumn<int>("sig");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

void TestSignals::endsAsIfClosed()
{
    QFETCH(int, sig);
    QTemporaryDir dir;
    const QString logPath = dir.filePath(QStringLiteral("KelmorLog.txt"));

    QList<QByteArray> sent;
    {
        Driven run(logPath);
        QVERIFY2(run.waitFor("RUN"), run.errors().constData());
        QCOMPARE(run.pty.read(4), QByteArray("SX1\r"));
        for (int i = 0; i < 20; ++i)
            sent << "P1 1.00E-03 line " + QByteArray::number(i);
        QVERIFY(run.pty.write(sent.join('\r') + '\r'));
        QVERIFY(run.waitForShown(sent.constLast()));

        run.signal(sig);
        QVERIFY(run.finished());
        QCOMPARE(run.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.process.exitCode(), 0);
        // As a closed window: the gauge is told nothing.
        QCOMPARE(run.pty.readAvailable(), QByteArray());
    }
    const QByteArray first = fileBytes(logPath);
    bool whole = false;
    const QList<QByteArray> fields = recordFields(first, &whole);
    QVERIFY2(whole, first.right(80).constData());
    QCOMPARE(fields.mid(1), sent);

    // The next start appends a run of its own.
    {
        Driven again(logPath);
        QVERIFY2(again.waitFor("RUN"), again.errors().constData());
        again.signal(sig);
        QVERIFY(again.finished());
        QCOMPARE(again.process.exitCode(), 0);
    }
    const QByteArray both = fileBytes(logPath);
    QVERIFY(both.startsWith(first));
    QCOMPARE(recordFields(both.mid(first.size()), &whole).size(), 1);
    QVERIFY(whole);
}

void TestSignals::secondSignalEndsAtOnce()
{
    QTemporaryDir dir;
    Driven run(dir.filePath(QStringLiteral("KelmorLog.txt")));
    QVERIFY2(run.waitFor("RUN"), run.errors().constData());
    // Held still, so that both signals wait for it: the second finds the first under way.
    run.signal(SIGSTOP);
    run.signal(SIGTERM);
    run.signal(SIGINT);
    run.signal(SIGCONT);
    QVERIFY(run.finished());
    QCOMPARE(run.process.exitStatus(), QProcess::CrashExit);
}

void TestSignals::brokenPipeDoesNotEnd()
{
    QTemporaryDir dir;
    Driven run(dir.filePath(QStringLiteral("KelmorLog.txt")));
    QVERIFY2(run.waitFor("RUN"), run.errors().constData());
    run.signal(SIGPIPE);
    QVERIFY(run.pty.write("still here\r"));
    QVERIFY2(run.waitForShown("still here"), "SIGPIPE ended the program");
    run.signal(SIGTERM);
    QVERIFY(run.finished());
    QCOMPARE(run.process.exitCode(), 0);
}

void TestSignals::signalWhileTheSettingsDialogIsOpen()
{
    QTemporaryDir dir;
    Driven run(dir.filePath(QStringLiteral("KelmorLog.txt")), {QStringLiteral("--stay-in-dialog")});
    QVERIFY2(run.waitFor("DIALOG"), run.errors().constData());
    run.signal(SIGTERM);
    QVERIFY2(run.finished(), "the program did not end while its settings dialog was open");
    QCOMPARE(run.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(run.process.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestSignals)
#include "tst_signals.moc"
