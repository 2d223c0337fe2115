#pragma once

#include "linkstate.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

#include <cmath>
#include <deque>
#include <limits>
#include <memory>
#include <vector>

namespace kelmor {

struct ReceivedLine;

// One measurement line as the trend keeps it: 24 bytes, so that a whole shift fits.
struct TrendSample
{
    static constexpr int kTextCapacity = 8; // the pressure field is eight characters wide

    // Wall-clock time in ms since the epoch (UTC) for a live run, the line number for a
    // recorded one. Never smaller than the time of the sample before it.
    qint64 time = 0;
    float pressure = std::numeric_limits<float>::quiet_NaN(); // mbar; NaN when unreadable
    quint16 status = 0;
    quint8 flags = 0;
    quint8 textLength = 0;
    char text[kTextCapacity] = {}; // the pressure text as received, Latin-1

    enum Flag : quint8 {
        // Nothing connects this sample to the one before it: the first sample, the first
        // after monitoring stopped or the port closed, or after a stretch without lines.
        GapBefore = 0x01,
        // The pressure text was longer than kTextCapacity and is cut.
        TextCut = 0x02,
    };

    bool gapBefore() const { return flags & GapBefore; }
    bool hasPressure() const { return !std::isnan(pressure); }
    QByteArrayView pressureText() const { return QByteArrayView(text, textLength); }
};

// A line that is not a measurement (an answer such as "RV"), marked on the time axis.
struct TrendMarker
{
    static constexpr qsizetype kTextCapacity = 80; // longer answers are cut

    qint64 time = 0;
    QByteArray text;
};

// A stretch in which the link watch saw trouble.
struct TrendInterval
{
    LinkState state = LinkState::Silent; // Silent or LifeBitStuck
    qint64 from = 0;
    qint64 to = 0;        // equal to `from` while ongoing
    bool ongoing = false; // not over yet: draw it up to the newest data
};

// Samples [begin, end) by index, 0 being the oldest sample kept.
struct TrendRange
{
    qsizetype begin = 0;
    qsizetype end = 0;
    qsizetype size() const { return end - begin; }
    bool isEmpty() const { return end <= begin; }
};

// What one pixel column of a plot holds, so that any number of samples draws in time
// proportional to the plot's width.
struct TrendColumn
{
    qsizetype count = 0;    // samples in the column; 0: nothing to draw
    qsizetype readable = 0; // of those, samples with a pressure
    float min = std::numeric_limits<float>::quiet_NaN(); // over the readable pressures
    float max = std::numeric_limits<float>::quiet_NaN();
    float first = std::numeric_limits<float>::quiet_NaN(); // of the column's first sample
    float last = std::numeric_limits<float>::quiet_NaN();  // of its last sample
    qint64 firstTime = 0;
    qint64 lastTime = 0;
    quint16 statusAny = 0; // bits set in at least one sample
    quint16 statusAll = 0; // bits set in every sample
    // Do not connect this column to the previous non-empty one: its first sample follows
    // a gap. A gap between two samples of the same column sets gapInside.
    bool gapBefore = false;
    bool gapInside = false;
};

// Every measurement line of the program's life, up to a capacity beyond which the oldest
// go first. Appending never copies what is stored: samples live in fixed blocks that are
// allocated as the store first fills and then reused as a ring, so a line costs the same
// at the tenth sample and at the two-millionth. Used on one thread.
class TrendStore
{
public:
    enum class Axis { WallClock, LineNumber };

    static constexpr qsizetype kDefaultCapacity = qsizetype(1) << 21; // 2,097,152 lines
    static constexpr qint64 kDefaultGapMs = 2000;
    static constexpr qsizetype kMarkerCapacity = 65536;
    static constexpr qsizetype kIntervalCapacity = 65536;

