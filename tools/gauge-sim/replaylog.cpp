#include "replaylog.h"

namespace kelmor::sim {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

bool isHeaderField(QByteArrayView field)
{
    if (field.size() < 10 || field.size() > 40)
        return false;
    for (const qsizetype i : {0, 1, 3, 4, 6, 7, 9}) {
        if (!isDigit(field.at(i)))
            return false;
    }
    return field.at(2) == '-' && field.at(5) == '-' && field.at(8) == ' ';
}

ReplayLog parseReplayLog(QByteArrayView bytes)
{
    static constexpr QByteArrayView kEnd("\"\r\n");
    ReplayLog log;
    qsizetype pos = 0;
    while (pos < bytes.size()) {
        // Search from behind the opening quote, so that an empty field's closing
        // quote is not taken for its opening one.
        const qsizetype end = bytes.indexOf(kEnd, pos + 1);
        if (end < 0) {
            log.tornTail = true;
            break;
        }
        if (bytes.at(pos) != '"') {
            ++log.malformedCount;
        } else {
            const QByteArrayView field = bytes.sliced(pos + 1, end - pos - 1);
            if (isHeaderField(field))
                ++log.headerCount;
            else
                log.fields.append(field.toByteArray());
        }
        pos = end + kEnd.size();
    }
    return log;
}

} // namespace kelmor::sim
