#include "receivebuffer.h"
#include "statusword.h"

#include <QRandomGenerator>
#include <QTest>

using kelmor::AnswerLine;
using kelmor::ReceiveBuffer;

namespace {

// A line of `length` characters whose character at 1-based position p is
// "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"[(p - 1) % 62], so
// every cut position shows in the result.
QByteArray numbered(qsizetype length)
{
    static const QByteArray alphabet =
        "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    QByteArray line;
    for (qsizetype i = 0; i < length; ++i)
        line.append(alphabet.at(i % alphabet.size()));
    return line;
}

// A gauge measurement line: pressure at 4..11, status at 47..51, 60 characters.
QByteArray measurement(const QByteArray &pressure, const QByteArray &status)
{
    QByteArray line = "M1 " + pressure.leftJustified(8, ' ', true);
    line = line.leftJustified(46, '\t');
    line += status.leftJustified(5, ' ', true);
    return line.leftJustified(60, '-');
}

struct Taken
{
    QByteArray line;
    QByteArray status;
    QByteArray pressure;
};

QList<Taken> takeAll(ReceiveBuffer &buffer)
{
    QList<Taken> taken;
    while (auto answer = buffer.takeLine())
        taken.append({answer->line, answer->statusField, answer->pressureField});
    return taken;
}

} // namespace

class TestReceiveBuffer : public QObject
{
    Q_OBJECT

private slots:
    void framing_data();
    void framing();
    void pressureText_data();
    void pressureText();
    void chunkingDoesNotChangeLines();
    void boundWithoutLineEnd_data();
    void boundWithoutLineEnd();
    void boundKeepsBufferThatHoldsLineEnd();
    void boundTrimsOnlyTheOpenLine_data();
    void boundTrimsOnlyTheOpenLine();
    void boundOneByteAtATime();
    void longLinesDoNotDependOnChunking_data();
    void longLinesDoNotDependOnChunking();
    void takingLinesDoesNotCopyTheRest();
    void droppingTheOpenLineKeepsWholeLines_data();
    void droppingTheOpenLineKeepsWholeLines();
};

