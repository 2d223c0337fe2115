// Sending commands and monitoring runs on the real window, with the gauge played on a
// pseudo-terminal: the bytes on the line, the send monitor, and every way a run can fail.

#include "fillingfile.h"
#include "form1harness.h"
#include "gaugelines.h"
#include "lifebitlamp.h"
#include "processprobe.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScopeGuard>

using namespace kelmor;
using namespace kelmor::test;

namespace {

void sendFree(LoadedWindow &lw, const QString &text)
{
    lw.get<QLineEdit>("TextBoxBefehl")->setText(text);
    lw.click("CmdBefehl");
}

} // namespace

class TestForm1Monitoring : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initApplication(); }
    void bytesOnTheLine_data();
    void bytesOnTheLine();
    void enterInTheCommandBoxSends_data();
    void enterInTheCommandBoxSends();
    void controlWordAfterStartUp();
    void sendMonitorTrimming_data();
    void sendMonitorTrimming();
    void sendMonitorThirteenCharacters();
    void wholeRun();
    void startLeavesTheStatusDisplay_data();
    void startLeavesTheStatusDisplay();
    void closedDuringARunThenStartedAgain();
    void anyOtherCaptionStops();
    void sendsWithThePortClosed();
    void startWithThePortClosed();
    void logThatCannotBeOpened_data();
    void logThatCannotBeOpened();
    void diskFullInTheMiddleOfARun();
    void unplugInTheMiddleOfARun();
};

void TestForm1Monitoring::bytesOnTheLine_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("RV") << QStringLiteral("RV") << QByteArray("RV\r");
    QTest::newRow("lower case with blanks")
        << QStringLiteral("  sc 0009 ") << QByteArray("  sc 0009 \r");
    QTest::newRow("empty: a lone CR") << QString() << QByteArray("\r");
    QTest::newRow("umlaut as one byte") << QStringLiteral("Ä?ß") << QByteArray("\xC4?\xDF\r");
    QTest::newRow("no Latin-1 byte: a question mark")
        << QStringLiteral("a€b") << QByteArray("a?b\r");
}

void TestForm1Monitoring::bytesOnTheLine()
{
    QFETCH(QString, typed);
    QFETCH(QByteArray, bytes);
    LoadedWindow lw;
    sendFree(lw, typed);
    QCOMPARE(lw.pty.read(bytes.size()), bytes);
    QCOMPARE(lw.get<QLineEdit>("TextBoxBefehl")->text(), typed); // kept after sending
    QCOMPARE(sendMonitorText(*lw.window), QString::fromLatin1(bytes + "\n"));
    QVERIFY(lw.messages.messages().isEmpty());
}

void TestForm1Monitoring::enterInTheCommandBoxSends_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Return") << int(Qt::Key_Return);
    QTest::newRow("Enter on the keypad") << int(Qt::Key_Enter);
}

void TestForm1Monitoring::enterInTheCommandBoxSends()
{
    QFETCH(int, key);
    LoadedWindow lw;
    auto *box = lw.get<QLineEdit>("TextBoxBefehl");
    box->setText(QStringLiteral("SC 0041"));
    box->setFocus();
    QTest::keyClick(box, Qt::Key(key));
    QCOMPARE(lw.pty.read(8), QByteArray("SC 0041\r"));
    QCOMPARE(sendMonitorText(*lw.window), QStringLiteral("SC 0041\r\n"));
    QCOMPARE(box->text(), QStringLiteral("SC 0041"));
    // Once per key press, nothing more.
    QCOMPARE(lw.pty.read(1, 100), QByteArray());
}

void TestForm1Monitoring::controlWordAfterStartUp()
{
    LoadedWindow lw;
    QVERIFY(lw.get("CmdSenden")->isEnabled());
    sendFree(lw, QStringLiteral("RV")); // a free command in between changes nothing
    QCOMPARE(lw.pty.read(3), QByteArray("RV\r"));
    lw.click("CmdSenden");
    QCOMPARE(lw.pty.read(8).toHex(' '), QByteArray("53 43 20 30 30 30 39 0d"));
    QVERIFY(!lw.get("CmdSenden")->isEnabled());
    QTest::mouseClick(lw.get<QCheckBox>("CheckReset"), Qt::LeftButton, {}, QPoint(6, 8));
    QVERIFY(lw.get("CmdSenden")->isEnabled());
    lw.click("CmdSenden");
    QCOMPARE(lw.pty.read(8), QByteArray("SC 1009\r"));
}

