// The two plotting libraries Debian offers for Qt 6, side by side on a shift of gauge lines:
// 1.8 million points (8 hours at 63 lines a second) of a pump-down with degas bumps and a
// few gaps, on a logarithmic pressure axis over wall-clock time, drawn offscreen.
//
//   bench_plot              runs every library it was built with, each in a process of
//                           its own (so the memory figures do not mix), and prints a table
//   bench_plot LIB [N]      one library (qcustomplot or charts), N points
//   bench_plot window [N]   the program's trend window with N lines in its store: the
//                           plot is handed one screenful, decimated per pixel column
//
// Figures per library: setting the data, the first full draw, and the median of redraws
// fully zoomed out after a change of the visible range (what a live plot does), and the
// resident memory the plot holds once the input arrays are gone.

#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QVector>
#include <QWidget>

#ifdef KELMOR_BENCH_QCUSTOMPLOT
#include <qcustomplot.h>
#endif
#include "livetrend.h"
#include "trendwindow.h"
#ifdef KELMOR_BENCH_CHARTS
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QLogValueAxis>
#endif

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <malloc.h>
#include <random>

namespace {

constexpr int kWidth = 1200;
constexpr int kHeight = 600;
constexpr int kRedraws = 7;

double rssMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}

void settle()
{
    ::malloc_trim(0);
}

// Seconds since the epoch and mbar: a pump-down from atmosphere, a degas bump every two
// hours, noise, and three pauses in which nothing arrived (NaN, which both libraries are
// asked to leave as a gap where they can).
struct Series
{
    QVector<double> t;
    QVector<double> p;
};

Series makeSeries(int n)
{
    Series s;
    s.t.resize(n);
    s.p.resize(n);
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0.0, 0.02);
    const double start = double(QDateTime(QDate(2026, 12, 7), QTime(6, 0)).toSecsSinceEpoch());
    for (int i = 0; i < n; ++i) {
        const double sec = i / 63.0;
        s.t[i] = start + sec;
        double logp = 3.0 - 10.0 * (1.0 - std::exp(-sec / 1800.0));
        const double inHour = std::fmod(sec, 7200.0);
        if (inHour > 3600.0 && inHour < 3900.0)
            logp += 2.0 * std::sin((inHour - 3600.0) / 300.0 * M_PI);
        s.p[i] = std::pow(10.0, logp + noise(rng));
        if (i % 600000 > 599000)
            s.p[i] = std::numeric_limits<double>::quiet_NaN();
    }
    return s;
}

struct Figures
{
    double setMs = 0;
    double firstDrawMs = 0;
    double redrawMs = 0;
    double memMiB = 0;
};

double median(QVector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v[v.size() / 2];
}

#ifdef KELMOR_BENCH_QCUSTOMPLOT
Figures runQCustomPlot(int n)
{
    Figures f;
    auto *plot = new QCustomPlot;
    plot->resize(kWidth, kHeight);
    plot->xAxis->setTicker(QSharedPointer<QCPAxisTickerDateTime>::create());
    plot->yAxis->setScaleType(QCPAxis::stLogarithmic);
    plot->yAxis->setTicker(QSharedPointer<QCPAxisTickerLog>::create());
    QCPGraph *graph = plot->addGraph();
    plot->show();
    QCoreApplication::processEvents();
    settle();
    const double base = rssMiB();
    {
        Series s = makeSeries(n);
        QElapsedTimer timer;
        timer.start();
        graph->setData(s.t, s.p, true);
        f.setMs = timer.nsecsElapsed() / 1e6;
        plot->xAxis->setRange(s.t.first(), s.t.last());
        plot->yAxis->setRange(1e-8, 2e3);
    }
    QElapsedTimer timer;
    timer.start();
    plot->replot(QCustomPlot::rpImmediateRefresh);
    f.firstDrawMs = timer.nsecsElapsed() / 1e6;
    QVector<double> times;
    const QCPRange full = plot->xAxis->range();
    for (int i = 0; i < kRedraws; ++i) {
        plot->xAxis->setRange(full.lower - i, full.upper + i);
        timer.restart();
        plot->replot(QCustomPlot::rpImmediateRefresh);
        times << timer.nsecsElapsed() / 1e6;
    }
    f.redrawMs = median(times);
    settle();
    f.memMiB = rssMiB() - base;
    delete plot;
    return f;
}
#endif

