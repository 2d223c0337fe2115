#include "commands.h"

#include <QTest>

using namespace kelmor;

class TestCommands : public QObject
{
    Q_OBJECT

private slots:
    void fixedCommands_data();
    void fixedCommands();
    void freeCommand_data();
    void freeCommand();
    void everyByteSurvivesTheRoundTrip();
};

void TestCommands::fixedCommands_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("hex");

    QTest::newRow("start monitoring") << startMonitoringCommand() << QByteArray("5358310d");
    QTest::newRow("stop monitoring") << stopMonitoringCommand() << QByteArray("5358300d");
    QTest::newRow("control word 0009")
        << controlWordCommand(QStringLiteral("0009")) << QByteArray("534320303030390d");
    QTest::newRow("control word 7FFF")
        << controlWordCommand(QStringLiteral("7FFF")) << QByteArray("534320374646460d");
}

void TestCommands::fixedCommands()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, hex);
    QCOMPARE(command.toHex(), hex);
}

void TestCommands::freeCommand_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("sent");

    QTest::newRow("start text") << QStringLiteral("RV") << QByteArray("RV\r");
    QTest::newRow("empty: lone CR") << QString() << QByteArray("\r");
    QTest::newRow("lower case kept") << QStringLiteral("sx1") << QByteArray("sx1\r");
    QTest::newRow("blanks kept") << QStringLiteral("  RV ") << QByteArray("  RV \r");
    QTest::newRow("tab kept") << QStringLiteral("SC\t1") << QByteArray("SC\t1\r");
    QTest::newRow("umlaut") << QStringLiteral("ä") << QByteArray("\xE4\r");
    QTest::newRow("German text") << QStringLiteral("Grüße") << QByteArray("\x47\x72\xFC\xDF\x65\r");
    QTest::newRow("highest Latin-1") << QStringLiteral("ÿ") << QByteArray("\xFF\r");
    QTest::newRow("euro sign has no Latin-1 byte") << QStringLiteral("a€b") << QByteArray("a?b\r");
    QTest::newRow("character beyond the BMP is one ?")
        << QStringLiteral("x\U0001F600y") << QByteArray("x?y\r");
    QTest::newRow("lone high surrogate") << QString(QChar(0xD83D)) << QByteArray("?\r");
    QTest::newRow("lone low surrogate then letter")
        << QString(QChar(0xDE00)) + QLatin1Char('z') << QByteArray("?z\r");
}

void TestCommands::freeCommand()
{
    QFETCH(QString, typed);
    QFETCH(QByteArray, sent);
    QCOMPARE(kelmor::freeCommand(typed), sent);
}

void TestCommands::everyByteSurvivesTheRoundTrip()
{
    // A line shown in the receive monitor and sent back unchanged goes out as the same
    // bytes: the two directions use the same one-byte-per-character mapping.
    QByteArray bytes;
    for (int byte = 0; byte <= 0xFF; ++byte)
        bytes.append(static_cast<char>(byte));

    const QString text = bytesAsText(bytes);
    QCOMPARE(text.size(), 256);
    for (int i = 0; i < 256; ++i)
        QCOMPARE(text.at(i).unicode(), char16_t(i));
    QCOMPARE(kelmor::freeCommand(text), bytes + '\r');
}

QTEST_GUILESS_MAIN(TestCommands)
#include "tst_commands.moc"
