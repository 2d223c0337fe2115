#include "riseoverlay.h"

#include "trendplot.h"

#include <cmath>
#include <limits>

namespace kelmor {

namespace {

QCPGraph *fitGraph(TrendPlot *plot, const QString &name, const QPen &pen)
{
    QCPAxis *key = plot->pressureRect()->axis(QCPAxis::atBottom);
    QCPGraph *graph = plot->addGraph(key, plot->pressureAxis());
    graph->setObjectName(name);
    graph->setPen(pen);
    graph->setAdaptiveSampling(false);
    return graph;
}

// A straight line in pressure is a curve on the logarithmic axis: drawn through enough
// points to look like one, and only where the pressure is above zero.
void drawLine(QCPGraph *graph, const LineFit &fit, double origin, double keysPerSecond,
              double scale)
{
    QVector<double> keys;
    QVector<double> values;
    if (fit.isValid()) {
        constexpr int kPoints = 64;
        for (int i = 0; i <= kPoints; ++i) {
            const double seconds =
                fit.firstSeconds + (fit.lastSeconds - fit.firstSeconds) * i / kPoints;
            const double value = fit.at(seconds) * scale;
            keys << origin + seconds * keysPerSecond;
            values << (value > 0.0 ? value : std::numeric_limits<double>::quiet_NaN());
        }
    }
    graph->setData(keys, values, true);
}

} // namespace

RiseOverlay::RiseOverlay(TrendPlot *plot) : QObject(plot), m_plot(plot)
{
    QCPAxis *key = plot->pressureRect()->axis(QCPAxis::atBottom);
    m_band = new QCPItemRect(plot);
    m_band->setObjectName(QStringLiteral("riseStretch"));
    m_band->setClipAxisRect(plot->pressureRect());
    for (QCPItemPosition *corner : {m_band->topLeft, m_band->bottomRight}) {
        corner->setAxes(key, plot->pressureAxis());
        corner->setAxisRect(plot->pressureRect());
        corner->setTypeX(QCPItemPosition::ptPlotCoords);
        corner->setTypeY(QCPItemPosition::ptAxisRectRatio);
    }
    m_band->topLeft->setCoords(0, 0);
    m_band->bottomRight->setCoords(0, 1);
    m_band->setPen(QPen(QColor(0x20, 0x60, 0xc0, 160)));
    m_band->setBrush(QColor(0x20, 0x60, 0xc0, 40));
    m_band->setSelectable(false);

    QPen whole(QColor(0x10, 0x80, 0x20), 2.0);
    QPen first(QColor(0x20, 0x40, 0xd0), 1.5, Qt::DashLine);
    QPen second(QColor(0xe0, 0x80, 0x00), 1.5, Qt::DashLine);
    m_whole = fitGraph(plot, QStringLiteral("riseFit"), whole);
    m_first = fitGraph(plot, QStringLiteral("riseFitFirstHalf"), first);
    m_second = fitGraph(plot, QStringLiteral("riseFitSecondHalf"), second);
    clear();
}

void RiseOverlay::showStretch(double from, double to)
{
    m_band->topLeft->setCoords(std::min(from, to), 0);
    m_band->bottomRight->setCoords(std::max(from, to), 1);
    m_band->setVisible(true);
}

void RiseOverlay::showFits(const RiseResult &result, double origin, double keysPerSecond,
                           double scale)
{
    const bool show = result.stretchValid;
    drawLine(m_whole, show ? result.whole : LineFit{}, origin, keysPerSecond, scale);
    drawLine(m_first, show ? result.firstHalf : LineFit{}, origin, keysPerSecond, scale);
    drawLine(m_second, show ? result.secondHalf : LineFit{}, origin, keysPerSecond, scale);
}

void RiseOverlay::clear()
{
    m_band->setVisible(false);
    for (QCPGraph *graph : {m_whole, m_first, m_second})
        graph->data()->clear();
}

bool RiseOverlay::isShown() const
{
    return m_band->visible();
}

} // namespace kelmor
