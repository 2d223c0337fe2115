#pragma once

#include "pumpdown.h"
#include "simcommand.h"
#include "simline.h"
#include "simstatus.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

namespace kelmor::sim {

inline constexpr QByteArrayView kVersionAnswer = "RV KELMOR-SIM 1.0";
inline constexpr QByteArrayView kControlAnswer = "SC OK";
inline constexpr QByteArrayView kErrorPrefix = "ERR ";
// An unknown command is echoed in the error answer up to this length.
inline constexpr qsizetype kMaxEchoLength = 32;

struct SimOptions
{
    LineEnd lineEnd = LineEnd::Cr;
    double pumpDownSeconds = 180.0;
    RateOfRise rise; // none: the pump keeps the base pressure
    quint32 seed = 1;
    // When not empty, the stream plays these fields (each + CR, from the first at every
    // start of the stream, looping at the end) instead of the gauge model.
    QList<QByteArray> replayFields;
};

// The gauge's side of the line without any I/O: bytes in, answer bytes out, and one
// stream line per tick of the caller's timer.
class GaugeSimCore
{
public:
    explicit GaugeSimCore(SimOptions options);

    // Bytes from the monitor; returns what the gauge answers to the commands they
    // complete (possibly nothing).
    QByteArray receive(QByteArrayView bytes);

    bool isStreaming() const { return m_streaming; }

    // The next stream line with its line end, elapsedSeconds after the pumps started.
    // Call only while streaming.
    QByteArray nextStreamLine(double elapsedSeconds);

    quint16 controlWord() const { return m_status.controlWord(); }

private:
    QByteArray answer(const Command &command);

    SimOptions m_options;
    CommandReader m_reader;
    StatusModel m_status;
    PumpDownCurve m_curve;
    bool m_streaming = false;
    quint32 m_lineCounter = 0;
    qsizetype m_replayIndex = 0;
};

} // namespace kelmor::sim
