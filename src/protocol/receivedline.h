#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QtGlobal>

#include <limits>

namespace kelmor {

struct AnswerLine;

// One handled line as its consumers (window, data log, trend) see it: decoded once, by
// the receiver, and passed on by value.
struct ReceivedLine
{
    QByteArray raw;       // the answer line as received, without its CR
    QString pressureText; // the pressure field as the window shows it
    // The pressure in mbar, NaN when the field does not read as a number.
    double pressureMbar = std::numeric_limits<double>::quiet_NaN();
    quint16 status = 0;         // the 16-bit status word; 0 when not a measurement
    bool isMeasurement = false; // a status field was there: decode it, show the pressure
    qint64 monotonicNs = 0;     // receive time on a steady clock (QElapsedTimer's)
    QDateTime wallClock;        // receive time on the operator's clock, in UTC
};

// The line's values as read from its fields; the receive times are left to the caller.
ReceivedLine decodeAnswerLine(const AnswerLine &answer);

// The pressure text as a number: a plain decimal such as "1.23E-05", blanks around it
// allowed. NaN for anything else ("---", an empty field, "1,5E-03", "inf", garbage).
double readPressureMbar(QByteArrayView text);

} // namespace kelmor

Q_DECLARE_METATYPE(kelmor::ReceivedLine)
