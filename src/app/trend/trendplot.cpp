#include "trendplot.h"

#include "statusbits.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kelmor {

namespace {

constexpr int kMinDecade = -10;
constexpr int kMaxDecade = 3;

// Decades only, labelled as the gauge's own read-out writes them: 1E-10 ... 1E+3.
class DecadeTicker : public QCPAxisTickerLog
{
protected:
    QString getTickLabel(double tick, const QLocale &, QChar, int) override
    {
        return TrendPlot::decadeLabel(int(std::lround(std::log10(tick))));
    }
    QVector<double> createTickVector(double, const QCPRange &range) override
    {
        QVector<double> ticks;
        const int lo = int(std::floor(std::log10(std::max(range.lower, 1e-300))));
        const int hi = int(std::ceil(std::log10(std::max(range.upper, 1e-300))));
        for (int e = lo; e <= hi; ++e)
            ticks << std::pow(10.0, e);
        return ticks;
    }
    int getSubTickCount(double) override { return 8; }
};

// Base of the two overlays below: drawn from the plot's current frame, nothing of their
// own to select, scale or show in a legend.
class FrameOverlay : public QCPAbstractPlottable
{
public:
    FrameOverlay(TrendPlot *plot, QCPAxis *key, QCPAxis *value)
        : QCPAbstractPlottable(key, value), m_plot(plot)
    {
        setSelectable(QCP::stNone);
        setAntialiasedFill(false);
        setAntialiased(false);
    }
    double selectTest(const QPointF &, bool, QVariant *) const override { return -1; }
    QCPRange getKeyRange(bool &found, QCP::SignDomain) const override
    {
        found = false;
        return {};
    }
    QCPRange getValueRange(bool &found, QCP::SignDomain, const QCPRange &) const override
    {
        found = false;
        return {};
    }

protected:
    void drawLegendIcon(QCPPainter *, const QRectF &) const override {}

    // Calls fn(firstColumn, endColumn) for every run of columns for which pred holds.
    template <typename Pred, typename Fn> void forRuns(Pred pred, Fn fn) const
    {
        const TrendFrame &f = m_plot->lastFrame();
        const int n = int(f.columnFlags.size());
        int c = 0;
        while (c < n) {
            if (!pred(c)) {
                ++c;
                continue;
            }
            int end = c + 1;
            while (end < n && pred(end))
                ++end;
            fn(c, end);
            c = end;
        }
    }
    QRectF columnsRect(int first, int end, double top, double bottom) const
    {
        const TrendFrame &f = m_plot->lastFrame();
        QCPAxis *key = keyAxis();
        const double x0 = key->coordToPixel(f.columnLo + first * f.columnWidth);
        const double x1 = key->coordToPixel(f.columnLo + end * f.columnWidth);
        return QRectF(QPointF(std::min(x0, x1), top), QPointF(std::max(x0, x1) + 0.5, bottom));
    }

