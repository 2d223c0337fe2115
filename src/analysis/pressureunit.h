#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace kelmor {

// The pressure units a technician may read and export in. The gauge prints a bare number;
// it is taken to be mbar unless the technician says the gauge is set to another unit.
enum class UnitOfPressure { Mbar, HPa, Pa, Torr };

// Every unit, in the order a choice lists them.
QList<UnitOfPressure> pressureUnits();

// The unit's symbol as axis labels, the read-out and CSV headers show it: "mbar", "hPa",
// "Pa", "Torr".
QString pressureUnitName(UnitOfPressure unit);
// The unit of a symbol as pressureUnitName() writes it; nothing for anything else.
std::optional<UnitOfPressure> pressureUnitFromName(const QString &name);

// Pascal in one unit. Torr is 101325/760 Pa exactly, so 1 mbar = 0.750061683 Torr.
double pascalPerUnit(UnitOfPressure unit);
double convertPressure(double value, UnitOfPressure from, UnitOfPressure to);

// A leak rate (pressure times volume per time) is given in mbar·l/s, and in the unit that
// goes with the chosen pressure unit: hPa·l/s, Pa·m³/s, Torr·l/s.
QString leakRateUnitName(UnitOfPressure unit);
// A leak rate in mbar·l/s expressed in the leak-rate unit of a pressure unit, and back.
double leakRateFromMbarLitre(double mbarLitrePerSecond, UnitOfPressure unit);
double leakRateToMbarLitre(double value, UnitOfPressure unit);

// The unit the gauge sends and the unit the technician looks at. The gauge's unit is
// kept for the session; every reading passes through here on its way to the screen.
class PressureUnits
{
public:
    UnitOfPressure gaugeUnit() const { return m_gauge; }
    UnitOfPressure displayUnit() const { return m_display; }
    void setGaugeUnit(UnitOfPressure unit) { m_gauge = unit; }
    void setDisplayUnit(UnitOfPressure unit) { m_display = unit; }

    // A number as the gauge sent it, in mbar (the unit the analysis works in).
    double gaugeToMbar(double value) const
    {
        return convertPressure(value, m_gauge, UnitOfPressure::Mbar);
    }
    // A pressure in mbar as the technician wants to see it.
    double mbarToDisplay(double mbar) const
    {
        return convertPressure(mbar, UnitOfPressure::Mbar, m_display);
    }
    double displayToMbar(double value) const
    {
        return convertPressure(value, m_display, UnitOfPressure::Mbar);
    }

private:
    UnitOfPressure m_gauge = UnitOfPressure::Mbar;
    UnitOfPressure m_display = UnitOfPressure::Mbar;
};

} // namespace kelmor
