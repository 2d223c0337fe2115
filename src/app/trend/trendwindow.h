#pragma once

#include "linkstate.h"
#include "logreader.h"
#include "pressureunit.h"
#include "trendplot.h"
#include "trendstore.h"

#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;

namespace kelmor {

class LiveTrend;
class LogLoadJob;
class PressureUnitBar;
class RiseOverlay;
class RiseTestPanel;

// The window "Druckverlauf": the pressure of the running program over wall-clock time on
// a logarithmic axis with the status bits as a timeline under it, or a run recorded in a
// data log over its line numbers. It only views the live trend: lines are stored whether
// it is open or not, and it repaints at a modest pace, never while a line is handled.
class TrendWindow : public QWidget
{
    Q_OBJECT

public:
    explicit TrendWindow(LiveTrend &live, QWidget *parent = nullptr);
    ~TrendWindow() override;

    TrendPlot *plot() const { return m_plot; }
    // The store the plot shows: the live one, or the recorded run.
    const TrendStore &shownStore() const;
    bool showsRecordedRun() const { return m_recorded != nullptr; }
    // Whether the view keeps the newest line in sight as lines come.
    bool followsLive() const { return m_follow != Follow::None; }

    // Shows everything of the shown store, and follows the newest line if it is live.
    void showAll();
    // Back from a recorded run to the live one.
    void showLive();
    // A recorded run, drawn over its line numbers; title names its start.
    void showRecorded(std::unique_ptr<TrendStore> run, const QString &title);

    // The samples in view as CSV; false with a German message on failure.
    bool saveCsv(const QString &path, QString *error = nullptr) const;
    bool savePng(const QString &path);

    // Time, pressure and status word of the sample nearest to key, as the read-out shows.
    QString readoutAt(double key) const;
    QString readoutText() const;
    // The plot's key of a store time (seconds for wall-clock time, else line numbers).
    double keyOf(qint64 time) const;
    qint64 timeOf(double key) const;

    // Redraws now if lines came since the last frame (the repaint timer's work).
    void repaintNow();

    // Where "Log öffnen…" starts looking: the program's own data log.
    void setLogPath(const QString &path) { m_logPath = path; }
    // Reads a data log in the background and shows the run the chooser picks (by
    // default the operator, from a list of the runs by their headers).
    void openLog(const QString &path);
    bool isReadingLog() const;
    using RunChooser = std::function<int(const LogIndex &index)>; // -1: none
    void setRunChooser(RunChooser chooser) { m_chooseRun = std::move(chooser); }
    static QString runLabel(const LogRun &run);

    // The leak test: its panel, the stretch it measures (store times, from <= to) and what
    // is drawn of it.
    RiseTestPanel *riseTest() const { return m_riseTest; }
    RiseOverlay *riseOverlay() const { return m_riseOverlay; }
    PressureUnitBar *unitBar() const { return m_unitBar; }
    const PressureUnits &units() const;
    void markStretch(qint64 from, qint64 to);
    void clearStretch();
    bool hasStretch() const { return m_hasStretch; }

signals:
    // A recorded run is on the plot, or reading it ended without one.
    void logReadingDone(bool shown);

protected:
    void showEvent(QShowEvent *event) override;

private:
    enum class Follow { None, Scroll, All };

    void linesAdded();
    void buildFrame(double lo, double hi, int columns, TrendFrame &out) const;
    void userMovedView();
    void saveCsvClicked();
    void savePngClicked();
    void mouseMoved(QMouseEvent *event);
    void boxZoom(const QRect &rect);
    QCPRange dataRange() const;
    void updateTitle();
    void openLogClicked();
    void logJobFinished();
    void showProgress();
    int askForRun(const LogIndex &index);
    void logFailed(const QString &text);
    void markDragged(const QRect &rect);
    void updateRiseTest();
    void drawRiseFits();
    void unitsChanged();
    // Gauge numbers as stored, multiplied by this, are in the unit shown.
    double displayScale() const;

    LiveTrend &m_live;
    std::unique_ptr<TrendStore> m_recorded;
    QString m_recordedTitle;

    TrendPlot *m_plot = nullptr;
    QPushButton *m_showAll = nullptr;
    QPushButton *m_saveCsv = nullptr;
    QPushButton *m_savePng = nullptr;
    QPushButton *m_openLog = nullptr;
    QPushButton *m_liveButton = nullptr;
    QLabel *m_readout = nullptr;
    QProgressBar *m_progress = nullptr;
    QPushButton *m_cancel = nullptr;

    QString m_logPath;
    std::unique_ptr<LogLoadJob> m_job;
    QStringList m_logWarnings;
    RunChooser m_chooseRun;
    QTimer m_progressTimer;

    PressureUnitBar *m_unitBar = nullptr;
    RiseTestPanel *m_riseTest = nullptr;
    RiseOverlay *m_riseOverlay = nullptr;
    bool m_markDrag = false; // the drag under way marks a stretch instead of zooming
    bool m_hasStretch = false;
    bool m_markingLive = false; // Start pressed: the stretch grows with the live run
    qint64 m_stretchFrom = 0;
    qint64 m_stretchTo = 0;
    qint64 m_stretchOrigin = 0;
    double m_stretchSecondsPerTime = 0.001;

    Follow m_follow = Follow::All;
    quint64 m_drawnRevision = 0;
    QTimer m_repaint;
};

} // namespace kelmor