void TestReceiveBuffer::framing_data()
{
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<int>("skip"); // lines taken before the one checked
    QTest::addColumn<bool>("complete");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<QByteArray>("pressure");
    QTest::addColumn<int>("word");
    QTest::addColumn<QByteArray>("remaining");

    const QByteArray none;
    const QByteArray line45 = numbered(45);
    const QByteArray line46 = numbered(46);
    const QByteArray line51 = numbered(51);
    const QByteArray line60 = numbered(60);
    const QByteArray line399 = numbered(399);
    const QByteArray numberedPressure = "3456789A"; // positions 4..11 of numbered()
    const QByteArray numberedStatus = "klmno";      // positions 47..51 of numbered()

    QTest::newRow("no CR waits") << line60 << 0 << false << none << none << none << 0 << line60;
    QTest::newRow("45 characters, nothing after: no fields")
        << line45 + '\r' << 0 << true << line45 << none << numberedPressure << 0 << none;
    QTest::newRow("46 characters, nothing after: status is the CR")
        << line46 + '\r' << 0 << true << line46 << QByteArray("\r") << numberedPressure << 0
        << none;
    QTest::newRow("51 characters: fields inside the line")
        << line51 + '\r' << 0 << true << line51 << numberedStatus << numberedPressure << 0 << none;
    QTest::newRow("60 characters")
        << line60 + '\r' << 0 << true << line60 << numberedStatus << numberedPressure << 0 << none;
    QTest::newRow("measurement line") << measurement("1.2E-03\t", "8041 ") + '\r' << 0 << true
                                      << measurement("1.2E-03\t", "8041 ") << QByteArray("8041 ")
                                      << QByteArray("1.2E-03\t") << 0x8041 << none;

    const QByteArray following = QByteArray(43, ' ') + "12AB\rZZ";
    QTest::newRow("short line, fields reach past the CR")
        << "OK\r" + following << 0 << true << QByteArray("OK") << QByteArray("12AB\r")
        << QByteArray(8, ' ') << 0x12AB << following;
    QTest::newRow("short line, pressure field holds the CR")
        << "ABCDE\r" + line60 << 0 << true << QByteArray("ABCDE") << QByteArray("efghi")
        << QByteArray("DE\r01234") << 0xEF << line60;

    QTest::newRow("tab at position 4")
        << measurement("\t1.0E-3", "0001") + '\r' << 0 << true << measurement("\t1.0E-3", "0001")
        << QByteArray("0001 ") << QByteArray("\t1.0E-3 ") << 0x0001 << none;
    const QByteArray tabAt11 = measurement("9.87E+0\t", "0002");
    QTest::newRow("tab at position 11")
        << tabAt11 + '\r' << 0 << true << tabAt11 << QByteArray("0002 ") << QByteArray("9.87E+0\t")
        << 0x0002 << none;
    QTest::newRow("pressure field of eight without tab")
        << measurement("9.87E+02", "0004") + '\r' << 0 << true << measurement("9.87E+02", "0004")
        << QByteArray("0004 ") << QByteArray("9.87E+02") << 0x0004 << none;

    const QByteArray first = measurement("1.0E-05", "0010");
    const QByteArray second = measurement("2.0E-05", "0020");
    QTest::newRow("two lines in one chunk: first taken")
        << first + '\r' + second + '\r' << 0 << true << first << QByteArray("0010 ")
        << QByteArray("1.0E-05 ") << 0x0010 << second + '\r';
    QTest::newRow("two lines in one chunk: second taken next")
        << first + '\r' + second + '\r' << 1 << true << second << QByteArray("0020 ")
        << QByteArray("2.0E-05 ") << 0x0020 << none;
    QTest::newRow("CR LF: first line has no LF")
        << first + "\r\n" + second + "\r\n"
        << 0 << true << first << QByteArray("0010 ") << QByteArray("1.0E-05 ") << 0x0010
        << '\n' + second + "\r\n";
    // The leftover LF takes position 1, so both fields start one character earlier.
    QTest::newRow("CR LF: LF opens the next line")
        << first + "\r\n" + second + "\r\n"
        << 1 << true << '\n' + second << QByteArray("\t0020") << QByteArray(" 2.0E-05") << 0x0020
        << QByteArray("\n");

    QTest::newRow("399 characters") << line399 + '\r' << 0 << true << line399 << numberedStatus
                                    << numberedPressure << 0 << none;
    QTest::newRow("status field of five blanks")
        << measurement("5.5E-07", "     ") + '\r' << 0 << true << measurement("5.5E-07", "     ")
        << QByteArray("     ") << QByteArray("5.5E-07 ") << 0 << none;
    QTest::newRow("empty line") << QByteArray("\r") << 0 << true << QByteArray("") << none << none
                                << 0 << none;
    QTest::newRow("empty line, then a partial one")
        << QByteArray("\rXY") << 0 << true << QByteArray("") << none << none << 0
        << QByteArray("XY");
    QTest::newRow("LF alone is an ordinary character")
        << QByteArray("ab\ncd\r") << 0 << true << QByteArray("ab\ncd") << none << QByteArray("cd\r")
        << 0 << none;
}

void TestReceiveBuffer::framing()
{
    QFETCH(QByteArray, received);
    QFETCH(int, skip);
    QFETCH(bool, complete);
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, status);
    QFETCH(QByteArray, pressure);
    QFETCH(int, word);
    QFETCH(QByteArray, remaining);

    ReceiveBuffer buffer;
    buffer.append(received);
    for (int i = 0; i < skip; ++i)
        QVERIFY(buffer.takeLine().has_value());

    QCOMPARE(buffer.hasLine(), complete);
    const std::optional<AnswerLine> answer = buffer.takeLine();
    QCOMPARE(answer.has_value(), complete);
    if (answer) {
        QCOMPARE(answer->line, line);
        QCOMPARE(answer->statusField, status);
        QCOMPARE(answer->pressureField, pressure);
        QCOMPARE(answer->isMeasurement(), !status.isEmpty());
        QCOMPARE(kelmor::readStatusWord(answer->statusField), quint16(word));
    }
    QCOMPARE(buffer.data(), remaining);
    QCOMPARE(buffer.size(), remaining.size());
    QCOMPARE(buffer.hasLine(), remaining.contains('\r'));
}

