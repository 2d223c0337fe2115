#include "trendstore.h"

#include "receivedline.h"

#include <algorithm>

namespace kelmor {

TrendStore::TrendStore(qsizetype capacity, Axis axis)
    : m_axis(axis),
      m_capacity(std::max<qsizetype>(kBlockSize, (capacity + kBlockMask) & ~kBlockMask))
{
    m_blocks.resize(size_t(m_capacity >> kBlockShift));
}

TrendStore::~TrendStore() = default;
TrendStore::TrendStore(TrendStore &&) noexcept = default;
TrendStore &TrendStore::operator=(TrendStore &&) noexcept = default;

TrendSample &TrendStore::slotAt(qsizetype slot)
{
    // Blocks come into being as the store first fills; afterwards they are only reused.
    std::unique_ptr<TrendSample[]> &block = m_blocks[size_t(slot >> kBlockShift)];
    if (!block)
        block = std::make_unique<TrendSample[]>(size_t(kBlockSize));
    return block[slot & kBlockMask];
}

qint64 TrendStore::nextTime(qint64 time)
{
    // Binary search needs times that never go back; a clock set back holds the axis
    // until it has caught up again.
    m_newestTime = std::max(m_newestTime, time);
    return m_newestTime;
}

qint64 TrendStore::wallTime(const ReceivedLine &line)
{
    if (!line.wallClock.isValid())
        return std::max<qint64>(m_newestTime, 0);
    // Reading a local QDateTime as ms since the epoch works out the zone each time (about
    // 0.7 us); within a second of the last reading the steady clock gives the same.
    if (m_anchorNs > 0 && line.monotonicNs >= m_anchorNs &&
        line.monotonicNs - m_anchorNs < kReanchorNs)
        return m_anchorMs + (line.monotonicNs - m_anchorNs) / 1'000'000;
    m_anchorMs = line.wallClock.toMSecsSinceEpoch();
    m_anchorNs = line.monotonicNs;
    return m_anchorMs;
}

void TrendStore::append(const ReceivedLine &line)
{
    const qint64 time = wallTime(line);
    if (line.isMeasurement)
        appendSample(time, line.pressureMbar, line.status, line.pressureText.toLatin1());
    else
        appendMarker(time, line.raw);
}

void TrendStore::appendSample(qint64 time, double pressureMbar, quint16 status,
                              QByteArrayView pressureText)
{
    const bool empty = m_size == 0;
    const qint64 previous = m_newestTime;
    time = nextTime(time);

    TrendSample sample;
    sample.time = time;
    sample.pressure =
        std::isfinite(pressureMbar) ? float(pressureMbar) : std::numeric_limits<float>::quiet_NaN();
    sample.status = status;
    const qsizetype length = std::min<qsizetype>(pressureText.size(), TrendSample::kTextCapacity);
    std::copy_n(pressureText.data(), length, sample.text);
    sample.textLength = quint8(length);
    if (pressureText.size() > length)
        sample.flags |= TrendSample::TextCut;
    // Only the time between two samples counts: a marker in between does not bridge it.
    const qint64 lastSampleTime = empty ? previous : last().time;
    if (m_gapPending || empty || (m_gapThreshold > 0 && time - lastSampleTime > m_gapThreshold))
        sample.flags |= TrendSample::GapBefore;
    m_gapPending = false;

    if (m_size < m_capacity) {
        slotAt(physical(m_size)) = sample;
        ++m_size;
    } else {
        slotAt(m_head) = sample;
        m_head = m_head + 1 == m_capacity ? 0 : m_head + 1;
        ++m_dropped;
        // What was cut off at the front leaves nothing behind it.
        TrendSample &oldest = slotAt(m_head);
        oldest.flags |= TrendSample::GapBefore;
        pruneBefore(oldest.time);
    }
}

void TrendStore::appendMarker(qint64 time, QByteArrayView text)
{
    TrendMarker marker;
    marker.time = nextTime(time);
    marker.text = text.first(std::min(text.size(), TrendMarker::kTextCapacity)).toByteArray();
    if (qsizetype(m_markers.size()) == kMarkerCapacity)
        m_markers.pop_front();
    m_markers.push_back(std::move(marker));
}

void TrendStore::setLinkState(LinkState state, qint64 time)
{
    time = nextTime(time);
    if (!m_intervals.empty() && m_intervals.back().ongoing) {
        if (m_intervals.back().state == state)
            return;
        m_intervals.back().to = time;
        m_intervals.back().ongoing = false;
    }
    if (state == LinkState::Silent || state == LinkState::LifeBitStuck) {
        if (qsizetype(m_intervals.size()) == kIntervalCapacity)
            m_intervals.pop_front();
        m_intervals.push_back({state, time, time, true});
    }
}

void TrendStore::pruneBefore(qint64 time)
{
    while (!m_markers.empty() && m_markers.front().time < time)
        m_markers.pop_front();
    while (!m_intervals.empty() && !m_intervals.front().ongoing && m_intervals.front().to < time)
        m_intervals.pop_front();
}

void TrendStore::clear()
{
    // The blocks stay: a store that was filled once is likely to be filled again.
    m_head = 0;
    m_size = 0;
    m_dropped = 0;
    m_newestTime = std::numeric_limits<qint64>::min();
    m_anchorNs = 0;
    m_gapPending = true;
    m_markers.clear();
    m_intervals.clear();
}

qsizetype TrendStore::lowerBound(qint64 time) const
{
    qsizetype low = 0;
    qsizetype count = m_size;
    while (count > 0) {
        const qsizetype step = count / 2;
        if (at(low + step).time < time) {
            low += step + 1;
            count -= step + 1;
        } else {
            count = step;
        }
    }
    return low;
}

qsizetype TrendStore::upperBound(qint64 time) const
{
    qsizetype low = 0;
    qsizetype count = m_size;
    while (count > 0) {
        const qsizetype step = count / 2;
        if (at(low + step).time <= time) {
            low += step + 1;
            count -= step + 1;
        } else {
            count = step;
        }
    }
    return low;
}

TrendRange TrendStore::range(qint64 from, qint64 to) const
{
    if (to < from)
        return {};
    const qsizetype begin = lowerBound(from);
    return {begin, std::max(begin, upperBound(to))};
}

std::vector<TrendColumn> TrendStore::decimate(qint64 from, qint64 to, int columns) const
{
    std::vector<TrendColumn> result;
    if (columns <= 0 || to <= from)
        return result;
    result.resize(size_t(columns));

    const qsizetype begin = lowerBound(from);
    const qsizetype end = lowerBound(to);
    // Column c starts at from + ceil(c * span / columns), worked out in integers so that
    // a sample exactly on a border always lands in the same column; with span = q *
    // columns + r that is c * q + ceil(c * r / columns), which cannot overflow.
    // Unsigned, so that even a span over all of qint64 cannot overflow; no column starts
    // beyond `to`, so each start fits a qint64 again.
    const quint64 span = quint64(to) - quint64(from);
    const quint64 q = span / quint64(columns);
    const quint64 r = span % quint64(columns);
    const auto columnStart = [&](qint64 c) {
        const auto k = quint64(c);
        return qint64(quint64(from) + k * q + (k * r + quint64(columns) - 1) / quint64(columns));
    };
    int c = 0;
    qint64 nextStart = columnStart(1);
    qsizetype index = begin;
    while (index < end) {
        // Walk one block at a time so the inner loop is a plain array scan.
        const qsizetype slot = physical(index);
        const TrendSample *block = m_blocks[size_t(slot >> kBlockShift)].get();
        const qsizetype offset = slot & kBlockMask;
        const qsizetype run = std::min({end - index, kBlockSize - offset, m_capacity - slot});
        for (const TrendSample *s = block + offset, *stop = s + run; s != stop; ++s) {
            while (s->time >= nextStart && c + 1 < columns)
                nextStart = columnStart(++c + 1);
            TrendColumn &column = result[size_t(c)];
            const bool readable = !std::isnan(s->pressure);
            if (column.count == 0) {
                column.gapBefore = s->gapBefore();
                column.first = s->pressure;
                column.firstTime = s->time;
                column.statusAll = s->status;
            } else if (s->gapBefore()) {
                column.gapInside = true;
            }
            ++column.count;
            if (readable) {
                if (column.readable == 0) {
                    column.min = column.max = s->pressure;
                } else {
                    column.min = std::min(column.min, s->pressure);
                    column.max = std::max(column.max, s->pressure);
                }
                ++column.readable;
            }
            column.last = s->pressure;
            column.lastTime = s->time;
            column.statusAny |= s->status;
            column.statusAll &= s->status;
        }
        index += run;
    }
    return result;
}

} // namespace kelmor
