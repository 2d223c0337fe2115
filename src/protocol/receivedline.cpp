#include "receivedline.h"

#include "receivebuffer.h"
#include "statusword.h"

#include <charconv>
#include <cmath>

namespace kelmor {

ReceivedLine decodeAnswerLine(const AnswerLine &answer)
{
    ReceivedLine line;
    line.raw = answer.line;
    line.isMeasurement = answer.isMeasurement();
    if (line.isMeasurement) {
        line.status = readStatusWord(answer.statusField);
        const QByteArray text = pressureText(answer.pressureField);
        // Each received byte is one character, whatever the gauge puts there.
        line.pressureText = QString::fromLatin1(text);
        line.pressureMbar = readPressureMbar(text);
    }
    return line;
}

double readPressureMbar(QByteArrayView text)
{
    constexpr double kNotANumber = std::numeric_limits<double>::quiet_NaN();
    text = text.trimmed();
    // from_chars alone would also take "inf", "nan" and hexadecimal floats, and refuses
    // a leading plus; the gauge writes none of these as a pressure.
    for (const char c : text) {
        const bool allowed =
            (c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-';
        if (!allowed)
            return kNotANumber;
    }
    if (text.startsWith('+')) {
        text = text.sliced(1);
        if (text.startsWith('+') || text.startsWith('-'))
            return kNotANumber;
    }
    double value = 0;
    const char *end = text.data() + text.size();
    const auto [ptr, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || ptr != end || !std::isfinite(value))
        return kNotANumber;
    return value;
}

} // namespace kelmor
