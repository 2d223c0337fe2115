#include "controlmodel.h"
#include "controltestsupport.h"

#include <QRandomGenerator>
#include <QTest>

#include <array>
#include <deque>

using namespace kelmor;
using namespace kelmor::test;

namespace {

// Overrides the seed, to replay a failing run: KELMOR_CONTROL_SEED=<number>.
constexpr char kSeedVariable[] = "KELMOR_CONTROL_SEED";
constexpr int kClicks = 20000;

struct Configuration
{
    const char *name;
    const char *pattern; // as stateTable() for the group's boxes; '?' matches anything
};

// The resting configurations of the two groups.
// clang-format off
const std::array<Box, 6> kMeasuringBoxes{Box::Autorange, Box::Pirani, Box::IG,
                                         Box::Degas,     Box::PiVAK,  Box::PiATM};
const Configuration kMeasuring[] = {
    //                     AR Pi IG Dg PV PA
    {"automatic",         "X+ .- .- ?+ .- .-"},
    {"Pirani by hand",    ".+ X+ .+ .- ?+ ?+"},
    {"IG by hand",        ".+ .+ X+ ?+ .- .-"},
};
const std::array<Box, 3> kFilamentBoxes{Box::AutoFil, Box::Fil1, Box::Fil2};
const Configuration kFilament[] = {
    //                     AF F1 F2
    {"automatic filament", "X+ .- .-"},
    {"filament 1",         ".+ X+ .+"},
    {"filament 2",         ".+ .+ X+"},
};
// clang-format on

template <std::size_t B>
bool matches(const ControlModel &model, const std::array<Box, B> &boxes, const char *pattern)
{
    const QString compact = QString::fromLatin1(pattern).remove(QLatin1Char(' '));
    for (std::size_t i = 0; i < B; ++i) {
        const QChar checked = compact.at(static_cast<int>(2 * i));
        const QChar enabled = compact.at(static_cast<int>(2 * i + 1));
        if (checked != QLatin1Char('?') &&
            (checked == QLatin1Char('X')) != model.isChecked(boxes[i]))
            return false;
        if (enabled != QLatin1Char('?') &&
            (enabled == QLatin1Char('+')) != model.isEnabled(boxes[i]))
            return false;
    }
    return true;
}

// Index of the configuration the group rests in, or -1.
template <std::size_t B, std::size_t N>
int configurationOf(const ControlModel &model, const std::array<Box, B> &boxes,
                    const Configuration (&table)[N])
{
    int found = -1;
    for (std::size_t i = 0; i < N; ++i) {
        if (matches(model, boxes, table[i].pattern)) {
            if (found >= 0)
                return -1; // the patterns exclude each other; two matches means a fault here
            found = static_cast<int>(i);
        }
    }
    return found;
}

} // namespace

class TestControlRandom : public QObject
{
    Q_OBJECT

private slots:
    void randomClicks();
};