void TestReceiveBuffer::pressureText_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("eight without tab") << QByteArray("9.87E+02") << QByteArray("9.87E+02");
    QTest::newRow("tab at the eighth") << QByteArray("1.2E-03\t") << QByteArray("1.2E-03");
    QTest::newRow("tab first") << QByteArray("\t1.0E-3 ") << QByteArray("");
    QTest::newRow("first of two tabs") << QByteArray("1.5\tE\t-3") << QByteArray("1.5");
    QTest::newRow("blanks are kept") << QByteArray(" 2.0E-05") << QByteArray(" 2.0E-05");
    QTest::newRow("short field") << QByteArray("DE\r") << QByteArray("DE\r");
    QTest::newRow("empty field") << QByteArray() << QByteArray();
}

void TestReceiveBuffer::pressureText()
{
    QFETCH(QByteArray, field);
    QFETCH(QByteArray, text);
    QCOMPARE(kelmor::pressureText(field), text);
}

void TestReceiveBuffer::chunkingDoesNotChangeLines()
{
    // A stream of measurement lines with CR or CR LF, short answers, empty lines and
    // stray high bytes, ending in a partial line.
    QRandomGenerator random(4711);
    QByteArray stream;
    for (int i = 0; i < 400; ++i) {
        switch (random.bounded(6)) {
        case 0:
            stream += "RV 2.07\r";
            break;
        case 1:
            stream += '\r';
            break;
        case 2:
            stream +=
                measurement(QByteArray::number(random.bounded(1000)) + "E-0\t", "80FF") + "\r\n";
            break;
        case 3:
            stream += numbered(random.bounded(40, 130)) + "\xB0\xFF\r";
            break;
        default:
            stream += measurement("1.0E-0" + QByteArray::number(random.bounded(10)),
                                  QByteArray::number(random.bounded(0x10000), 16)) +
                      '\r';
            break;
        }
    }
    stream += "partial";

    ReceiveBuffer whole;
    whole.append(stream);
    const QList<Taken> expected = takeAll(whole);
    QVERIFY(expected.size() >= 400);

    for (int split = 0; split < 50; ++split) {
        ReceiveBuffer buffer;
        QList<Taken> taken;
        for (qsizetype at = 0; at < stream.size();) {
            const qsizetype length =
                qMin<qsizetype>(stream.size() - at, random.bounded(1, split % 5 == 0 ? 8 : 300));
            buffer.append(QByteArrayView(stream).sliced(at, length));
            at += length;
            taken += takeAll(buffer);
        }
        QCOMPARE(taken.size(), expected.size());
        for (qsizetype i = 0; i < taken.size(); ++i) {
            const Taken &got = taken.at(i);
            const Taken &want = expected.at(i);
            QCOMPARE(got.line, want.line);
            // A field that reaches past the CR holds only what had arrived when the line
            // was taken; within the line it is always the same.
            QVERIFY(want.status.startsWith(got.status));
            QVERIFY(want.pressure.startsWith(got.pressure));
            if (got.line.size() >= 51)
                QCOMPARE(got.status, want.status);
            if (got.line.size() >= 11)
                QCOMPARE(got.pressure, want.pressure);
        }
        QCOMPARE(buffer.data(), QByteArray("partial"));
    }
}

void TestReceiveBuffer::boundWithoutLineEnd_data()
{
    QTest::addColumn<int>("chunkSize");

    QTest::newRow("one chunk") << 100000;
    QTest::newRow("chunk of the bound") << 65536;
    QTest::newRow("4 KiB chunks") << 4096;
    QTest::newRow("odd chunks") << 997;
}

void TestReceiveBuffer::boundWithoutLineEnd()
{
    QFETCH(int, chunkSize);

    QByteArray bytes;
    for (int i = 0; i < 100000; ++i)
        bytes.append(static_cast<char>('A' + i % 23));

    ReceiveBuffer buffer;
    for (qsizetype at = 0; at < bytes.size(); at += chunkSize) {
        buffer.append(
            QByteArrayView(bytes).sliced(at, qMin<qsizetype>(chunkSize, bytes.size() - at)));
        QVERIFY(buffer.size() <= ReceiveBuffer::kBound);
    }
    QCOMPARE(buffer.size(), ReceiveBuffer::kBound);
    QCOMPARE(buffer.data(), bytes.right(ReceiveBuffer::kBound));
    QVERIFY(!buffer.hasLine());

    // The kept tail still becomes the start of a line once its CR arrives.
    buffer.append("\rnext");
    const auto answer = buffer.takeLine();
    QVERIFY(answer.has_value());
    QCOMPARE(answer->line, bytes.right(ReceiveBuffer::kBound));
    QCOMPARE(buffer.data(), QByteArray("next"));
}

