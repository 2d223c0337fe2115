#include "commandline.h"

#include <QFileInfo>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

namespace kelmor {

namespace {

const char kProgram[] = "monitor-kelmor";

// Qt's own options (QGuiApplication, QApplication, the X11 platform), which Qt takes out
// of the arguments itself. A desktop user may well pass one, e.g. -style or -platform.
const QStringList kQtOptionsWithValue = {QStringLiteral("platform"),
                                         QStringLiteral("platformpluginpath"),
                                         QStringLiteral("platformtheme"),
                                         QStringLiteral("plugin"),
                                         QStringLiteral("qwindowgeometry"),
                                         QStringLiteral("geometry"),
                                         QStringLiteral("qwindowicon"),
                                         QStringLiteral("icon"),
                                         QStringLiteral("qwindowtitle"),
                                         QStringLiteral("title"),
                                         QStringLiteral("display"),
                                         QStringLiteral("session"),
                                         QStringLiteral("name"),
                                         QStringLiteral("style"),
                                         QStringLiteral("stylesheet")};
const QStringList kQtFlags = {QStringLiteral("reverse"), QStringLiteral("widgetcount"),
                              QStringLiteral("nograb"), QStringLiteral("dograb"),
                              QStringLiteral("sync")};
// Only these two also take the value as -name=value.
const QStringList kQtOptionsWithEquals = {QStringLiteral("style"), QStringLiteral("stylesheet")};

CommandLine failure(const QString &text)
{
    CommandLine result;
    result.action = CommandLine::Action::Error;
    result.error = text;
    return result;
}

bool isWaylandPlatform(const QString &name)
{
    return name.startsWith(QLatin1String("wayland"));
}

bool isXcbPlatform(const QString &name)
{
    return name == QLatin1String("xcb");
}

bool s_guardActive = false;
QtMessageHandler s_previousHandler = nullptr;

void guardHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtFatalMsg && s_guardActive) {
        // Qt has found no platform it can start; its text would suggest reinstalling the
        // program, and the abort after it would leave a core dump for a missing display.
        std::fprintf(stderr, "%s\n", noGraphicalSessionText().toLocal8Bit().constData());
        std::fflush(stderr);
        std::_Exit(kExitNoGraphicalSession);
    }
    if (s_previousHandler)
        s_previousHandler(type, context, message);
}

} // namespace

CommandLine parseCommandLine(const QStringList &arguments)
{
    CommandLine result;
    bool wantHelp = false;
    bool wantVersion = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            wantHelp = true;
            continue;
        }
        if (arg == QLatin1String("-v") || arg == QLatin1String("--version")) {
            wantVersion = true;
            continue;
        }
        if (arg.size() < 2 || !arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("--"))
            return failure(QStringLiteral("überzähliges Argument „%1“").arg(arg));
        // Qt reads its options with one dash or two.
        QString name = arg.mid(arg.startsWith(QLatin1String("--")) ? 2 : 1);
        QString value;
        bool hasValue = false;
        const qsizetype equals = name.indexOf(QLatin1Char('='));
        if (equals > 0 && kQtOptionsWithEquals.contains(name.left(equals))) {
            value = name.mid(equals + 1);
            name.truncate(equals);
            hasValue = true;
        }
        if (kQtFlags.contains(name))
            continue;
        if (!kQtOptionsWithValue.contains(name))
            return failure(QStringLiteral("unbekannte Option „%1“").arg(arg));
        if (!hasValue) {
            if (i + 1 >= arguments.size())
                return failure(QStringLiteral("die Option „%1“ braucht einen Wert").arg(arg));
            value = arguments.at(++i);
        }
        if (name == QLatin1String("platform"))
            result.platform = value;
        else if (name == QLatin1String("display"))
            result.displayGiven = !value.isEmpty();
    }
    if (wantHelp)
        result.action = CommandLine::Action::Help;
    else if (wantVersion)
        result.action = CommandLine::Action::Version;
    return result;
}

QString usageLine()
{
    return QStringLiteral("Aufruf: %1 [-h | --help | -v | --version]").arg(QLatin1String(kProgram));
}

