#pragma once

#include "pressureunit.h"
#include "risefit.h"

#include <QGroupBox>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kelmor {

// The rate-of-rise leak test "Druckanstiegstest": the technician's inputs, the result
// as soon as a stretch is marked, and the report. The stretch itself comes from the plot
// (dragged) or from the live run (Start/Stopp); this panel only asks for it.
class RiseTestPanel : public QGroupBox
{
    Q_OBJECT

public:
    explicit RiseTestPanel(QWidget *parent = nullptr);

    // The units the results are shown and exported in.
    void setUnits(const PressureUnits &units);

    // A marked stretch and how to name it in the report ("12:01:05 – 12:03:40").
    void setStretch(const RiseStretch &stretch, const QString &description);
    void clearStretch();
    void setRunName(const QString &run) { m_run = run; }

    // The stretch's seconds are line numbers (a recorded run): ask for the line interval.
    void setLineNumbers(bool lineNumbers);
    bool lineNumbers() const { return m_lineNumbers; }
    // Seconds from one line to the next as the technician gave them; 1 without line
    // numbers, NaN while the input is not a sound number.
    double secondsPerLine() const { return m_secondsPerLine; }

    // Whether a live run goes on, so that Start can mark from now on.
    void setLiveRun(bool live);
    bool isMarking() const { return m_marking; }

    const RiseResult &result() const { return m_result; }
    bool hasStretch() const { return m_hasStretch; }
    // What the technician sees of the result, line by line.
    QString resultText() const;
    QString volumeMessage() const;
    QString limitMessage() const;
    QString stretchMessage() const;

    QString reportText() const;
    QString reportCsv() const;
    // Writes the report: CSV when the name ends in ".csv", plain text otherwise.
    bool saveReport(const QString &path, QString *error = nullptr);
    void copyReport() const;

signals:
    void markingStarted();
    void markingStopped();
    // The result changed: the plot redraws the fit lines.
    void resultChanged();

private:
    void recompute();
    void onUnitChanged(UnitOfPressure previous);
    void chooseFileAndSave();
    void updateButtons();

    PressureUnits m_units;
    RiseStretch m_stretch;
    bool m_hasStretch = false;
    QString m_stretchDescription;
    QString m_run;
    RiseResult m_result;
    bool m_live = false;
    bool m_marking = false;
    bool m_lineNumbers = false;
    double m_secondsPerLine = 1.0;

    QPushButton *m_start = nullptr;
    QPushButton *m_stop = nullptr;
    QLabel *m_stretchLabel = nullptr;
    QLabel *m_stretchMessage = nullptr;
    QLineEdit *m_volume = nullptr;
    QLabel *m_volumeMessage = nullptr;
    QLineEdit *m_limit = nullptr;
    QLabel *m_limitUnit = nullptr;
    QLabel *m_limitMessage = nullptr;
    QLabel *m_intervalLabel = nullptr;
    QLineEdit *m_interval = nullptr;
    QLabel *m_intervalUnit = nullptr;
    QLabel *m_intervalMessage = nullptr;
    QLabel *m_resultLabel = nullptr;
    QPushButton *m_save = nullptr;
    QPushButton *m_copy = nullptr;
    QLabel *m_saveStatus = nullptr;
};

} // namespace kelmor
