#include "comkelmor.h"
#include "settingstext.h"

#include <QTest>

using kelmor::speedFromSettings;

class TestSettingsText : public QObject
{
    Q_OBJECT

private slots:
    void speed_data();
    void speed();
    void roundTrip_data();
    void roundTrip();
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

// Every settings text the component accepts with one-character parity and data bits
// gives back the speed it was written with, whatever its stop bits.
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
    QVERIFY(kelmor::parseLineSettings(settings, nullptr));
    QCOMPARE(speedFromSettings(settings), speed);
}

QTEST_GUILESS_MAIN(TestSettingsText)
#include "tst_settingstext.moc"
