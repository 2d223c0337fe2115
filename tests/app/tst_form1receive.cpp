// What the gauge sends, through a pseudo-terminal into the real serial component and
// window: the framing, the status lamps, the pressure, the receive monitor and the log.

#include "form1harness.h"
#include "gaugelines.h"
#include "lifebitlamp.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QRegularExpression>

using namespace kelmor;
using namespace kelmor::test;

namespace {

int litMask(LoadedWindow &lw)
{
    int mask = 0;
    for (int bit = 0; bit < 15; ++bit)
        if (lw.get(kLampNames[bit])->isEnabled())
            mask |= 1 << bit;
    return mask;
}

bool autorangeBlack(LoadedWindow &lw)
{
    const QColor c = lw.get(kLampNames[0])->palette().color(QPalette::Active, QPalette::WindowText);
    return c == QColor(Qt::black);
}

// The records of the log after its first (header) record.
QList<QByteArray> dataRecords(const QByteArray &log)
{
    QList<QByteArray> records;
    qsizetype pos = 0;
    while (pos < log.size()) {
        const qsizetype end = log.indexOf("\"\r\n", pos + 1);
        if (end < 0 || log.at(pos) != '"')
            return {QByteArray("<torn>") + log.mid(pos)};
        records << log.mid(pos + 1, end - pos - 1);
        pos = end + 3;
    }
    if (!records.isEmpty())
        records.removeFirst();
    return records;
}

} // namespace

class TestForm1Receive : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initApplication(); }
    void decode_data();
    void decode();
    void decodeNeverTouchesTheBoxes();
    void framing_data();
    void framing();
    void pressureIsPlainText_data();
    void pressureIsPlainText();
    void twoLinesThenSilenceAreBothHandled();
    void manyLinesInOneChunkKeepTheirOrder();
    void streamWithoutCarriageReturnStaysBounded();
    void newLogStartsWithHeader();
    void runsAndRestartsAppend();
    void logRecordsAreBytesUnchanged();
    void linesBeforeTheRunAreNotLogged();
};

void TestForm1Receive::decode_data()
{
    QTest::addColumn<bool>("afterStop");
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<int>("lit");
    QTest::addColumn<bool>("black");
    QTest::addColumn<bool>("lifeBit");

    QTest::newRow("FFFF: everything lit") << false << QByteArray("FFFF") << 0x7FFF << true << true;
    QTest::newRow("8000: only the life bit, Autorange grey but still enabled")
        << false << QByteArray("8000") << 0x0001 << false << true;
    QTest::newRow("8000 after a stop: Autorange stays dark")
        << true << QByteArray("8000") << 0 << false << true;
    QTest::newRow("0001 after a stop: Autorange lit again")
        << true << QByteArray("0001") << 0x0001 << true << false;
    QTest::newRow("five blanks read as 0")
        << false << QByteArray("     ") << 0x0001 << false << false;
    QTest::newRow("digits with blanks and tabs: 0041")
        << true << QByteArray("0 0\t4 1") << 0x0041 << true << false;
    QTest::newRow("lower case 00ff") << true << QByteArray("00ff") << 0x00FF << true << false;
    QTest::newRow("upper case 00FF") << true << QByteArray("00FF") << 0x00FF << true << false;
    QTest::newRow("five digits 1A003 -> A003")
        << true << QByteArray("1A003") << 0x2003 << true << true;
    QTest::newRow("CR ends the number: 12 CR 34")
        << true << QByteArray("12\r34") << 0x0012 << false << false;
    QTest::newRow("7FFF after a stop") << true << QByteArray("7FFF") << 0x7FFF << true << false;
    QTest::newRow("no digit at all") << true << QByteArray("xyz") << 0 << false << false;
    // Neighbouring lamps whose bits differ: a swapped pair lights the wrong one.
    QTest::newRow("0200: SP Ausgang, not SP Auto")
        << true << QByteArray("0200") << 0x0200 << false << false;
    QTest::newRow("0400: SP Auto, not SP Ausgang")
        << true << QByteArray("0400") << 0x0400 << false << false;
    QTest::newRow("0500: SP manuell and SP Auto")
        << false << QByteArray("0500") << 0x0501 << false << false;
    QTest::newRow("1800: Freigabe Extern and Reset IG")
        << true << QByteArray("1800") << 0x1800 << false << false;
    QTest::newRow("2000: Pirani-VAC, not Pirani-ATM")
        << true << QByteArray("2000") << 0x2000 << false << false;
    QTest::newRow("0030: both filaments") << true << QByteArray("0030") << 0x0030 << false << false;
    QTest::newRow("0091: Autorange, Filament 1, Kleiner E-Strom")
        << true << QByteArray("0091") << 0x0091 << true << false;
}

