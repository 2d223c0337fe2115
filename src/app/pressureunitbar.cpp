#include "pressureunitbar.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>

namespace kelmor {

namespace {

QComboBox *unitCombo(QWidget *parent, const QString &name)
{
    auto *combo = new QComboBox(parent);
    combo->setObjectName(name);
    for (UnitOfPressure unit : pressureUnits())
        combo->addItem(pressureUnitName(unit), QVariant::fromValue(int(unit)));
    return combo;
}

UnitOfPressure unitAt(const QComboBox *combo, int index)
{
    return UnitOfPressure(combo->itemData(index).toInt());
}

} // namespace

PressureUnitBar::PressureUnitBar(QWidget *parent) : QWidget(parent)
{
    m_display = unitCombo(this, QStringLiteral("comboEinheit"));
    m_gauge = unitCombo(this, QStringLiteral("comboEinheitMessgeraet"));
    m_gauge->setToolTip(QStringLiteral("Die Einheit, in der das Messgerät den Druck sendet. "
                                       "Gilt bis zum Ende des Programms."));

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *displayLabel = new QLabel(QStringLiteral("Einheit:"), this);
    displayLabel->setBuddy(m_display);
    auto *gaugeLabel = new QLabel(QStringLiteral("Einheit des Messgeräts:"), this);
    gaugeLabel->setBuddy(m_gauge);
    layout->addWidget(displayLabel);
    layout->addWidget(m_display);
    layout->addSpacing(12);
    layout->addWidget(gaugeLabel);
    layout->addWidget(m_gauge);
    layout->addStretch(1);

    connect(m_display, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index < 0 || unitAt(m_display, index) == m_units.displayUnit())
            return;
        m_units.setDisplayUnit(unitAt(m_display, index));
        emit displayUnitChanged();
    });
    connect(m_gauge, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index < 0 || unitAt(m_gauge, index) == m_units.gaugeUnit())
            return;
        m_units.setGaugeUnit(unitAt(m_gauge, index));
        emit gaugeUnitChanged();
    });
}

void PressureUnitBar::setDisplayUnit(UnitOfPressure unit)
{
    m_display->setCurrentIndex(m_display->findData(int(unit)));
}

void PressureUnitBar::setGaugeUnit(UnitOfPressure unit)
{
    m_gauge->setCurrentIndex(m_gauge->findData(int(unit)));
}

} // namespace kelmor
