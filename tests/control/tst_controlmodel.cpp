#include "controlmodel.h"
#include "controltestsupport.h"

#include <QTest>

using namespace kelmor;
using namespace kelmor::test;

namespace {

// Box states written as a table row, one column per box in bit order; X checked, + enabled.
// clang-format off
//                                           AR Pi IG AF F1 F2 Dg ES SM SO SA EX RS PV PA
const QString kStartUp      = QStringLiteral("X+ .- .- X+ .- .- .+ .+ .+ .+ .+ .+ .+ .- .-");
const QString kPiraniByHand = QStringLiteral(".+ X+ .+ X+ .- .- .- .+ .+ .+ .+ .+ .+ .+ .+");
const QString kIgByHand     = QStringLiteral(".+ .+ X+ X+ .- .- .+ .+ .+ .+ .+ .+ .+ .- .-");
// clang-format on

} // namespace

class TestControlModel : public QObject
{
    Q_OBJECT

private slots:
    void beforeStartUp();
    void transitions_data();
    void transitions();
    void orderOfEffects_data();
    void orderOfEffects();
    void nestingDepth_data();
    void nestingDepth();
};

void TestControlModel::beforeStartUp()
{
    ControlModel model;
    QCOMPARE(stateTable(model), normalizedTable(".+ .+ .+ .+ .+ .+ .+ .+ .+ .+ .+ .+ .+ .+ .+"));
    QVERIFY(model.sendEnabled());
    QVERIFY(model.controlWordText().isEmpty());
    QCOMPARE(model.handlerDepth(), 0);
}

