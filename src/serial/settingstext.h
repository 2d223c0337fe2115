#pragma once

#include <QString>

namespace kelmor {

// The speed part of a line-settings text as the settings dialog reads it: the text
// without its last 8 characters when it contains a "." anywhere ("9600,n,8,1.5"),
// otherwise without its last 6 ("19200,n,8,1" gives "19200"). The tail is dropped by
// count, not by looking for a comma; a text no longer than the tail gives "".
QString speedFromSettings(const QString &settings);

} // namespace kelmor
