#include "commands.h"

namespace kelmor {

namespace {

// Text as the bytes that go on the line. Each character the operator sees becomes one
// byte: its Latin-1 code, or '?' when it has none. A character outside the Basic
// Multilingual Plane (an emoji, say) is one character on screen though two UTF-16 code
// units in the string, so a complete surrogate pair also gives a single '?';
// QString::toLatin1() would send two. A lone surrogate is one '?' as well.
QByteArray toLineBytes(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size() + 1);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.unicode() <= 0xFF) {
            bytes.append(static_cast<char>(c.unicode()));
            continue;
        }
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        bytes.append('?');
    }
    return bytes;
}

} // namespace

QByteArray startMonitoringCommand()
{
    return QByteArrayLiteral("SX1") + kCommandEnd;
}

QByteArray stopMonitoringCommand()
{
    return QByteArrayLiteral("SX0") + kCommandEnd;
}

QByteArray controlWordCommand(const QString &controlWordText)
{
    return QByteArrayLiteral("SC ") + toLineBytes(controlWordText) + kCommandEnd;
}

QByteArray freeCommand(const QString &typed)
{
    QByteArray command = toLineBytes(typed);
    command.append(kCommandEnd);
    return command;
}

QString bytesAsText(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes);
}

} // namespace kelmor