void TestControlModel::transitions_data()
{
    QTest::addColumn<QStringList>("actions"); // operator actions after start-up
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("boxes");
    QTest::addColumn<bool>("send");

    const QStringList toIg{"-Autorange", "+IG", "+Degas"};
    const QStringList fil2{"-AutoFil", "-Fil1"};
    const QStringList spOutFirst{"+SPout", "+SPman"};

    // State rows: AR Pi IG AF F1 F2 Dg ES SM SO SA EX RS PV PA
    QTest::newRow("start-up") << QStringList{} << "0009" << kStartUp << true;

    QTest::newRow("1 automatic -> Pirani")
        << QStringList{"-Autorange"} << "000A" << kPiraniByHand << true;
    QTest::newRow("1 automatic with degas -> Pirani, degas off")
        << QStringList{"+Degas", "-Autorange"} << "000A" << kPiraniByHand << true;
    QTest::newRow("1 automatic reached from IG by hand -> Pirani")
        << toIg + QStringList{"+Autorange", "-Autorange"} << "000A" << kPiraniByHand << true;

    QTest::newRow("2 Pirani with adjustments -> automatic")
        << QStringList{"-Autorange", "+PiVAK", "+PiATM", "+Autorange"} << "0009" << kStartUp
        << true;
    QTest::newRow("2 IG with degas -> automatic keeps degas (0049)")
        << toIg + QStringList{"+Autorange"} << "0049"
        << "X+ .- .- X+ .- .- X+ .+ .+ .+ .+ .+ .+ .- .-" << true;

    QTest::newRow("3 Pirani -> IG by checking IG (000C)")
        << QStringList{"-Autorange", "+PiVAK", "+IG"} << "000C" << kIgByHand << true;
    QTest::newRow("3 Pirani -> IG by unchecking Pirani")
        << QStringList{"-Autorange", "+PiATM", "-Pirani"} << "000C" << kIgByHand << true;

    QTest::newRow("4 IG with degas -> Pirani by checking Pirani")
        << toIg + QStringList{"+Pirani"} << "000A" << kPiraniByHand << true;
    QTest::newRow("4 IG with degas -> Pirani by unchecking IG")
        << toIg + QStringList{"-IG"} << "000A" << kPiraniByHand << true;

    QTest::newRow("5 automatic filament -> filament 1 (0011)")
        << QStringList{"-AutoFil"} << "0011"
        << "X+ .- .- .+ X+ .+ .+ .+ .+ .+ .+ .+ .+ .- .-" << true;

    QTest::newRow("6 filament 1 -> automatic")
        << QStringList{"-AutoFil", "+AutoFil"} << "0009" << kStartUp << true;
    QTest::newRow("6 filament 2 -> automatic")
        << fil2 + QStringList{"+AutoFil"} << "0009" << kStartUp << true;

    QTest::newRow("7 filament 1 -> 2 by checking Fil2")
        << QStringList{"-AutoFil", "+Fil2"} << "0021"
        << "X+ .- .- .+ .+ X+ .+ .+ .+ .+ .+ .+ .+ .- .-" << true;
    QTest::newRow("7 filament 1 -> 2 by unchecking Fil1 (0021)")
        << fil2 << "0021"
        << "X+ .- .- .+ .+ X+ .+ .+ .+ .+ .+ .+ .+ .- .-" << true;
    QTest::newRow("7 filament 2 -> 1 by checking Fil1")
        << fil2 + QStringList{"+Fil1"} << "0011"
        << "X+ .- .- .+ X+ .+ .+ .+ .+ .+ .+ .+ .+ .- .-" << true;
    QTest::newRow("7 filament 2 -> 1 by unchecking Fil2")
        << fil2 + QStringList{"-Fil2"} << "0011"
        << "X+ .- .- .+ X+ .+ .+ .+ .+ .+ .+ .+ .+ .- .-" << true;

    QTest::newRow("8 checking SPman keeps SPout checked (0309)")
        << spOutFirst << "0309"
        << "X+ .- .- X+ .- .- .+ .+ X+ X+ .+ .+ .+ .- .-" << true;
    QTest::newRow("8 unchecking SPman clears and disables SPout")
        << spOutFirst + QStringList{"-SPman"} << "0009"
        << "X+ .- .- X+ .- .- .+ .+ .+ .- .+ .+ .+ .- .-" << true;
    QTest::newRow("8 unchecking SPman with SPout unchecked")
        << QStringList{"+SPman", "-SPman"} << "0009"
        << "X+ .- .- X+ .- .- .+ .+ .+ .- .+ .+ .+ .- .-" << true;
    QTest::newRow("8 re-checking SPman enables SPout, leaves it unchecked")
        << spOutFirst + QStringList{"-SPman", "+SPman"} << "0109"
        << "X+ .- .- X+ .- .- .+ .+ X+ .+ .+ .+ .+ .- .-" << true;

    QTest::newRow("SPout usable before SPman was ever changed (0209)")
        << QStringList{"+SPout"} << "0209"
        << "X+ .- .- X+ .- .- .+ .+ .+ X+ .+ .+ .+ .- .-" << true;
    QTest::newRow("Pirani adjustment at vacuum (200A)")
        << QStringList{"-Autorange", "+PiVAK"} << "200A"
        << ".+ X+ .+ X+ .- .- .- .+ .+ .+ .+ .+ .+ X+ .+" << true;
    QTest::newRow("both Pirani adjustments at once")
        << QStringList{"-Autorange", "+PiVAK", "+PiATM"} << "600A"
        << ".+ X+ .+ X+ .- .- .- .+ .+ .+ .+ .+ .+ X+ X+" << true;
    QTest::newRow("degas in IG by hand (004C)")
        << QStringList{"-Autorange", "+PiVAK", "+IG", "+Degas"} << "004C"
        << ".+ .+ X+ X+ .- .- X+ .+ .+ .+ .+ .+ .+ .- .-" << true;
    QTest::newRow("004C then Autorange keeps degas (0049)")
        << QStringList{"-Autorange", "+PiVAK", "+IG", "+Degas", "+Autorange"} << "0049"
        << "X+ .- .- X+ .- .- X+ .+ .+ .+ .+ .+ .+ .- .-" << true;
    QTest::newRow("004C then checking Pirani clears degas (000A)")
        << QStringList{"-Autorange", "+PiVAK", "+IG", "+Degas", "+Pirani"} << "000A"
        << kPiraniByHand << true;
    QTest::newRow("004C then unchecking IG clears degas (000A)")
        << QStringList{"-Autorange", "+PiVAK", "+IG", "+Degas", "-IG"} << "000A" << kPiraniByHand
        << true;
    QTest::newRow("manual IG, filament 2, degas, small current (00E4)")
        << QStringList{"-Autorange", "-AutoFil", "+IG", "-Fil1", "+Degas", "+EStrom"} << "00E4"
        << ".+ .+ X+ .+ .+ X+ X+ X+ .+ .+ .+ .+ .+ .- .-" << true;
    QTest::newRow("manual Pirani, filament 1, adjustment at vacuum (2012)")
        << QStringList{"-Autorange", "-AutoFil", "+PiVAK"} << "2012"
        << ".+ X+ .+ .+ X+ .+ .- .+ .+ .+ .+ .+ .+ X+ .+" << true;
    QTest::newRow("independent bits")
        << QStringList{"+EStrom", "+SPauto", "+Ext_E", "+Reset"} << "1C89"
        << "X+ .- .- X+ .- .- .+ X+ .+ .+ X+ X+ X+ .- .-" << true;

    QTest::newRow("sending disables the button")
        << QStringList{"send"} << "0009" << kStartUp << false;
    QTest::newRow("recomposing does not enable it again")
        << QStringList{"send", "update"} << "0009" << kStartUp << false;
    QTest::newRow("the next change enables it again")
        << QStringList{"send", "+Reset"} << "1009"
        << "X+ .- .- X+ .- .- .+ .+ .+ .+ .+ .+ X+ .- .-" << true;
    QTest::newRow("Reset stays checked after sending")
        << QStringList{"+Reset", "send"} << "1009"
        << "X+ .- .- X+ .- .- .+ .+ .+ .+ .+ .+ X+ .- .-" << false;
    QTest::newRow("adjustments stay checked after sending")
        << QStringList{"-Autorange", "+PiVAK", "+PiATM", "send"} << "600A"
        << ".+ X+ .+ X+ .- .- .- .+ .+ .+ .+ .+ .+ X+ X+" << false;
}

