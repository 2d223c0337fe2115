#include "controlword.h"

namespace kelmor {

quint16 composeControlWord(const BoxStates &checked)
{
    // Each box owns the bit of its own number; there is no sixteenth box, so bit 15
    // cannot be reached from here.
    quint16 word = 0;
    for (int bit = 0; bit < kBoxCount; ++bit) {
        if (checked[static_cast<std::size_t>(bit)])
            word = static_cast<quint16>(word | (1u << bit));
    }
    return word;
}

QString formatControlWord(quint16 word)
{
    // The gauge reads exactly four digits after "SC ", so short values keep their zeros.
    return QStringLiteral("%1").arg(word, 4, 16, QLatin1Char('0')).toUpper();
}

} // namespace kelmor
