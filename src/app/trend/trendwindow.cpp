#include "trendwindow.h"

#include "failuremessage.h"
#include "livetrend.h"
#include "logloadjob.h"
#include "pressureunitbar.h"
#include "riseoverlay.h"
#include "risetestpanel.h"
#include "statusbits.h"
#include "trendcsv.h"
#include "trendstretch.h"

#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLocale>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QSplitter>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>

namespace kelmor {

namespace {

// Live lines are gathered and drawn at most this often: enough to watch a pump-down (the
// main window shows the newest value at once), and the line handling never waits for a
// paint. Ten redraws a second cost the monitor three times what the lines themselves do.
constexpr int kRepaintMs = 1000;
constexpr int kSlowestRepaintMs = 2000;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

const QString kTitle = QStringLiteral("Druckverlauf");
const QString kHint = QStringLiteral("Mausrad: Zoom · Ziehen: Verschieben · "
                                     "Strg+Ziehen: Bereich vergrößern · "
                                     "Umschalt+Ziehen: Abschnitt für den Druckanstiegstest");

QString pressureForHumans(float value, double scale, UnitOfPressure unit)
{
    if (std::isnan(value))
        return QStringLiteral("kein Druckwert");
    return QLocale(QLocale::German).toString(double(value) * scale, 'E', 2) + QLatin1Char(' ') +
           pressureUnitName(unit);
}

} // namespace

TrendWindow::TrendWindow(LiveTrend &live, QWidget *parent)
    : QWidget(parent, Qt::Window), m_live(live)
{
    setObjectName(QStringLiteral("TrendWindow"));
    setWindowTitle(kTitle);

    m_plot = new TrendPlot(this);
    m_plot->setFrameSource([this](double lo, double hi, int columns, TrendFrame &out) {
        buildFrame(lo, hi, columns, out);
    });
    m_plot->setMinimumSize(480, 360);

    auto button = [this](const char *name, const QString &text) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };
    m_showAll = button("cmdAlles", QStringLiteral("Alles anzeigen"));
    m_liveButton = button("cmdLive", QStringLiteral("Laufende Messung"));
    m_saveCsv = button("cmdCsv", QStringLiteral("Als CSV speichern…"));
    m_savePng = button("cmdBild", QStringLiteral("Als Bild speichern…"));
    m_openLog = button("cmdLog", QStringLiteral("Log öffnen…"));
    m_liveButton->setVisible(false);

