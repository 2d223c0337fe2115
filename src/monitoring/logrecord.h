#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QLocale>
#include <QString>

#include <optional>

namespace kelmor {

// A log record: a double quote, the field's bytes unchanged, a double quote, CR, LF.
QByteArray formatRecord(QByteArrayView field);

// Where a record that starts at `pos` ends. Fields are not escaped and may hold double
// quotes or begin with the LF of a CR LF gauge, but never a CR, so a record ends at the
// first '"' CR LF behind its opening quote.
struct LogRecordSpan
{
    qsizetype begin = 0; // first byte of the record
    qsizetype next = 0;  // first byte behind its CR LF
    bool quoted = false; // it begins with its opening quote; otherwise it is malformed
    // The field between the quotes (empty for a malformed record).
    qsizetype fieldBegin = 0;
    qsizetype fieldEnd = 0;
};

// The record at `pos` of `bytes`, or nothing when the bytes end before its closing
// '"' CR LF (a torn record, or pos at the end). Reads nothing outside [pos, size).
std::optional<LogRecordSpan> nextLogRecord(QByteArrayView bytes, qsizetype pos);

// A run's header field: "dd-mm-yy", a blank and a time in the locale's long format,
// which holds a digit ("06-12-26 14:05:09", or "06-12-26 2:05:09 PM" under an English
// locale).
bool isHeaderField(QByteArrayView field);

// The header field of a run: the date as dd-mm-yy, one blank, and the time in the
// locale's long time format with any time-zone part dropped ("06-12-26 14:05:09").
QString formatHeaderField(const QDateTime &now, const QLocale &locale);

// The locale's long time format without its time-zone part ("HH:mm:ss t" -> "HH:mm:ss").
QString longTimeFormatWithoutZone(const QLocale &locale);

// A time format (QDateTime::toString syntax) without its time-zone part: every unquoted
// run of 't' goes, with the blanks beside it and brackets directly around it.
QString timeFormatWithoutZone(const QString &format);

// Text as the bytes of a record, one byte per character: Latin-1 as it is, digits of
// other scripts as ASCII digits, other blanks as a plain blank, anything else as '?'.
QByteArray toRecordBytes(const QString &text);

} // namespace kelmor
