#include "risecurves.h"
#include "risereport.h"

#include <QTest>

using namespace kelmor;
using namespace risecurves;

Q_DECLARE_METATYPE(kelmor::UnitOfPressure)

namespace {

// Splits one CSV line as a spreadsheet would: ";" between fields, quotes around fields
// that hold one.
QStringList csvFields(QString line)
{
    if (line.endsWith(QStringLiteral("\r\n")))
        line.chop(2);
    QStringList fields;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < line.size() && line[i + 1] == QLatin1Char('"')) {
                field += c;
                ++i;
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == QLatin1Char(';')) {
            fields << field;
            field.clear();
        } else {
            field += c;
        }
    }
    fields << field;
    return fields;
}

RiseReportInfo info(UnitOfPressure unit)
{
    RiseReportInfo i;
    i.created = QDateTime(QDate(2026, 12, 7), QTime(12, 34, 56));
    i.run = QStringLiteral("Live; ab 12:00:00");
    i.stretch = QStringLiteral("12:10:00 – 12:10:29");
    i.unit = unit;
    return i;
}

// 10 l, a leak of 2e-6 mbar/s over 29 s: Q = 2e-5 mbar·l/s.
RiseResult knownResult(std::optional<double> limit)
{
    return analyseRise(sampled(leak(1e-4, 2e-6), 30, 1.0), {10.0, limit});
}

} // namespace

class TestRiseReport : public QObject
{
    Q_OBJECT

private slots:
    void numbers_data();
    void numbers();
    void parse_data();
    void parse();
    void csvInEveryUnit_data();
    void csvInEveryUnit();
    void textReport();
    void invalidReportHasNoFigures();
    void verdictText_data();
    void verdictText();
};

void TestRiseReport::numbers_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("scientific");

    QTest::newRow("leak rate") << 1.2345e-6 << QStringLiteral("1,234E-06");
    QTest::newRow("atmosphere") << 1013.25 << QStringLiteral("1,013E+03");
    QTest::newRow("negative") << -2.5e-9 << QStringLiteral("-2,500E-09");
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << QString();
    QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << QString();
}

void TestRiseReport::numbers()
{
    QFETCH(double, value);
    QFETCH(QString, scientific);
    QCOMPARE(germanScientific(value), scientific);
}

void TestRiseReport::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("value");

    QTest::newRow("comma") << "2,5" << true << 2.5;
    QTest::newRow("point") << "2.5" << true << 2.5;
    QTest::newRow("exponent with comma") << " 1,5E-03 " << true << 1.5e-3;
    QTest::newRow("lower-case exponent") << "1e-5" << true << 1e-5;
    QTest::newRow("negative") << "-3" << true << -3.0;
    QTest::newRow("empty") << "" << false << 0.0;
    QTest::newRow("blanks") << "   " << false << 0.0;
    QTest::newRow("word") << "zehn" << false << 0.0;
    QTest::newRow("thousands and decimals") << "1.000,5" << false << 0.0;
    QTest::newRow("unit typed along") << "25 l" << false << 0.0;
}

void TestRiseReport::parse()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(double, value);
    const std::optional<double> parsed = parseGermanNumber(text);
    QCOMPARE(parsed.has_value(), ok);
    if (ok)
        QCOMPARE(*parsed, value);
}

void TestRiseReport::csvInEveryUnit_data()
{
    QTest::addColumn<UnitOfPressure>("unit");
    QTest::addColumn<QString>("slope");
    QTest::addColumn<QString>("leakRate");
    QTest::addColumn<QString>("leakUnit");

    QTest::newRow("mbar") << UnitOfPressure::Mbar << "2,000E-06"
                          << "2,000E-05"
                          << "mbar·l/s";
    QTest::newRow("hPa") << UnitOfPressure::HPa << "2,000E-06"
                         << "2,000E-05"
                         << "hPa·l/s";
    QTest::newRow("Pa") << UnitOfPressure::Pa << "2,000E-04"
                        << "2,000E-06"
                        << "Pa·m³/s";
    QTest::newRow("Torr") << UnitOfPressure::Torr << "1,500E-06"
                          << "1,500E-05"
                          << "Torr·l/s";
}

