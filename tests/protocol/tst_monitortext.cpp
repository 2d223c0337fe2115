#include "monitortext.h"

#include <QTest>

using namespace kelmor;

namespace {

// Characters that make every cut position visible.
QString counted(qsizetype length)
{
    QString text;
    for (qsizetype i = 0; i < length; ++i)
        text.append(QLatin1Char(static_cast<char>('a' + i % 26)));
    return text;
}

} // namespace

class TestMonitorText : public QObject
{
    Q_OBJECT

private slots:
    void sendEcho_data();
    void sendEcho();
    void sendEchoSequence();
    void receiveLine_data();
    void receiveLine();
    void receiveLineShowsHighBytesAsLatin1();
};

void TestMonitorText::sendEcho_data()
{
    QTest::addColumn<QString>("previous");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("monitor");

    const QString rv = QStringLiteral("RV\r");
    QTest::newRow("empty monitor") << QString() << rv << QStringLiteral("RV\r\n");
    QTest::newRow("lone CR") << QString() << QStringLiteral("\r") << QStringLiteral("\r\n");
    QTest::newRow("exactly 200 kept")
        << counted(196) << rv << counted(196) + QStringLiteral("RV\r\n");
    QTest::newRow("201 cut to last 150")
        << counted(197) << rv << counted(197).right(146) + QStringLiteral("RV\r\n");
    QTest::newRow("cut falls inside the command")
        << counted(190) << QStringLiteral("SC 0009") + counted(145) + QStringLiteral("\r")
        << QStringLiteral("009") + counted(145) + QStringLiteral("\r\n");
    QTest::newRow("long command alone") << QString() << counted(300) + QStringLiteral("\r")
                                        << counted(300).right(148) + QStringLiteral("\r\n");
}

void TestMonitorText::sendEcho()
{
    QFETCH(QString, previous);
    QFETCH(QString, command);
    QFETCH(QString, monitor);

    const QString echoed = appendSendEcho(previous, command);
    QCOMPARE(echoed, monitor);
    QVERIFY(echoed.size() <= kSendMonitorLimit);
}

void TestMonitorText::sendEchoSequence()
{
    QString monitor = appendSendEcho(QString(), QStringLiteral("RV\r"));
    monitor = appendSendEcho(monitor, QStringLiteral("SC 0009\r"));
    // R, V, CR, LF, S, C, blank, 0, 0, 0, 9, CR, LF
    const QString expected = QStringLiteral("RV\r\nSC 0009\r\n");
    QCOMPARE(monitor.size(), 13);
    QCOMPARE(monitor, expected);

    // Many echoes in a row never let the monitor pass its limit, and the newest command
    // is always at its end.
    for (int i = 0; i < 100; ++i) {
        const QString command = QStringLiteral("C%1\r").arg(i);
        monitor = appendSendEcho(monitor, command);
        QVERIFY(monitor.size() <= kSendMonitorLimit);
        QVERIFY(monitor.endsWith(command + QLatin1Char('\n')));
    }
}

void TestMonitorText::receiveLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("monitor");

    QTest::newRow("empty line") << QByteArray() << QStringLiteral("\r\n");
    QTest::newRow("measurement line")
        << QByteArray("M1 1.2E-03\t8041") << QStringLiteral("M1 1.2E-03\t8041\r\n");
    QTest::newRow("line with leading LF")
        << QByteArray("\nRV 2.07") << QStringLiteral("\nRV 2.07\r\n");
    QTest::newRow("398 characters kept whole")
        << counted(398).toLatin1() << counted(398) + QStringLiteral("\r\n");
    QTest::newRow("399 characters keep their last 148")
        << counted(399).toLatin1() << counted(399).right(148) + QStringLiteral("\r\n");
    QTest::newRow("1000 characters")
        << counted(1000).toLatin1() << counted(1000).right(148) + QStringLiteral("\r\n");
}

void TestMonitorText::receiveLine()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, monitor);
    QCOMPARE(receiveMonitorText(line), monitor);
}

void TestMonitorText::receiveLineShowsHighBytesAsLatin1()
{
    QByteArray line;
    for (int byte = 0x80; byte <= 0xFF; ++byte)
        line.append(static_cast<char>(byte));

    const QString shown = receiveMonitorText(line);
    QCOMPARE(shown.size(), 128 + 2);
    for (int i = 0; i < 128; ++i)
        QCOMPARE(shown.at(i).unicode(), char16_t(0x80 + i));
    QCOMPARE(shown.at(0xD7 - 0x80), QChar(u'×'));
    QCOMPARE(shown.at(0xE4 - 0x80), QChar(u'ä'));
}

QTEST_GUILESS_MAIN(TestMonitorText)
#include "tst_monitortext.moc"
