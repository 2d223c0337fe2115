#include "simstatus.h"

namespace kelmor::sim {

void StatusModel::setControlWord(quint16 word)
{
    m_control = word & quint16(~bits::kLife);
    m_acknowledged = m_control & bits::kOneShot;
    m_acknowledgeLinesLeft = m_acknowledged ? kAcknowledgeLines : 0;
}

GaugeReport StatusModel::nextLine(double pressureMbar)
{
    const quint16 c = m_control;
    GaugeReport report;
    quint16 status = 0;

    // Measuring principle. With neither or both chosen by hand the gauge stays with
    // the Pirani: it never fires the IG on a contradictory word.
    if (c & bits::kAutorange) {
        status |= bits::kAutorange;
        report.igInUse = pressureMbar < kIgBelowMbar;
    } else {
        report.igInUse = (c & bits::kIG) && !(c & bits::kPirani);
    }
    status |= report.igInUse ? bits::kIG : bits::kPirani;

    // Exactly one filament is in use; automatic choice starts on filament 1, and so
    // does a word that names neither or both.
    if (c & bits::kAutoFil) {
        status |= bits::kAutoFil;
        report.filament = 1;
    } else {
        report.filament = ((c & bits::kFil2) && !(c & bits::kFil1)) ? 2 : 1;
    }
    status |= report.filament == 2 ? bits::kFil2 : bits::kFil1;

    // Degas and the small emission range only exist while the IG is burning.
    if (report.igInUse) {
        if (c & bits::kDegas) {
            status |= bits::kDegas;
            report.emissionMilliAmps = kDegasEmissionMilliAmps;
        } else {
            report.emissionMilliAmps = kEmissionMilliAmps;
        }
        if (c & bits::kSmallEmission) {
            status |= bits::kSmallEmission;
            if (!(c & bits::kDegas))
                report.emissionMilliAmps = kSmallEmissionMilliAmps;
        }
    }

    // Set point: with SP manual the output follows its bit, otherwise SP Auto drives
    // it from the pressure; with neither it stays off.
    status |= c & (bits::kSPman | bits::kSPauto | bits::kExtRelease);
    bool output = false;
    if (c & bits::kSPman)
        output = c & bits::kSPout;
    else if (c & bits::kSPauto)
        output = pressureMbar < kSetPointMbar;
    if (output)
        status |= bits::kSPout;

    if (m_acknowledgeLinesLeft > 0) {
        status |= m_acknowledged;
        if (--m_acknowledgeLinesLeft == 0)
            m_acknowledged = 0;
    }

    m_life = !m_life;
    if (m_life)
        status |= bits::kLife;

    report.status = status;
    return report;
}

} // namespace kelmor::sim
