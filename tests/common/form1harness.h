#pragma once

// The real main window as the tests drive it: loaded with its settings dialog answered,
// Com1 on a pseudo-terminal the test plays the gauge on (LoadedWindow) or on the real
// gauge simulator (SimWindow), the data log in a private folder. The tests see the window
// as an operator does: its controls by object name, its parts in its object tree.

#include "comkelmor.h"
#include "controlmodel.h"
#include "elidedlabel.h"
#include "failuremessage.h"
#include "form1.h"
#include "frmproperties.h"
#include "lifebitlamp.h"
#include "livetrend.h"
#include "monitorbox.h"
#include "ptypair.h"
#include "receiver.h"
#include "trendwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <array>
#include <memory>

namespace kelmor::test {

// The status lamps by the status bit that lights them.
inline const char *const kLampNames[] = {"lblAutorange", "lblPirani", "lblIG",     "lblAutoFil",
                                         "lblFil1",      "lblFil2",   "lblDegas",  "lblEStrom",
                                         "lblSPman",     "lblSPout",  "lblSPauto", "lblEnableEx",
                                         "lblResetIG",   "lblPiVAC",  "lblPiATM"};

// ---------------------------------------------------------------- the window's parts

// A control by its object name; nullptr when there is none of that type.
template <typename T = QWidget> T *widget(const Form1 &window, const QString &name)
{
    return window.findChild<T *>(name);
}
template <typename T = QWidget> T *widget(const Form1 &window, const char *name)
{
    return widget<T>(window, QString::fromLatin1(name));
}

// One of the objects the window owns (the serial component, the receiver, the model of
// the control boxes, the live trend).
template <typename T> T &part(const Form1 &window)
{
    T *found = window.findChild<T *>(QString(), Qt::FindDirectChildrenOnly);
    if (!found)
        qFatal("the window has no %s", T::staticMetaObject.className());
    return *found;
}

inline ComKelmor &comKelmor(const Form1 &window)
{
    return part<ComKelmor>(window);
}
inline Receiver &receiver(const Form1 &window)
{
    return part<Receiver>(window);
}
inline ControlModel &controlModel(const Form1 &window)
{
    return part<ControlModel>(window);
}
inline LiveTrend &liveTrend(const Form1 &window)
{
    return part<LiveTrend>(window);
}
inline QString controlWordText(const Form1 &window)
{
    return controlModel(window).controlWordText();
}

inline QString sendMonitorText(const Form1 &window)
{
    return widget<MonitorBox>(window, "TextSenden")->text();
}
inline QString receiveMonitorText(const Form1 &window)
{
    return widget<MonitorBox>(window, "TextEmpfang")->text();
}

// Status panel 1..4; the log's place (3) whole, also where the panel shows it cut.
inline QString panelText(const Form1 &window, int panel)
{
    const QByteArray name = "Panel" + QByteArray::number(panel);
    if (panel == 3)
        return widget<ElidedLabel>(window, name.constData())->wholeText();
    return widget<QLabel>(window, name.constData())->text();
}

// The settings dialog while it is open ("Schnittstelle" or the start-up dialog).
inline FrmProperties *settingsDialog()
{
    for (QWidget *top : QApplication::topLevelWidgets()) {
        if (auto *dialog = qobject_cast<FrmProperties *>(top))
            return dialog;
    }
    return nullptr;
}

// The window "Druckverlauf" once "Verlauf…" has opened it.
inline TrendWindow *trendWindow(const Form1 &window)
{
    return window.findChild<TrendWindow *>(QString(), Qt::FindDirectChildrenOnly);
}

// ---------------------------------------------------------------- start-up

// Records every failure message instead of showing a box that would block.
class MessageCatcher
{
public:
    MessageCatcher()
    {
        m_previous = setFailureMessageHandler(
            [this](QWidget *, const QString &text) { m_messages << text; });
    }
    ~MessageCatcher() { setFailureMessageHandler(m_previous); }
    QStringList &messages() { return m_messages; }

private:
    QStringList m_messages;
    FailureMessageHandler m_previous;
};

enum class DialogAnswer { Ok, Cancel };

// Answers the settings dialog that the Load event shows modally.
inline void answerStartupDialog(DialogAnswer answer, int portIndex = 0, int speedIndex = 0)
{
    QTimer::singleShot(0, [=] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal) {
            qWarning("no modal settings dialog");
            return;
        }
        if (auto *port = modal->findChild<QComboBox *>(QStringLiteral("cboPort")))
            port->setCurrentIndex(portIndex);
        if (auto *speed = modal->findChild<QComboBox *>(QStringLiteral("cboSpeed")))
            speed->setCurrentIndex(speedIndex);
        const QString button =
            answer == DialogAnswer::Ok ? QStringLiteral("cmdOK") : QStringLiteral("cmdCancel");
        if (auto *b = modal->findChild<QPushButton *>(button))
            QTest::mouseClick(b, Qt::LeftButton);
    });
}