void TestForm1Monitoring::sendMonitorTrimming_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("kept");
    // The echo is the command, its CR and an LF.
    QTest::newRow("exactly 200 kept") << 198 << 200;
    QTest::newRow("201 cut to 150") << 199 << 150;
    QTest::newRow("far over") << 1000 << 150;
    QTest::newRow("short") << 5 << 7;
}

void TestForm1Monitoring::sendMonitorTrimming()
{
    QFETCH(int, length);
    QFETCH(int, kept);
    LoadedWindow lw;
    QString typed;
    for (int i = 0; i < length; ++i)
        typed += QChar(u'a' + i % 26);
    sendFree(lw, typed);
    const QString expected = (typed + QStringLiteral("\r\n")).right(kept);
    QCOMPARE(sendMonitorText(*lw.window), expected);
    auto *box = lw.get<QPlainTextEdit>("TextSenden");
    QCOMPARE(box->textCursor().position(), box->document()->characterCount() - 1);
}

void TestForm1Monitoring::sendMonitorThirteenCharacters()
{
    LoadedWindow lw;
    sendFree(lw, QStringLiteral("RV"));
    lw.click("CmdSenden");
    QCOMPARE(sendMonitorText(*lw.window), QStringLiteral("RV\r\nSC 0009\r\n"));
    QCOMPARE(sendMonitorText(*lw.window).size(), 13);
}

void TestForm1Monitoring::wholeRun()
{
    LoadedWindow lw;
    lw.click("cmdMonitor");
    QCOMPARE(lw.pty.read(4), QByteArray("SX1\r"));
    QCOMPARE(lw.get<QPushButton>("cmdMonitor")->text(), QStringLiteral("STOP"));
    QVERIFY(lw.logBytes().endsWith("\"\r\n"));
    const QByteArray header = lw.logBytes();
    QCOMPARE(header.count("\r\n"), 1);
    // Starting alone lights nothing.
    QVERIFY(!lw.get("lblPirani")->isEnabled());
    QCOMPARE(sendMonitorText(*lw.window), QString()); // start and stop are not echoed

    const QByteArray a = measurementLine("9.87E+02", "800B\t");
    const QByteArray b = measurementLine("1.00E-06", "0051\t");
    lw.gaugeSends(a + "\r");
    QCOMPARE(lw.get<QLabel>("lblDruck")->text(), QStringLiteral("9.87E+02"));
    QVERIFY(lw.get("lblPirani")->isEnabled());
    QVERIFY(lw.get("lblAutoFil")->isEnabled());
    QVERIFY(lw.get<LifeBitLamp>("ShapeLB")->isLit());
    lw.gaugeSends(b + "\r\n");
    lw.gaugeSends(a + "\r\n");
    QCOMPARE(lw.get<QLabel>("lblDruck")->text(), QStringLiteral(" 9.87E+0"));

    lw.click("cmdMonitor");
    QCOMPARE(lw.pty.read(4), QByteArray("SX0\r"));
    QCOMPARE(lw.get<QPushButton>("cmdMonitor")->text(), QStringLiteral("START"));
    for (const char *lamp : kLampNames)
        QVERIFY2(!lw.get(lamp)->isEnabled(), lamp);
    QVERIFY(!lw.get<LifeBitLamp>("ShapeLB")->isLit());
    QCOMPARE(lw.get<QLabel>("lblDruck")->text(), QStringLiteral("---"));
    QCOMPARE(panelText(*lw.window, 3), QString());
    QCOMPARE(receiveMonitorText(*lw.window), QString::fromLatin1("\n" + a + "\r\n"));
    const QByteArray run1 = header + "\"" + a + "\"\r\n\"" + b + "\"\r\n\"\n" + a + "\"\r\n";
    QCOMPARE(lw.logBytes(), run1);

    // After the stop lines are shown, not logged; the LF of the last CR LF opens it.
    lw.gaugeSends("after\r");
    QCOMPARE(receiveMonitorText(*lw.window), QStringLiteral("\nafter\r\n"));
    QCOMPARE(lw.logBytes(), run1);

    // A second run writes a second header.
    lw.click("cmdMonitor");
    QCOMPARE(lw.pty.read(4), QByteArray("SX1\r"));
    lw.gaugeSends("x\r");
    lw.click("cmdMonitor");
    QCOMPARE(lw.pty.read(4), QByteArray("SX0\r"));
    const QByteArray log = lw.logBytes();
    QCOMPARE(log.count("\r\n"), 6);
    QVERIFY(log.endsWith("\"x\"\r\n"));
    QVERIFY(lw.messages.messages().isEmpty());
}

