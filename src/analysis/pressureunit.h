#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace kelmor {

// The pressure units a technician may read and export in. The gauge prints a bare number;
// it is taken to be mbar unless the technician says the gauge is set to another unit.
enum class PressureUnit { Mbar, HPa, Pa, Torr };

// Every unit, in the order a choice lists them.
QList<PressureUnit> pressureUnits();

// The unit's symbol as axis labels, the read-out and CSV headers show it: "mbar", "hPa",
// "Pa", "Torr".
QString pressureUnitName(PressureUnit unit);
// The unit of a symbol as pressureUnitName() writes it; nothing for anything else.
std::optional<PressureUnit> pressureUnitFromName(const QString &name);

// Pascal in one unit. Torr is 101325/760 Pa exactly, so 1 mbar = 0.750061683 Torr.
double pascalPerUnit(PressureUnit unit);
double convertPressure(double value, PressureUnit from, PressureUnit to);

// A leak rate (pressure times volume per time) is given in mbar·l/s, and in the unit that
// goes with the chosen pressure unit: hPa·l/s, Pa·m³/s, Torr·l/s.
QString leakRateUnitName(PressureUnit unit);
// A leak rate in mbar·l/s expressed in the leak-rate unit of a pressure unit, and back.
double leakRateFromMbarLitre(double mbarLitrePerSecond, PressureUnit unit);
double leakRateToMbarLitre(double value, PressureUnit unit);

// The unit the gauge sends and the unit the technician looks at. The gauge's unit is
// kept for the session; every reading passes through here on its way to the screen.
class PressureUnits
{
public:
    PressureUnit gaugeUnit() const { return m_gauge; }
    PressureUnit displayUnit() const { return m_display; }
    void setGaugeUnit(PressureUnit unit) { m_gauge = unit; }
    void setDisplayUnit(PressureUnit unit) { m_display = unit; }

    // A number as the gauge sent it, in mbar (the unit the analysis works in).
    double gaugeToMbar(double value) const
    {
        return convertPressure(value, m_gauge, PressureUnit::Mbar);
    }
    // A pressure in mbar as the technician wants to see it.
    double mbarToDisplay(double mbar) const
    {
        return convertPressure(mbar, PressureUnit::Mbar, m_display);
    }
    double displayToMbar(double value) const
    {
        return convertPressure(value, m_display, PressureUnit::Mbar);
    }

private:
    PressureUnit m_gauge = PressureUnit::Mbar;
    PressureUnit m_display = PressureUnit::Mbar;
};

} // namespace kelmor