QString helpText()
{
    return usageLine() +
           QStringLiteral(
               "\n"
               "Service-Monitor für KELMOR-Kombinationsvakuummeter (Pirani und Ionisations-\n"
               "vakuummeter mit zwei Filamenten): zeigt Druck, Statuslampen und Lebensbit jeder\n"
               "Messzeile, stellt das Steuerwort mit fünfzehn verriegelten Kästchen zusammen,\n"
               "sendet es und freie Befehle und zeichnet während der Überwachung jede empfangene\n"
               "Zeile in der Datenaufzeichnung auf.\n"
               "\n"
               "Ohne Option öffnet sich das Fenster mit dem Dialog „COM-Anschluß-Einstellungen“.\n"
               "Dazu braucht es eine grafische Sitzung (X11 oder Wayland).\n"
               "\n"
               "Optionen:\n"
               "  -h, --help     diese Hilfe zeigen und beenden\n"
               "  -v, --version  die Version zeigen und beenden\n"
               "Die allgemeinen Optionen von Qt gelten auch, etwa -platform NAME und -style NAME.\n"
               "\n"
               "Umgebung:\n"
               "  KELMOR_COM1    Gerät für Com1, etwa /dev/ttyUSB0; sonst das erste vorhandene\n"
               "                 serielle Gerät (erst die der Hauptplatine, dann USB-Adapter);\n"
               "                 ebenso KELMOR_COM2 bis KELMOR_COM4 für Com2 bis Com4\n"
               "  KELMOR_LOG     Datei der Datenaufzeichnung; sonst $HOME/KelmorLog.txt\n"
               "\n"
               "Dateien:\n"
               "  $HOME/KelmorLog.txt\n"
               "                 Datenaufzeichnung: je Lauf ein Kopfsatz mit Datum und Uhrzeit,\n"
               "                 dann jede empfangene Zeile; die Datei wächst nur.\n"
               "\n"
               "Beendet sich mit 0, mit %1 ohne grafische Sitzung und mit %2 bei falschen\n"
               "Optionen.\n")
               .arg(kExitNoGraphicalSession)
               .arg(kExitUsage);
}

QString versionText()
{
    return QStringLiteral("%1 %2\n"
                          "Copyright (C) 2026 Monitor_Kelmor developers\n"
                          "Lizenz GPLv3+: GNU GPL Version 3 oder neuer "
                          "<https://gnu.org/licenses/gpl.html>\n")
        .arg(QLatin1String(kProgram), QStringLiteral(KELMOR_VERSION_STRING));
}

QString noGraphicalSessionText()
{
    return QStringLiteral("%1: keine grafische Sitzung erreichbar. Das Programm braucht "
                          "X11 oder Wayland (DISPLAY oder WAYLAND_DISPLAY).")
        .arg(QLatin1String(kProgram));
}

bool graphicalSessionMissing(const CommandLine &commandLine,
                             const std::function<QString(const char *)> &env)
{
    QString platforms = commandLine.platform;
    if (platforms.isEmpty())
        platforms = env("QT_QPA_PLATFORM");
    QStringList names;
    for (const QString &entry : platforms.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        names.append(entry.section(QLatin1Char(':'), 0, 0).trimmed());
    if (names.isEmpty())
        names = {QStringLiteral("xcb"), QStringLiteral("wayland")};

    const bool x11 = commandLine.displayGiven || !env("DISPLAY").isEmpty();
    const QString runtimeDir = env("XDG_RUNTIME_DIR");
    const bool wayland =
        !env("WAYLAND_DISPLAY").isEmpty() || !env("WAYLAND_SOCKET").isEmpty() ||
        (!runtimeDir.isEmpty() && QFileInfo::exists(runtimeDir + QStringLiteral("/wayland-0")));
    for (const QString &name : names) {
        if (isXcbPlatform(name)) {
            if (x11)
                return false;
        } else if (isWaylandPlatform(name)) {
            if (wayland)
                return false;
        } else {
            // offscreen, vnc, eglfs, ...: Qt is told what it needs; it knows better.
            return false;
        }
    }
    return true;
}

std::optional<int> handleCommandLine(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const CommandLine commandLine = parseCommandLine(arguments);
    switch (commandLine.action) {
    case CommandLine::Action::Help:
        std::fputs(helpText().toLocal8Bit().constData(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    case CommandLine::Action::Version:
        std::fputs(versionText().toLocal8Bit().constData(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    case CommandLine::Action::Error:
        std::fprintf(stderr, "%s: %s\n%s\n", kProgram, commandLine.error.toLocal8Bit().constData(),
                     usageLine().toLocal8Bit().constData());
        return kExitUsage;
    case CommandLine::Action::Run:
        break;
    }
    if (graphicalSessionMissing(commandLine,
                                [](const char *name) { return qEnvironmentVariable(name); })) {
        std::fprintf(stderr, "%s\n", noGraphicalSessionText().toLocal8Bit().constData());
        return kExitNoGraphicalSession;
    }
    s_guardActive = true;
    s_previousHandler = qInstallMessageHandler(guardHandler);
    return std::nullopt;
}

void endPlatformStartGuard()
{
    if (!s_guardActive)
        return;
    s_guardActive = false;
    qInstallMessageHandler(s_previousHandler);
}

} // namespace kelmor
