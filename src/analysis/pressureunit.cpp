#include "pressureunit.h"

namespace kelmor {

namespace {

// The standard atmosphere is 101325 Pa and 760 Torr, both by definition.
constexpr double kPascalPerTorr = 101325.0 / 760.0;
// One mbar·l/s is 100 Pa times 1e-3 m³ per second.
constexpr double kPascalCubicMetrePerMbarLitre = 0.1;

} // namespace

QList<UnitOfPressure> pressureUnits()
{
    return {UnitOfPressure::Mbar, UnitOfPressure::HPa, UnitOfPressure::Pa, UnitOfPressure::Torr};
}

QString pressureUnitName(UnitOfPressure unit)
{
    switch (unit) {
    case UnitOfPressure::Mbar:
        return QStringLiteral("mbar");
    case UnitOfPressure::HPa:
        return QStringLiteral("hPa");
    case UnitOfPressure::Pa:
        return QStringLiteral("Pa");
    case UnitOfPressure::Torr:
        return QStringLiteral("Torr");
    }
    return QStringLiteral("mbar");
}

std::optional<UnitOfPressure> pressureUnitFromName(const QString &name)
{
    for (UnitOfPressure unit : pressureUnits()) {
        if (pressureUnitName(unit) == name)
            return unit;
    }
    return std::nullopt;
}

double pascalPerUnit(UnitOfPressure unit)
{
    switch (unit) {
    case UnitOfPressure::Mbar:
    case UnitOfPressure::HPa:
        return 100.0;
    case UnitOfPressure::Pa:
        return 1.0;
    case UnitOfPressure::Torr:
        return kPascalPerTorr;
    }
    return 100.0;
}

double convertPressure(double value, UnitOfPressure from, UnitOfPressure to)
{
    if (from == to)
        return value;
    return value * pascalPerUnit(from) / pascalPerUnit(to);
}

QString leakRateUnitName(UnitOfPressure unit)
{
    switch (unit) {
    case UnitOfPressure::Mbar:
        return QStringLiteral("mbar·l/s");
    case UnitOfPressure::HPa:
        return QStringLiteral("hPa·l/s");
    case UnitOfPressure::Pa:
        return QStringLiteral("Pa·m³/s");
    case UnitOfPressure::Torr:
        return QStringLiteral("Torr·l/s");
    }
    return QStringLiteral("mbar·l/s");
}

double leakRateFromMbarLitre(double mbarLitrePerSecond, UnitOfPressure unit)
{
    if (unit == UnitOfPressure::Pa)
        return mbarLitrePerSecond * kPascalCubicMetrePerMbarLitre;
    // The other units keep the litre, so only the pressure changes.
    return convertPressure(mbarLitrePerSecond, UnitOfPressure::Mbar, unit);
}

double leakRateToMbarLitre(double value, UnitOfPressure unit)
{
    if (unit == UnitOfPressure::Pa)
        return value / kPascalCubicMetrePerMbarLitre;
    return convertPressure(value, unit, UnitOfPressure::Mbar);
}

} // namespace kelmor
