#pragma once

#include "trendstore.h"

#include <QString>
#include <QTimeZone>

#include <functional>

class QIODevice;

namespace kelmor {

// The unit pressures are written in: its name for the header and how many of it make one
// mbar (hPa 1, Pa 100, Torr 0.750062).
struct PressureUnit
{
    QString name = QStringLiteral("mbar");
    double perMbar = 1.0;
};

struct TrendCsvOptions
{
    PressureUnit unit;
    QTimeZone zone = QTimeZone::systemTimeZone(); // the zone the date and time are shown in
    // Called now and then with the rows written so far and the rows in all; returning
    // false stops the export (which then fails with a message saying so).
    std::function<bool(qsizetype done, qsizetype total)> progress;
};

// Samples as CSV for a German spreadsheet program: UTF-8 with a byte-order mark, ";"
// between fields, decimal commas, CR LF after each line, one header line. Columns: date
// and time (ISO 8601 with ms), seconds since the first row, pressure (empty when
// unreadable), the pressure field as received, the status word as four hex digits, then
// one 0/1 column per status bit headed by its lamp's caption. A recorded run has no time
// per line: its rows start with the line number instead of the two time columns.
class TrendCsv
{
public:
    static QByteArray headerLine(TrendStore::Axis axis, const PressureUnit &unit = {});

    // Writes rows [range.begin, range.end) of the store. On failure returns false and sets
    // *error to a German message with the system's reason; what was written stays.
    static bool write(QIODevice &device, const TrendStore &store, TrendRange range,
                      const TrendCsvOptions &options = {}, QString *error = nullptr);

    // "Die CSV-Datei konnte nicht geschrieben werden. (Systemmeldung: …)"
    static QString failureText(const QString &reason);
};

} // namespace kelmor