void TestForm1Receive::decode()
{
    QFETCH(bool, afterStop);
    QFETCH(QByteArray, status);
    QFETCH(int, lit);
    QFETCH(bool, black);
    QFETCH(bool, lifeBit);

    LoadedWindow lw;
    if (afterStop) {
        startRun(lw);
        lw.window->DecodeStatusWord("FFFF");
        stopRun(lw);
        QCOMPARE(litMask(lw), 0);
    }
    lw.window->DecodeStatusWord(status);
    QCOMPARE(litMask(lw), lit);
    QCOMPARE(autorangeBlack(lw), black);
    if (!black) {
        const QColor grey =
            lw.get(kLampNames[0])->palette().color(QPalette::Disabled, QPalette::WindowText);
        QCOMPARE(lw.get(kLampNames[0])->palette().color(QPalette::Active, QPalette::WindowText),
                 grey);
    }
    QCOMPARE(lw.get<LifeBitLamp>("ShapeLB")->isLit(), lifeBit);
}

void TestForm1Receive::decodeNeverTouchesTheBoxes()
{
    LoadedWindow lw;
    const QString word = controlWordText(*lw.window);
    const bool send = lw.get("CmdSenden")->isEnabled();
    const QString pressure = lw.get<QLabel>("lblDruck")->text();
    lw.window->DecodeStatusWord("7FFF");
    QCOMPARE(controlWordText(*lw.window), word);
    QCOMPARE(lw.get("CmdSenden")->isEnabled(), send);
    QCOMPARE(lw.get<QLabel>("lblDruck")->text(), pressure);
    QVERIFY(controlModel(*lw.window).isChecked(Box::Autorange));
    QVERIFY(!controlModel(*lw.window).isChecked(Box::Pirani));
}