    m_readout = new QLabel(kHint, this);
    m_readout->setObjectName(QStringLiteral("readout"));
    m_readout->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("progress"));
    m_progress->setRange(0, 1000);
    m_progress->setTextVisible(false);
    m_progress->setMaximumWidth(240);
    m_progress->setVisible(false);
    m_cancel = button("cmdAbbrechen", QStringLiteral("Abbrechen"));
    m_cancel->setVisible(false);

    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {m_showAll, m_liveButton, m_saveCsv, m_savePng, m_openLog})
        buttons->addWidget(b);
    buttons->addStretch(1);
    m_unitBar = new PressureUnitBar(this);
    buttons->addWidget(m_unitBar);
    m_riseTest = new RiseTestPanel(this);
    m_riseOverlay = new RiseOverlay(m_plot);
    auto *split = new QSplitter(Qt::Horizontal, this);
    split->setChildrenCollapsible(false);
    split->addWidget(m_plot);
    split->addWidget(m_riseTest);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 0);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(split, 1);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_readout, 1);
    bottom->addWidget(m_progress);
    bottom->addWidget(m_cancel);
    layout->addLayout(bottom);
    resize(1280, 720);

    connect(m_showAll, &QPushButton::clicked, this, &TrendWindow::showAll);
    connect(m_liveButton, &QPushButton::clicked, this, &TrendWindow::showLive);
    connect(m_saveCsv, &QPushButton::clicked, this, &TrendWindow::saveCsvClicked);
    connect(m_savePng, &QPushButton::clicked, this, &TrendWindow::savePngClicked);
    connect(m_openLog, &QPushButton::clicked, this, &TrendWindow::openLogClicked);
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        if (m_job)
            m_job->cancel();
    });
    m_progressTimer.setInterval(100);
    connect(&m_progressTimer, &QTimer::timeout, this, &TrendWindow::showProgress);
    m_chooseRun = [this](const LogIndex &index) { return askForRun(index); };

    // The operator's hand on the view decides whether it still follows the newest line.
    // The wheel's signal comes before the plot zooms: judge the view after it.
    connect(m_plot, &QCustomPlot::mouseWheel, this, [this] {
        QMetaObject::invokeMethod(this, &TrendWindow::userMovedView, Qt::QueuedConnection);
    });
    connect(m_plot, &QCustomPlot::mouseRelease, this, [this] { userMovedView(); });
    connect(m_plot, &QCustomPlot::mouseMove, this, &TrendWindow::mouseMoved);
    // Ctrl+drag draws a box to zoom into, Shift+drag marks a stretch for the leak test; a
    // plain drag pans.
    connect(m_plot, &QCustomPlot::mousePress, this, [this](QMouseEvent *event) {
        const bool box = event->modifiers() & Qt::ControlModifier;
        m_markDrag = !box && (event->modifiers() & Qt::ShiftModifier);
        m_plot->setSelectionRectMode(box || m_markDrag ? QCP::srmCustom : QCP::srmNone);
    });
    connect(m_plot->selectionRect(), &QCPSelectionRect::accepted, this,
            [this](const QRect &rect, QMouseEvent *) {
                if (m_markDrag)
                    markDragged(rect);
                else
                    boxZoom(rect);
            });

    connect(m_unitBar, &PressureUnitBar::displayUnitChanged, this, &TrendWindow::unitsChanged);
    connect(m_unitBar, &PressureUnitBar::gaugeUnitChanged, this, &TrendWindow::unitsChanged);
    connect(m_riseTest, &RiseTestPanel::resultChanged, this, &TrendWindow::drawRiseFits);
    connect(m_riseTest, &RiseTestPanel::markingStarted, this, [this] {
        const TrendStore &store = m_live.store();
        const qint64 now =
            store.isEmpty() ? QDateTime::currentMSecsSinceEpoch() : store.last().time + 1;
        m_markingLive = true;
        markStretch(now, now);
    });
    connect(m_riseTest, &RiseTestPanel::markingStopped, this, [this] {
        if (!m_markingLive)
            return;
        m_markingLive = false;
        const TrendStore &store = m_live.store();
        if (!store.isEmpty())
            m_stretchTo = std::max(m_stretchTo, store.last().time);
        updateRiseTest();
    });
    m_riseTest->setLiveRun(true);

    m_repaint.setInterval(kRepaintMs);
    m_repaint.setSingleShot(true);
    connect(&m_repaint, &QTimer::timeout, this, &TrendWindow::repaintNow);
    connect(&m_live, &LiveTrend::linesAdded, this, &TrendWindow::linesAdded);
    connect(&m_live, &LiveTrend::linkStateChanged, this, [this] {
        if (!m_recorded && !m_repaint.isActive() && isVisible())
            m_repaint.start();
    });
    updateTitle();
    showAll();
}

TrendWindow::~TrendWindow() = default;

// ---------------------------------------------------------------- recorded runs

bool TrendWindow::isReadingLog() const
{
    return m_job != nullptr;
}

void TrendWindow::openLogClicked()
{
    if (m_job)
        return;
    const QString path =
        QFileDialog::getOpenFileName(this, QStringLiteral("Log öffnen"), m_logPath,
                                     QStringLiteral("Datenaufzeichnung (*.txt);;Alle Dateien (*)"));
    if (!path.isEmpty())
        openLog(path);
}

void TrendWindow::openLog(const QString &path)
{
    if (m_job)
        return;
    m_logWarnings.clear();
    m_job = std::make_unique<LogLoadJob>(LogLoadJob::Kind::Scan, path);
    connect(m_job.get(), &LogLoadJob::finished, this, &TrendWindow::logJobFinished);
    m_openLog->setEnabled(false);
    m_readout->setText(QStringLiteral("Lese %1 …").arg(QDir::toNativeSeparators(path)));
    m_job->start();
    m_progressTimer.start();
}

