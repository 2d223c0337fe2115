// Line-settings texts: the parser against a plain reading of the form
// "speed,parity,databits,stopbits", the text written back from what it read, and the
// dialog's reading of the speed from them.

#include "fuzzsupport.h"

#include "settingstext.h"

#include <QString>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

struct Reading
{
    bool accepted = false;
    long long baud = 0;
    char parity = 0; // lower case
    int dataBits = 0;
    std::string stopBits;
};

// The rules the component states: a speed of one to nine decimal digits that is not
// zero, the parity one of n, e, o, m, s in either case, 5 to 8 data bits, and 1, 1.5 or
// 2 stop bits, separated by exactly three commas and nothing else.
Reading referenceReading(const std::string &text)
{
    std::vector<std::string> parts(1);
    for (const char c : text) {
        if (c == ',')
            parts.emplace_back();
        else
            parts.back().push_back(c);
    }
    Reading reading;
    if (parts.size() != 4)
        return reading;

    const std::string &speed = parts[0];
    if (speed.empty() || speed.size() > 9)
        return reading;
    for (const char c : speed) {
        if (c < '0' || c > '9')
            return reading;
    }
    reading.baud = std::stoll(speed);
    if (reading.baud == 0)
        return reading;

    if (parts[1].size() != 1)
        return reading;
    const char p = parts[1][0];
    const char lower = (p >= 'A' && p <= 'Z') ? char(p - 'A' + 'a') : p;
    if (std::string("neoms").find(lower) == std::string::npos)
        return reading;
    reading.parity = lower;

    const std::string &bits = parts[2];
    if (bits.size() != 1 || bits[0] < '5' || bits[0] > '8')
        return reading;
    reading.dataBits = bits[0] - '0';

    const std::string &stop = parts[3];
    if (stop != "1" && stop != "1.5" && stop != "2")
        return reading;
    reading.stopBits = stop;

    reading.accepted = true;
    return reading;
}

QSerialPort::Parity parityOf(char p)
{
    switch (p) {
    case 'e':
        return QSerialPort::EvenParity;
    case 'o':
        return QSerialPort::OddParity;
    case 'm':
        return QSerialPort::MarkParity;
    case 's':
        return QSerialPort::SpaceParity;
    default:
        return QSerialPort::NoParity;
    }
}

QSerialPort::StopBits stopBitsOf(const std::string &s)
{
    if (s == "1.5")
        return QSerialPort::OneAndHalfStop;
    return s == "2" ? QSerialPort::TwoStop : QSerialPort::OneStop;
}

void checkSpeed(const QString &settings)
{
    bool dot = false;
    for (const QChar c : settings)
        dot = dot || c == QLatin1Char('.');
    const qsizetype expectedLength = qMax<qsizetype>(0, settings.size() - (dot ? 8 : 6));

    const QString speed = kelmor::speedFromSettings(settings);
    FUZZ_CHECK(speed.size() == expectedLength);
    FUZZ_CHECK(settings.startsWith(speed));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString text = QString::fromUtf8(bytes);

    const std::optional<kelmor::LineSettings> parsed = kelmor::parseLineSettings(text);
    const Reading expected = referenceReading(text.toUtf8().toStdString());
    FUZZ_CHECK(parsed.has_value() == expected.accepted);
    if (parsed) {
        FUZZ_CHECK(parsed->baudRate == expected.baud);
        FUZZ_CHECK(parsed->parity == parityOf(expected.parity));
        FUZZ_CHECK(int(parsed->dataBits) == expected.dataBits);
        FUZZ_CHECK(parsed->stopBits == stopBitsOf(expected.stopBits));
        // The dialog must find the speed again in every text the component takes.
        FUZZ_CHECK(kelmor::speedFromSettings(text) == text.section(QLatin1Char(','), 0, 0));
        // Written out again, the settings read the same: only the parity's case and
        // leading zeros of the speed may differ from what came in.
        const QString written = kelmor::settingsText(*parsed);
        FUZZ_CHECK(kelmor::parseLineSettings(written) == parsed);
        FUZZ_CHECK(written.section(QLatin1Char(','), 1) ==
                   text.section(QLatin1Char(','), 1).toLower());
    }

    checkSpeed(text);
    // Texts that are not valid UTF-8, and texts of any UTF-16 units.
    checkSpeed(QString::fromLatin1(bytes));
    QString units(qsizetype(size / 2), Qt::Uninitialized);
    std::memcpy(units.data(), data, size_t(units.size()) * sizeof(QChar));
    checkSpeed(units);
    return 0;
}