void TestControlRandom::randomClicks()
{
    quint32 seed = QRandomGenerator::global()->generate();
    if (qEnvironmentVariableIsSet(kSeedVariable)) {
        bool ok = false;
        seed = qEnvironmentVariable(kSeedVariable).toUInt(&ok);
        QVERIFY2(ok, "KELMOR_CONTROL_SEED must be an unsigned number");
    }
    qInfo("seed %u (replay with %s=%u)", seed, kSeedVariable, seed);
    QRandomGenerator random(seed);

    ControlModel model;
    model.startUp();

    std::array<int, kBoxCount> entered{};
    int deepest = 0;
    int words = 0;
    QString lastWord;
    QObject context;
    connect(&model, &ControlModel::handlerEntered, &context, [&](Box box) {
        ++entered[static_cast<std::size_t>(box)];
        deepest = std::max(deepest, model.handlerDepth());
    });
    connect(&model, &ControlModel::controlWordChanged, &context, [&](const QString &text) {
        ++words;
        lastWord = text;
    });

    std::deque<QString> history; // the latest actions, for the failure message
    bool spManChanged = false;
    int seen[3][3] = {};
    int deepestOverall = 0;

    for (int click = 0; click < kClicks; ++click) {
        // Now and then the operator sends the word, which disables the button.
        if (random.bounded(8) == 0) {
            model.setSendEnabled(false);
            history.push_back(QStringLiteral("send"));
        }

        QList<Box> clickable;
        for (Box box : kAllBoxes) {
            if (model.isEnabled(box))
                clickable << box;
        }
        QVERIFY(!clickable.isEmpty());
        const Box box = clickable.at(static_cast<int>(random.bounded(clickable.size())));
        const bool checked = !model.isChecked(box);
        history.push_back(QString(QLatin1Char(checked ? '+' : '-')) + shortName(box));
        while (history.size() > 12)
            history.pop_front();
        spManChanged = spManChanged || box == Box::SPman;

        entered.fill(0);
        deepest = 0;
        words = 0;
        model.setChecked(box, checked);

        const auto failure = [&](const QString &what) {
            QStringList recent(history.begin(), history.end());
            return QStringLiteral("seed %1, click %2: %3\n  last actions: %4\n  boxes: %5")
                .arg(seed)
                .arg(click)
                .arg(what, recent.join(QLatin1Char(' ')), stateTable(model));
        };

        const int measuring = configurationOf(model, kMeasuringBoxes, kMeasuring);
        const int filament = configurationOf(model, kFilamentBoxes, kFilament);
        if (measuring < 0)
            QFAIL(qPrintable(failure(QStringLiteral("measuring principle out of configuration"))));
        if (filament < 0)
            QFAIL(qPrintable(failure(QStringLiteral("filament out of configuration"))));
        ++seen[measuring][filament];

        const QString expected = formatControlWord(composeControlWord(model.checkedStates()));
        if (model.controlWordText() != expected || words == 0 || lastWord != expected)
            QFAIL(
                qPrintable(failure(QStringLiteral("text %1, announced %2 (%3 times), boxes give %4")
                                       .arg(model.controlWordText(), lastWord)
                                       .arg(words)
                                       .arg(expected))));

        if (entered[static_cast<std::size_t>(box)] != 1)
            QFAIL(qPrintable(failure(QStringLiteral("the clicked box's handler ran %1 times")
                                         .arg(entered[static_cast<std::size_t>(box)]))));
        for (Box other : kAllBoxes) {
            if (entered[static_cast<std::size_t>(other)] > 1)
                QFAIL(qPrintable(failure(shortName(other) + QStringLiteral(" entered twice"))));
        }
        if (deepest > 3 || model.handlerDepth() != 0)
            QFAIL(qPrintable(failure(QStringLiteral("nesting depth %1, %2 left open")
                                         .arg(deepest)
                                         .arg(model.handlerDepth()))));
        deepestOverall = std::max(deepestOverall, deepest);

        if (!model.sendEnabled())
            QFAIL(qPrintable(failure(QStringLiteral("send button left disabled"))));

        for (Box independent : {Box::EStrom, Box::SPauto, Box::Ext_E, Box::Reset, Box::SPman}) {
            if (!model.isEnabled(independent))
                QFAIL(qPrintable(failure(shortName(independent) + QStringLiteral(" disabled"))));
        }
        if (spManChanged && (model.isEnabled(Box::SPout) != model.isChecked(Box::SPman) ||
                             (!model.isChecked(Box::SPman) && model.isChecked(Box::SPout))))
            QFAIL(qPrintable(failure(QStringLiteral("set-point interlock broken"))));
    }

    // A walk that never left some configuration would prove little.
    for (int m = 0; m < 3; ++m) {
        for (int f = 0; f < 3; ++f) {
            QVERIFY2(seen[m][f] > 0, qPrintable(QStringLiteral("never reached %1 with %2")
                                                    .arg(QLatin1String(kMeasuring[m].name),
                                                         QLatin1String(kFilament[f].name))));
        }
    }
    QCOMPARE(deepestOverall, 3);
}

QTEST_APPLESS_MAIN(TestControlRandom)
#include "tst_controlrandom.moc"
