#pragma once

#include "simstatus.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

namespace kelmor::sim {

enum class LineEnd { Cr, CrLf };

QByteArray lineEnding(LineEnd end);

// The pressure as the gauge prints it: eight characters, one digit, a decimal point, two
// digits, "E", a sign and two exponent digits ("1.23E-05"). Independent of any locale.
// Values outside 1E-99..9.99E+99 are held at those limits; zero, negative or not-a-number
// values print as "0.00E+00".
QByteArray formatPressure(double mbar);

// Positions (1-based) of a measurement line:
//   1..3    "PR="
//   4..11   pressure, formatPressure()
//  12..16   " mbar"
//  17..21   " G=PI" or " G=IG": the principle in use
//  22..25   " F=1" or " F=2": the filament in use
//  26..35   " IE=4.00mA": the emission current
//  36..43   " SC=0009": the control word in force
//  44..46   blanks
//  47..50   status word, four upper-case hexadecimal digits
//  51       TAB
//  52..     "N=" and the line counter
// then CR, or CR LF.
inline constexpr int kPressurePosition = 4;
inline constexpr int kStatusPosition = 47;

QByteArray buildMeasurementLine(quint32 counter, double pressureMbar, const GaugeReport &report,
                                quint16 controlWord, LineEnd end);

// An answer to a command: the text and the line end.
QByteArray buildAnswerLine(QByteArrayView text, LineEnd end);

// Four upper-case hexadecimal digits.
QByteArray hex4(quint16 value);

} // namespace kelmor::sim
