#pragma once

// Measuring tools for the reliability tests: the process's own memory, file descriptors
// and CPU time, the framing a correct receiver must produce, and the log's data part.

#include "logrecord.h"
#include "processprobe.h"
#include "receivebuffer.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QList>

#include <unistd.h>

// Under AddressSanitizer every scenario runs at full size (it stays well within its time
// budget), but resident memory is no measure there: freed blocks wait in the sanitizer's
// quarantine and shadow memory comes on top. Sanitized programs also start slower.
#if defined(__SANITIZE_ADDRESS__)
#define KELMOR_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KELMOR_UNDER_ASAN 1
#endif
#endif
#ifndef KELMOR_UNDER_ASAN
#define KELMOR_UNDER_ASAN 0
#endif

namespace kelmor::test {

inline constexpr bool kUnderAsan = KELMOR_UNDER_ASAN != 0;

// Resident set size in bytes, from /proc/self/statm.
inline qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().simplified().split(' ');
    if (fields.size() < 2)
        return -1;
    return fields.at(1).toLongLong() * ::sysconf(_SC_PAGESIZE);
}

// What a receiver must make of a byte stream: one line per CR, where a stretch without a
// CR that outgrew the receive bound keeps only its newest bytes. `rest` gets what still
// waits for its CR.
struct ReferenceSplit
{
    QList<QByteArray> lines;
    QByteArray rest;
};

inline ReferenceSplit referenceSplit(const QByteArray &sent)
{
    ReferenceSplit out;
    qsizetype from = 0;
    for (;;) {
        const qsizetype cr = sent.indexOf('\r', from);
        const qsizetype end = cr < 0 ? sent.size() : cr;
        const qsizetype start = qMax(from, end - ReceiveBuffer::kBound);
        QByteArray piece = sent.mid(start, end - start);
        if (cr < 0) {
            out.rest = piece;
            return out;
        }
        out.lines.append(piece);
        from = cr + 1;
    }
}

// The data records that a run over these lines must leave in the log.
inline QByteArray recordsOf(const QList<QByteArray> &lines)
{
    QByteArray out;
    for (const QByteArray &line : lines)
        out += formatRecord(line);
    return out;
}

// The log of a single run without its header record (the header holds no CR LF).
inline QByteArray dataPart(const QByteArray &log)
{
    const qsizetype end = log.indexOf("\r\n");
    return end < 0 ? QByteArray() : log.mid(end + 2);
}

// Where two byte strings first differ, for a readable failure.
inline QByteArray firstDifference(const QByteArray &actual, const QByteArray &expected)
{
    qsizetype i = 0;
    const qsizetype n = qMin(actual.size(), expected.size());
    while (i < n && actual.at(i) == expected.at(i))
        ++i;
    return QByteArray("sizes ") + QByteArray::number(actual.size()) + " and " +
           QByteArray::number(expected.size()) + ", first difference at byte " +
           QByteArray::number(i) + ": actual ..." +
           actual.mid(qMax<qsizetype>(0, i - 20), 40).toHex() + " expected ..." +
           expected.mid(qMax<qsizetype>(0, i - 20), 40).toHex();
}

} // namespace kelmor::test
