#include "risefit.h"

#include <cmath>

namespace kelmor {

namespace {

bool usable(const RiseSample &s)
{
    return s.readable && std::isfinite(s.seconds) && std::isfinite(s.mbar) && s.mbar > 0.0;
}

void addProblem(RiseResult &result, RiseInput input, const QString &message)
{
    result.problems.append({input, message});
}

// Checks the stretch's points and returns whether a fit may be made.
bool checkStretch(const RiseStretch &stretch, RiseResult &result)
{
    const QList<RiseSample> &samples = stretch.samples;
    qsizetype unreadable = 0;
    bool ordered = true;
    for (qsizetype i = 0; i < samples.size(); ++i) {
        if (!usable(samples[i]))
            ++unreadable;
        if (i > 0 && samples[i].seconds < samples[i - 1].seconds)
            ordered = false;
    }
    result.points = int(samples.size() - unreadable);

    bool ok = true;
    if (samples.size() < kMinimumRisePoints) {
        addProblem(result, RiseInput::Stretch,
                   QStringLiteral("Zu wenige Messpunkte im Abschnitt: %1, mindestens %2 "
                                  "sind nötig. Bitte einen längeren Abschnitt markieren.")
                       .arg(samples.size())
                       .arg(kMinimumRisePoints));
        ok = false;
    }
    if (stretch.gaps > 0) {
        addProblem(result, RiseInput::Stretch,
                   QStringLiteral("Der Abschnitt enthält eine Lücke ohne Messwerte. Bitte "
                                  "einen Abschnitt ohne Unterbrechung markieren."));
        ok = false;
    }
    if (unreadable > 0) {
        addProblem(result, RiseInput::Stretch,
                   QStringLiteral("Der Abschnitt enthält %1 unlesbare Druckwerte. Bitte "
                                  "einen Abschnitt ohne Lesefehler markieren.")
                       .arg(unreadable));
        ok = false;
    }
    if (!ordered) {
        addProblem(result, RiseInput::Stretch,
                   QStringLiteral("Die Messpunkte des Abschnitts sind zeitlich nicht "
                                  "geordnet."));
        ok = false;
    }
    if (ok && !(samples.last().seconds > samples.first().seconds)) {
        addProblem(result, RiseInput::Stretch, QStringLiteral("Der Abschnitt hat keine Dauer."));
        ok = false;
    }
    return ok;
}

void checkSettings(const RiseSettings &settings, RiseResult &result)
{
    if (!(std::isfinite(settings.volumeLitres) && settings.volumeLitres > 0.0)) {
        addProblem(result, RiseInput::Volume,
                   QStringLiteral("Bitte das Kammervolumen in Litern als Zahl größer als 0 "
                                  "eingeben."));
    }
    if (settings.limitMbarLitre) {
        const double limit = *settings.limitMbarLitre;
        if (!(std::isfinite(limit) && limit > 0.0)) {
            addProblem(result, RiseInput::Limit,
                       QStringLiteral("Der Grenzwert muss eine Leckrate größer als 0 sein "
                                      "(oder leer bleiben)."));
        }
    }
}

RiseShape shapeOf(const LineFit &first, const LineFit &second)
{
    if (!first.isValid() || !second.isValid())
        return RiseShape::Straight;
    const double difference = first.slope - second.slope;
    const double error = std::hypot(first.slopeError, second.slopeError);
    const double threshold = kClearlySigmas * (std::isfinite(error) ? error : 0.0);
    const double material = kMaterialShare * std::abs(first.slope);
    if (difference > threshold && difference >= material)
        return RiseShape::BendsOver;
    if (-difference > threshold && -difference >= material)
        return RiseShape::Steepens;
    return RiseShape::Straight;
}

} // namespace

QString RiseResult::messages(RiseInput input) const
{
    QStringList lines;
    for (const RiseProblem &problem : problems) {
        if (problem.input == input)
            lines << problem.message;
    }
    return lines.join(QLatin1Char('\n'));
}

LineFit fitLine(const QList<RiseSample> &samples, qsizetype begin, qsizetype end)
{
    LineFit fit;
    begin = std::max<qsizetype>(begin, 0);
    end = std::min(end, samples.size());

    // Centred sums: seconds on an epoch axis and pressures near 1e-9 both lose their
    // digits in the textbook sums of squares.
    double sumT = 0.0;
    double sumP = 0.0;
    int n = 0;
    for (qsizetype i = begin; i < end; ++i) {
        if (!usable(samples[i]))
            continue;
        if (n == 0)
            fit.firstSeconds = samples[i].seconds;
        fit.lastSeconds = samples[i].seconds;
        sumT += samples[i].seconds;
        sumP += samples[i].mbar;
        ++n;
    }
    fit.points = n;
    if (n < 2)
        return fit;
    const double meanT = sumT / n;
    const double meanP = sumP / n;
    double sxx = 0.0;
    double sxy = 0.0;
    for (qsizetype i = begin; i < end; ++i) {
        if (!usable(samples[i]))
            continue;
        const double dt = samples[i].seconds - meanT;
        sxx += dt * dt;
        sxy += dt * (samples[i].mbar - meanP);
    }
    if (!(sxx > 0.0))
        return fit;
    fit.slope = sxy / sxx;
    fit.intercept = meanP - fit.slope * meanT;
    if (n >= 3) {
        double residuals = 0.0;
        for (qsizetype i = begin; i < end; ++i) {
            if (!usable(samples[i]))
                continue;
            const double r = samples[i].mbar - (meanP + fit.slope * (samples[i].seconds - meanT));
            residuals += r * r;
        }
        fit.slopeError = std::sqrt(residuals / (n - 2) / sxx);
    }
    return fit;
}

RiseResult analyseRise(const RiseStretch &stretch, const RiseSettings &settings)
{
    RiseResult result;
    const bool stretchOk = checkStretch(stretch, result);
    checkSettings(settings, result);
    if (!stretchOk)
        return result;

    const QList<RiseSample> &samples = stretch.samples;
    const qsizetype n = samples.size();
    result.durationSeconds = samples.last().seconds - samples.first().seconds;
    result.firstMbar = samples.first().mbar;
    result.lastMbar = samples.last().mbar;
    result.deltaMbar = result.lastMbar - result.firstMbar;

    result.whole = fitLine(samples, 0, n);
    // Halves by count, sharing the middle point when the count is odd, so that each has
    // at least three points and so a standard error.
    result.firstHalf = fitLine(samples, 0, (n + 1) / 2);
    result.secondHalf = fitLine(samples, n / 2, n);

    if (!result.whole.isValid()) {
        addProblem(result, RiseInput::Stretch,
                   QStringLiteral("Durch den Abschnitt lässt sich keine Gerade legen."));
        return result;
    }
    if (!(result.whole.slope > 0.0)) {
        addProblem(result, RiseInput::Stretch,
                   QStringLiteral("Der Druck fällt im markierten Abschnitt. Für den "
                                  "Druckanstiegstest die Kammer von der Pumpe trennen und "
                                  "einen steigenden Abschnitt markieren."));
        return result;
    }
    result.stretchValid = true;
    result.shape = shapeOf(result.firstHalf, result.secondHalf);
    result.barelyMeasurable = !(result.whole.slope >= 2.0 * result.whole.slopeError);

    if (!result.isValid())
        return result;

    result.volumeLitres = settings.volumeLitres;
    result.leakRate = settings.volumeLitres * result.whole.slope;
    result.leakRateError = settings.volumeLitres * result.whole.slopeError;
    if (settings.limitMbarLitre) {
        const double limit = *settings.limitMbarLitre;
        result.limitMbarLitre = limit;
        result.margin = limit - result.leakRate;
        result.verdict = result.leakRate <= limit ? LimitVerdict::Passed : LimitVerdict::Failed;
        result.verdictNarrow = std::abs(result.margin) < 2.0 * result.leakRateError;
    }
    return result;
}

} // namespace kelmor