void TestForm1Receive::framing_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QString>("pressure");
    QTest::addColumn<int>("lit");          // -1: lamps untouched
    QTest::addColumn<QByteArray>("shown"); // the receive monitor, as Latin-1 bytes
    QTest::addColumn<QList<QByteArray>>("records");
    QTest::addColumn<QByteArray>("waiting"); // what stays in the receive buffer

    const QByteArray line51 = measurementLine("1.23E-05", "0049\t");
    const QByteArray line45 = QByteArray("x").repeated(45);
    const QByteArray line46 = QByteArray("ab 7.50E+02").leftJustified(46, '-');

    QTest::newRow("no CR: nothing happens") << QList<QByteArray>{line51} << "---" << -1
                                            << QByteArray() << QList<QByteArray>{} << line51;
    QTest::newRow("45 characters: shown and logged, not decoded")
        << QList<QByteArray>{line45 + "\r"} << "---" << -1 << line45 + "\r\n"
        << QList<QByteArray>{line45} << QByteArray();
    QTest::newRow("46 characters: the CR alone is the status field")
        << QList<QByteArray>{line46 + "\r"} << "7.50E+02" << 0x0001 << line46 + "\r\n"
        << QList<QByteArray>{line46} << QByteArray();
    QTest::newRow("51 characters and more")
        << QList<QByteArray>{line51 + "\r"} << "1.23E-05" << 0x0049 << line51 + "\r\n"
        << QList<QByteArray>{line51} << QByteArray();
    QTest::newRow("a measurement line in single bytes") <<
        [&] {
            QList<QByteArray> bytes;
            for (char c : line51 + "\r")
                bytes << QByteArray(1, c);
            return bytes;
        }() << "1.23E-05" << 0x0049 << line51 + "\r\n" << QList<QByteArray>{line51}
                                                        << QByteArray();
    {
        // The fields are cut from the buffer, past the short line's CR: positions 4..11
        // are the next line's first eight characters, 47..51 read "34567".
        const QByteArray next = QByteArray("0123456789").repeated(6);
        QTest::newRow("a short line followed by more characters")
            << QList<QByteArray>{"ab\r" + next} << "01234567" << 0x4567 << QByteArray("ab\r\n")
            << QList<QByteArray>{"ab"} << next;
    }
    QTest::newRow("a tab at position 4 empties the pressure")
        << QList<QByteArray>{measurementLine("\t1.0E-03", "0000 ") + "\r"} << "" << 0x0001
        << measurementLine("\t1.0E-03", "0000 ") + "\r\n"
        << QList<QByteArray>{measurementLine("\t1.0E-03", "0000 ")} << QByteArray();
    QTest::newRow("a tab at position 11 leaves seven characters")
        << QList<QByteArray>{measurementLine("1.0E-03\t", "0002\t") + "\r"} << "1.0E-03" << 0x0003
        << measurementLine("1.0E-03\t", "0002\t") + "\r\n"
        << QList<QByteArray>{measurementLine("1.0E-03\t", "0002\t")} << QByteArray();
    QTest::newRow("CR LF endings: the LF opens the next line")
        << QList<QByteArray>{line51 + "\r\n", measurementLine("2.00E-06", "0041\t") + "\r\n"}
        << " 2.00E-0" << 0x0001 << "\n" + measurementLine("2.00E-06", "0041\t") + "\r\n"
        << QList<QByteArray>{line51, "\n" + measurementLine("2.00E-06", "0041\t")}
        << QByteArray("\n");
    {
        QByteArray line399;
        for (int i = 0; i < 399; ++i)
            line399 += char('A' + i % 26);
        QTest::newRow("a 399-character line keeps its last 148 and CR LF")
            << QList<QByteArray>{line399 + "\r"} << "DEFGHIJK" << -2 << line399.right(148) + "\r\n"
            << QList<QByteArray>{line399} << QByteArray();
    }
    QTest::newRow("a status field of five blanks: the pressure is shown")
        << QList<QByteArray>{measurementLine("4.2E-04", "     ") + "\r"} << "4.2E-04 " << 0x0001
        << measurementLine("4.2E-04", "     ") + "\r\n"
        << QList<QByteArray>{measurementLine("4.2E-04", "     ")} << QByteArray();
    QTest::newRow("an empty line") << QList<QByteArray>{"\r"} << "---" << -1 << QByteArray("\r\n")
                                   << QList<QByteArray>{""} << QByteArray();
}

void TestForm1Receive::framing()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QString, pressure);
    QFETCH(int, lit);
    QFETCH(QByteArray, shown);
    QFETCH(QList<QByteArray>, records);
    QFETCH(QByteArray, waiting);

    LoadedWindow lw;
    startRun(lw);
    const int before = litMask(lw);
    for (const QByteArray &chunk : chunks)
        lw.gaugeSends(chunk, chunks.size() > 20 ? 0 : 30);
    QTest::qWait(100);

    QCOMPARE(lw.get<QLabel>("lblDruck")->text(), pressure);
    if (lit == -1)
        QCOMPARE(litMask(lw), before);
    else if (lit >= 0)
        QCOMPARE(litMask(lw), lit);
    QCOMPARE(receiveMonitorText(*lw.window), QString::fromLatin1(shown));
    QCOMPARE(receiver(*lw.window).buffer().data(), waiting);
    // The caret sits at the end so the box shows the newest line.
    auto *box = lw.get<QPlainTextEdit>("TextEmpfang");
    QCOMPARE(box->textCursor().position(), box->document()->characterCount() - 1);

    stopRun(lw);
    QCOMPARE(dataRecords(lw.logBytes()), records);
}

