#pragma once

#include "receivebuffer.h"
#include "receivedline.h"

#include <QObject>
#include <QString>

namespace kelmor {

class ComKelmor;

// Turns what the serial component receives into lines, one signal per line.
//
// It owns the receive buffer and decides when the port is read: only while no complete
// line waits, so a gauge faster than the window is held back by the port's own bounded
// buffer instead of making this one grow. Lines that are already complete are handed
// out one per turn of the event loop, in order, whether or not the gauge sends more.
//
// lineReceived is emitted synchronously; nothing more is read from the port until
// every receiver of it has returned. Whatever a slot does (show the line, write it to
// the log) is therefore done before the next line is handled.
class Receiver : public QObject
{
    Q_OBJECT

public:
    explicit Receiver(ComKelmor &com, QObject *parent = nullptr);

    // What waits for its CR, and complete lines not yet handed out.
    const ReceiveBuffer &buffer() const { return m_rx; }

    // While a line trickles in, the receiver lets its characters gather in the driver
    // until the line should be complete: as many characters as the last whole line had
    // (with its CR), at the line's speed, and one more for good measure. A gauge's lines
    // are all about as long, so a line trickling in wakes the program about once instead
    // of every few milliseconds.
    //
    // `waiting`: characters of the unfinished line already here; `lastLineBytes`: the
    // last whole line's length with its CR, 0 while none came. Without a guess (no line
    // yet, or this one is already longer) the hold is kTrickleHoldMs.
    static int trickleHoldMs(qsizetype waiting, qsizetype lastLineBytes, qint64 characterNs);
    // Long enough for a few characters at the usual speeds, far too short to be seen.
    static constexpr int kTrickleHoldMs = 5;
    // A line shorter than its forerunner (an answer among measurements) waits at most
    // this long for characters that will not come: about a frame of the window.
    static constexpr int kLongestHoldMs = 20;

signals:
    void lineReceived(const kelmor::ReceivedLine &line);
    // The device went away while open (an unplugged adapter); the component has closed
    // the port. The text names the port and the reason, for the operator.
    void deviceFailed(const QString &germanText);
    // The component opened the failed device again by itself, with the same settings.
    void deviceReturned();
    // Another device sits where the failed one was; it was not opened. For the operator.
    void otherDeviceFound(const QString &germanText);

private:
    void onCommEvent();
    void handleReceive();
    // Takes the port's input into the buffer; true when it brought characters.
    bool appendInput();
    void holdWhileLineUnfinished(bool received);
    void postReceive();

    ComKelmor &m_com;
    ReceiveBuffer m_rx;
    bool m_receivePosted = false;
    qsizetype m_lastLineBytes = 0;
};

} // namespace kelmor
