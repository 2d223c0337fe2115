// The control boxes on the real window, driven as the operator drives them: a mouse
// click on the box's indicator or the space key on the focused box.

#include "form1controls.h"
#include "form1harness.h"

#include <QCheckBox>
#include <QLabel>
#include <QRandomGenerator>
#include <QStyle>
#include <QStyleOptionButton>

#include <algorithm>
#include <vector>

using namespace kelmor;
using namespace kelmor::test;

namespace {

// Box states in control-word bit order, one letter per box:
// C checked and enabled, c checked and disabled, U unchecked and enabled, u unchecked
// and disabled.
const char *const kBoxNames[] = {"CheckAutorange", "CheckPirani", "CheckIG",     "CheckAutoFil",
                                 "CheckFil1",      "CheckFil2",   "CheckDegas",  "CheckEStrom",
                                 "CheckSPman",     "CheckSPout",  "CheckSPauto", "CheckExt_E",
                                 "CheckReset",     "CheckPiVAK",  "CheckPiATM"};

enum class Input { Mouse, Space };

void clickIndicator(QCheckBox *box)
{
    QStyleOptionButton opt;
    opt.initFrom(box);
    const QRect indicator = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &opt, box);
    QTest::mouseClick(box, Qt::LeftButton, {}, indicator.center());
}

void pressSpace(QCheckBox *box)
{
    box->setFocus(Qt::TabFocusReason);
    QTest::keyClick(box, Qt::Key_Space);
}

} // namespace

class TestForm1Controls : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initApplication(); }
    void transitions_data();
    void transitions();
    void randomOperatorClicks();
    void layoutBinds_data();
    void layoutBinds();

private:
    QString states(LoadedWindow &lw)
    {
        QString s;
        for (const char *name : kBoxNames) {
            auto *box = lw.get<QCheckBox>(name);
            const bool c = box->isChecked();
            s += box->isEnabled() ? (c ? 'C' : 'U') : (c ? 'c' : 'u');
        }
        return s;
    }
};

