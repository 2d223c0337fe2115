// An adapter pulled in the middle of a run: found at once, told once, nothing spinning,
// nothing lost that was on the screen, nothing leaking over many unplug cycles; and every
// send to a port that is closed or failed is refused with one message and no trace.

#include "form1harness.h"
#include "linkedpty.h"
#include "reliability.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>

using namespace kelmor;
using namespace kelmor::test;

namespace {

// Linux drops what the program has not read when the master closes, so a line counts as
// delivered only once the window shows it.
void sendShown(LoadedWindow &lw, PtyPair &pty, const QByteArray &line)
{
    QVERIFY(pty.write(line + "\r"));
    QTRY_COMPARE(receiveMonitorText(*lw.window), QString::fromLatin1(line + "\r\n"));
}

// Milliseconds from the unplug until the port reads closed.
qint64 unplug(LoadedWindow &lw, PtyPair &pty)
{
    QElapsedTimer clock;
    clock.start();
    pty.closeMaster();
    while (comKelmor(*lw.window).portOpen() && clock.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    return clock.elapsed();
}

const int kIdleMs = 10000;
const int kCycles = 100;

} // namespace

class TestUnplug : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initApplication(); }
    void unplugDuringARun_data();
    void unplugDuringARun();
    void unplugAndReopenCycles();
    void sendsToAClosedOrFailedPort_data();
    void sendsToAClosedOrFailedPort();
    void adapterBackDuringARun_data();
    void adapterBackDuringARun();
    void failedPortChangeDuringARun();
};

void TestUnplug::unplugDuringARun_data()
{
    QTest::addColumn<QByteArray>("pending");
    QTest::newRow("nothing pending") << QByteArray();
    QTest::newRow("a line and a half pending") << QByteArray("unread line\rhalf a li");
}

void TestUnplug::unplugDuringARun()
{
    QFETCH(QByteArray, pending);
    LoadedWindow lw;
    startRun(lw);
    QList<QByteArray> shown;
    for (int i = 0; i < 20; ++i) {
        shown << "line " + QByteArray::number(i);
        sendShown(lw, lw.pty, shown.last());
    }
    if (!pending.isEmpty())
        QVERIFY(lw.pty.write(pending));

    const qint64 detectedMs = unplug(lw, lw.pty);
    QVERIFY2(detectedMs < 250,
             qPrintable(QStringLiteral("port closed after %1 ms").arg(detectedMs)));
    QTRY_COMPARE(lw.messages.messages().size(), 1);
    QVERIFY2(lw.messages.messages().constFirst().contains(QLatin1String("Com1")),
             qPrintable(lw.messages.messages().constFirst()));

    const double cpuBefore = cpuSeconds();
    QTest::qWait(kIdleMs);
    const double busy = (cpuSeconds() - cpuBefore) / (kIdleMs / 1000.0);
    qInfo("unplug detected after %lld ms; %.3f %% of a core over the next %d ms", detectedMs,
          busy * 100, kIdleMs);
    QVERIFY2(busy < 0.01, qPrintable(QStringLiteral("%1 % of a core while idle").arg(busy * 100)));
    QCOMPARE(lw.messages.messages().size(), 1);

    // Every line that was on the screen is in the log; whatever the kernel let through of
    // the pending bytes comes after them.
    const QByteArray log = dataPart(lw.logBytes());
    QVERIFY2(log.startsWith(recordsOf(shown)), log.constData());
    const QString last = receiveMonitorText(*lw.window);
    QVERIFY(log.endsWith(formatRecord(last.chopped(2).toLatin1())));
}

void TestUnplug::unplugAndReopenCycles()
{
    LoadedWindow lw;
    startRun(lw);
    QList<QByteArray> shown;
    int fdsBefore = -1;
    for (int cycle = 0; cycle <= kCycles; ++cycle) {
        // Counted once the first round is over: whatever Qt keeps for good exists now.
        if (cycle == 1)
            fdsBefore = openDescriptorCount();
        PtyPair pty;
        QVERIFY(pty.isValid());
        qputenv("KELMOR_COM1", pty.slavePath().toLocal8Bit());
        if (cycle > 0) {
            if (cycle % 10 == 0) {
                lw.click("CmdCom");
                QVERIFY(settingsDialog());
                QTest::mouseClick(
                    settingsDialog()->findChild<QPushButton *>(QStringLiteral("cmdOK")),
                    Qt::LeftButton);
                QTRY_VERIFY(!settingsDialog());
            } else {
                QVERIFY(!comKelmor(*lw.window).setPortOpen(true));
            }
        } else {
            lw.pty.closeMaster(); // the first adapter goes away unused
            QTRY_VERIFY(!comKelmor(*lw.window).portOpen());
            QVERIFY(!comKelmor(*lw.window).setPortOpen(true));
        }
        QVERIFY(comKelmor(*lw.window).portOpen());
        shown << "cycle " + QByteArray::number(cycle);
        sendShown(lw, pty, shown.last());
        const qint64 detectedMs = unplug(lw, pty);
        QVERIFY2(
            detectedMs < 250,
            qPrintable(
                QStringLiteral("cycle %1: port closed after %2 ms").arg(cycle).arg(detectedMs)));
        QTRY_COMPARE(lw.messages.messages().size(), cycle + 2);
        QVERIFY2(lw.messages.messages().constLast().contains(QLatin1String("Com1")),
                 qPrintable(lw.messages.messages().constLast()));
    }
    const int fdsAfter = openDescriptorCount();
    qInfo("%d unplug and reopen cycles: %d open descriptors before, %d after", kCycles, fdsBefore,
          fdsAfter);
    QCOMPARE(fdsAfter, fdsBefore);
    // The run went on through all of it and lost no line that was shown.
    QCOMPARE(lw.get<QPushButton>("cmdMonitor")->text(), QStringLiteral("STOP"));
    QCOMPARE(dataPart(lw.logBytes()), recordsOf(shown));
}