void TestReceiveBuffer::boundKeepsBufferThatHoldsLineEnd()
{
    const QByteArray tail(100000, 'x');

    // A complete line waiting is kept; the open line behind it is held to the bound.
    ReceiveBuffer buffer;
    buffer.append("abc\r");
    buffer.append(tail);
    QCOMPARE(buffer.data(), "abc\r" + tail.right(ReceiveBuffer::kBound));

    // A CR inside the chunk that crosses the bound: nothing is dropped from a line
    // within the bound.
    ReceiveBuffer crossing;
    crossing.append(QByteArray(65000, 'y'));
    crossing.append(QByteArray(500, 'y') + '\r' + QByteArray(499, 'z'));
    QCOMPARE(crossing.size(), 66000);
    const auto long_line = crossing.takeLine();
    QVERIFY(long_line.has_value());
    QCOMPARE(long_line->line, QByteArray(65500, 'y'));

    const auto answer = buffer.takeLine();
    QVERIFY(answer.has_value());
    QCOMPARE(answer->line, QByteArray("abc"));
    QCOMPARE(buffer.data(), tail.right(ReceiveBuffer::kBound));
    buffer.append("!");
    QCOMPARE(buffer.size(), ReceiveBuffer::kBound);
    QCOMPARE(buffer.data(), tail.right(ReceiveBuffer::kBound - 1) + '!');

    // The same when the line and the long stretch come in one chunk.
    ReceiveBuffer oneChunk;
    oneChunk.append(QByteArray("\r") + QByteArray(ReceiveBuffer::kBound + 1, 'a'));
    QVERIFY(oneChunk.takeLine().has_value());
    QVERIFY(!oneChunk.hasLine());
    QCOMPARE(oneChunk.size(), ReceiveBuffer::kBound);
}

void TestReceiveBuffer::boundTrimsOnlyTheOpenLine_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QList<QByteArray>>("lines");

    const QByteArray xs(40000, 'x');
    const QByteArray ys(40000, 'y');
    // The open line outgrows the bound by a piece smaller than the bound: what goes is
    // the open line's oldest part, never the complete lines in front of it.
    QTest::newRow("a line, then two long pieces")
        << QList<QByteArray>{"abc\r", xs, ys} << QList<QByteArray>{"abc"};
    QTest::newRow("a line and a long piece, then another")
        << QList<QByteArray>{"abc\r" + xs, ys} << QList<QByteArray>{"abc"};
    QTest::newRow("two lines, then two long pieces")
        << QList<QByteArray>{"a\rbc\r", xs, ys} << QList<QByteArray>{"a", "bc"};
    QTest::newRow("an empty line, then many pieces")
        << QList<QByteArray>{"\r", xs, ys, xs, ys} << QList<QByteArray>{""};
}

void TestReceiveBuffer::boundTrimsOnlyTheOpenLine()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QList<QByteArray>, lines);

    ReceiveBuffer buffer;
    QByteArray all;
    for (const QByteArray &chunk : chunks) {
        buffer.append(chunk);
        all += chunk;
    }
    const QByteArray open = all.mid(all.lastIndexOf('\r') + 1);
    for (const QByteArray &line : lines) {
        const auto answer = buffer.takeLine();
        QVERIFY(answer.has_value());
        QCOMPARE(answer->line, line);
    }
    QVERIFY(!buffer.hasLine());
    QCOMPARE(buffer.data(), open.right(ReceiveBuffer::kBound));
}

void TestReceiveBuffer::longLinesDoNotDependOnChunking_data()
{
    QTest::addColumn<int>("chunkSize");
    QTest::newRow("whole") << 0;
    QTest::newRow("1 byte") << 1;
    QTest::newRow("4096 bytes") << 4096;
    QTest::newRow("65537 bytes") << 65537;
    QTest::newRow("100000 bytes") << 100000;
}

