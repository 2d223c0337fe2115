#include "settingstext.h"

#include <QStringList>

#include <array>
#include <utility>

namespace kelmor {

namespace {

// One table for both directions, so that reading and writing cannot drift apart.
constexpr std::array<std::pair<char, QSerialPort::Parity>, 5> kParities{{
    {'n', QSerialPort::NoParity},
    {'e', QSerialPort::EvenParity},
    {'o', QSerialPort::OddParity},
    {'m', QSerialPort::MarkParity},
    {'s', QSerialPort::SpaceParity},
}};

constexpr std::array<std::pair<const char *, QSerialPort::StopBits>, 3> kStopBits{{
    {"1", QSerialPort::OneStop},
    {"1.5", QSerialPort::OneAndHalfStop},
    {"2", QSerialPort::TwoStop},
}};

std::optional<qint32> readSpeed(const QString &speed)
{
    // Nine digits always fit; a sign, a blank or a zero speed is no speed.
    if (speed.isEmpty() || speed.size() > 9)
        return std::nullopt;
    for (const QChar c : speed) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    const qint32 baud = speed.toInt();
    if (baud <= 0)
        return std::nullopt;
    return baud;
}

std::optional<QSerialPort::Parity> readParity(const QString &parity)
{
    if (parity.size() != 1)
        return std::nullopt;
    const QChar lower = parity.at(0).toLower();
    for (const auto &[letter, value] : kParities) {
        if (lower == QLatin1Char(letter))
            return value;
    }
    return std::nullopt;
}

std::optional<QSerialPort::DataBits> readDataBits(const QString &bits)
{
    if (bits.size() != 1 || bits.at(0) < QLatin1Char('5') || bits.at(0) > QLatin1Char('8'))
        return std::nullopt;
    return QSerialPort::DataBits(bits.at(0).unicode() - '0');
}

std::optional<QSerialPort::StopBits> readStopBits(const QString &bits)
{
    for (const auto &[text, value] : kStopBits) {
        if (bits == QLatin1String(text))
            return value;
    }
    return std::nullopt;
}

} // namespace

std::optional<LineSettings> parseLineSettings(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return std::nullopt;
    const auto baud = readSpeed(parts.at(0));
    const auto parity = readParity(parts.at(1));
    const auto dataBits = readDataBits(parts.at(2));
    const auto stopBits = readStopBits(parts.at(3));
    if (!baud || !parity || !dataBits || !stopBits)
        return std::nullopt;
    return LineSettings{*baud, *parity, *dataBits, *stopBits};
}

QString settingsText(const LineSettings &line)
{
    char parity = '?';
    for (const auto &[letter, value] : kParities) {
        if (value == line.parity)
            parity = letter;
    }
    const char *stop = "?";
    for (const auto &[text, value] : kStopBits) {
        if (value == line.stopBits)
            stop = text;
    }
    return QStringLiteral("%1,%2,%3,%4")
        .arg(line.baudRate)
        .arg(QLatin1Char(parity))
        .arg(int(line.dataBits))
        .arg(QLatin1String(stop));
}

QString speedFromSettings(const QString &settings)
{
    // ",n,8,1" is 6 characters, ",n,8,1.5" is 8: the stop bits are the only part of
    // the settings that can hold a dot.
    const qsizetype tail = settings.contains(QLatin1Char('.')) ? 8 : 6;
    return settings.left(qMax<qsizetype>(0, settings.size() - tail));
}

qint64 characterNsOf(const LineSettings &line)
{
    // In half bits, for the one and a half stop bits.
    int halfBits = 2 * (1 + int(line.dataBits));
    if (line.parity != QSerialPort::NoParity)
        halfBits += 2;
    switch (line.stopBits) {
    case QSerialPort::OneAndHalfStop:
        halfBits += 3;
        break;
    case QSerialPort::TwoStop:
        halfBits += 4;
        break;
    default:
        halfBits += 2;
        break;
    }
    return qint64(halfBits) * 500'000'000 / qMax(1, line.baudRate);
}

} // namespace kelmor
