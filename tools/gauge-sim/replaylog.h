#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include "logrecord.h"

namespace kelmor::sim {

// The data records of a data log written by the monitor, to be played back as the
// gauge's lines. A record is '"' + field + '"' + CR LF; fields are not escaped and may
// contain double quotes or begin with the LF of a CR LF gauge, but never a CR, so a
// record ends at the first '"' CR LF after its opening quote.
struct ReplayLog
{
    QList<QByteArray> fields; // the data fields, in file order
    int headerCount = 0;      // run headers skipped
    int malformedCount = 0;   // records without their opening quote, skipped
    bool tornTail = false;    // the file ended inside a record, which was dropped
};

ReplayLog parseReplayLog(QByteArrayView bytes);

using kelmor::isHeaderField;

} // namespace kelmor::sim