void TestRiseReport::csvInEveryUnit()
{
    QFETCH(UnitOfPressure, unit);
    QFETCH(QString, slope);
    QFETCH(QString, leakRate);
    QFETCH(QString, leakUnit);

    const QString csv = riseReportCsv(knownResult(3e-5), info(unit));
    const QStringList lines = csv.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    const QStringList header = csvFields(lines[0]);
    const QStringList row = csvFields(lines[1]);
    QCOMPARE(row.size(), header.size());

    auto column = [&](const QString &name) {
        const qsizetype i = header.indexOf(name);
        return i < 0 ? QStringLiteral("<no column %1>").arg(name) : row[i];
    };
    const QString p = pressureUnitName(unit);
    QCOMPARE(column("Datum und Zeit"), QStringLiteral("2026-12-07 12:34:56"));
    QCOMPARE(column("Lauf"), QStringLiteral("Live; ab 12:00:00"));
    QCOMPARE(column("Abschnitt"), QStringLiteral("12:10:00 – 12:10:29"));
    QCOMPARE(column("Messpunkte"), QStringLiteral("30"));
    QCOMPARE(column("Volumen [l]"), QStringLiteral("10"));
    QCOMPARE(column("Einheit"), p);
    QCOMPARE(column("Δt [s]"), QStringLiteral("29,000"));
    QCOMPARE(column(QStringLiteral("dp/dt [%1/s]").arg(p)), slope);
    QCOMPARE(column("Q [mbar·l/s]"), QStringLiteral("2,000E-05"));
    QCOMPARE(column(QStringLiteral("Q [%1]").arg(leakUnit)), leakRate);
    QCOMPARE(column("Ergebnis"), QStringLiteral("bestanden"));
    QVERIFY(column("Verlauf").startsWith(QStringLiteral("Gerader Anstieg")));
    QVERIFY(!column(QStringLiteral("Abstand zum Grenzwert [%1]").arg(leakUnit)).isEmpty());
}

void TestRiseReport::textReport()
{
    const QString text = riseReportText(knownResult(1e-5), info(UnitOfPressure::Pa));
    const QStringList lines = text.split(QLatin1Char('\n'));
    QCOMPARE(lines.first(), QStringLiteral("Druckanstiegstest"));
    QVERIFY(lines.contains(QStringLiteral("Datum und Zeit: 2026-12-07 12:34:56")));
    QVERIFY(lines.contains(QStringLiteral("Volumen: 10 l")));
    QVERIFY(lines.contains(QStringLiteral("Einheit: Pa")));
    QVERIFY(lines.contains(QStringLiteral("Δp: 5,800E-03 Pa")));
    QVERIFY(text.contains(QStringLiteral("Leckrate Q: 2,000E-05 ± ")));
    QVERIFY(text.contains(QStringLiteral("Leckrate Q: 2,000E-06 ± ")));
    QVERIFY(text.contains(QStringLiteral(" Pa·m³/s")));
    QVERIFY(text.contains(QStringLiteral("Ergebnis: nicht bestanden: Q liegt 1,000E-06 Pa·m³/s "
                                         "(100,0 %) über dem Grenzwert")));
}

void TestRiseReport::invalidReportHasNoFigures()
{
    const RiseResult result = analyseRise(sampled(leak(1e-4, 2e-6), 30, 1.0), {0.0, {}});
    QVERIFY(!result.isValid());
    const QString text = riseReportText(result, info(UnitOfPressure::Mbar));
    QVERIFY(text.contains(QStringLiteral("Kein gültiges Ergebnis")));
    QVERIFY(text.contains(QStringLiteral("Kammervolumen")));
    QVERIFY(!text.contains(QStringLiteral("Leckrate")));
    QVERIFY(!text.contains(QStringLiteral("bestanden")));

    const QStringList lines =
        riseReportCsv(result, info(UnitOfPressure::Mbar)).split("\r\n", Qt::SkipEmptyParts);
    const QStringList header = csvFields(lines[0]);
    const QStringList row = csvFields(lines[1]);
    QCOMPARE(row.size(), header.size());
    QVERIFY(row[header.indexOf("Q [mbar·l/s]")].isEmpty());
    QVERIFY(row[header.indexOf("Verlauf")].startsWith(QStringLiteral("ungültig")));
}

void TestRiseReport::verdictText_data()
{
    QTest::addColumn<double>("limit");
    QTest::addColumn<QString>("text");

    QTest::newRow("passed") << 4e-5
                            << "bestanden: Q liegt 2,000E-05 mbar·l/s (50,0 %) unter dem Grenzwert";
    QTest::newRow("failed")
        << 1.6e-5 << "nicht bestanden: Q liegt 4,000E-06 mbar·l/s (25,0 %) über dem Grenzwert";
}

void TestRiseReport::verdictText()
{
    QFETCH(double, limit);
    QFETCH(QString, text);
    QCOMPARE(riseVerdictText(knownResult(limit), UnitOfPressure::Mbar), text);
    QVERIFY(riseVerdictText(knownResult({}), UnitOfPressure::Mbar).isEmpty());
}

QTEST_APPLESS_MAIN(TestRiseReport)
#include "tst_risereport.moc"