void TestUnplug::sendsToAClosedOrFailedPort_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("never opened") << QStringLiteral("cancel");
    QTest::newRow("closed by the program") << QStringLiteral("closed");
    QTest::newRow("unplugged") << QStringLiteral("unplugged");
}

void TestUnplug::sendsToAClosedOrFailedPort()
{
    QFETCH(QString, how);
    LoadedWindow lw(how == QLatin1String("cancel") ? DialogAnswer::Cancel : DialogAnswer::Ok);
    int expected = 0;
    if (how == QLatin1String("closed")) {
        QVERIFY(!comKelmor(*lw.window).setPortOpen(false));
    } else if (how == QLatin1String("unplugged")) {
        QVERIFY(unplug(lw, lw.pty) < 250);
        QTRY_COMPARE(lw.messages.messages().size(), 1);
        expected = 1;
    }
    QVERIFY(!comKelmor(*lw.window).portOpen());
    const QByteArray logBefore = lw.logBytes();

    const char *const buttons[] = {"CmdBefehl", "CmdSenden", "cmdMonitor", "CmdBefehl"};
    for (const char *button : buttons) {
        lw.click(button);
        QTest::qWait(20); // a second message would be queued
        ++expected;
        QVERIFY2(lw.messages.messages().size() == expected, button);
        QVERIFY2(lw.messages.messages().constLast().contains(QLatin1String("Com1")),
                 qPrintable(lw.messages.messages().constLast()));
        QCOMPARE(sendMonitorText(*lw.window), QString());
        QVERIFY(lw.get("CmdSenden")->isEnabled());
        QCOMPARE(lw.get<QPushButton>("cmdMonitor")->text(), QStringLiteral("START"));
        QVERIFY(!lw.logOpen());
        QCOMPARE(panelText(*lw.window, 3), QString());
    }
    if (lw.pty.isValid() && how != QLatin1String("unplugged"))
        QCOMPARE(lw.pty.read(1, 100), QByteArray());
    // The refused start left at most its header, a whole record.
    const QByteArray log = lw.logBytes();
    QVERIFY(log.startsWith(logBefore));
    QVERIFY(log.mid(logBefore.size()).count("\r\n") <= 1);
    QVERIFY(log.isEmpty() || log.endsWith("\"\r\n"));
}

void TestUnplug::adapterBackDuringARun_data()
{
    QTest::addColumn<QByteArray>("pending"); // sent just before the pull, never shown
    QTest::addColumn<int>("cycles");
    QTest::newRow("once, nothing pending") << QByteArray() << 1;
    QTest::newRow("once, half a line pending") << QByteArray("PR=1.00E-03 half a li") << 1;
    QTest::newRow("a hundred times, half lines pending") << QByteArray("half") << 100;
}

