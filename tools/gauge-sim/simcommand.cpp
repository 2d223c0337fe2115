#include "simcommand.h"

#include "statusword.h"

namespace kelmor::sim {

Command parseCommand(QByteArrayView raw)
{
    Command command;
    command.text.reserve(raw.size());
    for (const char c : raw) {
        if (c != '\n')
            command.text.append(c);
    }
    const QByteArray &text = command.text;

    if (text.isEmpty()) {
        command.kind = CommandKind::Empty;
    } else if (text == "SX1") {
        command.kind = CommandKind::StreamOn;
    } else if (text == "SX0") {
        command.kind = CommandKind::StreamOff;
    } else if (text == "RV") {
        command.kind = CommandKind::Version;
    } else if (text.size() == 7 && text.startsWith("SC ")) {
        int word = 0;
        bool valid = true;
        for (qsizetype i = 3; i < 7 && valid; ++i) {
            const int digit = hexDigitValue(text.at(i));
            valid = digit >= 0;
            word = word * 16 + digit;
        }
        if (valid) {
            command.kind = CommandKind::SetControl;
            // The gauge has no function on bit 15 of the control word.
            command.controlWord = quint16(word & 0x7FFF);
        } else {
            command.kind = CommandKind::Unknown;
        }
    } else {
        command.kind = CommandKind::Unknown;
    }
    return command;
}

QList<QByteArray> CommandReader::feed(QByteArrayView bytes)
{
    QList<QByteArray> commands;
    for (const char c : bytes) {
        if (c == '\r') {
            commands.append(m_pending);
            m_pending.clear();
        } else if (m_pending.size() < kMaxCommandLength) {
            m_pending.append(c);
        }
    }
    return commands;
}

} // namespace kelmor::sim
