#pragma once

#include "comkelmor.h"
#include "controlmodel.h"
#include "datalog.h"
#include "framepacer.h"
#include "frmproperties.h"
#include "livetrend.h"
#include "logrecord.h"
#include "receivedline.h"
#include "receiver.h"
#include "statusword.h"

#include <QElapsedTimer>
#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <array>
#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kelmor {

class FrmProperties;
class LifeBitLamp;
class MonitorBox;
class TrendWindow;

// The main window "Service - Monitor für KELMOR".
//
// It owns the controls, the serial-port component with the receiver that cuts its input
// into lines, the control boxes' model and the data log; the work itself is done by
// those, the window only wires them to its controls.
class Form1 : public QMainWindow
{
    Q_OBJECT

public:
    explicit Form1(const QString &logPath = defaultLogPath(), QWidget *parent = nullptr);
    ~Form1() override;

    // The Load event: the settings dialog (modal), then the start-up state. Call once,
    // before the window is first shown.
    void load();

    void UpdateControlWord();
    void DecodeStatusWord(QByteArrayView statusText);
    bool OpenDataLog();
    bool CloseDataLog();

    // Control by its object name, as laid out; nullptr for an unknown name.
    QWidget *control(const QString &name) const { return m_controls.value(name); }
    QString panelText(int panel) const; // 1..4

    ComKelmor &comKelmor() { return m_com; }
    ControlModel &controlModel() { return m_control; }
    DataLog &dataLog() { return m_log; }
    Receiver &receiver() { return m_receiver; }
    QString controlWordText() const { return m_control.controlWordText(); }
    QString sendMonitorText() const;
    QString receiveMonitorText() const;
    bool monitoringRuns() const;
    // The dialog opened through CmdCom, while it is open.
    FrmProperties *settingsDialog() const { return m_dialog; }
    LiveTrend &liveTrend() { return m_trend; }
    // The window "Druckverlauf" once CmdVerlauf has opened it.
    TrendWindow *trendWindow() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void wireControlBoxes();
    void setPanelText(int panel, const QString &text);
    // Panel 1 and its tooltip after the port opened, closed or failed.
    void showPortState();
    void portFailed(const QString &text);
    void portReconnected();
    // Panel 3: the log's place, cut in the middle where it is too long.
    void showLogPlace(const QString &text);
    static int textRoomOf(const QLabel *label);
    static void widenToShowWholeText(QLabel *label);
    void showSettingsDialog(bool modal);

    // Event handlers
    void cmdBefehlClick();
    void cmdSendenClick();
    void cmdMonitorClick();
    void cmdComClick();
    // Writes one received line to the data log while a run records, and shows it.
    void showLine(const ReceivedLine &line);
    void showStatusWord(quint16 word);
    void cmdVerlaufClick();
    void showLinkState(LinkState state);
    // Lines are shown at the pace of frames (FramePacer): the newest line and the newest
    // measurement line wait here until their frame.
    void holdForDisplay(const ReceivedLine &line);
    void displayHeld();
    // Shows what is held at once: before anything else changes the display.
    void displayHeldNow();
    void frameWaitEnded();

    void startMonitoring();
    void stopMonitoring();
    struct StopResult
    {
        ComError sendError;
        bool logClosed = true;
    };
    // The stop click's steps; the caller tells the operator what went wrong.
    StopResult stopRun();
    QString stopProblems(const StopResult &result) const;
    void darkenStatusDisplay();
    void echoSent(const QByteArray &command);
    void reportLater(const QString &text);

    ComKelmor m_com;
    Receiver m_receiver{m_com};
    ControlModel m_control;
    DataLog m_log;

    QHash<QString, QWidget *> m_controls;
    std::array<QCheckBox *, kBoxCount> m_boxes{};
    std::array<QLabel *, kStatusLampCount> m_lamps{}; // by status bit
    std::array<QLabel *, 4> m_panels{};
    QString m_logPanelText; // whole, while panel 3 may show it cut
    LifeBitLamp *m_shapeLB = nullptr;
    QLabel *m_lblDruck = nullptr;
    QLabel *m_lblSteuerbyte = nullptr;
    QLineEdit *m_textBoxBefehl = nullptr;
    MonitorBox *m_textSenden = nullptr;
    MonitorBox *m_textEmpfang = nullptr;
    QPushButton *m_cmdBefehl = nullptr;
    QPushButton *m_cmdSenden = nullptr;
    QPushButton *m_cmdMonitor = nullptr;
    QPushButton *m_cmdCom = nullptr;

    QPointer<FrmProperties> m_dialog;
    bool m_panel1ShowsClosed = false; // panel 1 reads "COM  n zu", not the dialog's text
    LiveTrend m_trend;
    QPointer<TrendWindow> m_trendWindow;
    QPushButton *m_cmdVerlauf = nullptr;

    FramePacer m_pacer;
    QElapsedTimer m_clock; // the pacer's
    QTimer m_frameWait;    // runs only while a line is held
    std::optional<ReceivedLine> m_heldLine;
    std::optional<ReceivedLine> m_heldMeasurement;
};

// Application-wide set-up shared by the program and its tests: names, version, style
// and font substitutes.
void initApplication();

} // namespace kelmor