void TestForm1Monitoring::startLeavesTheStatusDisplay_data()
{
    QTest::addColumn<QByteArray>("status");
    QTest::newRow("every lamp lit") << QByteArray("FFFF\t");
    QTest::newRow("some lit, the life bit among them") << QByteArray("A5C3\t");
    QTest::newRow("the life bit alone") << QByteArray("8000\t");
}

void TestForm1Monitoring::startLeavesTheStatusDisplay()
{
    QFETCH(QByteArray, status);
    LoadedWindow lw;
    lw.gaugeSends(measurementLine("3.3E-04", status) + "\r");
    QTRY_COMPARE(lw.get<QLabel>("lblDruck")->text(), QStringLiteral("3.3E-04 "));
    QList<bool> before;
    for (const char *lamp : kLampNames)
        before << lw.get(lamp)->isEnabled();
    const QColor autorangeColour =
        lw.get(kLampNames[0])->palette().color(QPalette::Active, QPalette::WindowText);
    const bool lifeBit = lw.get<LifeBitLamp>("ShapeLB")->isLit();
    QVERIFY(before.contains(true) || lifeBit); // there is something to lose

    startRun(lw);
    QCOMPARE(lw.get<QPushButton>("cmdMonitor")->text(), QStringLiteral("STOP"));
    for (std::size_t bit = 0; bit < std::size(kLampNames); ++bit)
        QVERIFY2(lw.get(kLampNames[bit])->isEnabled() == before.at(bit), kLampNames[bit]);
    QCOMPARE(lw.get(kLampNames[0])->palette().color(QPalette::Active, QPalette::WindowText),
             autorangeColour);
    QCOMPARE(lw.get<LifeBitLamp>("ShapeLB")->isLit(), lifeBit);
    QCOMPARE(lw.get<QLabel>("lblDruck")->text(), QStringLiteral("3.3E-04 "));
}

void TestForm1Monitoring::closedDuringARunThenStartedAgain()
{
    LoadedWindow lw;
    startRun(lw);
    lw.gaugeSends("first run\r");
    QTRY_COMPARE(receiveMonitorText(*lw.window), QStringLiteral("first run\r\n"));
    lw.window->close();
    QVERIFY(!comKelmor(*lw.window).portOpen());
    // The program ends (the window goes) and is started again on the same file.
    const QString path = lw.logPath;
    lw.restart(path);
    const QByteArray afterFirst = lw.logBytes();
    QVERIFY2(afterFirst.endsWith("\"first run\"\r\n"), afterFirst.constData());
    startRun(lw);
    lw.gaugeSends("second run\r");
    QTRY_COMPARE(receiveMonitorText(*lw.window), QStringLiteral("second run\r\n"));
    stopRun(lw);
    const QByteArray log = lw.logBytes();
    QVERIFY(log.startsWith(afterFirst));
    const QByteArray second = log.mid(afterFirst.size());
    QCOMPARE(second.count("\r\n"), 2);
    QVERIFY(second.startsWith('"') && second.endsWith("\"second run\"\r\n"));
    QVERIFY(lw.messages.messages().isEmpty());
}

void TestForm1Monitoring::anyOtherCaptionStops()
{
    LoadedWindow lw;
    lw.get<QPushButton>("cmdMonitor")->setText(QStringLiteral("start"));
    lw.click("cmdMonitor");
    QCOMPARE(lw.pty.read(4), QByteArray("SX0\r"));
    QCOMPARE(lw.get<QPushButton>("cmdMonitor")->text(), QStringLiteral("START"));
    QVERIFY(!lw.get("lblAutorange")->isEnabled());
}