    explicit TrendStore(qsizetype capacity = kDefaultCapacity, Axis axis = Axis::WallClock);
    ~TrendStore();
    TrendStore(const TrendStore &) = delete;
    TrendStore &operator=(const TrendStore &) = delete;
    TrendStore(TrendStore &&) noexcept;
    TrendStore &operator=(TrendStore &&) noexcept;

    Axis axis() const { return m_axis; }
    qsizetype capacity() const { return m_capacity; } // at least the capacity asked for

    // A measurement line becomes a sample, any other line a marker. Its time is the
    // line's wall clock, held back to the newest time stored if the clock went back; the
    // wall clock is read once a second and the steady clock (monotonicNs, when set) gives
    // the milliseconds in between.
    void append(const ReceivedLine &line);

    // A sample as it stands (also for recorded runs: time is then the line number).
    void appendSample(qint64 time, double pressureMbar, quint16 status,
                      QByteArrayView pressureText);
    void appendMarker(qint64 time, QByteArrayView text);

    // The next sample starts a new stretch: monitoring stopped, the port closed or failed.
    void markGap() { m_gapPending = true; }
    // Samples further apart than this are not connected either (0 turns it off).
    void setGapThreshold(qint64 gap) { m_gapThreshold = gap; }
    qint64 gapThreshold() const { return m_gapThreshold; }

    // The link watch's state from `time` on; Silent and LifeBitStuck open an interval,
    // any other state closes the open one.
    void setLinkState(LinkState state, qint64 time);

    void clear();

    qsizetype size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    // Samples dropped so far to make room: sample i was the (dropped() + i)-th appended.
    qint64 dropped() const { return m_dropped; }

    const TrendSample &at(qsizetype index) const
    {
        const qsizetype slot = physical(index);
        return m_blocks[size_t(slot >> kBlockShift)][slot & kBlockMask];
    }
    const TrendSample &first() const { return at(0); }
    const TrendSample &last() const { return at(m_size - 1); }

    // Index of the first sample whose time is not less than `time` (size() if none).
    qsizetype lowerBound(qint64 time) const;
    // Index of the first sample whose time is greater than `time` (size() if none).
    qsizetype upperBound(qint64 time) const;
    // The samples with from <= time <= to.
    TrendRange range(qint64 from, qint64 to) const;

    // The samples with from <= time < to, cut into `columns` columns of equal width.
    std::vector<TrendColumn> decimate(qint64 from, qint64 to, int columns) const;

    const std::deque<TrendMarker> &markers() const { return m_markers; }
    const std::deque<TrendInterval> &intervals() const { return m_intervals; }

private:
    static constexpr int kBlockShift = 16;
    static constexpr qsizetype kBlockSize = qsizetype(1) << kBlockShift;
    static constexpr qsizetype kBlockMask = kBlockSize - 1;
    static constexpr qint64 kReanchorNs = 1'000'000'000;

    qsizetype physical(qsizetype index) const
    {
        const qsizetype slot = m_head + index;
        return slot < m_capacity ? slot : slot - m_capacity;
    }
    TrendSample &slotAt(qsizetype slot);
    qint64 nextTime(qint64 time);
    qint64 wallTime(const ReceivedLine &line);
    void pruneBefore(qint64 time);

    Axis m_axis = Axis::WallClock;
    qsizetype m_capacity = 0;
    std::vector<std::unique_ptr<TrendSample[]>> m_blocks;
    qsizetype m_head = 0; // slot of the oldest sample
    qsizetype m_size = 0;
    qint64 m_dropped = 0;
    qint64 m_newestTime = std::numeric_limits<qint64>::min();
    qint64 m_anchorMs = 0; // a line's wall clock as read ...
    qint64 m_anchorNs = 0; // ... and its steady clock; 0: read the next line's
    qint64 m_gapThreshold = kDefaultGapMs;
    bool m_gapPending = true;
    std::deque<TrendMarker> m_markers;
    std::deque<TrendInterval> m_intervals;
};

} // namespace kelmor
