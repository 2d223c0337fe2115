// The gauge's end of the line dies in the middle of a run and comes back on the same
// link: the monitor opens it again by itself, tells the gauge to stream again, and the
// run's log goes on as if nothing had happened.

#include "form1harness.h"
#include "logrecord.h"

#include <QElapsedTimer>
#include <QRegularExpression>

#include <csignal>

using namespace kelmor;
using namespace kelmor::test;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr int kReconnectBoundMs = 3000;
#else
constexpr int kReconnectBoundMs = 1000;
#endif

// The whole lines a simulator wrote to its terminal, from its --sent record.
QList<QByteArray> sentLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = file.readAll().split('\r');
    lines.removeLast(); // after the last CR: nothing, or a line cut short
    return lines;
}

QByteArray recordsOf(const QList<QByteArray> &lines)
{
    QByteArray out;
    for (const QByteArray &line : lines)
        out += formatRecord(line);
    return out;
}

QStringList simOptions(const QString &sent)
{
    return {QStringLiteral("--interval"), QStringLiteral("40"),     QStringLiteral("--pumpdown"),
            QStringLiteral("20"),         QStringLiteral("--sent"), sent};
}

bool isStopped(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    const qsizetype end = text.lastIndexOf(')');
    return end > 0 && text.mid(end + 2, 1) == "T";
}

// Holds the simulator still and waits until the window has logged every whole line it
// sent: only then is "everything the gauge sent" a fixed list.
bool freezeAndDrain(GaugeSim &sim, const QString &sent, SimWindow &w, QByteArray *records)
{
    ::kill(pid_t(sim.pid()), SIGSTOP);
    // The signal takes effect when the kernel gets to it: only a process that reads as
    // stopped has written its last byte.
    if (!QTest::qWaitFor([&] { return isStopped(sim.pid()); }, 5000))
        return false;
    *records = recordsOf(sentLines(sent));
    return QTest::qWaitFor([&] { return w.logBytes().endsWith(*records); }, 10000);
}

} // namespace

class TestE2eReconnect : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initApplication(); }
    void simulatorKilledAndRestartedDuringARun();
};

void TestE2eReconnect::simulatorKilledAndRestartedDuringARun()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyKELMOR"));
    const QString sent1 = dir.filePath(QStringLiteral("sent1"));
    const QString sent2 = dir.filePath(QStringLiteral("sent2"));

    auto first = std::make_unique<GaugeSim>(simOptions(sent1), link);
    QVERIFY2(first->started(), first->errors().constData());
    SimWindow w(*first);
    QVERIFY(comKelmor(*w.window).portOpen());
    w.click("cmdMonitor");
    QVERIFY(QTest::qWaitFor([&] { return w.seen.size() >= 25; }, 10000));

    QByteArray before;
    QVERIFY2(freezeAndDrain(*first, sent1, w, &before), "the first lines never reached the log");
    QVERIFY(sentLines(sent1).size() >= 25);
    // Killed, as a crash or a pulled cable: nothing is cleaned up behind it.
    ::kill(pid_t(first->pid()), SIGKILL);
    QTRY_VERIFY(!comKelmor(*w.window).portOpen());
    QTRY_COMPARE(w.messages.messages().size(), 1);
    QVERIFY(comKelmor(*w.window).watching());
    QCOMPARE(w.get<QPushButton>("cmdMonitor")->text(), QStringLiteral("STOP"));
    const QByteArray logWhileAway = w.logBytes();
    QTest::qWait(1500);
    QCOMPARE(w.logBytes(), logWhileAway);
    QCOMPARE(comKelmor(*w.window).portOpen(), false);

    // Restarted on the same link.
    QElapsedTimer clock;
    auto second = std::make_unique<GaugeSim>(simOptions(sent2), link);
    clock.start();
    QVERIFY2(second->started(), second->errors().constData());
    QVERIFY(QTest::qWaitFor([&] { return comKelmor(*w.window).portOpen(); }, 10000));
    const qint64 reconnectMs = clock.elapsed();
    qInfo("reopened %lld ms after the restarted simulator made its link", reconnectMs);
    QVERIFY2(reconnectMs < kReconnectBoundMs, qPrintable(QString::number(reconnectMs)));

    // The new simulator streams only when told "SX1": lines prove the monitor said it.
    const qsizetype seenBefore = w.seen.size();
    QVERIFY(QTest::qWaitFor([&] { return w.seen.size() >= seenBefore + 25; }, 10000));
    QByteArray after;
    QVERIFY2(freezeAndDrain(*second, sent2, w, &after), "the later lines never reached the log");
    QCOMPARE(w.messages.messages().size(), 1);
    QCOMPARE(w.get<QPushButton>("cmdMonitor")->text(), QStringLiteral("STOP"));
    w.click("cmdMonitor");
    ::kill(pid_t(second->pid()), SIGCONT);
    second.reset();
    first.reset();

    // One header, then every line both simulators sent, whole and in order.
    const QByteArray log = w.logBytes();
    const qsizetype headerEnd = log.indexOf("\"\r\n");
    QVERIFY(headerEnd > 0);
    const QByteArray header = log.left(headerEnd + 3);
    static const QRegularExpression headerPattern(
        QStringLiteral("^\"\\d\\d-\\d\\d-\\d\\d \\d{1,2}:\\d\\d:\\d\\d\"\r\n$"));
    QVERIFY2(headerPattern.match(QString::fromLatin1(header)).hasMatch(), header.constData());
    const QByteArray data = log.mid(headerEnd + 3);
    QCOMPARE(data.size(), before.size() + after.size());
    QVERIFY(data == before + after);
    QCOMPARE(w.messages.messages().size(), 1);
}

QTEST_MAIN(TestE2eReconnect)
#include "tst_reconnect.moc"