void TestForm1Monitoring::sendsWithThePortClosed()
{
    LoadedWindow lw(DialogAnswer::Cancel);
    lw.click("CmdBefehl");
    QCOMPARE(lw.messages.messages().size(), 1);
    QVERIFY(lw.messages.messages().constFirst().contains(QLatin1String("Com1")));
    QCOMPARE(sendMonitorText(*lw.window), QString());
    lw.click("CmdSenden");
    QCOMPARE(lw.messages.messages().size(), 2);
    QVERIFY(lw.get("CmdSenden")->isEnabled()); // nothing was sent
    QCOMPARE(sendMonitorText(*lw.window), QString());
    QCOMPARE(lw.pty.read(1, 100), QByteArray());
}

void TestForm1Monitoring::startWithThePortClosed()
{
    LoadedWindow lw(DialogAnswer::Cancel);
    // Every click says why, and none leaves an empty run in the log.
    for (int attempt = 1; attempt <= 3; ++attempt) {
        lw.click("cmdMonitor");
        QCOMPARE(lw.messages.messages().size(), attempt);
        const QString message = lw.messages.messages().constLast();
        QVERIFY2(message.contains(QLatin1String("Com1")) &&
                     message.contains(QStringLiteral("nicht geöffnet")),
                 qPrintable(message));
        QCOMPARE(lw.get<QPushButton>("cmdMonitor")->text(), QStringLiteral("START"));
        QCOMPARE(panelText(*lw.window, 3), QString());
        QVERIFY(!lw.logOpen());
        QVERIFY(!QFile::exists(lw.logPath));
    }
    lw.messages.messages().clear();
    // A stop that cannot send still stops, and says so.
    lw.get<QPushButton>("cmdMonitor")->setText(QStringLiteral("STOP"));
    lw.click("cmdMonitor");
    QCOMPARE(lw.messages.messages().size(), 1);
    QCOMPARE(lw.get<QPushButton>("cmdMonitor")->text(), QStringLiteral("START"));
}

void TestForm1Monitoring::logThatCannotBeOpened_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("a folder in the file's place") << QStringLiteral("folder");
    QTest::newRow("a missing folder") << QStringLiteral("missing");
    QTest::newRow("a full disk") << QStringLiteral("full");
    QTest::newRow("HOME not set") << QStringLiteral("no-home");
    QTest::newRow("HOME empty") << QStringLiteral("empty-home");
}

void TestForm1Monitoring::logThatCannotBeOpened()
{
    QFETCH(QString, how);
    LoadedWindow lw;
    QString path = lw.logPath;
    if (how == QLatin1String("folder"))
        QVERIFY(QDir().mkpath(path));
    else if (how == QLatin1String("missing"))
        path = lw.dir.filePath(QStringLiteral("gone/KelmorLog.txt"));
    else if (how == QLatin1String("full"))
        QVERIFY(QFile::link(QStringLiteral("/dev/full"), path));

    // Without a home folder the program's own choice of place is what is tested.
    const QByteArray home = qgetenv("HOME");
    auto restoreHome = qScopeGuard([home] { qputenv("HOME", home); });
    const QString inRoot = QStringLiteral("/KelmorLog.txt");
    const bool inRootBefore = QFile::exists(inRoot);
    if (how.endsWith(QLatin1String("home"))) {
        if (how == QLatin1String("no-home"))
            qunsetenv("HOME");
        else
            qputenv("HOME", "");
        path = defaultLogPath();
    }
    auto noFileInRoot = qScopeGuard([&] {
        if (!inRootBefore && QFile::exists(inRoot))
            QFile::remove(inRoot); // left by a program that wrongly went there
    });
    lw.restart(path);

    lw.click("cmdMonitor");
    QCOMPARE(lw.messages.messages().size(), 1);
    const QString message = lw.messages.messages().constFirst();
    QVERIFY2(message.contains(path), qPrintable(message));
    if (how.endsWith(QLatin1String("home"))) {
        QVERIFY2(message.contains(QLatin1String("HOME")), qPrintable(message));
        QCOMPARE(QFile::exists(inRoot), inRootBefore);
    }
    QCOMPARE(lw.get<QPushButton>("cmdMonitor")->text(), QStringLiteral("START"));
    QCOMPARE(panelText(*lw.window, 3), QString());
    QCOMPARE(lw.pty.read(1, 100), QByteArray()); // no "SX1"
    // The program keeps working.
    sendFree(lw, QStringLiteral("RV"));
    QCOMPARE(lw.pty.read(3), QByteArray("RV\r"));
}

