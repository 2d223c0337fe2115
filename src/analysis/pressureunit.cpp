#include "pressureunit.h"

namespace kelmor {

namespace {

// The standard atmosphere is 101325 Pa and 760 Torr, both by definition.
constexpr double kPascalPerTorr = 101325.0 / 760.0;
// One mbar·l/s is 100 Pa times 1e-3 m³ per second.
constexpr double kPascalCubicMetrePerMbarLitre = 0.1;

} // namespace

QList<PressureUnit> pressureUnits()
{
    return {PressureUnit::Mbar, PressureUnit::HPa, PressureUnit::Pa, PressureUnit::Torr};
}

QString pressureUnitName(PressureUnit unit)
{
    switch (unit) {
    case PressureUnit::Mbar:
        return QStringLiteral("mbar");
    case PressureUnit::HPa:
        return QStringLiteral("hPa");
    case PressureUnit::Pa:
        return QStringLiteral("Pa");
    case PressureUnit::Torr:
        return QStringLiteral("Torr");
    }
    return QStringLiteral("mbar");
}

std::optional<PressureUnit> pressureUnitFromName(const QString &name)
{
    for (PressureUnit unit : pressureUnits()) {
        if (pressureUnitName(unit) == name)
            return unit;
    }
    return std::nullopt;
}

double pascalPerUnit(PressureUnit unit)
{
    switch (unit) {
    case PressureUnit::Mbar:
    case PressureUnit::HPa:
        return 100.0;
    case PressureUnit::Pa:
        return 1.0;
    case PressureUnit::Torr:
        return kPascalPerTorr;
    }
    return 100.0;
}

double convertPressure(double value, PressureUnit from, PressureUnit to)
{
    if (from == to)
        return value;
    return value * pascalPerUnit(from) / pascalPerUnit(to);
}

QString leakRateUnitName(PressureUnit unit)
{
    switch (unit) {
    case PressureUnit::Mbar:
        return QStringLiteral("mbar·l/s");
    case PressureUnit::HPa:
        return QStringLiteral("hPa·l/s");
    case PressureUnit::Pa:
        return QStringLiteral("Pa·m³/s");
    case PressureUnit::Torr:
        return QStringLiteral("Torr·l/s");
    }
    return QStringLiteral("mbar·l/s");
}

double leakRateFromMbarLitre(double mbarLitrePerSecond, PressureUnit unit)
{
    if (unit == PressureUnit::Pa)
        return mbarLitrePerSecond * kPascalCubicMetrePerMbarLitre;
    // The other units keep the litre, so only the pressure changes.
    return convertPressure(mbarLitrePerSecond, PressureUnit::Mbar, unit);
}

double leakRateToMbarLitre(double value, PressureUnit unit)
{
    if (unit == PressureUnit::Pa)
        return value / kPascalCubicMetrePerMbarLitre;
    return convertPressure(value, unit, PressureUnit::Mbar);
}

} // namespace kelmor
