// A log that cannot be opened or a disk that fills up in the middle of a record: the
// operator hears of it, the program goes on, the button never claims a run without a log,
// and the file never ends in a torn record.

#include "fillingfile.h"
#include "form1harness.h"
#include "gaugelines.h"
#include "reliability.h"

#include <QLineEdit>
#include <QRandomGenerator>

using namespace kelmor;
using namespace kelmor::test;

namespace {

class RefusingFile : public QFile
{
public:
    using QFile::QFile;
    bool open(OpenMode) override
    {
        setErrorString(QStringLiteral("Read-only file system"));
        return false;
    }
};

// Checks after every event that the button shows "STOP" only while the log is open.
class CaptionWatch : public QObject
{
public:
    explicit CaptionWatch(LoadedWindow &lw) : m_lw(lw) { qApp->installEventFilter(this); }
    ~CaptionWatch() override { qApp->removeEventFilter(this); }
    void check()
    {
        ++m_checks;
        if (m_lw.get<QPushButton>("cmdMonitor")->text() == QLatin1String("STOP")
            && !m_lw.window->dataLog().isOpen())
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

void click(LoadedWindow &lw, const char *button)
{
    QTest::mouseClick(lw.get<QPushButton>(button), Qt::LeftButton);
}

// The program still talks to the gauge.
void freeCommandGoesOut(LoadedWindow &lw)
{
    lw.get<QLineEdit>("TextBoxBefehl")->setText(QStringLiteral("RV"));
    click(lw, "CmdBefehl");
    QCOMPARE(lw.pty.read(3), QByteArray("RV\r"));
}

qint64 headerSize()
{
    return formatRecord(toRecordBytes(formatHeaderField(QDateTime::currentDateTime(), QLocale::system())))
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
    void diskFullDuringARun_data();
    void diskFullDuringARun();
};

void TestLogFailure::openRefused_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("a folder in the file's place") << QStringLiteral("folder");
    QTest::newRow("/dev/full behind a link") << QStringLiteral("full");
    QTest::newRow("a device that refuses to open") << QStringLiteral("refuse");
    QTest::newRow("room for half a header") << QStringLiteral("half");
    QTest::newRow("no room at all") << QStringLiteral("none");
}

void TestLogFailure::openRefused()
{
    QFETCH(QString, how);
    LoadedWindow lw;
    CaptionWatch watch(lw);
    DataLog &log = lw.window->dataLog();
    if (how == QLatin1String("folder"))
        QVERIFY(QDir().mkpath(lw.logPath));
    else if (how == QLatin1String("full"))
        QVERIFY(QFile::link(QStringLiteral("/dev/full"), lw.logPath));
    else if (how == QLatin1String("refuse"))
        log.setDeviceFactory([](const QString &path) { return std::make_unique<RefusingFile>(path); });
    else
        log.setDeviceFactory([room = how == QLatin1String("half") ? headerSize() / 2 : 0](const QString &path) {
            return std::make_unique<FillingFile>(path, room);
        });

    // Every click tells the operator, and nothing more happens.
    for (int attempt = 1; attempt <= 2; ++attempt) {
        click(lw, "cmdMonitor");
        watch.check();
        QTest::qWait(20);
        QCOMPARE(lw.messages.messages().size(), attempt);
        QVERIFY2(lw.messages.messages().constLast().contains(lw.logPath),
                 qPrintable(lw.messages.messages().constLast()));
        QCOMPARE(lw.get<QPushButton>("cmdMonitor")->text(), QStringLiteral("START"));
        QCOMPARE(lw.window->panelText(3), QString());
        QVERIFY(!log.isOpen());
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
        lines << measurementLine(QByteArray::number(1.0 + i, 'E', 2), "8003\t", "mbar #" + QByteArray::number(i));
    const QByteArray kept = recordsOf(lines.first(fullAfter));
    const qint64 nextSize = formatRecord(lines.at(fullAfter)).size();
    const qint64 room = headerSize() + kept.size() + (intoNext < 0 ? nextSize - 1 : intoNext);

    LoadedWindow lw;
    CaptionWatch watch(lw);
    lw.window->dataLog().setDeviceFactory(
        [room](const QString &path) { return std::make_unique<FillingFile>(path, room); });
    click(lw, "cmdMonitor");
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
    QTRY_COMPARE(lw.window->receiveMonitorText(), QString::fromLatin1(lines.constLast() + "\r\n"));
    QTRY_COMPARE(lw.messages.messages().size(), 1);
    QVERIFY2(lw.messages.messages().constFirst().contains(lw.logPath),
             qPrintable(lw.messages.messages().constFirst()));

    // The run ended; the gauge was told; the file ends with its last whole record.
    QCOMPARE(lw.get<QPushButton>("cmdMonitor")->text(), QStringLiteral("START"));
    QVERIFY(!lw.window->dataLog().isOpen());
    QCOMPARE(lw.window->panelText(3), QString());
    QCOMPARE(lw.pty.read(4), QByteArray("SX0\r"));
    const QByteArray log = lw.logBytes();
    QCOMPARE(log.size(), headerSize() + kept.size());
    QCOMPARE(dataPart(log), kept);

    // The program goes on: lines are shown, commands go out, and nothing more is said.
    lw.gaugeSends("after\r");
    QTRY_COMPARE(lw.window->receiveMonitorText(), QStringLiteral("after\r\n"));
    freeCommandGoesOut(lw);
    QCOMPARE(lw.logBytes(), log);
    QCOMPARE(lw.messages.messages().size(), 1);
    QVERIFY(watch.checks() > 100);
    QCOMPARE(watch.violations(), 0);
}

QTEST_MAIN(TestLogFailure)
#include "tst_logfailure.moc"
