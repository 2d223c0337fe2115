#include "risereport.h"

#include <QLocale>

#include <cmath>

namespace kelmor {

namespace {

QString withComma(QString text)
{
    return text.replace(QLatin1Char('.'), QLatin1Char(','));
}

QString germanGeneral(double value)
{
    if (!std::isfinite(value))
        return {};
    return withComma(QString::number(value, 'g', 6));
}

QString plusMinus(double value, double error, const QString &unit)
{
    QString text = germanScientific(value);
    if (std::isfinite(error))
        text += QStringLiteral(" ± ") + germanScientific(error, 1);
    return text + QLatin1Char(' ') + unit;
}

QString rateUnit(UnitOfPressure unit)
{
    return pressureUnitName(unit) + QStringLiteral("/s");
}

double toUnit(double mbar, UnitOfPressure unit)
{
    return convertPressure(mbar, UnitOfPressure::Mbar, unit);
}

QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(';')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString joinCsv(const QStringList &fields)
{
    QStringList out;
    out.reserve(fields.size());
    for (const QString &field : fields)
        out << csvField(field);
    return out.join(QLatin1Char(';')) + QStringLiteral("\r\n");
}

QString timestamp(const QDateTime &when)
{
    return when.isValid() ? when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QString();
}

} // namespace

QString germanScientific(double value, int decimals)
{
    if (!std::isfinite(value))
        return {};
    return withComma(QString::number(value, 'E', decimals));
}

QString germanFixed(double value, int decimals)
{
    if (!std::isfinite(value))
        return {};
    return withComma(QString::number(value, 'f', decimals));
}

std::optional<double> parseGermanNumber(const QString &text)
{
    QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    // A comma and a point together are thousands separators of one kind or another:
    // guessing which would silently scale the value by a thousand.
    if (t.contains(QLatin1Char(',')) && t.contains(QLatin1Char('.')))
        return std::nullopt;
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double value = QLocale::c().toDouble(t, &ok);
    if (!ok)
        return std::nullopt;
    return value;
}

QString riseShapeText(const RiseResult &result)
{
    QString text;
    switch (result.shape) {
    case RiseShape::Straight:
        text = QStringLiteral("Gerader Anstieg, wie ihn ein Leck erzeugt.");
        break;
    case RiseShape::BendsOver:
        text = QStringLiteral("Der Anstieg flacht ab (zweite Hälfte deutlich langsamer): "
                              "sieht nach Ausgasung aus, nicht nach einem Leck.");
        break;
    case RiseShape::Steepens:
        text = QStringLiteral("Der Anstieg wird steiler (zweite Hälfte deutlich schneller): "
                              "bitte die Messung prüfen.");
        break;
    }
    if (result.barelyMeasurable)
        text += QStringLiteral(" Der Anstieg ist kaum größer als die Streuung der Messwerte.");
    return text;
}

QString riseVerdictText(const RiseResult &result, UnitOfPressure unit)
{
    if (result.verdict == LimitVerdict::NoLimit || !result.limitMbarLitre)
        return {};
    const double limit = *result.limitMbarLitre;
    const double margin = leakRateFromMbarLitre(std::abs(result.margin), unit);
    const QString percent = germanFixed(std::abs(result.margin) / limit * 100.0, 1);
    const QString amount = germanScientific(margin) + QLatin1Char(' ') + leakRateUnitName(unit) +
                           QStringLiteral(" (") + percent + QStringLiteral(" %)");
    QString text =
        result.verdict == LimitVerdict::Passed
            ? QStringLiteral("bestanden: Q liegt %1 unter dem Grenzwert").arg(amount)
            : QStringLiteral("nicht bestanden: Q liegt %1 über dem Grenzwert").arg(amount);
    if (result.verdictNarrow)
        text += QStringLiteral(", knapp: innerhalb der doppelten Messunsicherheit");
    return text;
}

QStringList riseResultLines(const RiseResult &result, UnitOfPressure unit)
{
    QStringList lines;
    if (!result.isValid()) {
        for (const RiseProblem &problem : result.problems)
            lines << problem.message;
        return lines;
    }
    const QString p = pressureUnitName(unit);
    lines << QStringLiteral("Messpunkte: %1").arg(result.points);
    lines << QStringLiteral("Δt: %1 s").arg(germanFixed(result.durationSeconds, 1));
    lines << QStringLiteral("Δp: %1 %2").arg(germanScientific(toUnit(result.deltaMbar, unit)), p);
    lines << QStringLiteral("dp/dt: ") + plusMinus(toUnit(result.whole.slope, unit),
                                                   toUnit(result.whole.slopeError, unit),
                                                   rateUnit(unit));
    lines << QStringLiteral("Leckrate Q: ") + plusMinus(result.leakRate, result.leakRateError,
                                                        leakRateUnitName(UnitOfPressure::Mbar));
    if (unit != UnitOfPressure::Mbar) {
        lines << QStringLiteral("Leckrate Q: ") +
                     plusMinus(leakRateFromMbarLitre(result.leakRate, unit),
                               leakRateFromMbarLitre(result.leakRateError, unit),
                               leakRateUnitName(unit));
    }
    lines << QStringLiteral("dp/dt 1. Hälfte: ") +
                 plusMinus(toUnit(result.firstHalf.slope, unit),
                           toUnit(result.firstHalf.slopeError, unit), rateUnit(unit));
    lines << QStringLiteral("dp/dt 2. Hälfte: ") +
                 plusMinus(toUnit(result.secondHalf.slope, unit),
                           toUnit(result.secondHalf.slopeError, unit), rateUnit(unit));
    lines << QStringLiteral("Verlauf: ") + riseShapeText(result);
    if (result.limitMbarLitre) {
        lines << QStringLiteral("Grenzwert: %1 %2")
                     .arg(germanScientific(leakRateFromMbarLitre(*result.limitMbarLitre, unit)),
                          leakRateUnitName(unit));
        lines << QStringLiteral("Ergebnis: ") + riseVerdictText(result, unit);
    }
    return lines;
}

QString riseReportText(const RiseResult &result, const RiseReportInfo &info)
{
    QStringList lines;
    lines << QStringLiteral("Druckanstiegstest");
    lines << QStringLiteral("Datum und Zeit: ") + timestamp(info.created);
    lines << QStringLiteral("Lauf: ") + info.run;
    lines << QStringLiteral("Abschnitt: ") + info.stretch;
    lines << QStringLiteral("Volumen: %1 l").arg(germanGeneral(result.volumeLitres));
    lines << QStringLiteral("Einheit: ") + pressureUnitName(info.unit);
    if (!result.isValid())
        lines << QStringLiteral("Kein gültiges Ergebnis:");
    lines << riseResultLines(result, info.unit);
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString riseReportCsvHeader(UnitOfPressure unit)
{
    const QString p = pressureUnitName(unit);
    const QString r = rateUnit(unit);
    const QString q = leakRateUnitName(unit);
    const QString qm = leakRateUnitName(UnitOfPressure::Mbar);
    return joinCsv({
        QStringLiteral("Datum und Zeit"),
        QStringLiteral("Lauf"),
        QStringLiteral("Abschnitt"),
        QStringLiteral("Messpunkte"),
        QStringLiteral("Volumen [l]"),
        QStringLiteral("Einheit"),
        QStringLiteral("Δt [s]"),
        QStringLiteral("Δp [%1]").arg(p),
        QStringLiteral("dp/dt [%1]").arg(r),
        QStringLiteral("Fehler dp/dt [%1]").arg(r),
        QStringLiteral("Q [%1]").arg(qm),
        QStringLiteral("Fehler Q [%1]").arg(qm),
        QStringLiteral("Q [%1]").arg(q),
        QStringLiteral("Fehler Q [%1]").arg(q),
        QStringLiteral("dp/dt 1. Hälfte [%1]").arg(r),
        QStringLiteral("Fehler 1. Hälfte [%1]").arg(r),
        QStringLiteral("dp/dt 2. Hälfte [%1]").arg(r),
        QStringLiteral("Fehler 2. Hälfte [%1]").arg(r),
        QStringLiteral("Verlauf"),
        QStringLiteral("Grenzwert [%1]").arg(q),
        QStringLiteral("Ergebnis"),
        QStringLiteral("Abstand zum Grenzwert [%1]").arg(q),
    });
}

QString riseReportCsvRow(const RiseResult &result, const RiseReportInfo &info)
{
    const UnitOfPressure unit = info.unit;
    const bool valid = result.isValid();
    auto pressure = [&](double mbar) {
        return valid ? germanScientific(toUnit(mbar, unit)) : QString();
    };
    auto leak = [&](double mbarLitre) {
        return valid ? germanScientific(leakRateFromMbarLitre(mbarLitre, unit)) : QString();
    };
    auto leakMbar = [&](double mbarLitre) {
        return valid ? germanScientific(mbarLitre) : QString();
    };

    QString shape;
    QString verdict;
    if (valid) {
        shape = riseShapeText(result);
        if (result.verdict == LimitVerdict::Passed)
            verdict = QStringLiteral("bestanden");
        else if (result.verdict == LimitVerdict::Failed)
            verdict = QStringLiteral("nicht bestanden");
    } else {
        QStringList messages;
        for (const RiseProblem &problem : result.problems)
            messages << problem.message;
        shape = QStringLiteral("ungültig: ") + messages.join(QLatin1Char(' '));
    }
    const bool hasLimit = valid && result.limitMbarLitre.has_value();

    return joinCsv({
        timestamp(info.created),
        info.run,
        info.stretch,
        valid ? QString::number(result.points) : QString(),
        germanGeneral(result.volumeLitres),
        pressureUnitName(unit),
        valid ? germanFixed(result.durationSeconds, 3) : QString(),
        pressure(result.deltaMbar),
        pressure(result.whole.slope),
        pressure(result.whole.slopeError),
        leakMbar(result.leakRate),
        leakMbar(result.leakRateError),
        leak(result.leakRate),
        leak(result.leakRateError),
        pressure(result.firstHalf.slope),
        pressure(result.firstHalf.slopeError),
        pressure(result.secondHalf.slope),
        pressure(result.secondHalf.slopeError),
        shape,
        hasLimit ? leak(*result.limitMbarLitre) : QString(),
        verdict,
        hasLimit ? leak(result.margin) : QString(),
    });
}

QString riseReportCsv(const RiseResult &result, const RiseReportInfo &info)
{
    return riseReportCsvHeader(info.unit) + riseReportCsvRow(result, info);
}

} // namespace kelmor
