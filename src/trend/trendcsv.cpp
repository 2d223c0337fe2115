#include "trendcsv.h"

#include "statusbits.h"

#include <QDateTime>
#include <QFileDevice>
#include <QIODevice>

namespace kelmor {

namespace {

constexpr qsizetype kChunk = 256 * 1024;
constexpr qsizetype kProgressEvery = 16384;

void appendField(QByteArray &out, QByteArrayView latin1)
{
    // Quotes only where a spreadsheet would otherwise split or join fields.
    bool quote = false;
    for (const char c : latin1)
        quote = quote || c == ';' || c == '"' || c == '\r' || c == '\n';
    if (quote)
        out += '"';
    for (const char c : latin1) {
        if (c == '"')
            out += '"';
        if (quint8(c) < 0x80) {
            out += c;
        } else {
            out += char(0xC0 | (quint8(c) >> 6));
            out += char(0x80 | (quint8(c) & 0x3F));
        }
    }
    if (quote)
        out += '"';
}

void appendDecimal(QByteArray &out, double value)
{
    // Seven significant digits hold what a float keeps; the C locale's point becomes the
    // comma a German spreadsheet reads as a number.
    QByteArray text = QByteArray::number(value, 'g', 7);
    text.replace('.', ',');
    out += text;
}

// Date and time of a sample; the part up to the second is formatted once per second.
class TimeText
{
public:
    explicit TimeText(const QTimeZone &zone) : m_zone(zone) {}

    void append(QByteArray &out, qint64 ms)
    {
        const qint64 second = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
        if (second != m_second || m_prefix.isEmpty()) {
            m_second = second;
            m_prefix = QDateTime::fromMSecsSinceEpoch(second * 1000, m_zone)
                           .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"))
                           .toLatin1();
        }
        out += m_prefix;
        char milli[5];
        const int m = int(ms - second * 1000);
        milli[0] = '.';
        milli[1] = char('0' + m / 100);
        milli[2] = char('0' + m / 10 % 10);
        milli[3] = char('0' + m % 10);
        milli[4] = 0;
        out += milli;
    }

private:
    QTimeZone m_zone;
    qint64 m_second = 0;
    QByteArray m_prefix;
};

void appendRow(QByteArray &out, const TrendSample &s, qint64 firstTime, TrendStore::Axis axis,
               double perMbar, TimeText &time)
{
    if (axis == TrendStore::Axis::LineNumber) {
        out += QByteArray::number(s.time);
    } else {
        time.append(out, s.time);
        out += ';';
        const qint64 since = s.time - firstTime; // never negative: times do not go back
        out += QByteArray::number(since / 1000);
        out += ',';
        const int milli = int(since % 1000);
        out += char('0' + milli / 100);
        out += char('0' + milli / 10 % 10);
        out += char('0' + milli % 10);
    }
    out += ';';
    if (s.hasPressure())
        appendDecimal(out, double(s.pressure) * perMbar);
    out += ';';
    appendField(out, s.pressureText());
    out += ';';
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const int shift : {12, 8, 4, 0})
        out += kHex[(s.status >> shift) & 0xF];
    for (int bit = 0; bit < 16; ++bit) {
        out += ';';
        out += (s.status >> bit) & 1 ? '1' : '0';
    }
    out += "\r\n";
}

bool writeAll(QIODevice &device, QByteArray &chunk, QString *error)
{
    const qint64 written = device.write(chunk);
    if (written != chunk.size()) {
        if (error)
            *error = TrendCsv::failureText(device.errorString());
        return false;
    }
    chunk.clear();
    return true;
}

} // namespace

QString TrendCsv::failureText(const QString &reason)
{
    return QStringLiteral("Die CSV-Datei konnte nicht geschrieben werden. (Systemmeldung: %1)")
        .arg(reason.isEmpty() ? QStringLiteral("unbekannter Fehler") : reason);
}

QByteArray TrendCsv::headerLine(TrendStore::Axis axis, const PressureUnit &unit)
{
    QByteArray line;
    if (axis == TrendStore::Axis::LineNumber)
        line += "Zeile";
    else
        line += "Datum und Uhrzeit;Sekunden seit erster Zeile";
    line += ";Druck [";
    appendField(line, unit.name.toUtf8()); // a unit name is ASCII in practice
    line += "];Druckfeld;Statuswort";
    for (const StatusBitName &bit : kStatusBitNames) {
        line += ';';
        line += bit.caption;
    }
    line += "\r\n";
    return line;
}

bool TrendCsv::write(QIODevice &device, const TrendStore &store, TrendRange range,
                     const TrendCsvOptions &options, QString *error)
{
    range.begin = std::clamp<qsizetype>(range.begin, 0, store.size());
    range.end = std::clamp<qsizetype>(range.end, range.begin, store.size());
    if (!device.isWritable()) {
        if (error)
            *error = failureText(device.errorString());
        return false;
    }

    QByteArray chunk;
    chunk.reserve(kChunk + 1024);
    chunk += "\xEF\xBB\xBF"; // without it, a spreadsheet guesses the old Windows code page
    chunk += headerLine(store.axis(), options.unit);

    const qint64 firstTime = range.isEmpty() ? 0 : store.at(range.begin).time;
    TimeText time(options.zone);
    for (qsizetype i = range.begin; i < range.end; ++i) {
        appendRow(chunk, store.at(i), firstTime, store.axis(), options.unit.perMbar, time);
        if (chunk.size() >= kChunk && !writeAll(device, chunk, error))
            return false;
        const qsizetype done = i + 1 - range.begin;
        if (options.progress && done % kProgressEvery == 0 &&
            !options.progress(done, range.size())) {
            if (error)
                *error = failureText(QStringLiteral("Abgebrochen"));
            return false;
        }
    }
    if (!writeAll(device, chunk, error))
        return false;
    // A file keeps the last bytes in its own buffer: a full disk shows only now.
    if (auto *file = qobject_cast<QFileDevice *>(&device); file && !file->flush()) {
        if (error)
            *error = failureText(file->errorString());
        return false;
    }
    if (options.progress)
        options.progress(range.size(), range.size());
    return true;
}

} // namespace kelmor
