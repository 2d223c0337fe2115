#include "receivebuffer.h"
#include "receivedline.h"

#include <QTest>

#include <cmath>

using namespace kelmor;

class TestReceivedLine : public QObject
{
    Q_OBJECT

private slots:
    void pressure_data();
    void pressure();
    void decoding_data();
    void decoding();
};

void TestReceivedLine::pressure_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<double>("mbar"); // NaN: not a number

    const double nan = std::nan("");
    QTest::newRow("the gauge's form") << QByteArray("1.23E-05") << 1.23e-5;
    QTest::newRow("positive exponent") << QByteArray("7.50E+02") << 750.0;
    QTest::newRow("lower-case exponent") << QByteArray("2.0e-3") << 2.0e-3;
    QTest::newRow("plain digits") << QByteArray("1000") << 1000.0;
    QTest::newRow("leading plus") << QByteArray("+1.0E-03") << 1.0e-3;
    QTest::newRow("blanks around") << QByteArray(" 5.0E-07 ") << 5.0e-7;
    QTest::newRow("blank fill behind a short text") << QByteArray("9E-1    ") << 0.9;
    QTest::newRow("zero") << QByteArray("0.00E+00") << 0.0;
    QTest::newRow("no pressure yet") << QByteArray("---") << nan;
    QTest::newRow("empty") << QByteArray() << nan;
    QTest::newRow("blanks only") << QByteArray("        ") << nan;
    QTest::newRow("decimal comma") << QByteArray("1,23E-05") << nan;
    QTest::newRow("unit behind") << QByteArray("1.0 mbar") << nan;
    QTest::newRow("letter inside") << QByteArray("1.2x-03") << nan;
    QTest::newRow("exponent without digits") << QByteArray("1.0E") << nan;
    QTest::newRow("two signs") << QByteArray("+-1.0") << nan;
    QTest::newRow("sign alone") << QByteArray("-") << nan;
    QTest::newRow("infinity spelt out") << QByteArray("inf") << nan;
    QTest::newRow("nan spelt out") << QByteArray("nan") << nan;
    QTest::newRow("out of range") << QByteArray("1E999") << nan;
    QTest::newRow("tab inside") << QByteArray("1.0\tE-3") << nan;
    QTest::newRow("NUL behind") << QByteArray("1.0\0", 4) << nan;
}

void TestReceivedLine::pressure()
{
    QFETCH(QByteArray, text);
    QFETCH(double, mbar);
    const double got = readPressureMbar(text);
    if (std::isnan(mbar))
        QVERIFY2(std::isnan(got), qPrintable(QString::number(got)));
    else
        QCOMPARE(got, mbar);
}

void TestReceivedLine::decoding_data()
{
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<bool>("measurement");
    QTest::addColumn<QString>("pressureText");
    QTest::addColumn<double>("mbar");
    QTest::addColumn<int>("status");

    const double nan = std::nan("");
    const QByteArray line = QByteArray("P1 1.23E-05").leftJustified(46, '.') + "8049\tmbar";
    QTest::newRow("measurement line")
        << line + "\r" << line << true << "1.23E-05" << 1.23e-5 << 0x8049;
    QTest::newRow("short line: no fields read")
        << QByteArray("RV 1.2\r") << QByteArray("RV 1.2") << false << "" << nan << 0;
    const QByteArray tabbed = QByteArray("P1 5.0E-3\tx").leftJustified(46, '.') + "0010 ";
    QTest::newRow("a tab ends the pressure text")
        << tabbed + "\r" << tabbed << true << "5.0E-3" << 5.0e-3 << 0x0010;
    const QByteArray latin = QByteArray("P1 \xb0\xb1").leftJustified(46, '.') + "0001 ";
    QTest::newRow("high bytes are Latin-1 characters")
        << latin + "\r" << latin << true << QString::fromLatin1("\xb0\xb1......") << nan << 1;
    const QByteArray line46 = QByteArray("ab 7.50E+02").leftJustified(46, '-');
    QTest::newRow("the CR alone is the status field")
        << line46 + "\r" << line46 << true << "7.50E+02" << 750.0 << 0;
}

void TestReceivedLine::decoding()
{
    QFETCH(QByteArray, buffer);
    QFETCH(QByteArray, raw);
    QFETCH(bool, measurement);
    QFETCH(QString, pressureText);
    QFETCH(double, mbar);
    QFETCH(int, status);

    ReceiveBuffer rx;
    rx.append(buffer);
    const std::optional<AnswerLine> answer = rx.takeLine();
    QVERIFY(answer);
    const ReceivedLine line = decodeAnswerLine(*answer);
    QCOMPARE(line.raw, raw);
    QCOMPARE(line.isMeasurement, measurement);
    QCOMPARE(line.pressureText, pressureText);
    if (std::isnan(mbar))
        QVERIFY(std::isnan(line.pressureMbar));
    else
        QCOMPARE(line.pressureMbar, mbar);
    QCOMPARE(int(line.status), status);
    // The receive times are the receiver's to fill.
    QCOMPARE(line.monotonicNs, 0);
    QVERIFY(!line.wallClock.isValid());
}

QTEST_APPLESS_MAIN(TestReceivedLine)
#include "tst_receivedline.moc"
