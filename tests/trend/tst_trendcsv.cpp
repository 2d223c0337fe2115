#include "trendcsv.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

using namespace kelmor;

namespace {

const qint64 kT0 =
    QDateTime(QDate(2026, 12, 7), QTime(11, 55, 0, 123), QTimeZone::utc()).toMSecsSinceEpoch();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Row
{
    qint64 time;
    double mbar;
    QByteArray text;
    quint16 status;
};

// The status columns of a word, as the CSV writes them.
QByteArray bits(quint16 status)
{
    QByteArray out;
    for (int bit = 0; bit < 16; ++bit)
        out += (status >> bit) & 1 ? ";1" : ";0";
    return out;
}

QList<QByteArray> lines(const QByteArray &csv)
{
    QList<QByteArray> result = csv.split('\n');
    for (QByteArray &line : result)
        line.chop(line.endsWith('\r') ? 1 : 0);
    if (!result.isEmpty() && result.last().isEmpty())
        result.removeLast();
    return result;
}

} // namespace

Q_DECLARE_METATYPE(Row)

class TestTrendCsv : public QObject
{
    Q_OBJECT

private slots:
    void header_data();
    void header();

    void rows_data();
    void rows();

    void rangeCountsSecondsFromItsFirstRow();
    void recordedRunUsesLineNumbers();

    void failures_data();
    void failures();
    void cancelled();
};

void TestTrendCsv::header_data()
{
    QTest::addColumn<bool>("lineNumbers");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QByteArray>("start");

    QTest::newRow("live run, mbar") << false << "mbar"
                                    << QByteArray("Datum und Uhrzeit;Sekunden seit erster "
                                                  "Zeile;Druck [mbar];Druckfeld;Statuswort;");
    QTest::newRow("live run, Torr") << false << "Torr"
                                    << QByteArray("Datum und Uhrzeit;Sekunden seit erster "
                                                  "Zeile;Druck [Torr];Druckfeld;Statuswort;");
    QTest::newRow("recorded run") << true << "hPa"
                                  << QByteArray("Zeile;Druck [hPa];Druckfeld;Statuswort;");
}

void TestTrendCsv::header()
{
    QFETCH(bool, lineNumbers);
    QFETCH(QString, unit);
    QFETCH(QByteArray, start);

    const QByteArray line = TrendCsv::headerLine(
        lineNumbers ? TrendStore::Axis::LineNumber : TrendStore::Axis::WallClock, {unit, 1.0});
    QVERIFY2(line.startsWith(start), line);
    QVERIFY(line.endsWith(
        "Autorange;Pirani;IG;Auto Filament;Filament 1;Filament 2;Degas;Kleiner E-Strom;SP "
        "manuell;SP Ausgang;SP Auto;Freigabe Extern;Reset IG-Error;Pirani-VAC;Pirani-ATM;"
        "Lebensbit\r\n"));
}

