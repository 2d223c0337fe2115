#include "controlmodel.h"

#include <QScopeGuard>

#include <cstddef>

namespace kelmor {

namespace {

bool isValidBox(Box box)
{
    const int index = static_cast<int>(box);
    return index >= 0 && index < kBoxCount;
}

std::size_t indexOf(Box box)
{
    return static_cast<std::size_t>(box);
}

} // namespace

ControlModel::ControlModel(QObject *parent) : QObject(parent) {}

bool ControlModel::isChecked(Box box) const
{
    return isValidBox(box) && m_checked[indexOf(box)];
}

bool ControlModel::isEnabled(Box box) const
{
    return isValidBox(box) && m_enabled[indexOf(box)];
}

bool ControlModel::sendEnabled() const
{
    return m_sendEnabled;
}

BoxStates ControlModel::checkedStates() const
{
    return m_checked;
}

int ControlModel::handlerDepth() const
{
    return m_handlerDepth;
}

void ControlModel::setChecked(Box box, bool checked)
{
    if (!isValidBox(box) || m_checked[indexOf(box)] == checked)
        return;
    m_checked[indexOf(box)] = checked;
    // Announce first: a mirroring check box must already show the new state while the
    // handler (and whatever it sets in turn) runs.
    emit checkedChanged(box, checked);
    runHandler(box);
}

void ControlModel::setEnabled(Box box, bool enabled)
{
    if (!isValidBox(box) || m_enabled[indexOf(box)] == enabled)
        return;
    m_enabled[indexOf(box)] = enabled;
    emit enabledChanged(box, enabled);
}

void ControlModel::setSendEnabled(bool enabled)
{
    if (m_sendEnabled == enabled)
        return;
    m_sendEnabled = enabled;
    emit sendEnabledChanged(enabled);
}

void ControlModel::updateControlWord()
{
    m_controlWordText = formatControlWord(composeControlWord(m_checked));
    emit controlWordChanged(m_controlWordText);
}

QString ControlModel::controlWordText() const
{
    return m_controlWordText;
}

void ControlModel::startUp()
{
    setSendEnabled(false);
    setChecked(Box::Autorange, true);
    setChecked(Box::AutoFil, true);
    setEnabled(Box::PiVAK, false);
    setEnabled(Box::PiATM, false);
    setChecked(Box::PiVAK, false);
    setChecked(Box::PiATM, false);
    updateControlWord();
}

void ControlModel::runHandler(Box box)
{
    ++m_handlerDepth;
    const auto leave = qScopeGuard([this] { --m_handlerDepth; });
    emit handlerEntered(box);

    switch (box) {
    case Box::Autorange:
        autorangeClicked();
        break;
    case Box::Pirani:
        piraniClicked();
        break;
    case Box::IG:
        igClicked();
        break;
    case Box::AutoFil:
        autoFilClicked();
        break;
    case Box::Fil1:
        filamentClicked(Box::Fil1, Box::Fil2);
        break;
    case Box::Fil2:
        filamentClicked(Box::Fil2, Box::Fil1);
        break;
    case Box::SPman:
        spManClicked();
        break;
    case Box::Degas:
    case Box::EStrom:
    case Box::SPout:
    case Box::SPauto:
    case Box::Ext_E:
    case Box::Reset:
    case Box::PiVAK:
    case Box::PiATM:
        // Plain bits: nothing depends on them.
        finishHandler();
        break;
    }
}

void ControlModel::finishHandler()
{
    setSendEnabled(true);
    updateControlWord();
}

// The order of the steps below matters: the nested handlers they trigger read the states
// left by the steps before them.

void ControlModel::autorangeClicked()
{
    if (isChecked(Box::Autorange)) {
        setChecked(Box::Pirani, false);
        setEnabled(Box::Degas, true);
        setEnabled(Box::Pirani, false);
        setChecked(Box::IG, false);
        setEnabled(Box::IG, false);
        setEnabled(Box::PiVAK, false);
        setEnabled(Box::PiATM, false);
        setChecked(Box::PiVAK, false);
        setChecked(Box::PiATM, false);
    } else {
        // Checking Pirani runs its handler, which already arranges degas and the
        // Pirani adjustments for the manual Pirani configuration.
        setChecked(Box::Pirani, true);
        setEnabled(Box::Pirani, true);
        setChecked(Box::IG, false);
        setEnabled(Box::IG, true);
    }
    finishHandler();
}

void ControlModel::piraniClicked()
{
    // Under Autorange the pair is only being cleared by the Autorange handler.
    if (isChecked(Box::Autorange))
        return;
    if (isChecked(Box::Pirani)) {
        setChecked(Box::IG, false);
        setChecked(Box::Degas, false);
        setEnabled(Box::Degas, false);
        setEnabled(Box::PiVAK, true);
        setEnabled(Box::PiATM, true);
    } else {
        setChecked(Box::IG, true);
        setEnabled(Box::Degas, true);
        setEnabled(Box::PiVAK, false);
        setEnabled(Box::PiATM, false);
        setChecked(Box::PiVAK, false);
        setChecked(Box::PiATM, false);
    }
    finishHandler();
}

void ControlModel::igClicked()
{
    if (isChecked(Box::Autorange))
        return;
    // Exactly one principle is chosen by hand: the other box takes the opposite state,
    // and its handler does the rest of the switch.
    setChecked(Box::Pirani, !isChecked(Box::IG));
    finishHandler();
}

void ControlModel::autoFilClicked()
{
    if (isChecked(Box::AutoFil)) {
        setChecked(Box::Fil1, false);
        setEnabled(Box::Fil1, false);
        setChecked(Box::Fil2, false);
        setEnabled(Box::Fil2, false);
    } else {
        setChecked(Box::Fil1, true);
        setEnabled(Box::Fil1, true);
        setChecked(Box::Fil2, false);
        setEnabled(Box::Fil2, true);
    }
    finishHandler();
}

void ControlModel::filamentClicked(Box own, Box other)
{
    if (isChecked(Box::AutoFil))
        return;
    setChecked(other, !isChecked(own));
    finishHandler();
}

void ControlModel::spManClicked()
{
    if (isChecked(Box::SPman)) {
        setEnabled(Box::SPout, true);
    } else {
        setChecked(Box::SPout, false);
        setEnabled(Box::SPout, false);
    }
    finishHandler();
}

} // namespace kelmor
