#include "statusword.h"

#include <QRandomGenerator>
#include <QTest>

using kelmor::readStatusWord;

namespace {

// A second, deliberately different reading: filter the text, take the leading digits
// as a string, and let Qt parse the last four of them.
quint16 referenceReading(const QByteArray &text)
{
    QByteArray filtered;
    for (const char c : text) {
        if (c != ' ' && c != '\t' && c != '\n')
            filtered.append(c);
    }
    static const QByteArray hexDigits = "0123456789abcdefABCDEF";
    qsizetype digits = 0;
    while (digits < filtered.size() && hexDigits.contains(filtered[digits]))
        ++digits;
    if (digits == 0)
        return 0;
    bool ok = false;
    const uint value = filtered.first(digits).right(4).toUInt(&ok, 16);
    Q_ASSERT(ok);
    return static_cast<quint16>(value);
}

} // namespace

class TestStatusWord : public QObject
{
    Q_OBJECT

private slots:
    void reading_data();
    void reading();
    void agreesWithReferenceOnRandomText();
};

void TestStatusWord::reading_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("word");

    QTest::newRow("all bits") << QByteArray("FFFF") << 0xFFFF;
    QTest::newRow("life bit only") << QByteArray("8000") << 0x8000;
    QTest::newRow("autorange only") << QByteArray("0001") << 0x0001;
    QTest::newRow("five blanks") << QByteArray("     ") << 0;
    QTest::newRow("digits between blanks") << QByteArray("0 0 4 1") << 0x0041;
    QTest::newRow("digits between tabs") << QByteArray("0\t0\t4\t1") << 0x0041;
    QTest::newRow("blanks, tabs, line feeds around") << QByteArray(" \t0\n04 \t1\n") << 0x0041;
    QTest::newRow("lower case") << QByteArray("00ff") << 0x00FF;
    QTest::newRow("upper case") << QByteArray("00FF") << 0x00FF;
    QTest::newRow("mixed case") << QByteArray("aBcD") << 0xABCD;
    QTest::newRow("five digits keep low 16 bits") << QByteArray("1A003") << 0xA003;
    QTest::newRow("CR ends the number") << QByteArray("12\r34") << 0x0012;
    QTest::newRow("line feed is dropped, not an end") << QByteArray("12\n34") << 0x1234;
    QTest::newRow("empty") << QByteArray() << 0;
    QTest::newRow("non-hex start") << QByteArray("G123") << 0;
    QTest::newRow("sign is not a digit") << QByteArray("-1") << 0;
    QTest::newRow("hex prefix stops at x") << QByteArray("0x12") << 0;
    QTest::newRow("fewer than four digits") << QByteArray("7") << 0x0007;
    QTest::newRow("stops at a letter past F") << QByteArray("ABG1") << 0x00AB;
    QTest::newRow("high byte ends the number") << QByteArray("1\xC4"
                                                             "2")
                                               << 0x0001;
    QTest::newRow("NUL ends the number") << QByteArray("3\0"
                                                       "4",
                                                       3)
                                         << 0x0003;
    QTest::newRow("long run of digits") << QByteArray(10000, 'F') + "1234" << 0x1234;
    QTest::newRow("long run of blanks first") << QByteArray(10000, ' ') + "BEEF" << 0xBEEF;
}

void TestStatusWord::reading()
{
    QFETCH(QByteArray, text);
    QFETCH(int, word);
    QCOMPARE(readStatusWord(text), quint16(word));
}

void TestStatusWord::agreesWithReferenceOnRandomText()
{
    // Mostly digits and the dropped characters, so that long numbers are common.
    static const QByteArray likely = "0123456789abcdefABCDEF \t\n\r";
    QRandomGenerator random(20240611);
    for (int round = 0; round < 20000; ++round) {
        QByteArray text;
        const int length = random.bounded(0, 24);
        for (int i = 0; i < length; ++i) {
            if (random.bounded(8) == 0)
                text.append(static_cast<char>(random.bounded(256)));
            else
                text.append(likely.at(random.bounded(likely.size())));
        }
        const quint16 expected = referenceReading(text);
        if (readStatusWord(text) != expected)
            QFAIL(qPrintable(QStringLiteral("text %1: read %2, expected %3")
                                 .arg(QString::fromLatin1(text.toHex(' ')))
                                 .arg(readStatusWord(text), 4, 16, QLatin1Char('0'))
                                 .arg(expected, 4, 16, QLatin1Char('0'))));
    }
}

QTEST_GUILESS_MAIN(TestStatusWord)
#include "tst_statusword.moc"
