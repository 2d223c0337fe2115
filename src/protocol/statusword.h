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

// Bit 15 of the status word.
inline constexpr quint16 kLifeBit = 0x8000;

} // namespace kelmor
