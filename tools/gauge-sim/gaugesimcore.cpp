#include "gaugesimcore.h"

#include <utility>

namespace kelmor::sim {

GaugeSimCore::GaugeSimCore(SimOptions options)
    : m_options(std::move(options)),
      m_curve(m_options.pumpDownSeconds, m_options.seed, m_options.rise)
{
}

QByteArray GaugeSimCore::receive(QByteArrayView bytes)
{
    QByteArray out;
    for (const QByteArray &raw : m_reader.feed(bytes))
        out += answer(parseCommand(raw));
    return out;
}

QByteArray GaugeSimCore::answer(const Command &command)
{
    switch (command.kind) {
    case CommandKind::Empty:
        return {};
    case CommandKind::StreamOn:
        if (!m_streaming) {
            m_streaming = true;
            m_replayIndex = 0;
        }
        return {};
    case CommandKind::StreamOff:
        m_streaming = false;
        return {};
    case CommandKind::SetControl:
        m_status.setControlWord(command.controlWord);
        return buildAnswerLine(kControlAnswer, m_options.lineEnd);
    case CommandKind::Version:
        return buildAnswerLine(kVersionAnswer, m_options.lineEnd);
    case CommandKind::Unknown:
        break;
    }
    // Echo printable ASCII only, so the error line stays a clean line.
    QByteArray echo = command.text.left(kMaxEchoLength);
    for (char &c : echo) {
        if (c < 0x20 || c > 0x7E)
            c = '?';
    }
    return buildAnswerLine(kErrorPrefix.toByteArray() + echo, m_options.lineEnd);
}

QByteArray GaugeSimCore::nextStreamLine(double elapsedSeconds)
{
    if (!m_options.replayFields.isEmpty()) {
        // A logged field is the line exactly as received, LF of a CR LF gauge included:
        // only its CR was cut off.
        if (m_replayIndex >= m_options.replayFields.size())
            m_replayIndex = 0;
        return m_options.replayFields.at(m_replayIndex++) + '\r';
    }
    const double pressure = m_curve.sample(elapsedSeconds);
    const GaugeReport report = m_status.nextLine(pressure);
    return buildMeasurementLine(++m_lineCounter, pressure, report, m_status.controlWord(),
                                m_options.lineEnd);
}

} // namespace kelmor::sim