void TestForm1Monitoring::diskFullInTheMiddleOfARun()
{
    LoadedWindow lw;
    // Room for the header and two records of 10 bytes, then half a record.
    lw.logDevices = [](const QString &path) {
        return std::make_unique<FillingFile>(path, 21 + 10 + 10 + 5);
    };
    lw.click("cmdMonitor");
    QCOMPARE(lw.pty.read(4), QByteArray("SX1\r"));
    lw.gaugeSends("line1\rline2\rline3\rline4\r", 100);
    QTRY_COMPARE(receiveMonitorText(*lw.window), QStringLiteral("line4\r\n"));
    QTRY_COMPARE(lw.messages.messages().size(), 1);
    QVERIFY(lw.messages.messages().constFirst().contains(lw.logPath));
    // The run ended as a stop click would end it.
    QCOMPARE(lw.get<QPushButton>("cmdMonitor")->text(), QStringLiteral("START"));
    QVERIFY(!lw.logOpen());
    QCOMPARE(panelText(*lw.window, 3), QString());
    QCOMPARE(lw.pty.read(4), QByteArray("SX0\r"));
    const QByteArray log = lw.logBytes();
    QVERIFY2(log.endsWith("\"line1\"\r\n\"line2\"\r\n"), log.constData());
    QCOMPARE(log.count("\r\n"), 3);
}

void TestForm1Monitoring::unplugInTheMiddleOfARun()
{
    LoadedWindow lw;
    lw.click("cmdMonitor");
    QCOMPARE(lw.pty.read(4), QByteArray("SX1\r"));
    lw.gaugeSends("before\r");
    QCOMPARE(receiveMonitorText(*lw.window), QStringLiteral("before\r\n"));
    lw.pty.write("pending without end");
    lw.pty.closeMaster();
    QTRY_VERIFY_WITH_TIMEOUT(!comKelmor(*lw.window).portOpen(), 250);
    QTRY_COMPARE(lw.messages.messages().size(), 1);
    QVERIFY(lw.messages.messages().constFirst().contains(QLatin1String("Com1")));
    // The run stays until the operator stops it; nothing spins meanwhile.
    QCOMPARE(lw.get<QPushButton>("cmdMonitor")->text(), QStringLiteral("STOP"));
    const double cpu = cpuSeconds();
    QTest::qWait(1000);
    QVERIFY2(cpuSeconds() - cpu < 0.2, "busy after the unplug");
    QCOMPARE(lw.messages.messages().size(), 1);

    lw.click("cmdMonitor"); // "SX0" cannot go out: the operator is told, the run ends
    QCOMPARE(lw.messages.messages().size(), 2);
    QCOMPARE(lw.get<QPushButton>("cmdMonitor")->text(), QStringLiteral("START"));
    QVERIFY(lw.logBytes().endsWith("\"before\"\r\n"));

    // The adapter is back: the port opens again through the dialog.
    PtyPair again;
    qputenv("KELMOR_COM1", again.slavePath().toLocal8Bit());
    lw.click("CmdCom");
    QVERIFY(settingsDialog());
    QTest::mouseClick(settingsDialog()->findChild<QPushButton *>(QStringLiteral("cmdOK")),
                      Qt::LeftButton);
    QVERIFY(comKelmor(*lw.window).portOpen());
    sendFree(lw, QStringLiteral("RV"));
    QCOMPARE(again.read(3), QByteArray("RV\r"));
}

QTEST_MAIN(TestForm1Monitoring)
#include "tst_form1monitoring.moc"
