#include "form1.h"

#include "commands.h"
#include "elidedlabel.h"
#include "failuremessage.h"
#include "form1layout.h"
#include "frmproperties.h"
#include "lifebitlamp.h"
#include "monitorbox.h"
#include "monitortext.h"
#include "portstatus.h"
#include "statusword.h"
#include "trendwindow.h"
#include "twips.h"
#include "uifonts.h"

#include "kelmoricon.xpm"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFont>
#include <QIcon>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStringList>
#include <QStyle>
#include <QStyleFactory>
#include <QTranslator>

#include <algorithm>

namespace kelmor {

namespace {

const QString kStart = QStringLiteral("START");
const QString kStop = QStringLiteral("STOP");

} // namespace

void preparePlatform()
{
    // On X11, Qt shares each frame's pixels with the server through shared memory, and
    // before painting the next one waits for the server to let go of them: a round trip
    // for every frame. The frames here change a line of text and a few lamps, which are
    // cheaper to send over the connection than to wait for. A setting already made is
    // left as it is.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", "1");
}

void initApplication()
{
    QApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
    QApplication::setApplicationVersion(QStringLiteral(KELMOR_VERSION_STRING));
    if (QStyle *style = QStyleFactory::create(QStringLiteral("windows")))
        QApplication::setStyle(style);
    installFaceSubstitutes();
    // Qt's own texts (the text boxes' context menus, standard buttons) in German, as the
    // rest of the window, whatever the system's language.
    auto *translator = new QTranslator(qApp);
    if (translator->load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("qtbase"),
                         QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

Form1::Form1(const QString &logPath, DataLog::DeviceFactory logDevice, QWidget *parent)
    : QMainWindow(parent), m_log(logPath)
{
    m_log.setDeviceFactory(std::move(logDevice));
    for (QObject *part :
         std::initializer_list<QObject *>{&m_com, &m_receiver, &m_control, &m_trend})
        part->setParent(this);
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Service - Monitor für KELMOR"));
    setWindowIcon(QIcon(QPixmap(kelmor_icon_xpm)));
    buildControls();
    wireControlBoxes();

    connect(m_ui.cmdBefehl, &QPushButton::clicked, this, &Form1::cmdBefehlClick);
    connect(m_ui.textBoxBefehl, &QLineEdit::returnPressed, this, &Form1::cmdBefehlClick);
    connect(m_ui.cmdSenden, &QPushButton::clicked, this, &Form1::cmdSendenClick);
    connect(m_ui.cmdMonitor, &QPushButton::clicked, this, &Form1::cmdMonitorClick);
    connect(m_ui.cmdCom, &QPushButton::clicked, this, &Form1::cmdComClick);
    connect(&m_receiver, &Receiver::lineReceived, this, &Form1::showLine);
    connect(&m_receiver, &Receiver::deviceFailed, this, &Form1::portFailed);
    connect(&m_receiver, &Receiver::deviceReturned, this, &Form1::portReconnected);
    // Not opened by itself: only the operator can tell which adapter is right.
    connect(&m_receiver, &Receiver::otherDeviceFound, this, &Form1::reportLater);
    connect(&m_com, &ComKelmor::portStateChanged, this, &Form1::showPortState);
    showPortState();
    connect(m_ui.cmdVerlauf, &QPushButton::clicked, this, &Form1::cmdVerlaufClick);
    // The trend takes each line after the window has shown and logged it.
    connect(&m_receiver, &Receiver::lineReceived, &m_trend, &LiveTrend::addLine);
    connect(&m_receiver, &Receiver::deviceFailed, &m_trend, &LiveTrend::linesEnded);
    connect(&m_trend, &LiveTrend::linkStateChanged, this, &Form1::showLinkState);

    m_clock.start();
    m_frameWait.setParent(this);
    m_frameWait.setSingleShot(true);
    m_frameWait.setTimerType(Qt::CoarseTimer);
    connect(&m_frameWait, &QTimer::timeout, this, &Form1::frameWaitEnded);
}

Form1::~Form1()
{
    if (m_dialog)
        delete m_dialog.data();
    m_com.setPortOpen(false);
}

void Form1::buildControls()
{
    const QFont windowFont = defaultWindowFont();
    setFont(windowFont);
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);

    const QList<QWidget *> controls = makeControls(client, windowFont);
    if (const QStringList problems = bindControls(form1Layout(), controls, m_ui);
        !problems.isEmpty())
        qFatal("Form1: the layout table does not fit the window: %s",
               qPrintable(problems.join(QStringLiteral("; "))));
    // Its size is the layout table's; fixed, a new pressure does not ask the frame to lay
    // out its children again (a posted event and a wake-up for every shown pressure).
    m_ui.lblDruck->setFixedSize(m_ui.lblDruck->size());
    buildStatusBar();
    orderTabs(controls);

    resize(twipsToPixels(kForm1ClientWidth), twipsToPixels(kForm1ClientHeight));
}

QList<QWidget *> Form1::makeControls(QWidget *client, const QFont &windowFont)
{
    const auto rows = form1Layout();
    QList<QWidget *> made;
    made.reserve(qsizetype(rows.size()));
    for (const ControlSpec &row : rows) {
        QWidget *container = client;
        if (row.container) {
            // Laid out before what it holds.
            for (qsizetype i = 0; i < made.size(); ++i) {
                if (qstrcmp(rows[std::size_t(i)].name, row.container) == 0)
                    container = made[i];
            }
        }
        made.append(makeControl(row, container, windowFont));
    }
    return made;
}

void Form1::buildStatusBar()
{
    // The status bar lies over the bottom of the client area, full width.
    auto *bar = new QStatusBar(this);
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setSizeGripEnabled(true);
    bar->setFixedHeight(twipsToPixels(kStatusBarHeight));
    const auto panels = statusPanels();
    for (std::size_t i = 0; i < panels.size(); ++i) {
        QLabel *panel = i == 2 ? (m_ui.logPlace = new ElidedLabel(bar)) : new QLabel(bar);
        panel->setObjectName(QStringLiteral("Panel%1").arg(i + 1));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setTextFormat(Qt::PlainText);
        panel->setMinimumWidth(twipsToPixels(panels[i].width));
        panel->setFixedWidth(twipsToPixels(panels[i].width));
        panel->setToolTip(QString::fromUtf8(panels[i].toolTip));
        bar->addWidget(panel);
        m_ui.panels[i] = panel;
    }
    setStatusBar(bar);
}

void Form1::orderTabs(const QList<QWidget *> &controls)
{
    // Tab order as the operator knows it.
    const auto rows = form1Layout();
    QList<QWidget *> byPlace;
    for (qsizetype i = 0; i < controls.size(); ++i) {
        const int place = rows[std::size_t(i)].tabPosition;
        if (place < 0)
            continue;
        if (byPlace.size() <= place)
            byPlace.resize(place + 1);
        byPlace[place] = controls[i];
    }
    for (qsizetype i = 0; i + 1 < byPlace.size(); ++i)
        setTabOrder(byPlace[i], byPlace[i + 1]);
    for (QWidget *w : controls) {
        if (!qobject_cast<QCheckBox *>(w) && !qobject_cast<QPushButton *>(w) &&
            !qobject_cast<QLineEdit *>(w) && !qobject_cast<QPlainTextEdit *>(w))
            w->setFocusPolicy(Qt::NoFocus);
    }
}

void Form1::wireControlBoxes()
{
    // The model is the boxes' one source of truth; the widgets mirror it both ways.
    for (int i = 0; i < kBoxCount; ++i) {
        const Box box = Box(i);
        connect(m_ui.boxes[i], &QCheckBox::toggled, this,
                [this, box](bool checked) { m_control.setChecked(box, checked); });
    }
    connect(&m_control, &ControlModel::checkedChanged, this,
            [this](Box box, bool checked) { m_ui.boxes[int(box)]->setChecked(checked); });
    connect(&m_control, &ControlModel::enabledChanged, this,
            [this](Box box, bool enabled) { m_ui.boxes[int(box)]->setEnabled(enabled); });
    connect(&m_control, &ControlModel::sendEnabledChanged, m_ui.cmdSenden, &QWidget::setEnabled);
    connect(&m_control, &ControlModel::controlWordChanged, this,
            [this](const QString &text) { m_ui.lblSteuerbyte->setText(text); });
    for (int i = 0; i < kBoxCount; ++i) {
        m_ui.boxes[i]->setChecked(m_control.isChecked(Box(i)));
        m_ui.boxes[i]->setEnabled(m_control.isEnabled(Box(i)));
    }
    m_ui.cmdSenden->setEnabled(m_control.sendEnabled());
}

void Form1::load()
{
    // 1. The settings dialog, modal and without an owner: the window is not shown yet.
    showSettingsDialog(true);

    // 2. Centre on the screen, by the window's outer size.
    if (QScreen *scr = screen()) {
        const QRect area = scr->geometry();
        const QSize outer = frameGeometry().size();
        move(area.x() + (area.width() - outer.width()) / 2,
             area.y() + (area.height() - outer.height()) / 2);
    }

    // 3. to 8.: the control boxes and the control word.
    m_control.startUp();

    // 9. Both monitors empty.
    m_ui.textSenden->showText(QString());
    m_ui.textEmpfang->showText(QString());

    // 10. Monitoring stopped.
    m_ui.cmdMonitor->setText(kStart);

    // 11. Fourteen lamps dark; Autorange keeps its design-time look.
    for (int bit = kAutorangeBit + 1; bit < kStatusLampCount; ++bit)
        m_ui.lamps[bit]->setEnabled(false);
    // 12., 13.
    m_ui.shapeLB->setLit(false);
    m_ui.lblDruck->setText(QStringLiteral("---"));

    m_ui.boxes[int(Box::Autorange)]->setFocus();
}

void Form1::UpdateControlWord()
{
    m_control.updateControlWord();
}

bool Form1::monitoringRuns() const
{
    return m_ui.cmdMonitor->text() == kStop;
}

void Form1::setPanelText(int panel, const QString &text)
{
    if (panel < 1 || panel > int(m_ui.panels.size()))
        return;
    if (panel == 3) {
        showLogPlace(text);
        return;
    }
    m_ui.panels[panel - 1]->setText(text);
    if (panel == 1)
        m_panel1ShowsClosed = false;
}

void Form1::showPortState()
{
    const PortStatus status = portStatus(m_com, QString::fromUtf8(statusPanels()[0].toolTip));
    QLabel *panel = m_ui.panels[0];
    panel->setToolTip(status.toolTip);
    if (!status.panelText.isEmpty()) {
        panel->setText(status.panelText);
        m_panel1ShowsClosed = true;
    } else if (m_panel1ShowsClosed && m_com.portOpen()) {
        // Opened again by itself: what a completed OK shows for this port.
        panel->setText(portPanelText(m_com.commPort()));
        m_panel1ShowsClosed = false;
    }
}

void Form1::showLogPlace(const QString &text)
{
    // Cut in the middle, so that a long folder keeps the file name readable; the tooltip
    // then has the whole text.
    ElidedLabel *label = m_ui.logPlace;
    QString tip = QString::fromUtf8(statusPanels()[2].toolTip);
    if (label->setWholeText(text))
        tip += QLatin1Char('\n') + text;
    // Set once the handler that changed the text is done: a new tooltip is announced to
    // the widget at once, while the run's state may still be half changed.
    QMetaObject::invokeMethod(
        label, [label, tip] { label->setToolTip(tip); }, Qt::QueuedConnection);
}

void Form1::showSettingsDialog(bool modal)
{
    if (m_dialog) {
        m_dialog->raise();
        m_dialog->activateWindow();
        return;
    }
    // No owner: at start-up the main window is not on screen yet, and later the dialog
    // must not keep the main window from closing.
    auto *dialog = new FrmProperties(m_com, nullptr);
    dialog->setRunActiveQuery([this] { return monitoringRuns(); });
    m_dialog = dialog;
    connect(dialog, &FrmProperties::panelText, this, &Form1::setPanelText);
    if (modal) {
        dialog->exec();
    } else {
        dialog->show();
    }
}

void Form1::cmdComClick()
{
    showSettingsDialog(false);
}

void Form1::cmdVerlaufClick()
{
    if (!m_trendWindow) {
        m_trendWindow = new TrendWindow(m_trend, this);
        m_trendWindow->setLogPath(m_log.path());
    }
    m_trendWindow->show();
    m_trendWindow->setWindowState(m_trendWindow->windowState() & ~Qt::WindowMinimized);
    m_trendWindow->raise();
    m_trendWindow->activateWindow();
}

void Form1::showLinkState(LinkState state)
{
    // Said where it moves nothing: in the title and on the life-bit lamp's tooltip.
    static const QString title = QStringLiteral("Service - Monitor für KELMOR");
    const QString problem = LinkWatch::describe(state);
    setWindowTitle(problem.isEmpty() ? title : title + QStringLiteral(" – ") + problem);
    m_ui.shapeLB->setToolTip(problem);
}

void Form1::closeEvent(QCloseEvent *event)
{
    // The gauge is told nothing; an open log is closed with everything written when the
    // window goes.
    m_com.setPortOpen(false);
    m_trend.linesEnded();
    if (m_dialog)
        m_dialog->close();
    if (m_trendWindow)
        m_trendWindow->close();
    event->accept();
}

// ---------------------------------------------------------------- sending

void Form1::echoSent(const QByteArray &command)
{
    m_ui.textSenden->showText(appendSendEcho(m_ui.textSenden->text(), bytesAsText(command)));
}

void Form1::cmdBefehlClick()
{
    const QByteArray command = freeCommand(m_ui.textBoxBefehl->text());
    if (const ComError err = m_com.output(command)) {
        showFailureMessage(this, err.description);
        return;
    }
    echoSent(command);
}

void Form1::cmdSendenClick()
{
    const QByteArray command = controlWordCommand(m_control.controlWordText());
    if (const ComError err = m_com.output(command)) {
        // Not sent, so it stays ready to send.
        showFailureMessage(this, err.description);
        return;
    }
    echoSent(command);
    m_control.setSendEnabled(false);
}

// ---------------------------------------------------------------- monitoring

bool Form1::OpenDataLog()
{
    if (!m_log.open())
        return false;
    setPanelText(3, QStringLiteral("Datenaufzeichnung in ") + m_log.nativePath());
    return true;
}

bool Form1::CloseDataLog()
{
    const bool ok = m_log.close();
    setPanelText(3, QString());
    return ok;
}

void Form1::cmdMonitorClick()
{
    if (m_ui.cmdMonitor->text() == kStart)
        startMonitoring();
    else
        stopMonitoring();
}

void Form1::startMonitoring()
{
    // Without the port there is no run: nothing is written to the log for it.
    if (!m_com.portOpen()) {
        showFailureMessage(this, QStringLiteral("Die Überwachung kann nicht beginnen: die "
                                                "Schnittstelle Com%1 ist nicht geöffnet. Bitte "
                                                "zuerst mit \u201ESchnittstelle\u201C öffnen.")
                                     .arg(m_com.commPort()));
        return;
    }
    if (!OpenDataLog()) {
        showFailureMessage(this, QStringLiteral("Die Datenaufzeichnung kann nicht beginnen.\n%1")
                                     .arg(m_log.errorString()));
        return;
    }
    if (const ComError err = m_com.output(startMonitoringCommand())) {
        // The gauge was not asked to send, so there is no run; the header stays.
        CloseDataLog();
        showFailureMessage(this, err.description);
        return;
    }
    m_ui.cmdMonitor->setText(kStop);
}

Form1::StopResult Form1::stopRun()
{
    StopResult result;
    result.sendError = m_com.output(stopMonitoringCommand());
    result.logClosed = CloseDataLog();
    m_ui.cmdMonitor->setText(kStart);
    // The gauge was told to stop sending: silence from now on is no fault.
    m_trend.linesEnded();
    darkenStatusDisplay();
    return result;
}

QString Form1::stopProblems(const StopResult &result) const
{
    QStringList problems;
    if (result.sendError)
        problems << QStringLiteral("Der Befehl SX0 konnte nicht gesendet werden.\n%1")
                        .arg(result.sendError.description);
    if (!result.logClosed)
        problems << QStringLiteral("Die Datei %1 konnte nicht vollständig geschrieben werden.\n%2")
                        .arg(m_log.nativePath(), m_log.errorString());
    return problems.join(QStringLiteral("\n\n"));
}

void Form1::stopMonitoring()
{
    const QString problems = stopProblems(stopRun());
    if (!problems.isEmpty())
        showFailureMessage(this, QStringLiteral("Die Überwachung wurde beendet.\n\n") + problems);
}

void Form1::darkenStatusDisplay()
{
    // A line held for its frame was received before: it is shown first, as it would
    // have been, and then put out.
    displayHeldNow();
    for (QLabel *lamp : m_ui.lamps)
        lamp->setEnabled(false);
    m_ui.shapeLB->setLit(false);
    m_ui.lblDruck->setText(QStringLiteral("---"));
}

// ---------------------------------------------------------------- receiving

void Form1::DecodeStatusWord(QByteArrayView statusText)
{
    showStatusWord(readStatusWord(statusText));
}

void Form1::showStatusWord(quint16 word)
{
    // The seven steps switch some lamps off and on again (Autorange grey, then black;
    // Pirani to Degas dark, then lit). Nothing is drawn in between, so only their net
    // effect is applied, and only where it changes something: at the gauge's line rate a
    // lamp repainted for nothing costs more than the rest of the line.

    // 1. and 4.: Autorange's text grey, or black and enabled when its bit is set.
    QLabel *autorange = m_ui.lamps[kAutorangeBit];
    const bool autorangeLit = statusBitSet(word, kAutorangeBit);
    // Only this sets its colours: reading its palette for every line costs more than
    // remembering which was set.
    if (m_autorangeTextLit != autorangeLit) {
        QPalette pal = autorange->palette();
        const QColor text =
            autorangeLit ? QColor(Qt::black) : pal.color(QPalette::Disabled, QPalette::WindowText);
        if (pal.color(QPalette::Active, QPalette::WindowText) != text ||
            pal.color(QPalette::Inactive, QPalette::WindowText) != text) {
            pal.setColor(QPalette::Active, QPalette::WindowText, text);
            pal.setColor(QPalette::Inactive, QPalette::WindowText, text);
            autorange->setPalette(pal);
        }
        m_autorangeTextLit = autorangeLit;
    }
    if (autorangeLit)
        autorange->setEnabled(true);
    // 2., 5. and 6.: every other lamp shows its bit. setEnabled() does nothing when the
    // state stays.
    for (int bit = kAutorangeBit + 1; bit < kStatusLampCount; ++bit)
        m_ui.lamps[bit]->setEnabled(statusBitSet(word, bit));
    // 7.
    m_ui.shapeLB->setLit(statusBitSet(word, kLifeBitNumber));
}

void Form1::showLine(const ReceivedLine &line)
{
    // Every line is recorded at once: the record reaches the operating system before
    // this returns, and so before the receiver reads on. Only showing it waits for its
    // frame.
    holdForDisplay(line);
    const bool logging = m_ui.cmdMonitor->text() == kStop;
    if (logging && !m_log.writeRecord(line.raw)) {
        // Nothing more can be recorded: end the run as a stop click would, keeping what
        // the file already holds, and say so once.
        QString text = QStringLiteral("Die Datenaufzeichnung in %1 ist fehlgeschlagen; die "
                                      "Überwachung wurde beendet.\n%2")
                           .arg(m_log.nativePath(), m_log.errorString());
        const QString problems = stopProblems(stopRun());
        if (!problems.isEmpty())
            text += QStringLiteral("\n\n") + problems;
        reportLater(text);
        return;
    }
    if (logging) {
        // The file was deleted or replaced and the log started anew: said once.
        if (const QString notice = m_log.takeNotice(); !notice.isEmpty())
            reportLater(notice);
    }
    if (m_pacer.changed(m_clock.nsecsElapsed()) == FramePacer::Action::ShowNow) {
        m_frameWait.stop();
        displayHeld();
    } else {
        // The wait follows the newest line held: while lines stream it never runs out.
        const qint64 waitNs = m_pacer.wakeAt() - m_clock.nsecsElapsed();
        m_frameWait.start(int(std::max<qint64>(0, (waitNs + 999'999) / 1'000'000)));
    }
}

void Form1::holdForDisplay(const ReceivedLine &line)
{
    // The lamps and the pressure show the newest measurement line, the receive monitor
    // the newest line of any kind: together that is what showing each line in turn
    // leaves on the screen.
    if (line.isMeasurement)
        m_heldMeasurement = line;
    m_heldLine = line;
}

void Form1::frameWaitEnded()
{
    if (m_pacer.waitEnded(m_clock.nsecsElapsed()))
        displayHeld();
}

void Form1::displayHeldNow()
{
    if (!m_heldLine)
        return;
    m_frameWait.stop();
    m_pacer.shownAnyway(m_clock.nsecsElapsed());
    displayHeld();
}

void Form1::displayHeld()
{
    if (m_heldMeasurement) {
        showStatusWord(m_heldMeasurement->status);
        m_ui.lblDruck->setText(m_heldMeasurement->pressureText);
        m_heldMeasurement.reset();
    }
    if (m_heldLine) {
        m_ui.textEmpfang->showText(::kelmor::receiveMonitorText(m_heldLine->raw));
        m_heldLine.reset();
    }
}

void Form1::portFailed(const QString &text)
{
    // Told once: a device that comes back by itself and fails again shows that in panel 1
    // only, until the operator opens a port on purpose.
    if (!m_com.reconnectedAt().isValid())
        reportLater(text);
}

void Form1::portReconnected()
{
    // The gauge may have been restarted along with the line: it streams only when asked.
    // The run, its log and its header simply go on.
    if (monitoringRuns())
        m_com.output(startMonitoringCommand());
}

void Form1::reportLater(const QString &text)
{
    // Not from inside the receive handler: a message box runs its own event loop.
    QMetaObject::invokeMethod(
        this, [this, text] { showFailureMessage(this, text); }, Qt::QueuedConnection);
}

} // namespace kelmor
