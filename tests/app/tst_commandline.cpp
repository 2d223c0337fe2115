// The command line of monitor-kelmor: the parser on its own, and the built programs as a
// shell or help2man meets them, without any display.

#include "commandline.h"

#include <QHash>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace kelmor;

namespace {

using Action = CommandLine::Action;

// Runs a built program with the environment given (nothing inherited but PATH and HOME).
struct Run
{
    int status = -1;
    QProcess::ExitStatus exit = QProcess::CrashExit;
    QString out;
    QString err;
};

Run runProgram(const QString &program, const QStringList &arguments,
               const QHash<QString, QString> &environment = {})
{
    QProcessEnvironment env;
    env.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
    env.insert(QStringLiteral("HOME"), qEnvironmentVariable("HOME"));
    for (auto it = environment.begin(); it != environment.end(); ++it)
        env.insert(it.key(), it.value());
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    Run run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exit = process.exitStatus();
    run.status = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void parses_data();
    void parses();
    void display_data();
    void display();
    void programAnswersWithoutDisplay_data();
    void programAnswersWithoutDisplay();
    void unreachableDisplayIsNoAbort();
    void simulatorVersionIsTheProjects();
};

void TestCommandLine::parses_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<Action>("action");
    QTest::addColumn<QString>("errorPart");
    QTest::addColumn<QString>("platform");

    const QString none;
    QTest::newRow("nothing") << QStringList{} << Action::Run << none << none;
    QTest::newRow("--help") << QStringList{"--help"} << Action::Help << none << none;
    QTest::newRow("-v") << QStringList{"-v"} << Action::Version << none << none;
    QTest::newRow("help wins") << QStringList{"--version", "--help"} << Action::Help << none
                               << none;
    QTest::newRow("unknown long") << QStringList{"--demo"} << Action::Error
                                  << "unbekannte Option „--demo“" << none;
    QTest::newRow("wrong after help")
        << QStringList{"--help", "--bogus"} << Action::Error << "„--bogus“" << none;
    QTest::newRow("argument") << QStringList{"Com1"} << Action::Error
                              << "überzähliges Argument „Com1“" << none;
    QTest::newRow("double dash") << QStringList{"--"} << Action::Error << "„--“" << none;
    QTest::newRow("empty") << QStringList{""} << Action::Error << "„“" << none;
    QTest::newRow("Qt platform") << QStringList{"-platform", "offscreen"} << Action::Run << none
                                 << "offscreen";
    QTest::newRow("Qt platform, two dashes")
        << QStringList{"--platform", "vnc"} << Action::Run << none << "vnc";
    QTest::newRow("Qt style=") << QStringList{"-style=Fusion", "-reverse"} << Action::Run << none
                               << none;
    QTest::newRow("Qt style value")
        << QStringList{"-style", "Fusion", "--help"} << Action::Help << none << none;
    // The value of a Qt option is not taken for an option of ours.
    QTest::newRow("value like option")
        << QStringList{"-qwindowtitle", "--help"} << Action::Run << none << none;
    QTest::newRow("value missing")
        << QStringList{"-platform"} << Action::Error << "„-platform“ braucht einen Wert" << none;
    QTest::newRow("= only for style")
        << QStringList{"-platform=offscreen"} << Action::Error << "unbekannte Option" << none;
}

void TestCommandLine::parses()
{
    QFETCH(QStringList, arguments);
    QFETCH(Action, action);
    QFETCH(QString, errorPart);
    QFETCH(QString, platform);
    const CommandLine result = parseCommandLine(arguments);
    QCOMPARE(result.action, action);
    if (action == Action::Error)
        QVERIFY2(result.error.contains(errorPart), qPrintable(result.error));
    else
        QVERIFY(result.error.isEmpty());
    QCOMPARE(result.platform, platform);
}

