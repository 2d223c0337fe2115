#include "frmproperties.h"

#include "comkelmor.h"
#include "failuremessage.h"
#include "portlisting.h"
#include "portstatus.h"
#include "settingstext.h"
#include "twips.h"
#include "uifonts.h"

#include <QComboBox>
#include <QFont>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QTabWidget>

#include <functional>
#include <utility>

#if !defined(KELMOR_VERSION_MAJOR) || !defined(KELMOR_VERSION_MINOR) ||                            \
    !defined(KELMOR_VERSION_PATCH)
#error "KELMOR_VERSION_MAJOR/MINOR/PATCH must come from the build"
#endif

namespace kelmor {

namespace {

// The speeds offered, in baud; each entry shows its number and carries it as item data.
constexpr qint32 kSpeeds[] = {19200, 38400};

// The port list, telling the dialog when the operator opens it.
class PortComboBox : public QComboBox
{
public:
    using QComboBox::QComboBox;
    std::function<void()> aboutToShowPopup;

    void showPopup() override
    {
        if (aboutToShowPopup)
            aboutToShowPopup();
        QComboBox::showPopup();
    }
};

} // namespace

FrmProperties::FrmProperties(ComKelmor &port, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_port(port)
{
    setObjectName(QStringLiteral("frmProperties"));
    setWindowTitle(QStringLiteral("COM-Anschluß-Einstellungen"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(twipsToPixels(6015), twipsToPixels(2745));
    setSizeGripEnabled(false);

    setFont(defaultWindowFont());
    buildControls();

    setTabOrder(m_tabSettings, m_cmdOK);
    setTabOrder(m_cmdOK, m_cboPort);
    setTabOrder(m_cboPort, m_cboSpeed);
    setTabOrder(m_cboSpeed, m_cmdCancel);
    m_tabSettings->setFocus();

    connect(m_cmdOK, &QPushButton::clicked, this, &FrmProperties::cmdOKClick);
    connect(m_cmdCancel, &QPushButton::clicked, this, &FrmProperties::cmdCancelClick);
    connect(m_cboPort, &QComboBox::currentIndexChanged, this, &FrmProperties::refreshDeviceLabel);

    LoadPropertySettings();
}

void FrmProperties::buildControls()
{
    m_tabSettings = new QTabWidget(this);
    m_tabSettings->setObjectName(QStringLiteral("tabSettings"));
    m_tabSettings->setGeometry(twipsRect(90, 105, 5820, 2385));

    // The page sits at the tab strip's client origin; only its size is ours to fix.
    m_fraSettings = new QFrame;
    m_fraSettings->setObjectName(QStringLiteral("fraSettings"));
    m_fraSettings->setWindowTitle(QStringLiteral("Einstellungen"));
    m_fraSettings->setFrameShape(QFrame::NoFrame);
    m_fraSettings->setFixedSize(twipsRect(255, 570, 5445, 1695).size());
    m_tabSettings->addTab(m_fraSettings, QStringLiteral("Einstellungen"));

    m_cmdOK = new QPushButton(QStringLiteral("OK"), m_fraSettings);
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    m_cmdOK->setGeometry(twipsRect(3375, 465, 1080, 300));
    m_cmdOK->setDefault(true);

    auto *cboPort = new PortComboBox(m_fraSettings);
    cboPort->aboutToShowPopup = [this] { refreshDeviceLabel(); };
    m_cboPort = cboPort;
    m_cboPort->setObjectName(QStringLiteral("cboPort"));
    m_cboPort->setGeometry(twipsRect(1080, 150, 1425, 315));

    m_label1 = new QLabel(QStringLiteral("Anschluß:"), m_fraSettings);
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_label1->setGeometry(twipsRect(330, 180, 735, 315));

    m_frame1 = new QGroupBox(QStringLiteral("Maximale Geschwindigkeit"), m_fraSettings);
    m_frame1->setObjectName(QStringLiteral("Frame1"));
    m_frame1->setGeometry(twipsRect(180, 630, 2340, 870));

    m_cboSpeed = new QComboBox(m_frame1);
    m_cboSpeed->setObjectName(QStringLiteral("cboSpeed"));
    m_cboSpeed->setGeometry(twipsRect(375, 330, 1695, 315));

    m_cmdCancel = new QPushButton(QStringLiteral("Abbrechen"), m_fraSettings);
    m_cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    m_cmdCancel->setGeometry(twipsRect(3375, 1185, 1080, 300));

    // Below the tab strip, where the dialog has a strip of its own to spare: nothing of
    // the page moves for it.
    m_lblDevice = new QLabel(this);
    m_lblDevice->setObjectName(QStringLiteral("lblDevice"));
    m_lblDevice->setGeometry(twipsRect(90, 2490, 5820, 240));
    m_lblDevice->setTextFormat(Qt::PlainText);
    m_lblDevice->setFocusPolicy(Qt::NoFocus);
}

void FrmProperties::refreshDeviceLabel()
{
    const int index = m_cboPort->currentIndex();
    if (index < 0) {
        m_lblDevice->clear();
        m_lblDevice->setToolTip(QString());
        return;
    }
    const QString text = assignmentText(assignPort(index + 1));
    // A long description is shortened in the label and whole in its tooltip.
    const QFontMetrics metrics(m_lblDevice->font());
    m_lblDevice->setText(metrics.elidedText(text, Qt::ElideMiddle, m_lblDevice->width()));
    m_lblDevice->setToolTip(text);
}

void FrmProperties::LoadPropertySettings()
{
    // Cleared first, so that loading twice never doubles the entries. The device is
    // looked up once, for the entry finally selected.
    const QSignalBlocker quiet(m_cboPort);
    m_cboPort->clear();
    m_cboSpeed->clear();
    for (int n = 1; n <= 4; ++n)
        m_cboPort->addItem(QStringLiteral("Com%1").arg(n));
    for (const qint32 baud : kSpeeds)
        m_cboSpeed->addItem(QString::number(baud), baud);

    const QString speed = speedFromSettings(m_port.settings());
    m_cboSpeed->setCurrentIndex(m_cboSpeed->findText(speed, Qt::MatchExactly));

    m_cboPort->setCurrentIndex(m_port.commPort() - 1);
    refreshDeviceLabel();
}

QString FrmProperties::versionText()
{
    return QStringLiteral("V%1.%2 Rev.%3")
        .arg(KELMOR_VERSION_MAJOR)
        .arg(KELMOR_VERSION_MINOR)
        .arg(KELMOR_VERSION_PATCH);
}

void FrmProperties::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    refreshDeviceLabel();
    if (m_placed)
        return;
    m_placed = true;
    if (const QScreen *s = screen()) {
        const QRect area = s->geometry();
        const QSize outer = frameGeometry().size();
        move(area.x() + (area.width() - outer.width()) / 2,
             area.y() + (area.height() - outer.height()) / 2);
    }
}

void FrmProperties::keyPressEvent(QKeyEvent *event)
{
    // Escape belongs to no button here: only "Abbrechen" and the close box cancel.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void FrmProperties::cmdOKClick()
{
    try {
        if (!applied(switchPort()))
            return;
        if (!applied(m_port.setSettings(chosenSettings())))
            return;
        if (!applied(m_port.setHandshaking(0)))
            return;
        // A port that cannot be opened must not look configured in the status bar: the
        // operator gets the reason and can choose another port or cancel.
        if (!applied(m_port.setPortOpen(true)))
            return;

        emit panelText(1, portPanelText(m_port.commPort()));
        emit panelText(2, m_port.settings());
        emit panelText(4, versionText());
        accept();
    } catch (...) {
        // Nothing may unwind into the event loop; the dialog stays for another try.
    }
}

bool FrmProperties::applied(const ComError &result)
{
    if (!result)
        return true;
    showFailureMessage(this, result.description);
    return false;
}

ComError FrmProperties::switchPort()
{
    const int previous = m_port.commPort();
    const int chosen = m_cboPort->currentIndex() + 1;
    if (chosen == previous)
        return {};

    // A failing step is passed over; the last failure stays pending and decides whether
    // the switch went through.
    ComError pending;
    const auto step = [&pending](ComError result) {
        if (result)
            pending = std::move(result);
    };
    bool reopen = false;
    if (m_port.portOpen()) {
        step(m_port.setPortOpen(false));
        reopen = true;
    }
    step(m_port.setCommPort(chosen));
    if (!pending && reopen)
        step(m_port.setPortOpen(true));
    if (!pending)
        return {};

    if (reopen) {
        // The old port is closed now: say so, and what that means for a run.
        pending.description += QStringLiteral("\n\nDie Schnittstelle Com%1 (%2) wurde für den "
                                              "Wechsel geschlossen und ist jetzt geschlossen.")
                                   .arg(previous)
                                   .arg(m_port.device().path);
        if (m_runActive && m_runActive())
            pending.description += QStringLiteral(" Die laufende Überwachung empfängt nichts, "
                                                  "bis wieder eine Schnittstelle geöffnet ist.");
    }
    m_port.setCommPort(previous);
    return pending;
}

QString FrmProperties::chosenSettings() const
{
    // The speed is the one choice; the rest is the gauge's fixed no parity, 8 data bits,
    // 1 stop bit. Without a selection the speed is 0, which the component refuses.
    LineSettings line;
    line.baudRate = m_cboSpeed->currentData().toInt();
    return settingsText(line);
}

void FrmProperties::cmdCancelClick()
{
    reject();
}

} // namespace kelmor
