#include "portstatus.h"

#include "comkelmor.h"

#include <QLocale>

namespace kelmor {

namespace {

QString clock(const QDateTime &when)
{
    return QLocale::c().toString(when.time(), QStringLiteral("HH:mm:ss"));
}

} // namespace

QString portPanelText(int port)
{
    const QString number =
        port < 0 ? QString::number(port) : QLatin1Char(' ') + QString::number(port);
    return QStringLiteral("COM ") + number;
}

PortStatus portStatus(const ComKelmor &com, const QString &baseToolTip)
{
    PortStatus status;
    const QString port = QStringLiteral("Com%1").arg(com.commPort());
    QString detail;
    if (com.portOpen()) {
        detail = QStringLiteral("%1: %2 \u2013 geöffnet").arg(port, com.device().label());
        if (com.reconnectedAt().isValid())
            detail += QStringLiteral("\nNach einer Unterbrechung um %1 von selbst wieder "
                                     "geöffnet.")
                          .arg(clock(com.reconnectedAt()));
    } else if (!com.closedReason().isEmpty()) {
        status.panelText = portPanelText(com.commPort()) + QStringLiteral(" zu");
        detail = QStringLiteral("%1 ist geschlossen (seit %2).\n%3")
                     .arg(port, clock(com.closedAt()), com.closedReason());
        if (com.watching())
            detail += QStringLiteral("\nSie wird von selbst wieder geöffnet, sobald das Gerät "
                                     "zurück ist.");
    } else {
        detail = QStringLiteral("%1 ist nicht geöffnet.").arg(port);
    }
    status.toolTip = baseToolTip.isEmpty() ? detail : baseToolTip + QLatin1Char('\n') + detail;
    return status;
}

} // namespace kelmor
