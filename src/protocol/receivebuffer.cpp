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
    if (chunk.isEmpty())
        return;

    if (m_firstCr < 0) {
        const qsizetype crInChunk = chunk.indexOf(kLineEnd);
        if (crInChunk >= 0) {
            m_firstCr = m_data.size() + crInChunk;
        } else if (m_data.size() + chunk.size() > kBound) {
            // A sender that never ends its line must not make the buffer grow without
            // end; only the newest bytes can still become part of a line worth showing.
            if (chunk.size() >= kBound) {
                m_data = chunk.last(kBound).toByteArray();
                return;
            }
            m_data.remove(0, m_data.size() + chunk.size() - kBound);
        }
    }
    m_data.append(chunk);
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
    m_firstCr = m_data.indexOf(kLineEnd);
    // A chunk that completed a line may have brought a long stretch without CR behind
    // it; once that stretch is all that waits, the bound holds for it too.
    if (m_firstCr < 0 && m_data.size() > kBound)
        m_data.remove(0, m_data.size() - kBound);
    return answer;
}

QByteArray pressureText(QByteArrayView pressureField)
{
    const qsizetype tab = pressureField.indexOf('\t');
    return (tab < 0 ? pressureField : pressureField.first(tab)).toByteArray();
}

} // namespace kelmor
