#include "receivebuffer.h"

namespace kelmor {

namespace {

constexpr char kLineEnd = '\r';

// 0-based start and length of the two fields the window reads (positions 4..11 and
// 47..51 counted from 1 at the buffer's first byte).
constexpr qsizetype kPressureStart = 3;
constexpr qsizetype kPressureLength = 8;
constexpr qsizetype kStatusStart = 46;
constexpr qsizetype kStatusLength = 5;

} // namespace

void ReceiveBuffer::append(QByteArrayView chunk)
{
    qsizetype pos = 0;
    while (pos < chunk.size()) {
        const qsizetype cr = chunk.indexOf(kLineEnd, pos);
        const qsizetype end = cr < 0 ? chunk.size() : cr;
        appendToOpenLine(chunk.sliced(pos, end - pos));
        if (cr < 0)
            return;
        if (m_firstCr < 0)
            m_firstCr = m_data.size();
        m_data.append(kLineEnd);
        m_openLineStart = m_data.size();
        pos = cr + 1;
    }
}

void ReceiveBuffer::appendToOpenLine(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return;
    // A sender that never ends its line must not make the buffer grow without end; only
    // the newest bytes can still become part of a line worth showing. Holding every
    // line to the same bound, however the bytes were cut into reads, keeps what is
    // shown and logged independent of the line's timing.
    const qsizetype open = m_data.size() - m_openLineStart;
    if (open + bytes.size() > kBound) {
        if (bytes.size() >= kBound) {
            m_data.truncate(m_openLineStart);
            m_data.append(bytes.last(kBound));
            return;
        }
        m_data.remove(m_openLineStart, open + bytes.size() - kBound);
    }
    m_data.append(bytes);
}

bool ReceiveBuffer::hasLine() const
{
    return m_firstCr >= 0;
}

std::optional<AnswerLine> ReceiveBuffer::takeLine()
{
    if (m_firstCr < 0)
        return std::nullopt;

    // Both fields are cut from the buffer, not from the line: they may reach past the
    // CR into whatever has already arrived behind it.
    AnswerLine answer;
    answer.line = m_data.first(m_firstCr);
    answer.statusField = m_data.mid(kStatusStart, kStatusLength);
    answer.pressureField = m_data.mid(kPressureStart, kPressureLength);

    m_data.remove(0, m_firstCr + 1);
    m_openLineStart -= m_firstCr + 1;
    m_firstCr = m_data.indexOf(kLineEnd);
    return answer;
}

QByteArray pressureText(QByteArrayView pressureField)
{
    const qsizetype tab = pressureField.indexOf('\t');
    return (tab < 0 ? pressureField : pressureField.first(tab)).toByteArray();
}

} // namespace kelmor
