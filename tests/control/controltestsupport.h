#pragma once

// Helpers shared by the control tests: a short notation for operator actions and for the
// state of all fifteen boxes, and a recorder for the model's signals.

#include "controlmodel.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

namespace kelmor::test {

inline constexpr Box kAllBoxes[kBoxCount] = {
    Box::Autorange, Box::Pirani, Box::IG,     Box::AutoFil, Box::Fil1,
    Box::Fil2,      Box::Degas,  Box::EStrom, Box::SPman,   Box::SPout,
    Box::SPauto,    Box::Ext_E,  Box::Reset,  Box::PiVAK,   Box::PiATM,
};

// The scripts' names of the boxes, by bit: "Autorange" for the box of bit 0 and so on.
inline QString shortName(Box box)
{
    static const char *const names[kBoxCount] = {
        "Autorange", "Pirani", "IG",     "AutoFil", "Fil1",  "Fil2",  "Degas", "EStrom",
        "SPman",     "SPout",  "SPauto", "Ext_E",   "Reset", "PiVAK", "PiATM"};
    return QString::fromLatin1(names[int(box)]);
}

inline std::optional<Box> boxFromShortName(const QString &name)
{
    for (Box box : kAllBoxes) {
        if (shortName(box) == name)
            return box;
    }
    return std::nullopt;
}

// One token per box in bit order: first character X (checked) or . (unchecked), second
// + (enabled) or - (disabled), e.g. "X+ .- .- X+ ...".
inline QString stateTable(const ControlModel &model)
{
    QStringList tokens;
    for (Box box : kAllBoxes) {
        tokens << QString(QLatin1Char(model.isChecked(box) ? 'X' : '.')) +
                      QLatin1Char(model.isEnabled(box) ? '+' : '-');
    }
    return tokens.join(QLatin1Char(' '));
}

inline QString normalizedTable(const QString &table)
{
    return table.simplified();
}

// Performs one action of a script and returns an empty string, or what was wrong with it.
//   "+Box" / "-Box":   the operator checks / unchecks an enabled box that is not yet in
//                      that state;
//   "code+Box" / ...:  program code sets the box, whatever its state and enabled flag;
//   "enable+Box" / ...: program code enables / disables the box;
//   "send":            the send button was pressed (it disables itself);
//   "update":          the control word is composed once more;
//   "startUp":         the window's start-up.
inline QString perform(ControlModel &model, const QString &action)
{
    if (action == QLatin1String("send")) {
        model.setSendEnabled(false);
        return {};
    }
    if (action == QLatin1String("update")) {
        model.updateControlWord();
        return {};
    }
    if (action == QLatin1String("startUp")) {
        model.startUp();
        return {};
    }
    QString rest = action;
    bool byCode = false;
    bool enabling = false;
    if (rest.startsWith(QLatin1String("code"))) {
        byCode = true;
        rest = rest.mid(4);
    } else if (rest.startsWith(QLatin1String("enable"))) {
        enabling = true;
        rest = rest.mid(6);
    }
    const QChar sign = rest.isEmpty() ? QChar() : rest.front();
    const auto box = boxFromShortName(rest.mid(1));
    if ((sign != QLatin1Char('+') && sign != QLatin1Char('-')) || !box)
        return QStringLiteral("unknown action '%1'").arg(action);
    const bool on = sign == QLatin1Char('+');
    if (enabling) {
        model.setEnabled(*box, on);
        return {};
    }
    if (byCode) {
        model.setChecked(*box, on);
        return {};
    }
    const bool checked = on;
    if (!model.isEnabled(*box))
        return QStringLiteral("'%1': the operator cannot click a disabled box").arg(action);
    if (model.isChecked(*box) == checked)
        return QStringLiteral("'%1': the box is already in that state").arg(action);
    model.setChecked(*box, checked);
    return {};
}

inline QString performAll(ControlModel &model, const QStringList &actions)
{
    for (const QString &action : actions) {
        const QString problem = perform(model, action);
        if (!problem.isEmpty())
            return problem;
    }
    return {};
}

// Writes every signal of the model as one line: "checked Pirani 1", "enabled IG 0",
// "send 1", "enter Degas", "word 000A".
class SignalRecorder : public QObject
{
public:
    explicit SignalRecorder(ControlModel &model)
    {
        connect(&model, &ControlModel::checkedChanged, this, [this](Box box, bool on) {
            m_lines << QStringLiteral("checked %1 %2").arg(shortName(box)).arg(on ? 1 : 0);
        });
        connect(&model, &ControlModel::enabledChanged, this, [this](Box box, bool on) {
            m_lines << QStringLiteral("enabled %1 %2").arg(shortName(box)).arg(on ? 1 : 0);
        });
        connect(&model, &ControlModel::sendEnabledChanged, this,
                [this](bool on) { m_lines << QStringLiteral("send %1").arg(on ? 1 : 0); });
        connect(&model, &ControlModel::handlerEntered, this,
                [this](Box box) { m_lines << QStringLiteral("enter %1").arg(shortName(box)); });
        connect(&model, &ControlModel::controlWordChanged, this,
                [this](const QString &text) { m_lines << QStringLiteral("word %1").arg(text); });
    }

    QStringList lines() const { return m_lines; }
    void clear() { m_lines.clear(); }

private:
    QStringList m_lines;
};

} // namespace kelmor::test