void TestForm1Controls::transitions_data()
{
    QTest::addColumn<QStringList>("actions"); // box object names, or "send"
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("boxes");
    QTest::addColumn<bool>("sendEnabled");

    struct Case
    {
        const char *name;
        QStringList actions;
        const char *word;
        const char *boxes;
        bool send;
    };
    const Case cases[] = {
        {"start-up", {}, "0009", "CuuCuuUUUUUUUuu", true},
        {"1 uncheck Autorange: Pirani by hand",
         {"CheckAutorange"},
         "000A",
         "UCUCuuuUUUUUUUU",
         true},
        {"then Pirani-VAC", {"CheckAutorange", "CheckPiVAK"}, "200A", "UCUCuuuUUUUUUCU", true},
        {"then IG clears the adjustments",
         {"CheckAutorange", "CheckPiVAK", "CheckIG"},
         "000C",
         "UUCCuuUUUUUUUuu",
         true},
        {"then Degas",
         {"CheckAutorange", "CheckPiVAK", "CheckIG", "CheckDegas"},
         "004C",
         "UUCCuuCUUUUUUuu",
         true},
        {"2 then Autorange keeps Degas",
         {"CheckAutorange", "CheckPiVAK", "CheckIG", "CheckDegas", "CheckAutorange"},
         "0049",
         "CuuCuuCUUUUUUuu",
         true},
        {"4 then Pirani drops Degas",
         {"CheckAutorange", "CheckPiVAK", "CheckIG", "CheckDegas", "CheckPirani"},
         "000A",
         "UCUCuuuUUUUUUUU",
         true},
        {"4 then unchecking IG drops Degas",
         {"CheckAutorange", "CheckPiVAK", "CheckIG", "CheckDegas", "CheckIG"},
         "000A",
         "UCUCuuuUUUUUUUU",
         true},
        {"1 with Degas on beforehand",
         {"CheckDegas", "CheckAutorange"},
         "000A",
         "UCUCuuuUUUUUUUU",
         true},
        {"2 from Pirani by hand",
         {"CheckAutorange", "CheckPiATM", "CheckAutorange"},
         "0009",
         "CuuCuuUUUUUUUuu",
         true},
        {"3 unchecking Pirani gives IG",
         {"CheckAutorange", "CheckPirani"},
         "000C",
         "UUCCuuUUUUUUUuu",
         true},
        {"both adjustments at once",
         {"CheckAutorange", "CheckPiVAK", "CheckPiATM"},
         "600A",
         "UCUCuuuUUUUUUCC",
         true},
        {"5 uncheck Auto Filament: filament 1", {"CheckAutoFil"}, "0011", "CuuUCUUUUUUUUuu", true},
        {"7 unchecking Fil1 gives Fil2",
         {"CheckAutoFil", "CheckFil1"},
         "0021",
         "CuuUUCUUUUUUUuu",
         true},
        {"7 checking Fil1 again",
         {"CheckAutoFil", "CheckFil1", "CheckFil1"},
         "0011",
         "CuuUCUUUUUUUUuu",
         true},
        {"7 checking Fil2", {"CheckAutoFil", "CheckFil2"}, "0021", "CuuUUCUUUUUUUuu", true},
        {"7 unchecking Fil2",
         {"CheckAutoFil", "CheckFil2", "CheckFil2"},
         "0011",
         "CuuUCUUUUUUUUuu",
         true},
        {"6 back to Auto Filament",
         {"CheckAutoFil", "CheckFil2", "CheckAutoFil"},
         "0009",
         "CuuCuuUUUUUUUuu",
         true},
        {"SP Ausgang allowed after start-up", {"CheckSPout"}, "0209", "CuuCuuUUUCUUUuu", true},
        {"8 then SP manuell", {"CheckSPout", "CheckSPman"}, "0309", "CuuCuuUUCCUUUuu", true},
        {"8 unchecking SP manuell clears SP Ausgang",
         {"CheckSPout", "CheckSPman", "CheckSPman"},
         "0009",
         "CuuCuuUUUuUUUuu",
         true},
        {"8 SP manuell again leaves SP Ausgang unchecked",
         {"CheckSPout", "CheckSPman", "CheckSPman", "CheckSPman"},
         "0109",
         "CuuCuuUUCUUUUuu",
         true},
        {"plain bits",
         {"CheckEStrom", "CheckSPauto", "CheckExt_E", "CheckReset"},
         "1C89",
         "CuuCuuUCUUCCCuu",
         true},
        {"sending disables the button", {"send"}, "0009", "CuuCuuUUUUUUUuu", false},
        {"the next change enables it", {"send", "CheckReset"}, "1009", "CuuCuuUUUUUUCuu", true},
        {"Reset stays checked after sending",
         {"CheckReset", "send"},
         "1009",
         "CuuCuuUUUUUUCuu",
         false},
        {"a disabled box cannot be clicked",
         {"CheckPirani", "CheckFil2", "CheckPiVAK"},
         "0009",
         "CuuCuuUUUUUUUuu",
         true},
        {"a disabled box after sending", {"send", "CheckIG"}, "0009", "CuuCuuUUUUUUUuu", false},
        {"disabled Degas in Pirani mode",
         {"CheckAutorange", "CheckDegas"},
         "000A",
         "UCUCuuuUUUUUUUU",
         true},
        {"disabled SP Ausgang",
         {"CheckSPman", "CheckSPman", "CheckSPout"},
         "0009",
         "CuuCuuUUUuUUUuu",
         true},
    };
    for (const Case &c : cases) {
        for (Input input : {Input::Mouse, Input::Space}) {
            QStringList actions = c.actions;
            for (QString &a : actions)
                if (a != QLatin1String("send"))
                    a.prepend(input == Input::Mouse ? QStringLiteral("mouse:")
                                                    : QStringLiteral("space:"));
            QTest::addRow("%s (%s)", c.name, input == Input::Mouse ? "mouse" : "space")
                << actions << QString::fromLatin1(c.word) << QString::fromLatin1(c.boxes) << c.send;
        }
    }
}

