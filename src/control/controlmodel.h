#pragma once

#include "controlword.h"

#include <QObject>
#include <QString>

namespace kelmor {

// The fifteen interlocked control boxes plus the enabled flag of the send button.
//
// This is the one source of truth for the boxes: the window's check boxes mirror it.
// setChecked() runs the box's click handler nested and synchronously, exactly as a
// change of the box by the operator or by another handler would; a setting that leaves
// the state unchanged runs nothing, and setEnabled() never runs a handler.
class ControlModel : public QObject
{
    Q_OBJECT

public:
    explicit ControlModel(QObject *parent = nullptr);

    bool isChecked(Box box) const;
    bool isEnabled(Box box) const;
    bool sendEnabled() const;
    BoxStates checkedStates() const;

    // Changes a box's checked state and, if it really changed, runs its handler.
    void setChecked(Box box, bool checked);
    void setEnabled(Box box, bool enabled);
    void setSendEnabled(bool enabled);

    // Composes the control word from the boxes, stores its text and announces it.
    void updateControlWord();
    QString controlWordText() const;

    // The check-box part of the window's start-up: disable send, check Autorange and
    // Auto Filament (their handlers run), disable then uncheck the Pirani adjustments,
    // compose the control word.
    void startUp();

    // How many click handlers are running, nested in each other, at this moment; 0 outside
    // of any handler. Lets observers of handlerEntered() see how deep a chain went.
    int handlerDepth() const;

signals:
    void checkedChanged(kelmor::Box box, bool checked);
    void enabledChanged(kelmor::Box box, bool enabled);
    void sendEnabledChanged(bool enabled);
    void controlWordChanged(const QString &text);
    // Emitted on entry to a box's handler, also when its guard makes it exit at once.
    void handlerEntered(kelmor::Box box);

private:
    void runHandler(Box box);
    void finishHandler();

    void autorangeClicked();
    void piraniClicked();
    void igClicked();
    void autoFilClicked();
    void filamentClicked(Box own, Box other);
    void spManClicked();

    BoxStates m_checked{};
    std::array<bool, kBoxCount> m_enabled{true, true, true, true, true, true, true, true,
                                          true, true, true, true, true, true, true};
    bool m_sendEnabled = true;
    QString m_controlWordText;
    int m_handlerDepth = 0;
};

} // namespace kelmor
