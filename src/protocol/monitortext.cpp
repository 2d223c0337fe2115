#include "monitortext.h"

namespace kelmor {

QString trimMonitorText(const QString &text, qsizetype limit, qsizetype keep)
{
    if (text.size() > limit)
        return text.last(qMin(keep, text.size()));
    return text;
}

QString appendSendEcho(const QString &monitorText, const QString &command)
{
    return trimMonitorText(monitorText + command + QLatin1Char('\n'), kSendMonitorLimit,
                           kSendMonitorKeep);
}

QString receiveMonitorText(const QByteArray &line)
{
    return trimMonitorText(QString::fromLatin1(line) + QLatin1String("\r\n"), kReceiveMonitorLimit,
                           kReceiveMonitorKeep);
}

} // namespace kelmor