void TestForm1Controls::transitions()
{
    QFETCH(QStringList, actions);
    QFETCH(QString, word);
    QFETCH(QString, boxes);
    QFETCH(bool, sendEnabled);

    LoadedWindow lw;
    lw.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(lw.window.get()));
    QByteArray sent;
    for (const QString &action : actions) {
        if (action == QLatin1String("send")) {
            lw.click("CmdSenden");
            sent += lw.pty.read(8);
            continue;
        }
        const QString how = action.section(QLatin1Char(':'), 0, 0);
        auto *box = lw.get<QCheckBox>(qPrintable(action.section(QLatin1Char(':'), 1)));
        QVERIFY(box);
        if (how == QLatin1String("mouse"))
            clickIndicator(box);
        else
            pressSpace(box);
    }
    QCOMPARE(lw.get<QLabel>("lblSteuerbyte")->text(), word);
    QCOMPARE(controlWordText(*lw.window), word);
    QCOMPARE(states(lw), boxes);
    QCOMPARE(lw.get("CmdSenden")->isEnabled(), sendEnabled);
    // The window's boxes and the model never disagree.
    for (int i = 0; i < kBoxCount; ++i) {
        QCOMPARE(controlModel(*lw.window).isChecked(Box(i)),
                 lw.get<QCheckBox>(kBoxNames[i])->isChecked());
        QCOMPARE(controlModel(*lw.window).isEnabled(Box(i)),
                 lw.get<QCheckBox>(kBoxNames[i])->isEnabled());
    }
    if (actions.contains(QStringLiteral("send")))
        QVERIFY(sent.startsWith("SC "));
}

void TestForm1Controls::randomOperatorClicks()
{
    LoadedWindow lw;
    lw.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(lw.window.get()));
    const quint32 seed = qEnvironmentVariableIsSet("KELMOR_SEED")
                             ? quint32(qEnvironmentVariableIntValue("KELMOR_SEED"))
                             : 20261207u;
    qInfo("seed %u", seed);
    QRandomGenerator rng(seed);
    QHash<int, int> entered;
    connect(&controlModel(*lw.window), &ControlModel::handlerEntered, this,
            [&entered](Box box) { ++entered[int(box)]; });
    for (int click = 0; click < 2000; ++click) {
        auto *box = lw.get<QCheckBox>(kBoxNames[rng.bounded(kBoxCount)]);
        const bool wasChecked = box->isChecked();
        const bool wasEnabled = box->isEnabled();
        entered.clear();
        if (rng.bounded(2))
            clickIndicator(box);
        else
            pressSpace(box);
        if (!wasEnabled) {
            QCOMPARE(box->isChecked(), wasChecked);
            QVERIFY(entered.isEmpty());
        }
        for (auto it = entered.cbegin(); it != entered.cend(); ++it)
            QVERIFY2(it.value() == 1, qPrintable(QStringLiteral("click %1").arg(click)));
        BoxStates shown{};
        for (int i = 0; i < kBoxCount; ++i)
            shown[i] = lw.get<QCheckBox>(kBoxNames[i])->isChecked();
        QCOMPARE(lw.get<QLabel>("lblSteuerbyte")->text(),
                 formatControlWord(composeControlWord(shown)));
    }
}

