#pragma once

#include <QtGlobal>

namespace kelmor::sim {

// Bits of the control word and of the status word: the status word reports, bit for
// bit, what the gauge does with the functions the control word switches.
namespace bits {
inline constexpr quint16 kAutorange = 0x0001;
inline constexpr quint16 kPirani = 0x0002;
inline constexpr quint16 kIG = 0x0004;
inline constexpr quint16 kAutoFil = 0x0008;
inline constexpr quint16 kFil1 = 0x0010;
inline constexpr quint16 kFil2 = 0x0020;
inline constexpr quint16 kDegas = 0x0040;
inline constexpr quint16 kSmallEmission = 0x0080;
inline constexpr quint16 kSPman = 0x0100;
inline constexpr quint16 kSPout = 0x0200;
inline constexpr quint16 kSPauto = 0x0400;
inline constexpr quint16 kExtRelease = 0x0800;
inline constexpr quint16 kResetIG = 0x1000;
inline constexpr quint16 kPiraniVac = 0x2000;
inline constexpr quint16 kPiraniAtm = 0x4000;
inline constexpr quint16 kLife = 0x8000;
// One-shot requests: acknowledged for a few lines, then forgotten.
inline constexpr quint16 kOneShot = kResetIG | kPiraniVac | kPiraniAtm;
} // namespace bits

// What the gauge reports on one measurement line.
struct GaugeReport
{
    quint16 status = 0;
    bool igInUse = false;
    int filament = 1;               // 1 or 2
    double emissionMilliAmps = 0.0; // 0 while the Pirani measures
};

// The gauge's reaction to its control word, line by line.
class StatusModel
{
public:
    static constexpr quint16 kInitialControlWord = 0x0009; // Autorange, Auto Filament
    static constexpr int kAcknowledgeLines = 5;
    static constexpr double kIgBelowMbar = 1e-2;  // Autorange hands over to the IG here
    static constexpr double kSetPointMbar = 1e-3; // SP Auto switches the output below this
    static constexpr double kEmissionMilliAmps = 4.0;
    static constexpr double kSmallEmissionMilliAmps = 0.1;
    static constexpr double kDegasEmissionMilliAmps = 20.0;

    // A new control word from "SC". Reset and the Pirani adjustments it carries are
    // acknowledged on the next kAcknowledgeLines lines; a word without them ends an
    // acknowledgement still running.
    void setControlWord(quint16 word);
    quint16 controlWord() const { return m_control; }

    // The report for the next measurement line at this pressure; the life bit toggles
    // with every call, starting set.
    GaugeReport nextLine(double pressureMbar);

private:
    quint16 m_control = kInitialControlWord;
    quint16 m_acknowledged = 0;
    int m_acknowledgeLinesLeft = 0;
    bool m_life = false;
};

} // namespace kelmor::sim
