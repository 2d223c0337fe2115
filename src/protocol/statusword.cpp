#include "statusword.h"

namespace kelmor {

int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

quint16 readStatusWord(QByteArrayView text)
{
    // Only the low 16 bits of the number matter, so they are all that is kept while
    // reading: a run of digits of any length cannot overflow.
    quint16 word = 0;
    for (const char c : text) {
        if (c == ' ' || c == '\t' || c == '\n')
            continue;
        const int digit = hexDigitValue(c);
        if (digit < 0)
            break;
        word = static_cast<quint16>((word << 4) | digit);
    }
    return word;
}

} // namespace kelmor