void TestTrendCsv::rows_data()
{
    QTest::addColumn<QList<Row>>("rows");
    QTest::addColumn<double>("perMbar");
    QTest::addColumn<QString>("zone");
    QTest::addColumn<QList<QByteArray>>("expected"); // without the status bit columns

    QTest::newRow("a gauge line") << QList<Row>{{kT0, 1.23e-5, "1.23E-05", 0x8409}} << 1.0 << "UTC"
                                  << QList<QByteArray>{
                                         "2026-12-07T11:55:00.123;0,000;1,23e-05;1.23E-05;8409"};
    QTest::newRow("seconds and milliseconds since the first")
        << QList<Row>{{kT0, 1000.0, "1.00E+03", 0x0003},
                      {kT0 + 1500, 980.0, "9.80E+02", 0x0003},
                      {kT0 + 62007, 5.5e2, "5.50E+02", 0x0003}}
        << 1.0 << "UTC"
        << QList<QByteArray>{"2026-12-07T11:55:00.123;0,000;1000;1.00E+03;0003",
                             "2026-12-07T11:55:01.623;1,500;980;9.80E+02;0003",
                             "2026-12-07T11:56:02.130;62,007;550;5.50E+02;0003"};
    QTest::newRow("unreadable pressure leaves the column empty")
        << QList<Row>{{kT0, kNaN, "  OFF   ", 0x0002}} << 1.0 << "UTC"
        << QList<QByteArray>{"2026-12-07T11:55:00.123;0,000;;  OFF   ;0002"};
    QTest::newRow("pascal") << QList<Row>{{kT0, 1.23e-5, "1.23E-05", 0}} << 100.0 << "UTC"
                            << QList<QByteArray>{
                                   "2026-12-07T11:55:00.123;0,000;0,00123;1.23E-05;0000"};
    QTest::newRow("local time of the operator's zone")
        << QList<Row>{{kT0, 1.0, "1.00E+00", 0xFFFF}} << 1.0 << "Europe/Berlin"
        << QList<QByteArray>{"2026-12-07T12:55:00.123;0,000;1;1.00E+00;FFFF"};
    QTest::newRow("summer time")
        << QList<Row>{{kT0 - qint64(150) * 86400 * 1000, 1.0, "1.00E+00", 0}} << 1.0
        << "Europe/Berlin" << QList<QByteArray>{"2026-07-10T13:55:00.123;0,000;1;1.00E+00;0000"};
    QTest::newRow("separator and quote in the field are quoted")
        << QList<Row>{{kT0, kNaN, "a;b\"c", 0}} << 1.0 << "UTC"
        << QList<QByteArray>{"2026-12-07T11:55:00.123;0,000;;\"a;b\"\"c\";0000"};
    QTest::newRow("Latin-1 field in UTF-8")
        << QList<Row>{{kT0, kNaN, "\xb5\x62\x61r", 0}} << 1.0 << "UTC"
        << QList<QByteArray>{"2026-12-07T11:55:00.123;0,000;;\xc2\xb5\x62\x61r;0000"};
    QTest::newRow("before 1970") << QList<Row>{{-1500, 1.0, "1", 0}} << 1.0 << "UTC"
                                 << QList<QByteArray>{"1969-12-31T23:59:58.500;0,000;1;1;0000"};
}

void TestTrendCsv::rows()
{
    QFETCH(QList<Row>, rows);
    QFETCH(double, perMbar);
    QFETCH(QString, zone);
    QFETCH(QList<QByteArray>, expected);

    TrendStore store;
    for (const Row &row : rows)
        store.appendSample(row.time, row.mbar, row.status, row.text);

    QByteArray csv;
    QBuffer buffer(&csv);
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    TrendCsvOptions options;
    options.unit = {QStringLiteral("x"), perMbar};
    options.zone = QTimeZone(zone.toLatin1());
    QVERIFY(options.zone.isValid());
    QString error;
    QVERIFY(TrendCsv::write(buffer, store, {0, store.size()}, options, &error));
    QVERIFY(error.isEmpty());

    QVERIFY(csv.startsWith("\xEF\xBB\xBF"));
    QVERIFY(csv.endsWith("\r\n"));
    const QList<QByteArray> got = lines(csv.mid(3));
    QCOMPARE(got.size(), rows.size() + 1);
    QCOMPARE(got.first() + "\r\n", TrendCsv::headerLine(store.axis(), options.unit));
    for (qsizetype i = 0; i < rows.size(); ++i)
        QCOMPARE(got.at(i + 1), expected.at(i) + bits(rows.at(i).status));
}

