#include "pressureunit.h"

#include <QTest>

#include <cmath>

using namespace kelmor;

Q_DECLARE_METATYPE(kelmor::UnitOfPressure)

namespace {

bool near(double actual, double expected, double relative = 1e-9)
{
    return std::abs(actual - expected) <= relative * std::abs(expected);
}

} // namespace

class TestPressureUnit : public QObject
{
    Q_OBJECT

private slots:
    void convert_data();
    void convert();
    void roundTrip();
    void leakRate_data();
    void leakRate();
    void names();
    void gaugeAndDisplayUnits();
};

void TestPressureUnit::convert_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<UnitOfPressure>("from");
    QTest::addColumn<UnitOfPressure>("to");
    QTest::addColumn<double>("expected");

    QTest::newRow("mbar to Pa") << 1.0 << UnitOfPressure::Mbar << UnitOfPressure::Pa << 100.0;
    QTest::newRow("mbar to hPa") << 1.0 << UnitOfPressure::Mbar << UnitOfPressure::HPa << 1.0;
    QTest::newRow("mbar to Torr") << 1.0 << UnitOfPressure::Mbar << UnitOfPressure::Torr
                                  << 0.750061682704170;
    QTest::newRow("Torr to Pa") << 1.0 << UnitOfPressure::Torr << UnitOfPressure::Pa
                                << 133.322368421;
    QTest::newRow("atmosphere Torr to mbar")
        << 760.0 << UnitOfPressure::Torr << UnitOfPressure::Mbar << 1013.25;
    QTest::newRow("Pa to mbar") << 1.0 << UnitOfPressure::Pa << UnitOfPressure::Mbar << 0.01;
    QTest::newRow("hPa to Torr") << 1013.25 << UnitOfPressure::HPa << UnitOfPressure::Torr << 760.0;
    QTest::newRow("UHV mbar to Torr")
        << 1e-9 << UnitOfPressure::Mbar << UnitOfPressure::Torr << 7.50061682704170e-10;
    QTest::newRow("Pa to Torr") << 133.322368421 << UnitOfPressure::Pa << UnitOfPressure::Torr
                                << 1.0;
    QTest::newRow("same unit") << 4.2e-7 << UnitOfPressure::Torr << UnitOfPressure::Torr << 4.2e-7;
}

void TestPressureUnit::convert()
{
    QFETCH(double, value);
    QFETCH(UnitOfPressure, from);
    QFETCH(UnitOfPressure, to);
    QFETCH(double, expected);
    const double actual = convertPressure(value, from, to);
    QVERIFY2(near(actual, expected), qPrintable(QString::number(actual, 'g', 15)));
}

void TestPressureUnit::roundTrip()
{
    for (UnitOfPressure from : pressureUnits()) {
        for (UnitOfPressure to : pressureUnits()) {
            for (double value : {1e-10, 3.7e-6, 1.0, 1013.25}) {
                const double back = convertPressure(convertPressure(value, from, to), to, from);
                QVERIFY2(near(back, value, 1e-14),
                         qPrintable(pressureUnitName(from) + " " + pressureUnitName(to)));
            }
        }
    }
}

void TestPressureUnit::leakRate_data()
{
    QTest::addColumn<UnitOfPressure>("unit");
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("perMbarLitre");

    QTest::newRow("mbar") << UnitOfPressure::Mbar << QStringLiteral("mbar·l/s") << 1.0;
    QTest::newRow("hPa") << UnitOfPressure::HPa << QStringLiteral("hPa·l/s") << 1.0;
    // 100 Pa times one thousandth of a cubic metre.
    QTest::newRow("Pa") << UnitOfPressure::Pa << QStringLiteral("Pa·m³/s") << 0.1;
    QTest::newRow("Torr") << UnitOfPressure::Torr << QStringLiteral("Torr·l/s")
                          << 0.750061682704170;
}

void TestPressureUnit::leakRate()
{
    QFETCH(UnitOfPressure, unit);
    QFETCH(QString, name);
    QFETCH(double, perMbarLitre);
    QCOMPARE(leakRateUnitName(unit), name);
    QVERIFY(near(leakRateFromMbarLitre(2.5e-6, unit), 2.5e-6 * perMbarLitre));
    QVERIFY(near(leakRateToMbarLitre(2.5e-6 * perMbarLitre, unit), 2.5e-6));
}

void TestPressureUnit::names()
{
    QStringList seen;
    for (UnitOfPressure unit : pressureUnits()) {
        const QString name = pressureUnitName(unit);
        QVERIFY(!seen.contains(name));
        seen << name;
        QCOMPARE(pressureUnitFromName(name), std::optional<UnitOfPressure>(unit));
    }
    QCOMPARE(seen, QStringList({"mbar", "hPa", "Pa", "Torr"}));
    QVERIFY(!pressureUnitFromName(QStringLiteral("MBAR")));
    QVERIFY(!pressureUnitFromName(QString()));
}

void TestPressureUnit::gaugeAndDisplayUnits()
{
    PressureUnits units;
    QCOMPARE(units.gaugeUnit(), UnitOfPressure::Mbar);
    QCOMPARE(units.displayUnit(), UnitOfPressure::Mbar);
    QCOMPARE(units.gaugeToMbar(2e-5), 2e-5);

    // A gauge set to Torr sends 1 for 1.333 mbar; shown in Pa that is 133.3.
    units.setGaugeUnit(UnitOfPressure::Torr);
    units.setDisplayUnit(UnitOfPressure::Pa);
    QVERIFY(near(units.gaugeToMbar(1.0), 1.33322368421));
    QVERIFY(near(units.mbarToDisplay(units.gaugeToMbar(1.0)), 133.322368421));
    QVERIFY(near(units.displayToMbar(50.0), 0.5));
}

QTEST_APPLESS_MAIN(TestPressureUnit)
#include "tst_pressureunit.moc"