void TestControlModel::transitions()
{
    QFETCH(QStringList, actions);
    QFETCH(QString, text);
    QFETCH(QString, boxes);
    QFETCH(bool, send);

    ControlModel model;
    model.startUp();
    const QString problem = performAll(model, actions);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));

    QCOMPARE(model.controlWordText(), text);
    QCOMPARE(stateTable(model), normalizedTable(boxes));
    QCOMPARE(model.sendEnabled(), send);
}

void TestControlModel::orderOfEffects_data()
{
    QTest::addColumn<QStringList>("before"); // not recorded
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<QStringList>("effects");

    QTest::newRow("start-up") << QStringList{} << QStringList{"startUp"}
                              << QStringList{"send 0",          "checked Autorange 1",
                                             "enter Autorange", "enabled Pirani 0",
                                             "enabled IG 0",    "enabled PiVAK 0",
                                             "enabled PiATM 0", "send 1",
                                             "word 0001",       "checked AutoFil 1",
                                             "enter AutoFil",   "enabled Fil1 0",
                                             "enabled Fil2 0",  "word 0009",
                                             "word 0009"};

    QTest::newRow("1 from start-up")
        << QStringList{"startUp"} << QStringList{"-Autorange"}
        << QStringList{"checked Autorange 0", "enter Autorange", "checked Pirani 1", "enter Pirani",
                       "enabled Degas 0",     "enabled PiVAK 1", "enabled PiATM 1",  "word 000A",
                       "enabled Pirani 1",    "enabled IG 1",    "word 000A"};

    const QStringList degasChain{
        "checked Autorange 0", "enter Autorange", "checked Pirani 1", "enter Pirani",
        "checked Degas 0",     "enter Degas",     "send 1",           "word 000A",
        "enabled Degas 0",     "enabled PiVAK 1", "enabled PiATM 1",  "word 000A",
        "enabled Pirani 1",    "enabled IG 1",    "word 000A"};
    QTest::newRow("1 with degas checked, after sending")
        << QStringList{"startUp", "+Degas", "send"} << QStringList{"-Autorange"} << degasChain;
    QStringList withoutSend = degasChain;
    withoutSend.removeAll(QStringLiteral("send 1"));
    QTest::newRow("1 after the manual IG configuration with degas")
        << QStringList{"startUp", "-Autorange", "+IG", "+Degas", "+Autorange"}
        << QStringList{"-Autorange"} << withoutSend;

    QTest::newRow("2 from IG by hand with degas")
        << QStringList{"startUp", "-Autorange", "+IG", "+Degas"} << QStringList{"+Autorange"}
        << QStringList{"checked Autorange 1",
                       "enter Autorange",
                       "enabled Pirani 0",
                       "checked IG 0",
                       "enter IG",
                       "enabled IG 0",
                       "word 0049"};
    QTest::newRow("2 from Pirani by hand with PiVAK")
        << QStringList{"startUp", "-Autorange", "+PiVAK"} << QStringList{"+Autorange"}
        << QStringList{"checked Autorange 1",
                       "enter Autorange",
                       "checked Pirani 0",
                       "enter Pirani",
                       "enabled Degas 1",
                       "enabled Pirani 0",
                       "enabled IG 0",
                       "enabled PiVAK 0",
                       "enabled PiATM 0",
                       "checked PiVAK 0",
                       "enter PiVAK",
                       "word 0009",
                       "word 0009"};
    QTest::newRow("3 by checking IG with PiVAK")
        << QStringList{"startUp", "-Autorange", "+PiVAK"} << QStringList{"+IG"}
        << QStringList{"checked IG 1",    "enter IG",        "checked Pirani 0", "enter Pirani",
                       "enabled Degas 1", "enabled PiVAK 0", "enabled PiATM 0",  "checked PiVAK 0",
                       "enter PiVAK",     "word 000C",       "word 000C",        "word 000C"};
    QTest::newRow("5 from start-up")
        << QStringList{"startUp"} << QStringList{"-AutoFil"}
        << QStringList{"checked AutoFil 0", "enter AutoFil",  "checked Fil1 1", "enter Fil1",
                       "word 0011",         "enabled Fil1 1", "enabled Fil2 1", "word 0011"};
    QTest::newRow("8 unchecking SPman with SPout checked, after sending")
        << QStringList{"startUp", "+SPout", "+SPman", "send"} << QStringList{"-SPman"}
        << QStringList{"checked SPman 0", "enter SPman", "checked SPout 0", "enter SPout",
                       "send 1",          "word 0009",   "enabled SPout 0", "word 0009"};

    QTest::newRow("code sets a guarded box: handler entered, nothing else")
        << QStringList{"startUp"} << QStringList{"code+Pirani"}
        << QStringList{"checked Pirani 1", "enter Pirani"};
    QTest::newRow("setting the state a box has runs nothing")
        << QStringList{"startUp"} << QStringList{"code+Autorange", "code-Pirani"} << QStringList{};
    QTest::newRow("enabling runs no handler")
        << QStringList{"startUp"} << QStringList{"enable+Pirani", "enable+Degas"}
        << QStringList{"enabled Pirani 1"};
    QTest::newRow("every composition is announced")
        << QStringList{"startUp"} << QStringList{"update", "update"}
        << QStringList{"word 0009", "word 0009"};
}

