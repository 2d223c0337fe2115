#pragma once

#include <QByteArray>

namespace kelmor::test {

// A measurement line as the gauge sends it, without its CR: the pressure text at
// positions 4..11 and the status text at 47..51.
inline QByteArray measurementLine(const QByteArray &pressure8, const QByteArray &status5,
                                  const QByteArray &tail = "mbar")
{
    QByteArray line = "P1 " + pressure8.leftJustified(8, ' ', true);
    line = line.leftJustified(46, '.');
    line += status5.leftJustified(5, ' ', true);
    line += tail;
    return line;
}

} // namespace kelmor::test
