#pragma once

#include <QString>
#include <QStringView>

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

// The one edit that turns `from` into `to`: the characters from `start` up to `fromEnd`
// of `from` give way to those from `start` up to `toEnd` of `to`. Whatever both texts
// share at their start and at their end stays.
struct TextSplice
{
    qsizetype start = 0;
    qsizetype fromEnd = 0;
    qsizetype toEnd = 0;
};

TextSplice textSplice(QStringView from, QStringView to);

} // namespace kelmor