void TestCommandLine::display_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("environment"); // NAME=value
    QTest::addColumn<bool>("wayland0");           // XDG_RUNTIME_DIR holds a wayland-0 socket
    QTest::addColumn<bool>("missing");

    QTest::newRow("nothing") << QStringList{} << QStringList{} << false << true;
    QTest::newRow("X11") << QStringList{} << QStringList{"DISPLAY=:0"} << false << false;
    QTest::newRow("Wayland") << QStringList{} << QStringList{"WAYLAND_DISPLAY=wayland-1"} << false
                             << false;
    QTest::newRow("xcb without DISPLAY")
        << QStringList{} << QStringList{"QT_QPA_PLATFORM=xcb", "WAYLAND_DISPLAY=wayland-0"} << false
        << true;
    QTest::newRow("wayland without one")
        << QStringList{} << QStringList{"QT_QPA_PLATFORM=wayland", "DISPLAY=:0"} << false << true;
    QTest::newRow("wayland, default socket")
        << QStringList{} << QStringList{"QT_QPA_PLATFORM=wayland"} << true << false;
    QTest::newRow("fallback list")
        << QStringList{} << QStringList{"QT_QPA_PLATFORM=wayland;xcb", "DISPLAY=:1"} << false
        << false;
    QTest::newRow("offscreen") << QStringList{} << QStringList{"QT_QPA_PLATFORM=offscreen"} << false
                               << false;
    QTest::newRow("platform arguments")
        << QStringList{} << QStringList{"QT_QPA_PLATFORM=vnc:size=800x600"} << false << false;
    QTest::newRow("xcb with arguments")
        << QStringList{} << QStringList{"QT_QPA_PLATFORM=xcb:nomitshm"} << false << true;
    QTest::newRow("-platform over environment")
        << QStringList{"-platform", "xcb"} << QStringList{"QT_QPA_PLATFORM=offscreen"} << false
        << true;
    QTest::newRow("-display") << QStringList{"-display", ":3"} << QStringList{} << false << false;
}

void TestCommandLine::display()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, environment);
    QFETCH(bool, wayland0);
    QFETCH(bool, missing);

    QTemporaryDir runtime;
    QVERIFY(runtime.isValid());
    QHash<QString, QString> env;
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    if (wayland0) {
        QFile socket(runtime.filePath(QStringLiteral("wayland-0")));
        QVERIFY(socket.open(QIODevice::WriteOnly));
    }
    for (const QString &entry : environment)
        env.insert(entry.section(QLatin1Char('='), 0, 0), entry.section(QLatin1Char('='), 1));
    const CommandLine commandLine = parseCommandLine(arguments);
    QCOMPARE(commandLine.action, Action::Run);
    QCOMPARE(
        graphicalSessionMissing(
            commandLine, [&env](const char *name) { return env.value(QString::fromLatin1(name)); }),
        missing);
}

void TestCommandLine::programAnswersWithoutDisplay_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("outPart");
    QTest::addColumn<QString>("errPart");

    QTest::newRow("--help") << QStringList{"--help"} << 0 << "Aufruf: monitor-kelmor"
                            << "";
    QTest::newRow("--version") << QStringList{"--version"} << 0
                               << "monitor-kelmor " KELMOR_VERSION_STRING "\n"
                               << "";
    QTest::newRow("unknown option") << QStringList{"--frobnicate"} << kExitUsage << ""
                                    << "„--frobnicate“\nAufruf: monitor-kelmor [";
    QTest::newRow("no display") << QStringList{} << kExitNoGraphicalSession << ""
                                << "keine grafische Sitzung";
}

void TestCommandLine::programAnswersWithoutDisplay()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, outPart);
    QFETCH(QString, errPart);
    const Run run = runProgram(QStringLiteral(KELMOR_MONITOR_PATH), arguments);
    QCOMPARE(run.exit, QProcess::NormalExit);
    QCOMPARE(run.status, status);
    QVERIFY2(run.out.contains(outPart), qPrintable(run.out));
    QVERIFY2(run.err.contains(errPart), qPrintable(run.err));
    if (outPart.isEmpty())
        QVERIFY2(run.out.isEmpty(), qPrintable(run.out));
    if (errPart.isEmpty())
        QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
}

void TestCommandLine::unreachableDisplayIsNoAbort()
{
    // A display named but not there: Qt's plugin fails inside the application object.
    const Run run = runProgram(QStringLiteral(KELMOR_MONITOR_PATH), {},
                               {{QStringLiteral("DISPLAY"), QStringLiteral(":4711")},
                                {QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb")}});
    QCOMPARE(run.exit, QProcess::NormalExit);
    QCOMPARE(run.status, kExitNoGraphicalSession);
    QVERIFY2(run.err.contains(QStringLiteral("keine grafische Sitzung")), qPrintable(run.err));
}

void TestCommandLine::simulatorVersionIsTheProjects()
{
    const Run run = runProgram(QStringLiteral(KELMOR_GAUGE_SIM_PATH), {"--version"});
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, QStringLiteral("kelmor-gauge-sim " KELMOR_VERSION_STRING "\n"));
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
