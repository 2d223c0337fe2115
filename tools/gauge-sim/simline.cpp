#include "simline.h"

#include <cmath>

namespace kelmor::sim {

QByteArray lineEnding(LineEnd end)
{
    return end == LineEnd::CrLf ? QByteArrayLiteral("\r\n") : QByteArrayLiteral("\r");
}

QByteArray formatPressure(double mbar)
{
    if (!(mbar > 0.0))
        return QByteArrayLiteral("0.00E+00");
    if (mbar < 1e-99)
        mbar = 1e-99;
    if (mbar > 9.99e99)
        mbar = 9.99e99;

    int exponent = int(std::floor(std::log10(mbar)));
    // log10 can land one off near powers of ten, and rounding the mantissa to two
    // decimals can carry over into 10.00: both move the exponent by one.
    auto hundredths = [&](int e) { return std::llround(mbar / std::pow(10.0, e) * 100.0); };
    long long mantissa = hundredths(exponent);
    if (mantissa >= 1000) {
        ++exponent;
        mantissa = hundredths(exponent);
    } else if (mantissa < 100) {
        --exponent;
        mantissa = hundredths(exponent);
    }
    if (exponent > 99) {
        exponent = 99;
        mantissa = 999;
    }

    QByteArray text;
    text.reserve(8);
    text.append(char('0' + mantissa / 100));
    text.append('.');
    text.append(char('0' + (mantissa / 10) % 10));
    text.append(char('0' + mantissa % 10));
    text.append('E');
    text.append(exponent < 0 ? '-' : '+');
    const int magnitude = std::abs(exponent);
    text.append(char('0' + magnitude / 10));
    text.append(char('0' + magnitude % 10));
    return text;
}

QByteArray hex4(quint16 value)
{
    return QByteArray::number(value, 16).toUpper().rightJustified(4, '0');
}

namespace {

QByteArray emissionText(double milliAmps)
{
    // Always four characters: "0.00", "4.00", "20.0".
    const QByteArray text = milliAmps >= 10.0 ? QByteArray::number(milliAmps, 'f', 1)
                                              : QByteArray::number(milliAmps, 'f', 2);
    return text.left(4).rightJustified(4, ' ');
}

} // namespace

QByteArray buildMeasurementLine(quint32 counter, double pressureMbar, const GaugeReport &report,
                                quint16 controlWord, LineEnd end)
{
    QByteArray line;
    line.reserve(72);
    line += "PR=";
    line += formatPressure(pressureMbar);
    line += " mbar";
    line += report.igInUse ? " G=IG" : " G=PI";
    line += report.filament == 2 ? " F=2" : " F=1";
    line += " IE=";
    line += emissionText(report.emissionMilliAmps);
    line += "mA SC=";
    line += hex4(controlWord);
    line = line.leftJustified(kStatusPosition - 1, ' ', true);
    line += hex4(report.status);
    line += '\t';
    line += "N=";
    line += QByteArray::number(counter);
    line += lineEnding(end);
    return line;
}

QByteArray buildAnswerLine(QByteArrayView text, LineEnd end)
{
    return text.toByteArray() + lineEnding(end);
}

} // namespace kelmor::sim