void TestReceiveBuffer::longLinesDoNotDependOnChunking()
{
    QFETCH(int, chunkSize);
    // Lines of 10, 70,000 and 65,536 bytes, then an open line of 200,000.
    QByteArray stream;
    for (int i = 0; i < 10; ++i)
        stream += char('a' + i);
    stream += '\r';
    for (int i = 0; i < 70000; ++i)
        stream += char('A' + i % 26);
    stream += '\r' + QByteArray(ReceiveBuffer::kBound, 'm') + '\r';
    const QByteArray open(200000, 'o');
    stream += open;

    ReceiveBuffer buffer;
    QList<QByteArray> lines;
    const qsizetype step = chunkSize > 0 ? chunkSize : stream.size();
    for (qsizetype at = 0; at < stream.size(); at += step) {
        buffer.append(QByteArrayView(stream).sliced(at, qMin(step, stream.size() - at)));
        while (auto answer = buffer.takeLine())
            lines << answer->line;
    }
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.at(0), QByteArray("abcdefghij"));
    QCOMPARE(lines.at(1), stream.mid(11, 70000).right(ReceiveBuffer::kBound));
    QCOMPARE(lines.at(2), QByteArray(ReceiveBuffer::kBound, 'm'));
    QCOMPARE(buffer.data(), open.right(ReceiveBuffer::kBound));
}

void TestReceiveBuffer::boundOneByteAtATime()
{
    QByteArray sent;
    ReceiveBuffer buffer;
    for (int i = 0; i < ReceiveBuffer::kBound + 1000; ++i) {
        const char byte = static_cast<char>(i % 13 == 12 ? '\n' : 'a' + i % 13);
        sent.append(byte);
        buffer.append(QByteArrayView(&byte, 1));
        QCOMPARE(buffer.size(), qMin<qsizetype>(sent.size(), ReceiveBuffer::kBound));
    }
    QCOMPARE(buffer.data(), sent.right(ReceiveBuffer::kBound));

    buffer.append("\r");
    QCOMPARE(buffer.size(), ReceiveBuffer::kBound + 1);
    const auto answer = buffer.takeLine();
    QVERIFY(answer.has_value());
    QCOMPARE(answer->line, sent.right(ReceiveBuffer::kBound));
    QCOMPARE(buffer.size(), 0);
}

void TestReceiveBuffer::takingLinesDoesNotCopyTheRest()
{
    // A large burst taken line by line must not move the waiting bytes each time, or a
    // 1 MB chunk of short lines costs gigabytes of copying.
    QByteArray burst;
    for (int i = 0; i < 1000; ++i)
        burst += measurement("1.0E-03", "8001") + '\r';

    ReceiveBuffer buffer;
    buffer.append(burst);
    const char *before = buffer.data().constData();
    for (int i = 1; i <= 1000; ++i) {
        QVERIFY(buffer.takeLine().has_value());
        if (i < 1000)
            QCOMPARE(static_cast<const void *>(buffer.data().constData()),
                     static_cast<const void *>(before + i * 61));
    }
    QVERIFY(buffer.data().isEmpty());
}

void TestReceiveBuffer::droppingTheOpenLineKeepsWholeLines_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<int>("takenBefore");
    QTest::addColumn<QByteArrayList>("lines"); // after the drop and "next\r"

    QTest::newRow("half a line") << QByteArray("PR=1.0E-03") << 0 << QByteArrayList{"next"};
    QTest::newRow("whole lines stay")
        << QByteArray("a\rb\rhalf") << 0 << QByteArrayList{"a", "b", "next"};
    QTest::newRow("nothing open") << QByteArray("a\r") << 0 << QByteArrayList{"a", "next"};
    QTest::newRow("empty") << QByteArray() << 0 << QByteArrayList{"next"};
    QTest::newRow("after lines were taken")
        << QByteArray("a\rb\rc\rhal") << 2 << QByteArrayList{"c", "next"};
    QTest::newRow("an open line at the bound")
        << QByteArray(ReceiveBuffer::kBound + 50, 'x') << 0 << QByteArrayList{"next"};
}

void TestReceiveBuffer::droppingTheOpenLineKeepsWholeLines()
{
    QFETCH(QByteArray, before);
    QFETCH(int, takenBefore);
    QFETCH(QByteArrayList, lines);

    ReceiveBuffer rx;
    rx.append(before);
    for (int i = 0; i < takenBefore; ++i)
        QVERIFY(rx.takeLine());
    rx.dropOpenLine();
    rx.append("next\r");
    QByteArrayList taken;
    while (std::optional<AnswerLine> line = rx.takeLine())
        taken << line->line;
    QCOMPARE(taken, lines);
    QCOMPARE(rx.size(), 0);
}

QTEST_GUILESS_MAIN(TestReceiveBuffer)
#include "tst_receivebuffer.moc"