#ifdef KELMOR_BENCH_CHARTS
Figures runCharts(int n)
{
    Figures f;
    auto *chart = new QChart;
    chart->legend()->hide();
    auto *series = new QLineSeries;
    chart->addSeries(series);
    auto *x = new QDateTimeAxis;
    x->setFormat(QStringLiteral("HH:mm"));
    auto *y = new QLogValueAxis;
    y->setBase(10);
    y->setLabelFormat(QStringLiteral("%.0E"));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(x);
    series->attachAxis(y);
    auto *view = new QChartView(chart);
    view->resize(kWidth, kHeight);
    view->show();
    QCoreApplication::processEvents();
    settle();
    const double base = rssMiB();
    double first = 0;
    double last = 0;
    {
        Series s = makeSeries(n);
        QList<QPointF> points;
        points.reserve(n);
        // The series knows no gaps: a NaN point would break its path, so leave it out.
        for (int i = 0; i < n; ++i) {
            if (!std::isnan(s.p[i]))
                points.append(QPointF(s.t[i] * 1000.0, s.p[i]));
        }
        first = points.first().x();
        last = points.last().x();
        QElapsedTimer timer;
        timer.start();
        series->replace(points);
        x->setRange(QDateTime::fromMSecsSinceEpoch(qint64(first)),
                    QDateTime::fromMSecsSinceEpoch(qint64(last)));
        y->setRange(1e-8, 2e3);
        QCoreApplication::processEvents();
        f.setMs = timer.nsecsElapsed() / 1e6;
    }
    QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    QElapsedTimer timer;
    timer.start();
    {
        QPainter painter(&image);
        view->render(&painter);
    }
    f.firstDrawMs = timer.nsecsElapsed() / 1e6;
    QVector<double> times;
    for (int i = 0; i < kRedraws; ++i) {
        timer.restart();
        x->setRange(QDateTime::fromMSecsSinceEpoch(qint64(first) - 1000 * i),
                    QDateTime::fromMSecsSinceEpoch(qint64(last) + 1000 * i));
        QCoreApplication::processEvents();
        QPainter painter(&image);
        view->render(&painter);
        painter.end();
        times << timer.nsecsElapsed() / 1e6;
    }
    f.redrawMs = median(times);
    settle();
    f.memMiB = rssMiB() - base;
    delete view;
    return f;
}
#endif

// The trend window as the program has it: the store holds the lines, and each replot
// takes one value range per pixel column from it.
Figures runWindow(int n)
{
    Figures f;
    kelmor::LiveTrend live;
    auto *window = new kelmor::TrendWindow(live);
    window->resize(kWidth, kHeight);
    window->show();
    QCoreApplication::processEvents();
    settle();
    const double base = rssMiB();
    {
        const Series s = makeSeries(n);
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < n; ++i) {
            const qint64 ms = qint64(s.t[i] * 1000.0);
            live.store().appendSample(ms, s.p[i], quint16(0x0009 | (i % 2 ? 0x8000 : 0)),
                                      QByteArray::number(s.p[i], 'E', 2));
        }
        f.setMs = timer.nsecsElapsed() / 1e6;
    }
    window->showAll();
    QElapsedTimer timer;
    timer.start();
    window->plot()->replot(QCustomPlot::rpImmediateRefresh);
    f.firstDrawMs = timer.nsecsElapsed() / 1e6;
    QVector<double> times;
    QVector<double> frames;
    QElapsedTimer frameClock;
    QObject::connect(window->plot(), &QCustomPlot::beforeReplot, window,
                     [&] { frames << frameClock.nsecsElapsed() / 1e6; });
    QCPAxis *key = window->plot()->keyAxis();
    const QCPRange full = key->range();
    for (int i = 0; i < kRedraws; ++i) {
        key->setRange(full.lower - i, full.upper + i);
        timer.restart();
        frameClock.restart();
        window->plot()->replot(QCustomPlot::rpImmediateRefresh);
        times << timer.nsecsElapsed() / 1e6;
    }
    f.redrawMs = median(times);
    std::fprintf(stderr, "of the redraw, %.1f ms build the frame (decimation)\n", median(frames));
    settle();
    f.memMiB = rssMiB() - base;
    delete window;
    return f;
}

int runOne(const char *lib, int n)
{
    Figures f;
    bool known = false;
    if (std::strcmp(lib, "window") == 0) {
        f = runWindow(n);
        known = true;
    }
#ifdef KELMOR_BENCH_QCUSTOMPLOT
    if (std::strcmp(lib, "qcustomplot") == 0) {
        f = runQCustomPlot(n);
        known = true;
    }
#endif
#ifdef KELMOR_BENCH_CHARTS
    if (std::strcmp(lib, "charts") == 0) {
        f = runCharts(n);
        known = true;
    }
#endif
    if (!known) {
        std::fprintf(stderr, "bench_plot: not built with %s\n", lib);
        return 2;
    }
    std::printf("%s %d set %.1f first %.1f redraw %.1f mem %.1f\n", lib, n, f.setMs, f.firstDrawMs,
                f.redrawMs, f.memMiB);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc > 1)
        return runOne(argv[1], argc > 2 ? std::atoi(argv[2]) : 1800000);

    QStringList libs{QStringLiteral("window")};
#ifdef KELMOR_BENCH_QCUSTOMPLOT
    libs << QStringLiteral("qcustomplot");
#endif
#ifdef KELMOR_BENCH_CHARTS
    libs << QStringLiteral("charts");
#endif
    std::printf("%d x %d pixels, log pressure axis, time axis; times in ms, memory in MiB\n",
                kWidth, kHeight);
    std::printf("%-12s %9s %9s %12s %9s %9s\n", "library", "points", "set data", "first draw",
                "redraw", "memory");
    for (const int n : {10000, 1800000}) {
        for (const QString &lib : libs) {
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(), {lib, QString::number(n)});
            child.waitForFinished(-1);
            const QList<QByteArray> w = child.readAllStandardOutput().simplified().split(' ');
            if (child.exitCode() != 0 || w.size() < 10) {
                std::printf("%-12s failed\n", qPrintable(lib));
                continue;
            }
            std::printf("%-12s %9d %9s %12s %9s %9s\n", qPrintable(lib), n, w[3].constData(),
                        w[5].constData(), w[7].constData(), w[9].constData());
        }
    }
    return 0;
}