void TrendWindow::showProgress()
{
    // A bar only when the reading takes long enough to wonder about.
    if (!m_job || m_job->elapsedMs() < 500)
        return;
    m_progress->setVisible(true);
    m_cancel->setVisible(true);
    m_progress->setValue(m_job->progress());
}

QString TrendWindow::runLabel(const LogRun &run)
{
    const QLocale german(QLocale::German);
    const QString when =
        !run.hasHeader ? QStringLiteral("ohne Kopfzeile")
        : run.start.isValid()
            ? QStringLiteral("vom ") + run.start.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"))
            : QStringLiteral("„%1“").arg(run.header);
    return QStringLiteral("Lauf %1 %2 (%3 Zeilen)")
        .arg(run.number)
        .arg(when, german.toString(qlonglong(run.lines)));
}

int TrendWindow::askForRun(const LogIndex &index)
{
    if (index.runs.size() == 1)
        return 0;
    QStringList items;
    for (const LogRun &run : index.runs)
        items << runLabel(run);
    bool ok = false;
    const QString chosen = QInputDialog::getItem(
        this, QStringLiteral("Log öffnen"), QStringLiteral("Welcher Lauf soll angezeigt werden?"),
        items, int(items.size()) - 1, false, &ok);
    return ok ? int(items.indexOf(chosen)) : -1;
}

void TrendWindow::logFailed(const QString &text)
{
    m_readout->setText(kHint);
    showFailureMessage(this, text);
    emit logReadingDone(false);
}

void TrendWindow::logJobFinished()
{
    m_progressTimer.stop();
    m_progress->setVisible(false);
    m_cancel->setVisible(false);
    m_openLog->setEnabled(true);
    std::unique_ptr<LogLoadJob> job = std::move(m_job);
    const QString name = QFileInfo(job->path()).fileName();

    if (job->kind() == LogLoadJob::Kind::Scan) {
        LogIndex index = job->takeScanResult();
        if (index.cancelled) {
            m_readout->setText(QStringLiteral("Lesen abgebrochen."));
            emit logReadingDone(false);
            return;
        }
        if (!index.ok) {
            logFailed(index.error);
            return;
        }
        if (index.runs.isEmpty()) {
            logFailed(QStringLiteral("Die Datei %1 enthält keine Messzeilen.").arg(name));
            return;
        }
        m_logWarnings = index.warnings;
        const int chosen = m_chooseRun ? m_chooseRun(index) : int(index.runs.size()) - 1;
        if (chosen < 0 || chosen >= index.runs.size()) {
            m_readout->setText(kHint);
            emit logReadingDone(false);
            return;
        }
        m_job =
            std::make_unique<LogLoadJob>(LogLoadJob::Kind::Load, job->path(), index.runs[chosen]);
        connect(m_job.get(), &LogLoadJob::finished, this, &TrendWindow::logJobFinished);
        m_openLog->setEnabled(false);
        m_job->start();
        m_progressTimer.start();
        return;
    }

    RecordedRun run = job->takeLoadResult();
    if (run.cancelled) {
        m_readout->setText(QStringLiteral("Lesen abgebrochen."));
        emit logReadingDone(false);
        return;
    }
    if (!run.ok || !run.store) {
        logFailed(run.error);
        return;
    }
    if (run.droppedLines > 0)
        m_logWarnings << QStringLiteral("Die ersten %1 Zeilen des Laufs passen nicht in den "
                                        "Speicher und werden nicht gezeigt.")
                             .arg(run.droppedLines);
    showRecorded(std::move(run.store), name + QStringLiteral(", ") + runLabel(run.run));
    m_readout->setText(m_logWarnings.isEmpty() ? kHint : m_logWarnings.join(QLatin1Char(' ')));
    emit logReadingDone(true);
}

const TrendStore &TrendWindow::shownStore() const
{
    return m_recorded ? *m_recorded : m_live.store();
}