    TrendPlot *m_plot;
};

// One row per status bit, filled wherever the bit was set.
class StatusRows : public FrameOverlay
{
public:
    using FrameOverlay::FrameOverlay;

protected:
    void draw(QCPPainter *painter) override
    {
        const TrendFrame &f = m_plot->lastFrame();
        QCPAxis *value = valueAxis();
        painter->setPen(Qt::NoPen);
        for (int bit = 0; bit < 16; ++bit) {
            const double top = value->coordToPixel(TrendPlot::rowCentre(bit) + 0.4);
            const double bottom = value->coordToPixel(TrendPlot::rowCentre(bit) - 0.4);
            // Where lines came in, a pale row: a clear bit reads differently from no data.
            painter->setBrush(QColor(0xee, 0xee, 0xee));
            forRuns([&](int c) { return (f.columnFlags[c] & TrendFrame::HasLines) != 0; },
                    [&](int a, int b) { painter->drawRect(columnsRect(a, b, top, bottom)); });
            painter->setBrush(bit == 15 ? QColor(0x00, 0xa0, 0x00) : QColor(0x20, 0x50, 0xb0));
            forRuns([&](int c) { return (f.statusOr[c] >> bit) & 1; },
                    [&](int a, int b) { painter->drawRect(columnsRect(a, b, top, bottom)); });
        }
    }
};

// Stretches in which the link watch saw the gauge silent or stuck, as a band over the
// whole height, and lines that were no measurement, as ticks on the key axis.
class EventMarks : public FrameOverlay
{
public:
    using FrameOverlay::FrameOverlay;

protected:
    void draw(QCPPainter *painter) override
    {
        const TrendFrame &f = m_plot->lastFrame();
        const QRect r = keyAxis()->axisRect()->rect();
        painter->setPen(Qt::NoPen);
        painter->setBrush(QColor(0xff, 0x80, 0x00, 0x50));
        forRuns([&](int c) { return (f.columnFlags[c] & TrendFrame::LinkLost) != 0; },
                [&](int a, int b) { painter->drawRect(columnsRect(a, b, r.top(), r.bottom())); });
        painter->setBrush(QColor(0x90, 0x00, 0x90));
        forRuns([&](int c) { return (f.columnFlags[c] & TrendFrame::NonMeasurement) != 0; },
                [&](int a, int b) {
                    QRectF tick = columnsRect(a, b, r.bottom() - 8, r.bottom());
                    if (tick.width() < 2)
                        tick.setWidth(2);
                    painter->drawRect(tick);
                });
    }
};

} // namespace

QString TrendPlot::bitCaption(int bit)
{
    return bit >= 0 && bit < 16 ? QString::fromUtf8(kStatusBitNames[size_t(bit)].caption)
                                : QString();
}

