#include "replaylog.h"

namespace kelmor::sim {

ReplayLog parseReplayLog(QByteArrayView bytes)
{
    ReplayLog log;
    qsizetype pos = 0;
    while (pos < bytes.size()) {
        const std::optional<LogRecordSpan> record = nextLogRecord(bytes, pos);
        if (!record) {
            log.tornTail = true;
            break;
        }
        if (!record->quoted) {
            ++log.malformedCount;
        } else {
            const QByteArrayView field =
                bytes.sliced(record->fieldBegin, record->fieldEnd - record->fieldBegin);
            if (isHeaderField(field))
                ++log.headerCount;
            else
                log.fields.append(field.toByteArray());
        }
        pos = record->next;
    }
    return log;
}

} // namespace kelmor::sim