double TrendWindow::keyOf(qint64 time) const
{
    return shownStore().axis() == TrendStore::Axis::WallClock ? time / 1000.0 : double(time);
}

qint64 TrendWindow::timeOf(double key) const
{
    return shownStore().axis() == TrendStore::Axis::WallClock ? qint64(std::floor(key * 1000.0))
                                                              : qint64(std::floor(key));
}

void TrendWindow::linesAdded()
{
    // Only a note: the timer draws whatever gathered meanwhile, in one go. A view of
    // hours moves by a pixel column in many seconds, so it is drawn that seldom (within
    // bounds); a view of a minute at the pace a person can follow.
    if (m_recorded || !isVisible() || m_repaint.isActive())
        return;
    const double perPixelMs = m_plot->keyAxis()->range().size() * 1000.0 /
                              std::max(1, m_plot->keyAxis()->axisRect()->width());
    m_repaint.start(int(std::clamp(perPixelMs, double(kRepaintMs), double(kSlowestRepaintMs))));
}

void TrendWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // What came while the window was closed.
    m_drawnRevision = ~quint64(0);
    repaintNow();
}

QCPRange TrendWindow::dataRange() const
{
    const TrendStore &store = shownStore();
    if (store.isEmpty()) {
        const double now = QDateTime::currentMSecsSinceEpoch() / 1000.0;
        return QCPRange(now - 60, now);
    }
    const double lo = keyOf(store.first().time);
    qint64 newest = store.last().time;
    // An answer after the last measurement is part of the run too.
    if (!store.markers().empty())
        newest = std::max(newest, store.markers().back().time);
    double hi = keyOf(newest);
    // A view of at least ten seconds (or lines) while a run begins.
    constexpr double kLeast = 10.0;
    if (hi - lo < kLeast)
        hi = lo + kLeast;
    return QCPRange(lo, hi);
}

