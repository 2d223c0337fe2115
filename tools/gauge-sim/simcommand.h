#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QtGlobal>

namespace kelmor::sim {

enum class CommandKind {
    Empty,      // a bare CR: ignored, no answer
    StreamOn,   // "SX1"
    StreamOff,  // "SX0"
    SetControl, // "SC " + four hexadecimal digits
    Version,    // "RV"
    Unknown,    // everything else: answered with an error line
};

struct Command
{
    CommandKind kind = CommandKind::Empty;
    quint16 controlWord = 0; // only for SetControl; bit 15 is dropped
    QByteArray text;         // the command as received, line feeds removed
};

// Reads one command as the gauge does, without its CR. Line feeds anywhere are ignored.
// Command names are upper-case only ("sc 0009" is unknown): the monitor always sends
// them so, and a strict gauge shows up a monitor that does not. The four hexadecimal
// digits of "SC" may be of either case. Nothing else is tolerated: no
// missing or doubled blank, no trailing characters.
Command parseCommand(QByteArrayView raw);

// Cuts the byte stream from the monitor into commands at each CR. A command that grows
// beyond kMaxCommandLength without a CR keeps its first kMaxCommandLength bytes; the
// rest up to the CR is dropped, so a stream of garbage cannot make the simulator grow.
class CommandReader
{
public:
    static constexpr qsizetype kMaxCommandLength = 256;

    QList<QByteArray> feed(QByteArrayView bytes);

private:
    QByteArray m_pending;
};

} // namespace kelmor::sim