// The Load event with the settings dialog answered, then the window on screen.
inline void loadAndShow(Form1 &window, DialogAnswer answer)
{
    answerStartupDialog(answer);
    window.load();
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        qWarning("the main window was not exposed");
}

// ---------------------------------------------------------------- the loaded window

// What both kinds of loaded window share: the window, its log, its messages.
struct WindowHarness
{
    // The window of a (new) start of the program, logging to `path`; not yet loaded.
    void create(const QString &path)
    {
        window.reset();
        logPath = path;
        window = std::make_unique<Form1>(logPath, [this](const QString &file) {
            std::unique_ptr<QFileDevice> device =
                logDevices ? logDevices(file) : std::make_unique<QFile>(file);
            logDevice = device.get();
            return device;
        });
    }

    template <typename T = QWidget> T *get(const char *name) const
    {
        return widget<T>(*window, name);
    }

    void click(const char *button) { QTest::mouseClick(get<QPushButton>(button), Qt::LeftButton); }
    // On the box's indicator, where an operator clicks.
    void clickBox(const char *box)
    {
        QTest::mouseClick(get<QCheckBox>(box), Qt::LeftButton, {}, QPoint(6, 8));
    }

    QByteArray logBytes() const
    {
        QFile f(logPath);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // The data log holds an open file.
    bool logOpen() const { return logDevice && logDevice->isOpen(); }

    MessageCatcher messages;
    QTemporaryDir dir;
    QString logPath;
    // Makes the log's files from now on (a failing device); empty for plain files.
    DataLog::DeviceFactory logDevices;
    QPointer<QFileDevice> logDevice; // the newest one made
    std::unique_ptr<Form1> window;
};

// A main window after its Load event, with Com1 on a pseudo-terminal.
struct LoadedWindow : WindowHarness
{
    explicit LoadedWindow(DialogAnswer answer = DialogAnswer::Ok)
    {
        qputenv("KELMOR_COM1", pty.slavePath().toLocal8Bit());
        restart(dir.filePath(QStringLiteral("KelmorLog.txt")), answer);
    }
    // The window goes before its line does.
    ~LoadedWindow() { window.reset(); }

    // A later start of the program, logging to `path`.
    void restart(const QString &path, DialogAnswer answer = DialogAnswer::Ok)
    {
        create(path);
        loadAndShow(*window, answer);
    }

    // Sends bytes as the gauge and lets the window handle them.
    void gaugeSends(const QByteArray &bytes, int settleMs = 50)
    {
        QVERIFY(pty.write(bytes));
        QTest::qWait(settleMs);
    }

