#pragma once

#include <QByteArrayView>
#include <QtGlobal>

namespace kelmor {

// Value of a hexadecimal digit (0-9, A-F, a-f), or -1 for any other byte.
int hexDigitValue(char c);

// Reads the status text as the gauge's status word: blanks, tabs and line feeds are
// dropped, then hexadecimal digits are read up to the first other character (none
// gives 0), and the low 16 bits of that number are the word.
quint16 readStatusWord(QByteArrayView text);

// Bits 0 to 14 report the functions of the control word bits of the same number, one
// status lamp each; bit 15, the life bit, toggles with every line the gauge sends.
inline constexpr int kStatusLampCount = 15;
inline constexpr int kAutorangeBit = 0;
inline constexpr int kLifeBitNumber = 15;
inline constexpr quint16 kLifeBit = 1u << kLifeBitNumber;

inline constexpr bool statusBitSet(quint16 word, int bit)
{
    return (word >> bit) & 1u;
}

} // namespace kelmor
