#pragma once

#include "pressureunit.h"
#include "risefit.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace kelmor {

// What the report says about where the result came from.
struct RiseReportInfo
{
    QDateTime created;                          // when the technician saved or copied the result
    QString run;                                // the live run or the recorded run (file and start)
    QString stretch;                            // the marked stretch as the window names it
    UnitOfPressure unit = UnitOfPressure::Mbar; // unit of pressures and rates in the report
};

// A number as German spreadsheets and readers expect it: decimal comma, exponent form
// for pressures and rates ("1,234E-06"); empty for a number that is not finite.
QString germanScientific(double value, int decimals = 3);
QString germanFixed(double value, int decimals);
// Reads what a technician types: decimal comma or point, optional exponent, blanks
// around. Nothing for anything else, including an empty text.
std::optional<double> parseGermanNumber(const QString &text);

// The verdict on the shape of the rise, one German sentence.
QString riseShapeText(const RiseResult &result);
// "bestanden" / "nicht bestanden" with the margin, or empty without a limit.
QString riseVerdictText(const RiseResult &result, UnitOfPressure unit);

// The result as lines "Name: Wert" for the window's read-out and the text report. An
// invalid result gives its problems and no figures.
QStringList riseResultLines(const RiseResult &result, UnitOfPressure unit);

QString riseReportText(const RiseResult &result, const RiseReportInfo &info);
// A header line and one row, ";"-separated with decimal commas, so that reports of
// several tests can be appended to one sheet.
QString riseReportCsvHeader(UnitOfPressure unit);
QString riseReportCsvRow(const RiseResult &result, const RiseReportInfo &info);
QString riseReportCsv(const RiseResult &result, const RiseReportInfo &info);

} // namespace kelmor
