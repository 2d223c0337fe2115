// However the line cuts the gauge's bytes into pieces, the log must come out the same.

#include "form1harness.h"
#include "gaugelines.h"
#include "reliability.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>

#include <unistd.h>

using namespace kelmor;
using namespace kelmor::test;

namespace {

const int kLines = 10000;

QByteArray numberedLines()
{
    QByteArray out;
    for (int i = 0; i < kLines; ++i) {
        const QByteArray pressure = QByteArray::number(1.0 + i * 0.001, 'E', 2);
        const QByteArray status = QByteArray::number(0x8000 | (i & 0x7FFF), 16).toUpper() + "\t";
        out += measurementLine(pressure, status, "mbar #" + QByteArray::number(i)) + "\r\n";
    }
    return out;
}

enum class Delivery { Whole, ByteByByte, RandomChunks };

void deliver(PtyPair &pty, const QByteArray &bytes, Delivery how)
{
    switch (how) {
    case Delivery::Whole:
        QVERIFY(pty.write(bytes));
        break;
    case Delivery::ByteByByte:
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            for (;;) {
                const ssize_t n = ::write(pty.masterFd(), bytes.constData() + i, 1);
                if (n == 1)
                    break;
                QVERIFY2(n < 0 && (errno == EAGAIN || errno == EINTR), "the line refused a byte");
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            }
            if (i % 300 == 299)
                QCoreApplication::processEvents();
        }
        break;
    case Delivery::RandomChunks: {
        QRandomGenerator rng(0xC4C4);
        for (qsizetype at = 0; at < bytes.size();) {
            const qsizetype n = qMin<qsizetype>(1 + rng.bounded(4096), bytes.size() - at);
            QVERIFY(pty.write(bytes.mid(at, n)));
            QCoreApplication::processEvents();
            at += n;
        }
        break;
    }
    }
}

} // namespace

class TestDelivery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        initApplication();
        m_lines = numberedLines();
        // The last LF waits in the buffer for a line that never comes.
        const QByteArray records = recordsOf(referenceSplit(m_lines).lines);
        m_recordsSize = records.size();
        m_expected = QCryptographicHash::hash(records, QCryptographicHash::Sha256);
    }
    void sameLogHoweverCut_data();
    void sameLogHoweverCut();

private:
    QByteArray m_lines;
    QByteArray m_expected;
    qint64 m_recordsSize = 0;
};

void TestDelivery::sameLogHoweverCut_data()
{
    QTest::addColumn<Delivery>("how");
    QTest::newRow("whole") << Delivery::Whole;
    QTest::newRow("byte by byte") << Delivery::ByteByByte;
    QTest::newRow("random chunks of 1 to 4096") << Delivery::RandomChunks;
}

void TestDelivery::sameLogHoweverCut()
{
    QFETCH(Delivery, how);
    LoadedWindow lw;
    lw.click("cmdMonitor");
    QCOMPARE(lw.pty.read(4), QByteArray("SX1\r"));
    const qint64 headerSize = lw.logBytes().size();

    QElapsedTimer clock;
    clock.start();
    deliver(lw.pty, m_lines, how);
    const qint64 expectedSize = headerSize + m_recordsSize;
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(lw.logPath).size() >= expectedSize &&
                                 !receiver(*lw.window).buffer().hasLine(),
                             20000);
    QTest::qWait(50);
    const QByteArray data = dataPart(lw.logBytes());
    QCOMPARE(data.count("\r\n"), kLines);
    QCOMPARE(QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex(),
             m_expected.toHex());
    QCOMPARE(receiver(*lw.window).buffer().data(), QByteArray("\n"));
    QVERIFY(lw.messages.messages().isEmpty());
    qInfo("%d lines, %lld bytes in %lld ms", kLines, qint64(m_lines.size()),
          qint64(clock.elapsed()));
}

QTEST_MAIN(TestDelivery)
#include "tst_delivery.moc"
