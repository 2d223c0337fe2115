#pragma once

#include <QString>

namespace kelmor {

class ComKelmor;

// "COM  1": the port number with a blank where a minus sign would stand, as the status
// bar has always shown it after a completed OK.
QString portPanelText(int port);

// What status panel 1 shows about the port at a glance, and its tooltip in full.
struct PortStatus
{
    // Empty: leave the panel's text as the settings dialog wrote it (the port is open,
    // or it was closed on purpose or never opened). Otherwise the port is closed through
    // a failure and the panel says so.
    QString panelText;
    QString toolTip;
};

// `baseToolTip` is the panel's own tooltip ("Nummer der Schnittstelle"), kept as the
// first line.
PortStatus portStatus(const ComKelmor &com, const QString &baseToolTip);

} // namespace kelmor