void TestControlModel::orderOfEffects()
{
    QFETCH(QStringList, before);
    QFETCH(QStringList, actions);
    QFETCH(QStringList, effects);

    ControlModel model;
    QString problem = performAll(model, before);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));

    SignalRecorder recorder(model);
    problem = performAll(model, actions);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QCOMPARE(recorder.lines(), effects);
}

void TestControlModel::nestingDepth_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("deepest");

    QTest::newRow("plain bit") << QStringList{} << "+Reset" << 1;
    QTest::newRow("5 AutoFil -> Fil1") << QStringList{} << "-AutoFil" << 2;
    QTest::newRow("1 Autorange -> Pirani -> Degas") << QStringList{"+Degas"} << "-Autorange" << 3;
    QTest::newRow("3 IG -> Pirani -> PiATM") << QStringList{"-Autorange", "+PiATM"} << "+IG" << 3;
}

// A mirroring check box reads the model while handlers run; the state it sees must already
// be the new one, and the depth must fall back to zero once the click is done.
void TestControlModel::nestingDepth()
{
    QFETCH(QStringList, before);
    QFETCH(QString, action);
    QFETCH(int, deepest);

    ControlModel model;
    model.startUp();
    QString problem = performAll(model, before);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));

    int maxDepth = 0;
    QStringList stale;
    QObject context;
    connect(&model, &ControlModel::handlerEntered, &context,
            [&](Box) { maxDepth = std::max(maxDepth, model.handlerDepth()); });
    connect(&model, &ControlModel::checkedChanged, &context, [&](Box box, bool checked) {
        if (model.isChecked(box) != checked)
            stale << shortName(box);
    });
    problem = perform(model, action);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QCOMPARE(maxDepth, deepest);
    QCOMPARE(model.handlerDepth(), 0);
    QVERIFY2(stale.isEmpty(), qPrintable(stale.join(QLatin1Char(','))));
}

QTEST_APPLESS_MAIN(TestControlModel)
#include "tst_controlmodel.moc"
