#pragma once

#include "comkelmor.h"
#include "controlmodel.h"
#include "datalog.h"
#include "form1controls.h"
#include "framepacer.h"
#include "frmproperties.h"
#include "livetrend.h"
#include "logrecord.h"
#include "receivedline.h"
#include "receiver.h"
#include "statusword.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <optional>

namespace kelmor {

class FrmProperties;
class TrendWindow;

// The main window "Service - Monitor für KELMOR".
//
// It owns the controls, the serial-port component with the receiver that cuts its input
// into lines, the control boxes' model and the data log; the work itself is done by
// those, the window only wires them to its controls. Its QObjects are the window's
// children in the object tree, as its controls are.
class Form1 : public QMainWindow
{
    Q_OBJECT

public:
    // `logDevice` makes the data log's file (DataLog::setDeviceFactory); empty for a plain
    // file.
    explicit Form1(const QString &logPath = defaultLogPath(), DataLog::DeviceFactory logDevice = {},
                   QWidget *parent = nullptr);
    ~Form1() override;

    // The Load event: the settings dialog (modal), then the start-up state. Call once,
    // before the window is first shown.
    void load();

    void UpdateControlWord();
    void DecodeStatusWord(QByteArrayView statusText);
    bool OpenDataLog();
    bool CloseDataLog();

    // A monitoring run is on: the log records and the button reads "STOP".
    bool monitoringRuns() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    // The table's controls in its order, inside `client`.
    QList<QWidget *> makeControls(QWidget *client, const QFont &windowFont);
    void buildStatusBar();
    void orderTabs(const QList<QWidget *> &controls);
    void wireControlBoxes();
    void setPanelText(int panel, const QString &text);
    // Panel 1 and its tooltip after the port opened, closed or failed.
    void showPortState();
    void portFailed(const QString &text);
    void portReconnected();
    // Panel 3: the log's place, cut in the middle where it is too long.
    void showLogPlace(const QString &text);
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

    Form1Controls m_ui;

    QPointer<FrmProperties> m_dialog;
    bool m_panel1ShowsClosed = false; // panel 1 reads "COM  n zu", not the dialog's text
    LiveTrend m_trend;
    QPointer<TrendWindow> m_trendWindow;

    FramePacer m_pacer;
    QElapsedTimer m_clock; // the pacer's
    QTimer m_frameWait;    // runs only while a line is held
    std::optional<ReceivedLine> m_heldLine;
    std::optional<ReceivedLine> m_heldMeasurement;
    std::optional<bool> m_autorangeTextLit; // the colours showStatusWord() gave Autorange
};

// Before the application object exists, for the program and whatever runs it as shipped:
// how the window reaches the screen.
void preparePlatform();

// Application-wide set-up shared by the program and its tests: names, version, style
// and font substitutes.
void initApplication();

} // namespace kelmor
