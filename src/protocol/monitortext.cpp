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

TextSplice textSplice(QStringView from, QStringView to)
{
    const qsizetype n = from.size();
    const qsizetype m = to.size();
    qsizetype prefix = 0;
    while (prefix < n && prefix < m && from[prefix] == to[prefix])
        ++prefix;
    // The shared end may not reach into the shared start.
    qsizetype suffix = 0;
    while (suffix < n - prefix && suffix < m - prefix && from[n - 1 - suffix] == to[m - 1 - suffix])
        ++suffix;
    return {prefix, n - suffix, m - suffix};
}

} // namespace kelmor
