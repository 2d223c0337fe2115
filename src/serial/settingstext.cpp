#include "settingstext.h"

namespace kelmor {

QString speedFromSettings(const QString &settings)
{
    // ",n,8,1" is 6 characters, ",n,8,1.5" is 8: the stop bits are the only part of
    // the settings that can hold a dot.
    const qsizetype tail = settings.contains(QLatin1Char('.')) ? 8 : 6;
    return settings.left(qMax<qsizetype>(0, settings.size() - tail));
}

} // namespace kelmor
