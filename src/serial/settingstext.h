#pragma once

#include <QSerialPort>
#include <QString>

#include <optional>

namespace kelmor {

// The line settings as the program works with them. The text form ("19200,n,8,1") is
// read once, where it comes in, and written only where the serial component shows it.
struct LineSettings
{
    qint32 baudRate = 19200;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;

    friend bool operator==(const LineSettings &, const LineSettings &) = default;
};

// Reads "speed,parity,databits,stopbits": a speed of one to nine decimal digits that is
// not zero, the parity n, e, o, m or s in either case, 5 to 8 data bits and 1, 1.5 or 2
// stop bits, separated by exactly three commas and nothing else. Nothing for any other
// text.
std::optional<LineSettings> parseLineSettings(const QString &text);

// The time one character takes on the line with these settings (start bit, data bits,
// parity and stop bits at the speed), in nanoseconds.
qint64 characterNsOf(const LineSettings &line);

// The text of line settings, parity in lower case: "19200,n,8,1", "9600,e,7,1.5".
QString settingsText(const LineSettings &line);

// The speed part of a line-settings text as the settings dialog reads it: the text
// without its last 8 characters when it contains a "." anywhere ("9600,n,8,1.5"),
// otherwise without its last 6 ("19200,n,8,1" gives "19200"). The tail is dropped by
// count, not by looking for a comma; a text no longer than the tail gives "".
QString speedFromSettings(const QString &settings);

} // namespace kelmor
