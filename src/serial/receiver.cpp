#include "receiver.h"

#include "comkelmor.h"

#include <QDeadlineTimer>

#include <algorithm>

namespace kelmor {

Receiver::Receiver(ComKelmor &com, QObject *parent) : QObject(parent), m_com(com)
{
    connect(&m_com, &ComKelmor::commEventRaised, this, &Receiver::onCommEvent);
}

void Receiver::onCommEvent()
{
    switch (m_com.commEvent()) {
    case ComEvReceive:
        handleReceive();
        break;
    case ComEvDeviceFailed:
        // What the device delivered before it failed is all there will be of its last
        // line: the whole lines are still handed out, the broken one goes, so that the
        // first line after a reconnect is not glued to it.
        m_rx.append(m_com.input());
        m_rx.dropOpenLine();
        if (m_rx.hasLine())
            postReceive();
        emit deviceFailed(m_com.lastDeviceError().description);
        break;
    case ComEvReconnected:
        emit deviceReturned();
        break;
    case ComEvOtherDevice:
        emit otherDeviceFound(m_com.otherDeviceText());
        break;
    default:
        break;
    }
}

void Receiver::postReceive()
{
    if (m_receivePosted)
        return;
    m_receivePosted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_receivePosted = false;
            handleReceive();
        },
        Qt::QueuedConnection);
}

bool Receiver::appendInput()
{
    // Characters are taken from the port only while no complete line waits: otherwise a
    // sender faster than one line per event would make the buffer grow without end. The
    // port's own bounded buffer holds back the rest, and the sender waits.
    if (m_rx.hasLine())
        return false;
    const QByteArray input = m_com.input();
    m_rx.append(input);
    return !input.isEmpty();
}

void Receiver::holdWhileLineUnfinished(bool received)
{
    // A line arriving character by character cannot be shown before its CR: let the
    // characters gather for a moment rather than wake for each one.
    if (received && !m_rx.hasLine() && m_rx.size() > 0)
        m_com.holdReceive(trickleHoldMs(m_rx.size(), m_lastLineBytes, m_com.characterNs()));
}

int Receiver::trickleHoldMs(qsizetype waiting, qsizetype lastLineBytes, qint64 characterNs)
{
    if (waiting >= lastLineBytes || characterNs <= 0)
        return kTrickleHoldMs;
    // One character more than missing: a CR LF or a line one longer still comes in time.
    const qint64 ns = (lastLineBytes - waiting + 1) * characterNs;
    return int(std::clamp<qint64>((ns + 999'999) / 1'000'000, 1, kLongestHoldMs));
}

void Receiver::handleReceive()
{
    const bool received = appendInput();
    std::optional<AnswerLine> answer = m_rx.takeLine();
    if (!answer) {
        holdWhileLineUnfinished(received);
        return;
    }
    m_lastLineBytes = answer->line.size() + 1;
    ReceivedLine line = decodeAnswerLine(*answer);
    // QElapsedTimer's clock, so consumers can compare with their own timers.
    line.monotonicNs = QDeadlineTimer::current(Qt::PreciseTimer).deadlineNSecs();
    // In UTC: the local time would read the system's time zone file for every line, and
    // the consumers convert only what they show or write.
    line.wallClock = QDateTime::currentDateTimeUtc();
    emit lineReceived(line);

    // Lines that are already complete must not wait for the gauge's next characters,
    // nor characters that were held back while this line waited. What is left is the
    // start of a new line, also when it came in the same read as this one's end.
    appendInput();
    if (m_rx.hasLine())
        postReceive();
    else
        holdWhileLineUnfinished(true);
}

} // namespace kelmor
