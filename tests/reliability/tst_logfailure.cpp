// A log that cannot be opened or a disk that fills up in the middle of a record: the
// operator hears of it, the program goes on, the button never claims a run without a log,
// and the file never ends in a torn record.

#include "fifowatchdog.h"
#include "fillingfile.h"
#include "form1harness.h"
#include "gaugelines.h"
#include "reliability.h"
#include "unixsocket.h"

#include <QLineEdit>
#include <QRandomGenerator>
#include <QScopeGuard>

#include <sys/stat.h>

using namespace kelmor;
using namespace kelmor::test;

namespace {

// Checks after every event that the button shows "STOP" only while the log is open.
class CaptionWatch : public QObject
{
public:
    explicit CaptionWatch(LoadedWindow &lw) : m_lw(lw) { qApp->installEventFilter(this); }
    ~CaptionWatch() override { qApp->removeEventFilter(this); }
    void check()
    {
        ++m_checks;
        if (m_lw.get<QPushButton>("cmdMonitor")->text() == QLatin1String("STOP") && !m_lw.logOpen())
            ++m_violations;
    }
    int violations() const { return m_violations; }
    int checks() const { return m_checks; }

protected:
    bool eventFilter(QObject *, QEvent *) override
    {
        check();
        return false;
    }

private:
    LoadedWindow &m_lw;
    int m_violations = 0;
    int m_checks = 0;
};

// The program still talks to the gauge.
void freeCommandGoesOut(LoadedWindow &lw)
{
    lw.get<QLineEdit>("TextBoxBefehl")->setText(QStringLiteral("RV"));
    lw.click("CmdBefehl");
    QCOMPARE(lw.pty.read(3), QByteArray("RV\r"));
}

qint64 headerSize()
{
    return formatRecord(
               toRecordBytes(formatHeaderField(QDateTime::currentDateTime(), QLocale::system())))
        .size();
}

} // namespace

class TestLogFailure : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initApplication(); }
    void openRefused_data();
    void openRefused();
    void logGoneDuringARun_data();
    void logGoneDuringARun();
    void diskFullDuringARun_data();
    void diskFullDuringARun();
};

void TestLogFailure::openRefused_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("says");
    QTest::newRow("a folder in the file's place") << QStringLiteral("folder") << "ein Ordner";
    QTest::newRow("a FIFO in the file's place") << QStringLiteral("fifo") << "FIFO";
    QTest::newRow("a socket in the file's place") << QStringLiteral("socket") << "Socket";
    QTest::newRow("/dev/full behind a link") << QStringLiteral("full") << "Gerätedatei";
    QTest::newRow("a folder that is not there") << QStringLiteral("missing") << "existiert nicht";
    QTest::newRow("room for half a header") << QStringLiteral("half") << "Datenträger ist voll";
    QTest::newRow("no room at all") << QStringLiteral("none") << "Datenträger ist voll";
}

void TestLogFailure::openRefused()
{
    QFETCH(QString, how);
    QFETCH(QString, says);
    LoadedWindow lw;
    int socket = -1;
    auto closeSocket = qScopeGuard([&] {
        if (socket >= 0)
            ::close(socket);
    });
    if (how == QLatin1String("missing"))
        lw.restart(lw.dir.filePath(QStringLiteral("gone/KelmorLog.txt")));
    CaptionWatch watch(lw);
    if (how == QLatin1String("folder"))
        QVERIFY(QDir().mkpath(lw.logPath));
    else if (how == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(QFile::encodeName(lw.logPath).constData(), 0600), 0);
    else if (how == QLatin1String("socket"))
        QVERIFY((socket = bindSocket(lw.logPath)) >= 0);
    else if (how == QLatin1String("full"))
        QVERIFY(QFile::link(QStringLiteral("/dev/full"), lw.logPath));
    else if (how != QLatin1String("missing"))
        lw.logDevices = [room = how == QLatin1String("half") ? headerSize() / 2
                                                             : 0](const QString &path) {
            return std::make_unique<FillingFile>(path, room);
        };

    // Every click tells the operator, and nothing more happens; nothing waits for a
    // reader that never comes.
    FifoWatchdog watchdog(lw.logPath, std::chrono::seconds(10));
    for (int attempt = 1; attempt <= 2; ++attempt) {
        lw.click("cmdMonitor");
        QVERIFY2(!watchdog.fired(), "START waited for a reader of the log");
        watch.check();
        QTest::qWait(20);
        QCOMPARE(lw.messages.messages().size(), attempt);
        const QString message = lw.messages.messages().constLast();
        QVERIFY2(message.contains(lw.logPath) && message.contains(says), qPrintable(message));
        QCOMPARE(lw.get<QPushButton>("cmdMonitor")->text(), QStringLiteral("START"));
        QCOMPARE(panelText(*lw.window, 3), QString());
        QVERIFY(!lw.logOpen());
        QCOMPARE(lw.pty.read(1, 100), QByteArray()); // no "SX1"
    }
    freeCommandGoesOut(lw);
    QCOMPARE(watch.violations(), 0);
    if (how == QLatin1String("half") || how == QLatin1String("none"))
        QCOMPARE(lw.logBytes(), QByteArray()); // the torn header was cut off again
}

