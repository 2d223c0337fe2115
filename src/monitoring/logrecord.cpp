#include "logrecord.h"

#include <QChar>

#include <algorithm>
#include <cstring>
#include <vector>

namespace kelmor {

QByteArray formatRecord(QByteArrayView field)
{
    QByteArray record;
    record.reserve(field.size() + 4);
    record.append('"');
    record.append(field);
    record.append("\"\r\n");
    return record;
}

std::optional<LogRecordSpan> nextLogRecord(QByteArrayView bytes, qsizetype pos)
{
    // The closing quote comes at pos + 1 at the earliest (an empty field), so its CR at
    // pos + 2; searching for the CR alone lets memchr do the walking.
    const char *const data = bytes.data();
    const qsizetype size = bytes.size();
    for (qsizetype cr = pos + 2; cr + 1 < size;) {
        const void *found = std::memchr(data + cr, '\r', size_t(size - 1 - cr));
        if (!found)
            break;
        cr = static_cast<const char *>(found) - data;
        if (data[cr - 1] == '"' && data[cr + 1] == '\n') {
            LogRecordSpan span;
            span.begin = pos;
            span.next = cr + 2;
            span.quoted = data[pos] == '"';
            if (span.quoted) {
                span.fieldBegin = pos + 1;
                span.fieldEnd = cr - 1;
            } else {
                span.fieldBegin = span.fieldEnd = pos;
            }
            return span;
        }
        ++cr;
    }
    return std::nullopt;
}

bool isHeaderField(QByteArrayView field)
{
    if (field.size() < 10 || field.size() > 40)
        return false;
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    for (const qsizetype i : {0, 1, 3, 4, 6, 7}) {
        if (!digit(field.at(i)))
            return false;
    }
    // Some locales put a word before the time ("上午2:05:09", written as "??2:05:09"):
    // the time only has to hold a digit somewhere.
    return field.at(2) == '-' && field.at(5) == '-' && field.at(8) == ' ' &&
           std::any_of(field.begin() + 9, field.end(), digit);
}

namespace {

struct FormatToken
{
    enum Kind { Quoted, Blank, Zone, Other };
    Kind kind = Other;
    QString text;
};

std::vector<FormatToken> tokenize(const QString &format)
{
    std::vector<FormatToken> tokens;
    const qsizetype n = format.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = format.at(i);
        qsizetype j = i + 1;
        FormatToken::Kind kind = FormatToken::Other;
        if (c == u'\'') {
            // Quoted text runs to the next single quote; two quotes in a row are one
            // literal quote and do not end it.
            kind = FormatToken::Quoted;
            while (j < n) {
                if (format.at(j) == u'\'') {
                    if (j + 1 < n && format.at(j + 1) == u'\'') {
                        j += 2;
                        continue;
                    }
                    ++j;
                    break;
                }
                ++j;
            }
        } else if (c == u't') {
            kind = FormatToken::Zone;
            while (j < n && format.at(j) == u't')
                ++j;
        } else if (c.isSpace()) {
            kind = FormatToken::Blank;
            while (j < n && format.at(j).isSpace())
                ++j;
        }
        tokens.push_back({kind, format.mid(i, j - i)});
        i = j;
    }
    return tokens;
}

bool isOther(const std::vector<FormatToken> &tokens, qsizetype index, QChar c)
{
    return index >= 0 && index < qsizetype(tokens.size()) &&
           tokens[size_t(index)].kind == FormatToken::Other && tokens[size_t(index)].text == c;
}

bool isBlank(const std::vector<FormatToken> &tokens, qsizetype index)
{
    return index >= 0 && index < qsizetype(tokens.size()) &&
           tokens[size_t(index)].kind == FormatToken::Blank;
}

} // namespace

QString timeFormatWithoutZone(const QString &format)
{
    std::vector<FormatToken> tokens = tokenize(format);

    for (;;) {
        qsizetype first = -1;
        for (size_t k = 0; k < tokens.size(); ++k) {
            if (tokens[k].kind == FormatToken::Zone) {
                first = qsizetype(k);
                break;
            }
        }
        if (first < 0)
            break;
        qsizetype last = first;
        // "(t)" would leave empty brackets behind.
        if (isOther(tokens, first - 1, u'(') && isOther(tokens, last + 1, u')')) {
            --first;
            ++last;
        }
        const bool blankBefore = isBlank(tokens, first - 1);
        const bool blankAfter = isBlank(tokens, last + 1);
        if (blankBefore)
            --first;
        if (blankAfter)
            ++last;
        // A zone between two parts ("h:mm t AP") must not glue them together.
        const bool keepOneBlank =
            blankBefore && blankAfter && first > 0 && last + 1 < qsizetype(tokens.size());
        const auto from = tokens.begin() + first;
        const auto to = tokens.begin() + last + 1;
        if (keepOneBlank) {
            FormatToken blank = *from;
            tokens.insert(tokens.erase(from, to), blank);
        } else {
            tokens.erase(from, to);
        }
    }

    while (!tokens.empty() && tokens.front().kind == FormatToken::Blank)
        tokens.erase(tokens.begin());
    while (!tokens.empty() && tokens.back().kind == FormatToken::Blank)
        tokens.pop_back();

    QString result;
    for (const FormatToken &token : tokens)
        result += token.text;
    return result;
}

QString longTimeFormatWithoutZone(const QLocale &locale)
{
    return timeFormatWithoutZone(locale.timeFormat(QLocale::LongFormat));
}

QString formatHeaderField(const QDateTime &now, const QLocale &locale)
{
    // The time is taken as the QDateTime holds it, in its own zone or offset, and the
    // locale is the one passed in: nothing of the process's environment leaks in.
    return locale.toString(now.date(), QStringLiteral("dd-MM-yy")) + QLatin1Char(' ') +
           locale.toString(now.time(), longTimeFormatWithoutZone(locale));
}

QByteArray toRecordBytes(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const char32_t ucs : text.toUcs4()) {
        if (ucs < 0x100) {
            bytes.append(char(ucs));
        } else if (const int digit = QChar::digitValue(ucs); digit >= 0 && digit <= 9) {
            bytes.append(char('0' + digit));
        } else if (QChar::isSpace(ucs)) {
            bytes.append(' ');
        } else {
            bytes.append('?');
        }
    }
    return bytes;
}

} // namespace kelmor