void TestForm1Controls::layoutBinds_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("problem"); // part of the bind's report; empty: none
    QTest::newRow("the window's table") << QString() << QString();
    QTest::newRow("a control missing") << "drop CmdCom"
                                       << "CmdCom found 0 times";
    QTest::newRow("a name twice") << "repeat lblDruck"
                                  << "lblDruck found 2 times";
    QTest::newRow("a control of another type") << "TextSenden is a line edit"
                                               << "TextSenden is no kelmor::MonitorBox";
    QTest::newRow("a box without its check box") << "CheckDegas has no box"
                                                 << "no control box 6";
    QTest::newRow("a box given twice") << "CheckFil1 is box 5"
                                       << "control box 5 given twice";
    QTest::newRow("a status bit without its lamp") << "lblSPout has no bit"
                                                   << "no lamp of status bit 9";
    QTest::newRow("a control short") << "one control short"
                                     << "rows, but";
}

// Each control lands in its typed place, and a table that does not fit the window is
// told at start-up instead of leaving a control unwired.
void TestForm1Controls::layoutBinds()
{
    QFETCH(QString, fault);
    QFETCH(QString, problem);

    std::vector<ControlSpec> rows(form1Layout().begin(), form1Layout().end());
    auto row = [&rows](const char *name) -> ControlSpec & {
        return *std::find_if(rows.begin(), rows.end(),
                             [name](const ControlSpec &r) { return qstrcmp(r.name, name) == 0; });
    };
    if (fault == QLatin1String("drop CmdCom"))
        rows.erase(rows.begin() + (&row("CmdCom") - rows.data()));
    else if (fault == QLatin1String("repeat lblDruck"))
        rows.push_back(row("lblDruck"));
    else if (fault == QLatin1String("TextSenden is a line edit"))
        row("TextSenden").kind = ControlKind::LineEdit;
    else if (fault == QLatin1String("CheckDegas has no box"))
        row("CheckDegas").boxIndex = -1;
    else if (fault == QLatin1String("CheckFil1 is box 5"))
        row("CheckFil1").boxIndex = 5;
    else if (fault == QLatin1String("lblSPout has no bit"))
        row("lblSPout").lampBit = -1;

    QWidget client;
    QList<QWidget *> made;
    for (const ControlSpec &r : rows)
        made << makeControl(r, &client, client.font());
    if (fault == QLatin1String("one control short"))
        made.removeLast();
    Form1Controls controls;
    const QString problems = bindControls(rows, made, controls).join(QLatin1Char('\n'));
    if (!problem.isEmpty()) {
        QVERIFY2(problems.contains(problem), qPrintable(problems));
        return;
    }
    QVERIFY2(problems.isEmpty(), qPrintable(problems));
    for (int box = 0; box < kBoxCount; ++box) {
        QCOMPARE(boxObjectName(Box(box)), QString::fromLatin1(kBoxNames[box]));
        QCOMPARE(controls.boxes[box]->objectName(), QString::fromLatin1(kBoxNames[box]));
    }
    for (int bit = 0; bit < kStatusLampCount; ++bit)
        QCOMPARE(controls.lamps[bit]->objectName(), QString::fromLatin1(kLampNames[bit]));
    const std::pair<QWidget *, const char *> named[] = {{controls.shapeLB, "ShapeLB"},
                                                        {controls.lblDruck, "lblDruck"},
                                                        {controls.lblSteuerbyte, "lblSteuerbyte"},
                                                        {controls.textBoxBefehl, "TextBoxBefehl"},
                                                        {controls.textSenden, "TextSenden"},
                                                        {controls.textEmpfang, "TextEmpfang"},
                                                        {controls.cmdBefehl, "CmdBefehl"},
                                                        {controls.cmdSenden, "CmdSenden"},
                                                        {controls.cmdMonitor, "cmdMonitor"},
                                                        {controls.cmdCom, "CmdCom"},
                                                        {controls.cmdVerlauf, "CmdVerlauf"}};
    for (const auto &[control, name] : named)
        QCOMPARE(control->objectName(), QString::fromLatin1(name));
}

QTEST_MAIN(TestForm1Controls)
#include "tst_form1controls.moc"
