#include "settingstext.h"

#include <QTest>

#include <optional>

using kelmor::LineSettings;
using kelmor::parseLineSettings;
using kelmor::settingsText;
using kelmor::speedFromSettings;

Q_DECLARE_METATYPE(LineSettings)

class TestSettingsText : public QObject
{
    Q_OBJECT

private slots:
    void speed_data();
    void speed();
    void roundTrip_data();
    void roundTrip();
    void written_data();
    void written();
};

void TestSettingsText::speed_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("speed");

    QTest::newRow("19200 start-up settings") << "19200,n,8,1"
                                             << "19200";
    QTest::newRow("38400") << "38400,n,8,1"
                           << "38400";
    QTest::newRow("six-digit speed") << "115200,n,8,1"
                                     << "115200";
    QTest::newRow("even parity, 7 bits, 2 stop") << "9600,e,7,2"
                                                 << "9600";
    QTest::newRow("1.5 stop bits drop 8") << "9600,n,8,1.5"
                                          << "9600";
    QTest::newRow("1.5 stop bits, 19200") << "19200,n,8,1.5"
                                          << "19200";
    // The tail goes by count: a dot anywhere, even in the speed, drops 8.
    QTest::newRow("dot in the speed") << "1.5,n,8,1"
                                      << "1";
    QTest::newRow("trailing blank is counted") << "19200,n,8,1 "
                                               << "19200,";
    QTest::newRow("upper-case parity") << "2400,N,8,1"
                                       << "2400";
    QTest::newRow("tail only") << ",n,8,1"
                               << "";
    QTest::newRow("dotted tail only") << ",n,8,1.5"
                                      << "";
    QTest::newRow("one more than the tail") << "x,n,8,1"
                                            << "x";
    QTest::newRow("shorter than the tail") << "n,8,1"
                                           << "";
    QTest::newRow("short with a dot") << "1.5"
                                      << "";
    QTest::newRow("seven characters with a dot") << "1234.67"
                                                 << "";
    QTest::newRow("one character") << "9"
                                   << "";
    QTest::newRow("empty") << ""
                           << "";
}

void TestSettingsText::speed()
{
    QFETCH(QString, settings);
    QFETCH(QString, speed);
    QCOMPARE(speedFromSettings(settings), speed);
}

// Every settings text the component accepts gives back the speed it was written with,
// whatever its stop bits, and reads as the same settings when written again.
void TestSettingsText::roundTrip_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("speed");

    const QStringList speeds{QStringLiteral("1200"), QStringLiteral("19200"),
                             QStringLiteral("38400"), QStringLiteral("115200")};
    const QStringList parities{QStringLiteral("n"), QStringLiteral("E"), QStringLiteral("o")};
    const QStringList stopBits{QStringLiteral("1"), QStringLiteral("1.5"), QStringLiteral("2")};
    for (const QString &speed : speeds) {
        for (const QString &parity : parities) {
            for (const QString &stop : stopBits) {
                const QString settings = QStringLiteral("%1,%2,7,%3").arg(speed, parity, stop);
                QTest::newRow(qPrintable(settings)) << settings << speed;
            }
        }
    }
}

void TestSettingsText::roundTrip()
{
    QFETCH(QString, settings);
    QFETCH(QString, speed);
    const std::optional<LineSettings> line = parseLineSettings(settings);
    QVERIFY(line);
    QCOMPARE(speedFromSettings(settings), speed);
    QCOMPARE(settingsText(*line), settings.toLower());
}

// The text the dialog hands the component for typed settings, read back to the same
// settings and to the speed the dialog looks for.
void TestSettingsText::written_data()
{
    QTest::addColumn<LineSettings>("line");
    QTest::addColumn<QString>("text");

    const auto row = [](const char *text, qint32 baud, QSerialPort::Parity parity,
                        QSerialPort::DataBits dataBits, QSerialPort::StopBits stopBits) {
        QTest::newRow(text) << LineSettings{baud, parity, dataBits, stopBits}
                            << QString::fromLatin1(text);
    };
    QTest::newRow("the start-up settings") << LineSettings{} << QStringLiteral("19200,n,8,1");
    row("38400,n,8,1", 38400, QSerialPort::NoParity, QSerialPort::Data8, QSerialPort::OneStop);
    row("9600,e,7,2", 9600, QSerialPort::EvenParity, QSerialPort::Data7, QSerialPort::TwoStop);
    row("300,o,5,1.5", 300, QSerialPort::OddParity, QSerialPort::Data5,
        QSerialPort::OneAndHalfStop);
    row("115200,m,6,1", 115200, QSerialPort::MarkParity, QSerialPort::Data6, QSerialPort::OneStop);
    row("1200,s,8,2", 1200, QSerialPort::SpaceParity, QSerialPort::Data8, QSerialPort::TwoStop);
    row("999999999,n,8,1", 999999999, QSerialPort::NoParity, QSerialPort::Data8,
        QSerialPort::OneStop);
}

void TestSettingsText::written()
{
    QFETCH(LineSettings, line);
    QFETCH(QString, text);
    QCOMPARE(settingsText(line), text);
    QVERIFY(parseLineSettings(text) == line);
    QCOMPARE(speedFromSettings(text), QString::number(line.baudRate));
}

QTEST_GUILESS_MAIN(TestSettingsText)
#include "tst_settingstext.moc"