void TestTrendCsv::rangeCountsSecondsFromItsFirstRow()
{
    TrendStore store;
    for (int i = 0; i < 100; ++i)
        store.appendSample(kT0 + i * 16, 1e-3, quint16(i), "1.00E-03");

    QByteArray csv;
    QBuffer buffer(&csv);
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    TrendCsvOptions options;
    options.zone = QTimeZone::utc();
    QVERIFY(TrendCsv::write(buffer, store, store.range(kT0 + 160, kT0 + 320), options));
    const QList<QByteArray> got = lines(csv.mid(3));
    QCOMPARE(got.size(), 1 + 11);
    QVERIFY(got.at(1).startsWith("2026-12-07T11:55:00.283;0,000;0,001;1.00E-03;000A;"));
    QVERIFY(got.at(11).startsWith("2026-12-07T11:55:00.443;0,160;0,001;1.00E-03;0014;"));

    // A range beyond the store is cut to it.
    csv.clear();
    buffer.seek(0);
    QVERIFY(TrendCsv::write(buffer, store, {90, 5000}, options));
    QCOMPARE(lines(csv.mid(3)).size(), 1 + 10);
}

void TestTrendCsv::recordedRunUsesLineNumbers()
{
    TrendStore store(1, TrendStore::Axis::LineNumber);
    store.appendSample(4, 2.5e-4, 0x8001, "2.50E-04");
    QByteArray csv;
    QBuffer buffer(&csv);
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    QVERIFY(TrendCsv::write(buffer, store, {0, 1}));
    const QList<QByteArray> got = lines(csv.mid(3));
    QCOMPARE(got.size(), 2);
    QCOMPARE(got.at(1), "4;0,00025;2.50E-04;8001" + bits(0x8001));
}

void TestTrendCsv::failures_data()
{
    QTest::addColumn<QString>("target"); // "full": /dev/full, "readonly": a read-only device

    QTest::newRow("disk full") << "full";
    QTest::newRow("device not open for writing") << "readonly";
}

void TestTrendCsv::failures()
{
    QFETCH(QString, target);

    TrendStore store;
    for (int i = 0; i < 50000; ++i) // several chunks
        store.appendSample(kT0 + i * 16, 1e-3, 0x8000, "1.00E-03");

    std::unique_ptr<QIODevice> device;
    if (target == u"full") {
        if (!QFile::exists(QStringLiteral("/dev/full")))
            QSKIP("no /dev/full here");
        auto file = std::make_unique<QFile>(QStringLiteral("/dev/full"));
        QVERIFY(file->open(QIODevice::WriteOnly));
        device = std::move(file);
    } else {
        auto buffer = std::make_unique<QBuffer>();
        QVERIFY(buffer->open(QIODevice::ReadOnly));
        device = std::move(buffer);
    }
    QString error;
    QVERIFY(!TrendCsv::write(*device, store, {0, store.size()}, {}, &error));
    QVERIFY2(error.startsWith(u"Die CSV-Datei konnte nicht geschrieben werden. (Systemmeldung: "),
             qPrintable(error));
    QVERIFY(error.endsWith(u')'));

    // A small export fails on the full disk as well, where only the flush can notice.
    if (target == u"full") {
        TrendStore one;
        one.appendSample(kT0, 1e-3, 0, "1.00E-03");
        QFile file(QStringLiteral("/dev/full"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(!TrendCsv::write(file, one, {0, 1}, {}, &error));
    }
}

void TestTrendCsv::cancelled()
{
    TrendStore store;
    for (int i = 0; i < 100000; ++i)
        store.appendSample(kT0 + i * 16, 1e-3, 0x8000, "1.00E-03");
    QByteArray csv;
    QBuffer buffer(&csv);
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    TrendCsvOptions options;
    qsizetype seen = 0;
    options.progress = [&](qsizetype done, qsizetype total) {
        seen = done;
        return total == store.size() && done < 40000;
    };
    QString error;
    QVERIFY(!TrendCsv::write(buffer, store, {0, store.size()}, options, &error));
    QVERIFY(seen >= 40000 && seen < 60000);
    QVERIFY(error.contains(u"Abgebrochen"));
}

QTEST_GUILESS_MAIN(TestTrendCsv)
#include "tst_trendcsv.moc"