QString TrendPlot::decadeLabel(int exponent)
{
    return QStringLiteral("1E%1%2")
        .arg(exponent < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(std::abs(exponent));
}

TrendPlot::TrendPlot(QWidget *parent) : QCustomPlot(parent)
{
    setObjectName(QStringLiteral("trendPlot"));
    setNoAntialiasingOnDrag(true);
    setPlottingHint(QCP::phCacheLabels, true);

    m_pressureRect = axisRect();
    m_statusRect = new QCPAxisRect(this);
    plotLayout()->addElement(1, 0, m_statusRect);
    plotLayout()->setRowStretchFactor(0, 3);
    plotLayout()->setRowStretchFactor(1, 2);
    plotLayout()->setRowSpacing(0);
    auto *margins = new QCPMarginGroup(this);
    m_pressureRect->setMarginGroup(QCP::msLeft | QCP::msRight, margins);
    m_statusRect->setMarginGroup(QCP::msLeft | QCP::msRight, margins);

    QCPAxis *p = pressureAxis();
    p->setScaleType(QCPAxis::stLogarithmic);
    p->setTicker(QSharedPointer<DecadeTicker>::create());
    p->setNumberFormat(QStringLiteral("eb"));
    p->setLabel(QStringLiteral("Druck / mbar"));
    p->grid()->setSubGridVisible(true);
    fitPressure(1e-8, 1e3);
    QCPAxis *pressureKey = m_pressureRect->axis(QCPAxis::atBottom);
    pressureKey->setTickLabels(false);

    QCPAxis *rows = m_statusRect->axis(QCPAxis::atLeft);
    auto rowTicker = QSharedPointer<QCPAxisTickerText>::create();
    for (int bit = 0; bit < 16; ++bit)
        rowTicker->addTick(rowCentre(bit), bitCaption(bit));
    rows->setTicker(rowTicker);
    rows->setRange(0, 16);
    rows->setSubTicks(false);
    rows->setTickLength(0);
    rows->grid()->setVisible(false);
    setKeyIsTime(true);

    m_graph = addGraph(pressureKey, p);
    m_graph->setObjectName(QStringLiteral("pressure"));
    // A cosmetic one-pixel pen: a wider one goes through the stroker and draws a zoomed-out
    // shift several times slower.
    QPen pen(QColor(0xc0, 0x10, 0x10), 1);
    pen.setCosmetic(true);
    m_graph->setPen(pen);
    m_graph->setAdaptiveSampling(false); // the frame is already at screen resolution
    new EventMarks(this, pressureKey, p);
    new StatusRows(this, keyAxis(), rows);

    // One key axis for both rects: whichever moves, the other follows.
    connect(pressureKey, qOverload<const QCPRange &>(&QCPAxis::rangeChanged), this,
            [this](const QCPRange &r) {
                if (keyAxis()->range() != r)
                    keyAxis()->setRange(r);
            });
    connect(keyAxis(), qOverload<const QCPRange &>(&QCPAxis::rangeChanged), this,
            [this, pressureKey](const QCPRange &r) {
                if (pressureKey->range() != r)
                    pressureKey->setRange(r);
            });

    for (QCPAxisRect *r : {m_pressureRect, m_statusRect}) {
        r->setRangeDrag(Qt::Horizontal);
        r->setRangeZoom(Qt::Horizontal);
        r->setRangeDragAxes(r->axis(QCPAxis::atBottom), nullptr);
        r->setRangeZoomAxes(r->axis(QCPAxis::atBottom), nullptr);
    }
    setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    // Every replot draws the range it shows: the frame is built just before.
    connect(this, &QCustomPlot::beforeReplot, this, &TrendPlot::buildFrame);
}

void TrendPlot::setKeyIsTime(bool isTime)
{
    m_keyIsTime = isTime;
    if (isTime) {
        auto ticker = QSharedPointer<QCPAxisTickerDateTime>::create();
        ticker->setDateTimeFormat(QStringLiteral("HH:mm:ss\ndd.MM.yyyy"));
        ticker->setTickCount(6);
        keyAxis()->setTicker(ticker);
        keyAxis()->setLabel(QString());
    } else {
        auto ticker = QSharedPointer<QCPAxisTicker>::create();
        ticker->setTickCount(8);
        keyAxis()->setTicker(ticker);
        keyAxis()->setLabel(QStringLiteral("Zeile"));
    }
    m_pressureRect->axis(QCPAxis::atBottom)->setTicker(keyAxis()->ticker());
}

void TrendPlot::fitPressure(double lo, double hi)
{
    if (!(lo > 0) || !(hi >= lo)) {
        lo = 1e-8;
        hi = 1e3;
    }
    int a = int(std::floor(std::log10(lo)));
    int b = int(std::ceil(std::log10(hi)));
    if (b <= a)
        b = a + 1;
    a = std::clamp(a, kMinDecade, kMaxDecade - 1);
    b = std::clamp(b, a + 1, kMaxDecade);
    pressureAxis()->setRange(std::pow(10.0, a), std::pow(10.0, b));
}

void TrendPlot::buildFrame()
{
    const QCPRange range = keyAxis()->range();
    const int columns = std::max(1, keyAxis()->axisRect()->width());
    m_frame.keys.clear();
    m_frame.pressures.clear();
    m_frame.statusOr.assign(columns, 0);
    m_frame.columnFlags.assign(columns, 0);
    m_frame.columnLo = range.lower;
    m_frame.columnWidth = range.size() / columns;
    if (m_source)
        m_source(range.lower, range.upper, columns, m_frame);

    m_lastMin = 0;
    m_lastMax = 0;
    for (const double v : std::as_const(m_frame.pressures)) {
        if (!(v > 0))
            continue;
        m_lastMin = m_lastMin > 0 ? std::min(m_lastMin, v) : v;
        m_lastMax = std::max(m_lastMax, v);
    }
    m_graph->setData(m_frame.keys, m_frame.pressures, true);
    if (m_followPressure && m_lastMax > 0)
        fitPressure(m_lastMin, m_lastMax);
}

} // namespace kelmor
