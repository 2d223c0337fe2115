#pragma once

#include "pressureunit.h"

#include <QWidget>

class QComboBox;

namespace kelmor {

// The unit choices of the trend window: the unit pressures are shown and exported in,
// and the unit the gauge sends ("Einheit des Messgeräts"), kept for the session.
class PressureUnitBar : public QWidget
{
    Q_OBJECT

public:
    explicit PressureUnitBar(QWidget *parent = nullptr);

    const PressureUnits &units() const { return m_units; }
    void setDisplayUnit(UnitOfPressure unit);
    void setGaugeUnit(UnitOfPressure unit);

signals:
    void displayUnitChanged();
    // The stored numbers mean something else now: everything derived from them is stale.
    void gaugeUnitChanged();

private:
    PressureUnits m_units;
    QComboBox *m_display = nullptr;
    QComboBox *m_gauge = nullptr;
};

} // namespace kelmor