void TestForm1Receive::pressureIsPlainText_data()
{
    QTest::addColumn<QByteArray>("pressure");
    QTest::newRow("an italic tag") << QByteArray("<i>1.0E-");
    QTest::newRow("a bold tag") << QByteArray("<b>9E-3<");
    QTest::newRow("an entity") << QByteArray("&amp;1E-2");
    QTest::newRow("a line break") << QByteArray("<br>1E-5");
}

void TestForm1Receive::pressureIsPlainText()
{
    QFETCH(QByteArray, pressure);
    LoadedWindow lw;
    lw.gaugeSends(measurementLine(pressure, "0000\t") + "\r");
    auto *label = lw.get<QLabel>("lblDruck");
    const QString text = QString::fromLatin1(pressure.left(8));
    QTRY_COMPARE(label->text(), text);
    // Drawn character for character: markup would draw narrower than its text.
    QVERIFY2(label->sizeHint().width() >= label->fontMetrics().horizontalAdvance(text),
             qPrintable(QStringLiteral("%1 px for %2 px of text")
                            .arg(label->sizeHint().width())
                            .arg(label->fontMetrics().horizontalAdvance(text))));
    QCOMPARE(label->sizeHint().height(), lw.get<QLabel>("Label3")->sizeHint().height());
}

void TestForm1Receive::twoLinesThenSilenceAreBothHandled()
{
    LoadedWindow lw;
    startRun(lw);
    lw.gaugeSends(measurementLine("1.00E-03", "0003\t") + "\r" +
                  measurementLine("2.00E-04", "0005\t") + "\r");
    // Nothing more arrives from the gauge, yet the second line is shown and logged.
    QTRY_COMPARE(lw.get<QLabel>("lblDruck")->text(), QStringLiteral("2.00E-04"));
    QCOMPARE(litMask(lw), 0x0005);
    stopRun(lw);
    QCOMPARE(dataRecords(lw.logBytes()),
             (QList<QByteArray>{measurementLine("1.00E-03", "0003\t"),
                                measurementLine("2.00E-04", "0005\t")}));
}

void TestForm1Receive::manyLinesInOneChunkKeepTheirOrder()
{
    LoadedWindow lw;
    startRun(lw);
    QByteArray burst;
    QList<QByteArray> expected;
    for (int i = 0; i < 500; ++i) {
        const QByteArray line =
            measurementLine(QByteArray::number(i).rightJustified(8, '0'), "8001\t");
        expected << line;
        burst += line + "\r";
    }
    lw.gaugeSends(burst, 0);
    QTRY_COMPARE(lw.get<QLabel>("lblDruck")->text(), QStringLiteral("00000499"));
    QCOMPARE(receiver(*lw.window).buffer().size(), 0);
    stopRun(lw);
    QCOMPARE(dataRecords(lw.logBytes()), expected);
}

void TestForm1Receive::streamWithoutCarriageReturnStaysBounded()
{
    LoadedWindow lw;
    QByteArray stream;
    for (int i = 0; i < 100000; ++i)
        stream += char('a' + i % 26);
    lw.gaugeSends(stream, 0);
    // The line's end may still wait in the driver for a moment.
    QTRY_COMPARE(receiver(*lw.window).buffer().data(), stream.right(ReceiveBuffer::kBound));
    QCOMPARE(receiveMonitorText(*lw.window), QString());
    // A CR then completes the newest 65,536 characters as one line.
    lw.gaugeSends("\r");
    QTRY_COMPARE(receiver(*lw.window).buffer().size(), 0);
    QCOMPARE(receiveMonitorText(*lw.window), QString::fromLatin1(stream.right(148) + "\r\n"));
}

