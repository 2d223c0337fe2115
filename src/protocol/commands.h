#pragma once

#include <QByteArray>
#include <QString>

namespace kelmor {

inline constexpr char kCommandEnd = '\r';

// "SX1" CR and "SX0" CR: start and stop the gauge's measurement stream.
QByteArray startMonitoringCommand();
QByteArray stopMonitoringCommand();

// "SC " + the four-digit control word text + CR.
QByteArray controlWordCommand(const QString &controlWordText);

// A free command: the text exactly as typed plus CR. Each character goes out as one
// Latin-1 byte; a character that has none goes out as '?'.
QByteArray freeCommand(const QString &typed);

// Bytes on the line shown as text: each byte one Latin-1 character.
QString bytesAsText(const QByteArray &bytes);

} // namespace kelmor