void TestUnplug::adapterBackDuringARun()
{
    QFETCH(QByteArray, pending);
    QFETCH(int, cycles);

    QTemporaryDir dir;
    LinkedPty line(dir.filePath(QStringLiteral("ttyUSB0")));
    QVERIFY(line.plug());
    LoadedWindow lw;
    // Com1 moves from the harness's own line to the linked one.
    QVERIFY(!comKelmor(*lw.window).setPortOpen(false));
    qputenv("KELMOR_COM1", QFile::encodeName(line.link()));
    QVERIFY(!comKelmor(*lw.window).setPortOpen(true));
    lw.click("cmdMonitor");
    QCOMPARE(line.pty().read(4), QByteArray("SX1\r"));
    const QByteArray header = lw.logBytes();

    QList<QByteArray> shown;
    int fdsBefore = -1;
    int fdsAfter = -1;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        shown << "cycle " + QByteArray::number(cycle);
        sendShown(lw, line.pty(), shown.last());
        if (!pending.isEmpty())
            QVERIFY(line.pty().write(pending));
        // Read by the window before the pull, or the kernel drops it with the line.
        if (!pending.isEmpty())
            QTRY_COMPARE(receiver(*lw.window).buffer().size(), pending.size());
        line.pull();
        QTRY_VERIFY(!comKelmor(*lw.window).portOpen());
        QTRY_COMPARE(panelText(*lw.window, 1), QStringLiteral("COM  1 zu"));
        QVERIFY2(lw.window->findChild<QLabel *>(QStringLiteral("Panel1"))
                     ->toolTip()
                     .contains(QString::fromUtf8("sobald das Gerät")),
                 qPrintable(lw.window->findChild<QLabel *>(QStringLiteral("Panel1"))->toolTip()));
        // Counted while away, once the first round has made whatever Qt keeps for good.
        if (cycle == 1)
            fdsBefore = openDescriptorCount();
        if (cycle == cycles - 1 && cycles > 1)
            fdsAfter = openDescriptorCount();

        QVERIFY(line.plug());
        // Back with the run's command, without anyone touching the window.
        QCOMPARE(line.pty().read(4, 5000), QByteArray("SX1\r"));
        QVERIFY(comKelmor(*lw.window).portOpen());
        QCOMPARE(panelText(*lw.window, 1), QStringLiteral("COM  1"));
        QVERIFY2(lw.window->findChild<QLabel *>(QStringLiteral("Panel1"))
                     ->toolTip()
                     .contains(QStringLiteral("Unterbrechung")),
                 qPrintable(lw.window->findChild<QLabel *>(QStringLiteral("Panel1"))->toolTip()));
    }
    shown << "after";
    sendShown(lw, line.pty(), shown.last());

    // One message for all of it, the run still on, one header, and no line glued to the
    // remains of one that broke off.
    QTest::qWait(50);
    QCOMPARE(lw.messages.messages().size(), 1);
    QCOMPARE(lw.get<QPushButton>("cmdMonitor")->text(), QStringLiteral("STOP"));
    QCOMPARE(lw.logBytes(), header + recordsOf(shown));
    if (cycles > 1) {
        qInfo("%d reconnects during a run: %d descriptors before, %d after", cycles, fdsBefore,
              fdsAfter);
        QCOMPARE(fdsAfter, fdsBefore);
    }
}

void TestUnplug::failedPortChangeDuringARun()
{
    LoadedWindow lw;
    startRun(lw);
    qputenv("KELMOR_COM2", "/nonexistent/ttyKELMOR");
    lw.click("CmdCom");
    FrmProperties *dialog = settingsDialog();
    QVERIFY(dialog);
    dialog->findChild<QComboBox *>(QStringLiteral("cboPort"))->setCurrentIndex(1);
    QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("cmdOK")), Qt::LeftButton);

    QCOMPARE(lw.messages.messages().size(), 1);
    const QString text = lw.messages.messages().constFirst();
    QVERIFY2(text.contains(QStringLiteral("Com1 (%1) wurde für den Wechsel geschlossen")
                               .arg(lw.pty.slavePath())) &&
                 text.contains(QString::fromUtf8("empfängt nichts, bis wieder eine "
                                                 "Schnittstelle geöffnet ist")),
             qPrintable(text));
    QVERIFY(!comKelmor(*lw.window).portOpen());
    QCOMPARE(panelText(*lw.window, 1), QStringLiteral("COM  1 zu"));
    QVERIFY(!comKelmor(*lw.window).watching()); // closed on purpose: nothing to wait for
    dialog->close();
    QTRY_VERIFY(!settingsDialog());

    // Without a run the same change says nothing about one.
    lw.messages.messages().clear();
    lw.click("cmdMonitor"); // STOP
    lw.click("CmdCom");
    dialog = settingsDialog();
    QVERIFY(dialog);
    QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("cmdOK")), Qt::LeftButton);
    QTRY_VERIFY(!settingsDialog());
    QVERIFY(comKelmor(*lw.window).portOpen());
    QCOMPARE(panelText(*lw.window, 1), QStringLiteral("COM  1"));
    lw.click("CmdCom");
    dialog = settingsDialog();
    dialog->findChild<QComboBox *>(QStringLiteral("cboPort"))->setCurrentIndex(1);
    QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("cmdOK")), Qt::LeftButton);
    QVERIFY(lw.messages.messages().size() >= 1);
    QVERIFY2(!lw.messages.messages().constLast().contains(QStringLiteral("Überwachung")),
             qPrintable(lw.messages.messages().constLast()));
    dialog->close();
}

QTEST_MAIN(TestUnplug)
#include "tst_unplug.moc"