void TrendWindow::repaintNow()
{
    m_repaint.stop();
    if (!m_recorded) {
        if (m_live.revision() == m_drawnRevision && m_follow != Follow::None)
            return;
        m_drawnRevision = m_live.revision();
        if (m_markingLive && !m_live.store().isEmpty()) {
            m_stretchTo = std::max(m_stretchTo, m_live.store().last().time);
            updateRiseTest();
        }
        const QCPRange data = dataRange();
        if (m_follow == Follow::All) {
            m_plot->keyAxis()->setRange(data);
        } else if (m_follow == Follow::Scroll) {
            // The newest line stays where the operator left it until it reaches the
            // right edge; from there on the view moves with it.
            const QCPRange view = m_plot->keyAxis()->range();
            if (data.upper > view.upper)
                m_plot->keyAxis()->setRange(view.lower + data.upper - view.upper, data.upper);
        }
    }
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void TrendWindow::showAll()
{
    m_plot->keyAxis()->setRange(dataRange());
    m_plot->setFollowPressure(true);
    m_follow = m_recorded ? Follow::None : Follow::All;
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void TrendWindow::showLive()
{
    clearStretch();
    m_riseTest->setLiveRun(true);
    m_recorded.reset();
    m_recordedTitle.clear();
    m_plot->setKeyIsTime(true);
    m_liveButton->setVisible(false);
    updateTitle();
    showAll();
}

void TrendWindow::showRecorded(std::unique_ptr<TrendStore> run, const QString &title)
{
    // A stretch of another run means nothing here.
    m_riseTest->setLiveRun(false);
    clearStretch();
    m_recorded = std::move(run);
    m_recordedTitle = title;
    m_plot->setKeyIsTime(m_recorded->axis() == TrendStore::Axis::WallClock);
    m_liveButton->setVisible(true);
    updateTitle();
    showAll();
}

void TrendWindow::updateTitle()
{
    setWindowTitle(m_recorded ? kTitle + QStringLiteral(" – ") + m_recordedTitle : kTitle);
}

void TrendWindow::userMovedView()
{
    if (m_recorded) {
        m_follow = Follow::None;
        return;
    }
    // Still showing the newest line: keep it in sight.
    const QCPRange view = m_plot->keyAxis()->range();
    const TrendStore &store = shownStore();
    const double newest = store.isEmpty() ? dataRange().upper : keyOf(store.last().time);
    // A wheel turned at the right edge leaves the newest line a hair outside: still there.
    const double slack = view.size() * 0.05;
    m_follow = view.lower <= newest && newest <= view.upper + slack ? Follow::Scroll : Follow::None;
}

void TrendWindow::boxZoom(const QRect &dragged)
{
    // The box runs from where the drag began to where it ended, in any direction.
    const QRect rect = dragged.normalized();
    if (rect.width() < 3)
        return;
    QCPAxis *key = m_plot->keyAxis();
    key->setRange(key->pixelToCoord(rect.left()), key->pixelToCoord(rect.right()));
    // A box drawn over the pressure plot also sets the pressure range.
    if (m_plot->pressureRect()->rect().contains(rect.center()) && rect.height() >= 3) {
        QCPAxis *p = m_plot->pressureAxis();
        const double lo = p->pixelToCoord(rect.bottom());
        const double hi = p->pixelToCoord(rect.top());
        if (lo > 0 && hi > lo) {
            m_plot->setFollowPressure(false);
            p->setRange(lo, hi);
        }
    }
    userMovedView();
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void TrendWindow::buildFrame(double lo, double hi, int columns, TrendFrame &out) const
{
    const TrendStore &store = shownStore();
    if (store.isEmpty() || !(hi > lo))
        return;
    const qint64 from = timeOf(lo);
    const qint64 to = std::max(from + 1, timeOf(hi) + 1);
    const std::vector<TrendColumn> cols = store.decimate(from, to, columns);

    // The polyline: per column its first value, the extremes and its last value, so that
    // a column of one sample is a point and a crowded one a vertical stroke. A NaN breaks
    // the line where the store says nothing connects.
    const double scale = displayScale();
    auto point = [&](qint64 time, float value) {
        out.keys << keyOf(time);
        out.pressures << double(value) * scale;
    };
    auto brk = [&](qint64 time) {
        if (!out.keys.isEmpty() && !std::isnan(out.pressures.constLast())) {
            out.keys << keyOf(time);
            out.pressures << kNaN;
        }
    };
    // The sample just left of the view, so the line runs in from the edge.
    const qsizetype begin = store.lowerBound(from);
    if (begin > 0)
        point(store.at(begin - 1).time, store.at(begin - 1).pressure);
    int previous = -1; // the last column with samples
    for (int c = 0; c < int(cols.size()); ++c) {
        const TrendColumn &col = cols[size_t(c)];
        if (col.count == 0)
            continue;
        if (col.gapBefore) {
            brk(col.firstTime);
        } else if (previous >= 0) {
            // Columns narrower than the time between two lines stay empty; the status of
            // the line before holds until the next one, so the rows show no false holes.
            if (previous + 1 < c) {
                const quint16 held =
                    store.at(store.upperBound(cols[size_t(previous)].lastTime) - 1).status;
                for (int e = previous + 1; e < c; ++e) {
                    out.columnFlags[size_t(e)] |= TrendFrame::HasLines;
                    out.statusOr[size_t(e)] = held;
                }
            }
        }
        previous = c;
        out.columnFlags[size_t(c)] |= TrendFrame::HasLines;
        out.statusOr[size_t(c)] = col.statusAny;
        if (col.count == 1) {
            point(col.firstTime, col.first);
            continue;
        }
        const qint64 mid = col.firstTime + (col.lastTime - col.firstTime) / 2;
        point(col.firstTime, col.first);
        point(mid, col.min);
        point(mid, col.max);
        if (col.gapInside)
            brk(mid);
        point(col.lastTime, col.last);
    }
    const qsizetype end = store.lowerBound(to);
    if (end < store.size() && !store.at(end).gapBefore())
        point(store.at(end).time, store.at(end).pressure);

    // Markers and link-watch stretches by the column they fall in.
    const double width = double(to - from) / columns;
    auto columnOf = [&](qint64 time) { return int(std::floor((time - from) / width)); };
    const auto &markers = store.markers();
    auto m = std::lower_bound(markers.begin(), markers.end(), from,
                              [](const TrendMarker &mk, qint64 t) { return mk.time < t; });
    for (; m != markers.end() && m->time < to; ++m) {
        const int c = columnOf(m->time);
        if (c >= 0 && c < columns)
            out.columnFlags[size_t(c)] |= TrendFrame::NonMeasurement;
    }
    const qint64 newest = store.isEmpty() ? to : store.last().time;
    for (const TrendInterval &iv : store.intervals()) {
        const qint64 a = iv.from;
        const qint64 b = iv.ongoing ? std::max(newest, QDateTime::currentMSecsSinceEpoch()) : iv.to;
        if (b < from || a >= to)
            continue;
        const int c0 = std::max(0, columnOf(a));
        const int c1 = std::min(columns - 1, columnOf(b));
        for (int c = c0; c <= c1; ++c)
            out.columnFlags[size_t(c)] |= TrendFrame::LinkLost;
    }
}

QString TrendWindow::readoutAt(double key) const
{
    const TrendStore &store = shownStore();
    if (store.isEmpty())
        return {};
    const qint64 t = timeOf(key);
    qsizetype i = std::min(store.lowerBound(t), store.size() - 1);
    if (i > 0 && t - store.at(i - 1).time < store.at(i).time - t)
        --i;
    const TrendSample &s = store.at(i);
    const QString when = store.axis() == TrendStore::Axis::WallClock
                             ? QDateTime::fromMSecsSinceEpoch(s.time).toString(
                                   QStringLiteral("dd.MM.yyyy HH:mm:ss,zzz"))
                             : QStringLiteral("Zeile %1").arg(s.time);
    return QStringLiteral("%1   %2   Statuswort %3")
        .arg(when, pressureForHumans(s.pressure, displayScale(), units().displayUnit()),
             QStringLiteral("%1").arg(s.status, 4, 16, QLatin1Char('0')).toUpper());
}

QString TrendWindow::readoutText() const
{
    return m_readout->text();
}

void TrendWindow::mouseMoved(QMouseEvent *event)
{
    const QString text = readoutAt(m_plot->keyAxis()->pixelToCoord(event->position().x()));
    m_readout->setText(text.isEmpty() ? kHint : text);
}

bool TrendWindow::saveCsv(const QString &path, QString *error) const
{
    const TrendStore &store = shownStore();
    const QCPRange view = m_plot->keyAxis()->range();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = TrendCsv::failureText(file.errorString());
        return false;
    }
    TrendCsvOptions options;
    options.unit.name = pressureUnitName(units().displayUnit());
    options.unit.perMbar = displayScale();
    if (!TrendCsv::write(file, store, store.range(timeOf(view.lower), timeOf(view.upper)), options,
                         error))
        return false;
    if (!file.commit()) {
        if (error)
            *error = TrendCsv::failureText(file.errorString());
        return false;
    }
    return true;
}

bool TrendWindow::savePng(const QString &path)
{
    return m_plot->savePng(path);
}

void TrendWindow::saveCsvClicked()
{
    const QString path =
        QFileDialog::getSaveFileName(this, QStringLiteral("Als CSV speichern"), QString(),
                                     QStringLiteral("CSV-Dateien (*.csv)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!saveCsv(path, &error))
        showFailureMessage(this, error);
    else
        m_readout->setText(QStringLiteral("Gespeichert: %1").arg(QDir::toNativeSeparators(path)));
}

void TrendWindow::savePngClicked()
{
    const QString path =
        QFileDialog::getSaveFileName(this, QStringLiteral("Als Bild speichern"), QString(),
                                     QStringLiteral("PNG-Bilder (*.png)"));
    if (path.isEmpty())
        return;
    if (!savePng(path))
        showFailureMessage(this, QStringLiteral("Das Bild konnte nicht geschrieben werden: %1")
                                     .arg(QDir::toNativeSeparators(path)));
    else
        m_readout->setText(QStringLiteral("Gespeichert: %1").arg(QDir::toNativeSeparators(path)));
}

const PressureUnits &TrendWindow::units() const
{
    return m_unitBar->units();
}

double TrendWindow::displayScale() const
{
    return convertPressure(1.0, units().gaugeUnit(), units().displayUnit());
}

void TrendWindow::unitsChanged()
{
    m_plot->pressureAxis()->setLabel(QStringLiteral("Druck / ") +
                                     pressureUnitName(units().displayUnit()));
    m_riseTest->setUnits(units());
    // The gauge's unit changes what the stored numbers mean: measure the stretch afresh.
    updateRiseTest();
    m_plot->setFollowPressure(true);
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void TrendWindow::markDragged(const QRect &rect)
{
    if (std::abs(rect.width()) < 3)
        return;
    QCPAxis *key = m_plot->keyAxis();
    const double a = key->pixelToCoord(rect.left());
    const double b = key->pixelToCoord(rect.right());
    m_markingLive = false;
    markStretch(timeOf(std::min(a, b)), timeOf(std::max(a, b)));
}

void TrendWindow::markStretch(qint64 from, qint64 to)
{
    m_hasStretch = true;
    m_stretchFrom = std::min(from, to);
    m_stretchTo = std::max(from, to);
    updateRiseTest();
}

void TrendWindow::clearStretch()
{
    m_hasStretch = false;
    m_markingLive = false;
    m_riseTest->clearStretch();
    m_riseOverlay->clear();
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void TrendWindow::updateRiseTest()
{
    if (!m_hasStretch)
        return;
    const TrendStore &store = shownStore();
    const TrendStretch stretch =
        trendStretch(store, m_stretchFrom, m_stretchTo, units().gaugeUnit());
    m_stretchOrigin = stretch.origin;
    m_stretchSecondsPerTime = stretch.secondsPerTime;

    QString description;
    if (store.axis() == TrendStore::Axis::WallClock) {
        const QString format = QStringLiteral("dd.MM.yyyy HH:mm:ss,zzz");
        const QString time = QStringLiteral("HH:mm:ss,zzz");
        const QDateTime a = QDateTime::fromMSecsSinceEpoch(m_stretchFrom);
        const QDateTime b = QDateTime::fromMSecsSinceEpoch(m_stretchTo);
        description = a.toString(format) + QStringLiteral(" – ") +
                      b.toString(a.date() == b.date() ? time : format);
    } else {
        description = QStringLiteral("Zeilen %1 – %2").arg(m_stretchFrom).arg(m_stretchTo);
    }
    if (m_recorded) {
        m_riseTest->setRunName(m_recordedTitle);
    } else {
        const QString start = store.isEmpty()
                                  ? QString()
                                  : QDateTime::fromMSecsSinceEpoch(store.first().time)
                                        .toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
        m_riseTest->setRunName(QStringLiteral("Laufende Messung ab %1").arg(start));
    }
    m_riseTest->setLineNumbers(store.axis() == TrendStore::Axis::LineNumber);
    m_riseOverlay->showStretch(keyOf(m_stretchFrom), keyOf(m_stretchTo));
    // The panel's result comes back through resultChanged, which draws the fits.
    m_riseTest->setStretch(stretch.rise, description);
}

void TrendWindow::drawRiseFits()
{
    if (!m_hasStretch) {
        m_riseOverlay->clear();
    } else {
        // Seconds of the fit back to keys: wall-clock keys are seconds, line keys are
        // lines, which the panel spread by the line interval the technician gave.
        const double secondsPerKey =
            shownStore().axis() == TrendStore::Axis::WallClock ? 1.0 : m_riseTest->secondsPerLine();
        m_riseOverlay->showFits(m_riseTest->result(), keyOf(m_stretchOrigin),
                                secondsPerKey > 0.0 ? 1.0 / secondsPerKey : 0.0,
                                convertPressure(1.0, UnitOfPressure::Mbar, units().displayUnit()));
    }
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

} // namespace kelmor
