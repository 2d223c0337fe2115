#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace kelmor {

// What the command line asks for. Read before any window exists, so that --help and
// --version work without a display.
struct CommandLine
{
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Run;
    QString error;             // Action::Error: what was wrong, for the operator
    QString platform;          // the value of Qt's -platform option, if given
    bool displayGiven = false; // Qt's -display option was given
};

// Arguments without the program name. Besides -h/--help and -v/--version the options
// that every Qt program takes are let through to Qt; anything else is an error.
CommandLine parseCommandLine(const QStringList &arguments);

QString helpText();
QString versionText();
QString usageLine();
QString noGraphicalSessionText();

// True when the platform Qt will use needs a display server and nothing names one: Qt
// would abort. env gives an environment variable's value (empty when unset).
bool graphicalSessionMissing(const CommandLine &commandLine,
                             const std::function<QString(const char *)> &env);

// Exit statuses besides 0.
constexpr int kExitNoGraphicalSession = 1;
constexpr int kExitUsage = 2;

// For main(), before the application object exists: answers --help, --version, wrong
// options and a missing display, returning the exit status when the program ends here.
// Otherwise returns nothing and, until endPlatformStartGuard(), turns Qt's fatal error
// about a display it cannot reach into the same message and status instead of an abort.
std::optional<int> handleCommandLine(int argc, char **argv);
void endPlatformStartGuard();

} // namespace kelmor
