#pragma once

#include <QString>
#include <QVector>
#include <QtGlobal>

#include <qcustomplot.h>

#include <functional>
#include <vector>

namespace kelmor {

// What the plot draws of one stretch of the key axis, already reduced to the screen's
// resolution: the pressure as a polyline (NaN values break it, so a gap stays a gap) and,
// per pixel column, which status bits were set and what happened there.
struct TrendFrame
{
    QVector<double> keys;
    QVector<double> pressures; // mbar; NaN where the line must break

    double columnLo = 0; // key of the left edge of column 0
    double columnWidth = 1;
    std::vector<quint16> statusOr;   // per column: bits set in any line of the column
    std::vector<quint8> columnFlags; // per column: ColumnFlag bits
    enum ColumnFlag : quint8 {
        HasLines = 1,       // at least one measurement line
        NonMeasurement = 2, // a line that is no measurement (an answer such as "RV")
        LinkLost = 4,       // inside a stretch in which the gauge went silent or stuck
    };
};

// Fills a TrendFrame for the key range [lo, hi] at `columns` pixel columns.
using TrendFrameSource = std::function<void(double lo, double hi, int columns, TrendFrame &out)>;

// The pressure plot and the status timeline below it, on one shared key axis: a
// QCustomPlot with two axis rects. Everything it draws comes from the frame source, asked
// afresh for the visible range at every replot, so it never holds more than a screenful.
class TrendPlot : public QCustomPlot
{
    Q_OBJECT

public:
    explicit TrendPlot(QWidget *parent = nullptr);

    void setFrameSource(TrendFrameSource source) { m_source = std::move(source); }
    // Wall-clock seconds on the key axis, or plain numbers (line numbers of a log).
    void setKeyIsTime(bool isTime);
    bool keyIsTime() const { return m_keyIsTime; }

    // The pressure range of the last frame, in mbar (0, 0 when it held none).
    double lastMin() const { return m_lastMin; }
    double lastMax() const { return m_lastMax; }
    const TrendFrame &lastFrame() const { return m_frame; }

    QCPAxisRect *pressureRect() const { return m_pressureRect; }
    QCPAxisRect *statusRect() const { return m_statusRect; }
    QCPAxis *keyAxis() const { return m_statusRect->axis(QCPAxis::atBottom); }
    QCPAxis *pressureAxis() const { return m_pressureRect->axis(QCPAxis::atLeft); }
    QCPGraph *pressureGraph() const { return m_graph; }

    // Sets the pressure axis to whole decades around [lo, hi] mbar.
    void fitPressure(double lo, double hi);
    // Whether every replot fits the pressure axis to what it shows (off after a box zoom).
    void setFollowPressure(bool follow) { m_followPressure = follow; }
    bool followsPressure() const { return m_followPressure; }

    // Row of the timeline (0 at the top) that shows status bit `bit`.
    static double rowCentre(int bit) { return 15 - bit + 0.5; }
    // The lamps' captions by status bit; bit 15 is the life bit.
    static QString bitCaption(int bit);
    static QString decadeLabel(int exponent);

signals:
    // The key range changed by the operator's hand (wheel, drag, box).
    void keyRangeChangedByUser(const QCPRange &range);

private:
    void buildFrame();

    TrendFrameSource m_source;
    TrendFrame m_frame;
    QCPAxisRect *m_pressureRect = nullptr;
    QCPAxisRect *m_statusRect = nullptr;
    QCPGraph *m_graph = nullptr;
    bool m_keyIsTime = true;
    bool m_followPressure = true;
    double m_lastMin = 0;
    double m_lastMax = 0;
};

} // namespace kelmor
