#pragma once

#include "gaugesimcore.h"
#include "rawpty.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

class QSocketNotifier;

namespace kelmor::sim {

// Plays the gauge on the master side of a pseudo-terminal; the monitor opens the slave.
class PtyGauge : public QObject
{
    Q_OBJECT

public:
    // Output waiting for a reader beyond this is dropped line by line, as a gauge's
    // bytes are lost on a line that nobody listens to.
    static constexpr qsizetype kMaxPending = 8192;

    PtyGauge(SimOptions options, int intervalMs, QObject *parent = nullptr);
    ~PtyGauge() override;

    // Starts playing the gauge on the pair opened with this object; the slave stays
    // open for the whole run, so the monitor can open and close the device as often as
    // it likes without the line hanging up.
    bool open(QString *error);
    QString slavePath() const { return QString::fromLocal8Bit(m_pty.slavePath()); }
    // Appends every byte that reaches the terminal to the file at `path`, as it goes: a
    // record of what the gauge really sent that survives the simulator being killed.
    bool recordSentTo(const QString &path, QString *error);

private:
    void readMaster();
    void tick();
    void send(const QByteArray &bytes);
    void flushPending();

    GaugeSimCore m_core;
    QElapsedTimer m_clock;
    QTimer m_streamTimer;
    QTimer m_readRetry;
    tools::RawPty m_pty;
    int m_sentLog = -1;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QByteArray m_pending;
};

} // namespace kelmor::sim