    PtyPair pty;
};

// START clicked: the run begins and the gauge is told "SX1".
inline void startRun(LoadedWindow &lw)
{
    lw.click("cmdMonitor");
    QCOMPARE(lw.pty.read(4), QByteArray("SX1\r"));
}

// STOP clicked: the run ends and the gauge is told "SX0".
inline void stopRun(LoadedWindow &lw)
{
    lw.click("cmdMonitor");
    QCOMPARE(lw.pty.read(4), QByteArray("SX0\r"));
}

// ---------------------------------------------------------------- against the simulator

// The simulator program, started with its terminal linked to a private path.
class GaugeSim
{
public:
    // Without `link` the terminal is linked in a private folder; with one, a simulator
    // can take over the link of an earlier one, as a gauge restarted on the same cable.
    explicit GaugeSim(const QStringList &options, const QString &link = QString())
    {
        m_link = link.isEmpty() ? m_dir.filePath(QStringLiteral("Com1")) : link;
        m_process.setProgram(QStringLiteral(KELMOR_GAUGE_SIM_PATH));
        m_process.setArguments(
            QStringList{QStringLiteral("--no-stdin"), QStringLiteral("--link"), m_link} + options);
        m_process.start();
        if (!m_process.waitForStarted(5000))
            return;
        // The first line is the terminal's path; the link exists before it is printed.
        QDeadlineTimer deadline(5000);
        while (!m_process.canReadLine() && m_process.state() == QProcess::Running &&
               !deadline.hasExpired())
            m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        if (m_process.canReadLine())
            m_terminal = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    }
    ~GaugeSim() { stop(); }
    GaugeSim(const GaugeSim &) = delete;
    GaugeSim &operator=(const GaugeSim &) = delete;

    bool started() const { return !m_terminal.isEmpty() && m_process.state() == QProcess::Running; }
    QString link() const { return m_link; }
    QString terminal() const { return m_terminal; }
    QByteArray errors() { return m_process.readAllStandardError(); }
    qint64 pid() const { return m_process.processId(); }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(2000);
        }
    }

private:
    QTemporaryDir m_dir;
    QString m_link;
    QString m_terminal;
    QProcess m_process;
};

// Everything an operator can see of one received line, taken when the receive monitor
// shows it (the lamps and the pressure are set before the monitor).
struct Seen
{
    QByteArray line; // the receive monitor's text without its CR LF, as bytes
    QString monitorText;
    QString pressure;
    bool autorangeBlack = false;    // the Autorange lamp's colour: black when lit, grey when not
    std::array<bool, 15> enabled{}; // each lamp label's enabled state, by status bit
    bool life = false;

    // A lamp that shows its bit set; for Autorange the colour and the enabled state.
    bool lit(int bit) const { return bit == 0 ? autorangeBlack && enabled[0] : enabled[bit]; }
    bool operator==(const Seen &) const = default;
};

// The main window, loaded with Com1 at the simulator; records what it shows for every
// received line.
struct SimWindow : WindowHarness
{
    explicit SimWindow(const GaugeSim &sim)
    {
        qputenv("KELMOR_COM1", QFile::encodeName(sim.link()));
        create(dir.filePath(QStringLiteral("KelmorLog.txt")));
        auto *receive = get<QPlainTextEdit>("TextEmpfang");
        QObject::connect(receive, &QPlainTextEdit::textChanged, window.get(), [this] {
            if (!receiveMonitorText(*window).isEmpty())
                seen.append(snapshot());
        });
        // Every line the window handles, shown or not: at a fast line rate the window
        // shows only the newest line of each frame, but records them all.
        QObject::connect(&receiver(*window), &Receiver::lineReceived, window.get(),
                         [this](const ReceivedLine &line) { handled.append(line.raw); });
        // Answered by clicking OK on Com1 at 19200 baud, as the operator would.
        loadAndShow(*window, DialogAnswer::Ok);
    }
    // The window goes before what records it.
    ~SimWindow() { window.reset(); }

    Seen snapshot() const
    {
        Seen s;
        s.monitorText = receiveMonitorText(*window);
        s.line = s.monitorText.toLatin1();
        if (s.line.endsWith("\r\n"))
            s.line.chop(2);
        s.pressure = get<QLabel>("lblDruck")->text();
        auto *autorange = get<QLabel>("lblAutorange");
        s.autorangeBlack =
            autorange->palette().color(QPalette::Active, QPalette::WindowText) == QColor(Qt::black);
        for (int bit = 0; bit < 15; ++bit)
            s.enabled[bit] = get(kLampNames[bit])->isEnabled();
        s.life = get<LifeBitLamp>("ShapeLB")->isLit();
        return s;
    }

    QList<Seen> seen;
    QList<QByteArray> handled;
};

} // namespace kelmor::test
