#pragma once

// The real main window against the real gauge simulator, each on its own side of a
// pseudo-terminal, as an operator meets them in the demonstration.

#include "form1.h"
#include "form1harness.h"
#include "lifebitlamp.h"

#include <QCheckBox>
#include <QDeadlineTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <array>
#include <memory>

namespace kelmor::test {

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

// The main window, loaded with Com1 at the simulator and the data log in a private
// folder; records what it shows for every received line.
struct SimWindow
{
    explicit SimWindow(const GaugeSim &sim)
    {
        qputenv("KELMOR_COM1", QFile::encodeName(sim.link()));
        logPath = dir.filePath(QStringLiteral("KelmorLog.txt"));
        window = std::make_unique<Form1>(logPath);
        auto *receive = get<QPlainTextEdit>("TextEmpfang");
        QObject::connect(receive, &QPlainTextEdit::textChanged, window.get(), [this] {
            if (!window->receiveMonitorText().isEmpty())
                seen.append(snapshot());
        });
        // Every line the window handles, shown or not: at a fast line rate the window
        // shows only the newest line of each frame, but records them all.
        QObject::connect(&window->receiver(), &Receiver::lineReceived, window.get(),
                         [this](const ReceivedLine &line) { handled.append(line.raw); });
        // Answered by clicking OK on Com1 at 19200 baud, as the operator would.
        loadAndShow(*window, DialogAnswer::Ok);
    }

    template <typename T = QWidget> T *get(const char *name) const
    {
        return qobject_cast<T *>(window->control(QString::fromLatin1(name)));
    }

    void click(const char *button) { QTest::mouseClick(get<QPushButton>(button), Qt::LeftButton); }
    // On the box's indicator, where an operator clicks.
    void clickBox(const char *box)
    {
        QTest::mouseClick(get<QCheckBox>(box), Qt::LeftButton, {}, QPoint(6, 8));
    }

    Seen snapshot() const
    {
        Seen s;
        s.monitorText = window->receiveMonitorText();
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

    QByteArray logBytes() const
    {
        QFile f(logPath);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    MessageCatcher messages;
    QTemporaryDir dir;
    QString logPath;
    QList<Seen> seen;
    QList<QByteArray> handled;
    std::unique_ptr<Form1> window;
};

} // namespace kelmor::test