void TestForm1Receive::newLogStartsWithHeader()
{
    LoadedWindow lw;
    QVERIFY(!QFile::exists(lw.logPath));
    startRun(lw);
    QCOMPARE(panelText(*lw.window, 3), QStringLiteral("Datenaufzeichnung in ") + lw.logPath);
    const QByteArray log = lw.logBytes();
    // dd-mm-yy, a blank, the time with seconds and without any zone.
    static const QRegularExpression header(
        QStringLiteral("^\"\\d\\d-\\d\\d-\\d\\d \\d{1,2}:\\d\\d:\\d\\d( [AP]M)?\"\r\n$"));
    QVERIFY2(header.match(QString::fromLatin1(log)).hasMatch(), log.constData());
    const QDate today = QDate::currentDate();
    QVERIFY(log.startsWith("\"" + today.toString(QStringLiteral("dd-MM-yy")).toLatin1() + " ") ||
            log.startsWith(
                "\"" + today.addDays(-1).toString(QStringLiteral("dd-MM-yy")).toLatin1() + " "));
    stopRun(lw);
    QCOMPARE(panelText(*lw.window, 3), QString());
}

void TestForm1Receive::runsAndRestartsAppend()
{
    QTemporaryDir keep;
    QByteArray first;
    {
        LoadedWindow lw;
        startRun(lw);
        lw.gaugeSends("one\r");
        stopRun(lw);
        startRun(lw);
        lw.gaugeSends("two\r");
        stopRun(lw);
        first = lw.logBytes();
        QVERIFY(QFile::copy(lw.logPath, keep.filePath(QStringLiteral("KelmorLog.txt"))));
    }
    QCOMPARE(first.count("\r\n"), 4);
    QVERIFY(first.contains("\"one\"\r\n\""));
    QVERIFY(first.endsWith("\"two\"\r\n"));

    // A later start of the program appends to the same file.
    LoadedWindow lw;
    const QString restarted = lw.dir.filePath(QStringLiteral("restarted.txt"));
    QVERIFY(QFile::copy(keep.filePath(QStringLiteral("KelmorLog.txt")), restarted));
    lw.restart(restarted);
    startRun(lw);
    lw.gaugeSends("three\r");
    stopRun(lw);
    const QByteArray after = lw.logBytes();
    QVERIFY(after.startsWith(first));
    QCOMPARE(after.count("\r\n"), 6);
    QVERIFY(after.endsWith("\"three\"\r\n"));
}

void TestForm1Receive::logRecordsAreBytesUnchanged()
{
    LoadedWindow lw;
    startRun(lw);
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        if (b != '\r')
            all += char(b);
    lw.gaugeSends("say \"hi\"\r" + all + "\r\r");
    QTRY_COMPARE(receiveMonitorText(*lw.window), QStringLiteral("\r\n"));
    stopRun(lw);
    QCOMPARE(dataRecords(lw.logBytes()), (QList<QByteArray>{"say \"hi\"", all, ""}));
    const QByteArray log = lw.logBytes();
    QVERIFY(log.endsWith("\"\"\r\n"));
}

void TestForm1Receive::linesBeforeTheRunAreNotLogged()
{
    LoadedWindow lw;
    lw.gaugeSends("early\r");
    QCOMPARE(receiveMonitorText(*lw.window), QStringLiteral("early\r\n"));
    lw.gaugeSends("partial");
    startRun(lw);
    lw.gaugeSends(" line\r");
    stopRun(lw);
    lw.gaugeSends("late\r");
    QCOMPARE(receiveMonitorText(*lw.window), QStringLiteral("late\r\n"));
    QCOMPARE(dataRecords(lw.logBytes()), (QList<QByteArray>{"partial line"}));
}

QTEST_MAIN(TestForm1Receive)
#include "tst_form1receive.moc"