void TestLogFailure::diskFullDuringARun_data()
{
    QTest::addColumn<int>("lineCount");
    QTest::addColumn<int>("fullAfter"); // whole records that fit
    QTest::addColumn<int>("intoNext");  // bytes of the next record that still fit
    QTest::newRow("inside the first record") << 50 << 0 << 3;
    QTest::newRow("at a record's opening quote") << 50 << 10 << 0;
    QTest::newRow("after a record's opening quote") << 50 << 10 << 1;
    QTest::newRow("between a record's CR and LF") << 50 << 20 << -1;
    QTest::newRow("inside record 151 of 300") << 300 << 150 << 37;
}

void TestLogFailure::diskFullDuringARun()
{
    QFETCH(int, lineCount);
    QFETCH(int, fullAfter);
    QFETCH(int, intoNext);

    QList<QByteArray> lines;
    for (int i = 0; i < lineCount; ++i)
        lines << measurementLine(QByteArray::number(1.0 + i, 'E', 2), "8003\t",
                                 "mbar #" + QByteArray::number(i));
    const QByteArray kept = recordsOf(lines.first(fullAfter));
    const qint64 nextSize = formatRecord(lines.at(fullAfter)).size();
    const qint64 room = headerSize() + kept.size() + (intoNext < 0 ? nextSize - 1 : intoNext);

    LoadedWindow lw;
    CaptionWatch watch(lw);
    lw.logDevices = [room](const QString &path) {
        return std::make_unique<FillingFile>(path, room);
    };
    lw.click("cmdMonitor");
    watch.check();
    QCOMPARE(lw.pty.read(4), QByteArray("SX1\r"));

    QRandomGenerator rng{quint32(room)};
    QByteArray stream;
    for (const QByteArray &line : lines)
        stream += line + "\r";
    for (qsizetype at = 0; at < stream.size();) {
        const qsizetype n = 1 + rng.bounded(300);
        QVERIFY(lw.pty.write(stream.mid(at, n)));
        QCoreApplication::processEvents();
        at += n;
    }
    QTRY_COMPARE(receiveMonitorText(*lw.window), QString::fromLatin1(lines.constLast() + "\r\n"));
    QTRY_COMPARE(lw.messages.messages().size(), 1);
    QVERIFY2(lw.messages.messages().constFirst().contains(lw.logPath),
             qPrintable(lw.messages.messages().constFirst()));

    // The run ended; the gauge was told; the file ends with its last whole record.
    QCOMPARE(lw.get<QPushButton>("cmdMonitor")->text(), QStringLiteral("START"));
    QVERIFY(!lw.logOpen());
    QCOMPARE(panelText(*lw.window, 3), QString());
    QCOMPARE(lw.pty.read(4), QByteArray("SX0\r"));
    const QByteArray log = lw.logBytes();
    QCOMPARE(log.size(), headerSize() + kept.size());
    QCOMPARE(dataPart(log), kept);

    // The program goes on: lines are shown, commands go out, and nothing more is said.
    lw.gaugeSends("after\r");
    QTRY_COMPARE(receiveMonitorText(*lw.window), QStringLiteral("after\r\n"));
    freeCommandGoesOut(lw);
    QCOMPARE(lw.logBytes(), log);
    QCOMPARE(lw.messages.messages().size(), 1);
    QVERIFY(watch.checks() > 100);
    QCOMPARE(watch.violations(), 0);
}

void TestLogFailure::logGoneDuringARun_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("says");
    QTest::newRow("deleted") << QStringLiteral("rm") << "gelöscht";
    QTest::newRow("moved") << QStringLiteral("mv") << "verschoben";
}

void TestLogFailure::logGoneDuringARun()
{
    QFETCH(QString, how);
    QFETCH(QString, says);
    LoadedWindow lw;
    CaptionWatch watch(lw);
    startRun(lw);
    lw.gaugeSends("before\r");
    QTRY_COMPARE(receiveMonitorText(*lw.window), QStringLiteral("before\r\n"));
    const QString movedTo = lw.dir.filePath(QStringLiteral("saved.txt"));
    if (how == QLatin1String("rm"))
        QVERIFY(QFile::remove(lw.logPath));
    else
        QVERIFY(QFile::rename(lw.logPath, movedTo));

    for (int i = 1; i <= 3; ++i)
        lw.gaugeSends("after " + QByteArray::number(i) + "\r");
    QTRY_COMPARE(receiveMonitorText(*lw.window), QStringLiteral("after 3\r\n"));
    QTRY_COMPARE(lw.messages.messages().size(), 1);
    const QString message = lw.messages.messages().constFirst();
    QVERIFY2(message.contains(says) && message.contains(lw.logPath), qPrintable(message));

    // The run goes on into the file at its place, which begins with a header of its own.
    QCOMPARE(lw.get<QPushButton>("cmdMonitor")->text(), QStringLiteral("STOP"));
    stopRun(lw);
    const QByteArray log = lw.logBytes();
    QCOMPARE(log.count("\r\n"), 4);
    QCOMPARE(dataPart(log), recordsOf({"after 1", "after 2", "after 3"}));
    if (how == QLatin1String("mv")) {
        QFile saved(movedTo);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(dataPart(saved.readAll()), recordsOf({"before"}));
    }
    QCOMPARE(lw.messages.messages().size(), 1);
    QCOMPARE(watch.violations(), 0);
}

QTEST_MAIN(TestLogFailure)
#include "tst_logfailure.moc"
