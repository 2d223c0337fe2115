#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

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

// A run header: "dd-mm-yy", a blank and a time that begins with a digit
// ("06-12-26 14:05:09", or "06-12-26 2:05:09 PM" under an English locale).
bool isHeaderField(QByteArrayView field);

} // namespace kelmor::sim
