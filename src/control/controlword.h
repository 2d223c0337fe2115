#pragma once

#include <QString>
#include <QtGlobal>

#include <array>

namespace kelmor {

// The fifteen control boxes, numbered by the control-word bit each one drives.
enum class Box : int {
    Autorange = 0,
    Pirani = 1,
    IG = 2,
    AutoFil = 3,
    Fil1 = 4,
    Fil2 = 5,
    Degas = 6,
    EStrom = 7,
    SPman = 8,
    SPout = 9,
    SPauto = 10,
    Ext_E = 11,
    Reset = 12,
    PiVAK = 13,
    PiATM = 14,
};
inline constexpr int kBoxCount = 15;

using BoxStates = std::array<bool, kBoxCount>;

// Sum of the weights of the checked boxes; bit 15 is never set.
quint16 composeControlWord(const BoxStates &checked);

// Four upper-case hexadecimal digits, leading zeros kept ("0009", "00E4").
QString formatControlWord(quint16 word);

} // namespace kelmor
