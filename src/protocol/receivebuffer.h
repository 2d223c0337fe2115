#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

namespace kelmor {

// One answer line cut from the receive buffer, with the two fields the window reads.
struct AnswerLine
{
    QByteArray line;          // the characters before the first CR, without it
    QByteArray statusField;   // buffer positions 47..51 (1-based), fewer or none where it ends
    QByteArray pressureField; // buffer positions 4..11 (1-based), fewer where it ends
    // True when the status field is not empty: decode it and show the pressure.
    bool isMeasurement() const { return !statusField.isEmpty(); }
};

// Collects received bytes until a carriage return completes a line.
//
// Each byte is one character. The fields are cut from the buffer by position, not from
// the line, so a short line's fields may reach past its CR into what follows.
class ReceiveBuffer
{
public:
    // Upper bound on a line: on the buffer while it holds no complete line, and on each
    // line waiting in it.
    static constexpr qsizetype kBound = 65536;

    // Appends a chunk. A line that would grow beyond kBound keeps only its newest kBound
    // bytes, however the bytes were cut into chunks; in particular a buffer without a CR
    // never exceeds kBound.
    void append(QByteArrayView chunk);

    bool hasLine() const;

    // Cuts the first complete line with its fields and removes it and its CR from the
    // buffer; nothing when no CR is waiting.
    std::optional<AnswerLine> takeLine();

    // Forgets the characters of a line still waiting for its CR, keeping complete lines:
    // after the line broke off (the device failed), what comes next starts a new line and
    // must not be glued to the remains of the old one.
    void dropOpenLine() { m_data.truncate(m_openLineStart); }

    const QByteArray &data() const { return m_data; }
    qsizetype size() const { return m_data.size(); }

private:
    // Taking a line removes it from the front of m_data; Qt 6 does that by moving the
    // array's begin pointer (no copy), and a later append reuses the freed front space
    // once it needs room, so a large chunk taken line by line costs linear time.
    QByteArray m_data;
    // Index of the first CR in m_data, -1 while there is none: appends then only scan
    // the new chunk, which keeps byte-by-byte appends to a long partial line linear.
    qsizetype m_firstCr = -1;
    // Where the line still open (behind the last CR) starts in m_data.
    qsizetype m_openLineStart = 0;

    void appendToOpenLine(QByteArrayView bytes);
};

// The pressure text: the field up to, not including, its first tab.
QByteArray pressureText(QByteArrayView pressureField);

} // namespace kelmor
