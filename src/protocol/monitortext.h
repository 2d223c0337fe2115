#pragma once

#include <QString>

namespace kelmor {

// The send and receive monitors keep only their tail: once a text is longer than
// `limit` characters it is cut to its last `keep` characters.
QString trimMonitorText(const QString &text, qsizetype limit, qsizetype keep);

inline constexpr qsizetype kSendMonitorLimit = 200;
inline constexpr qsizetype kSendMonitorKeep = 150;
inline constexpr qsizetype kReceiveMonitorLimit = 400;
inline constexpr qsizetype kReceiveMonitorKeep = 150;

// The send monitor after echoing one command (which ends in its CR): previous text,
// the command, an LF, then trimmed.
QString appendSendEcho(const QString &monitorText, const QString &command);

// The receive monitor's new text for an answer line: the line (each byte one Latin-1
// character) followed by CR LF, trimmed.
QString receiveMonitorText(const QByteArray &line);

} // namespace kelmor
