// kelmor-gauge-sim: a stand-in for the gauge on a pseudo-terminal, so the monitor can be
// tried and tested without the hardware.

#include "ptygauge.h"
#include "replaylog.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using namespace kelmor::sim;

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

bool installSignalHandlers()
{
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action = {};
    action.sa_handler = onSignal;
    ::sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        if (::sigaction(signal, &action, nullptr) != 0)
            return false;
    }
    ::signal(SIGPIPE, SIG_IGN);
    return true;
}

void complain(const QString &text)
{
    std::fprintf(stderr, "kelmor-gauge-sim: %s\n", qPrintable(text));
}

// A symbolic link may be replaced (a stale one from an earlier run is the usual case);
// anything else at that path is somebody's file and stays.
bool createLink(const QString &linkPath, const QString &target)
{
    const QByteArray link = QFile::encodeName(linkPath);
    struct stat info = {};
    if (::lstat(link.constData(), &info) == 0) {
        if (!S_ISLNK(info.st_mode)) {
            complain(QStringLiteral("%1 exists and is not a symbolic link").arg(linkPath));
            return false;
        }
        ::unlink(link.constData());
    }
    if (::symlink(QFile::encodeName(target).constData(), link.constData()) != 0) {
        complain(QStringLiteral("cannot create link %1: %2")
                     .arg(linkPath, QString::fromLocal8Bit(std::strerror(errno))));
        return false;
    }
    return true;
}

// Only our own link goes: another simulator may have taken the path over meanwhile.
void removeLink(const QString &linkPath, const QString &target)
{
    const QByteArray link = QFile::encodeName(linkPath);
    char buffer[4096];
    const ssize_t n = ::readlink(link.constData(), buffer, sizeof buffer);
    if (n > 0 && QByteArray(buffer, n) == QFile::encodeName(target))
        ::unlink(link.constData());
}

const char kDescription[] =
    "Plays a KELMOR combination vacuum gauge on a pseudo-terminal, for trying and testing\n"
    "the monitor without the hardware.\n"
    "\n"
    "Prints the path of the terminal (slave) side on the first line of standard output;\n"
    "open that path as the serial port. Runs until SIGINT, SIGTERM or the end of standard\n"
    "input (press Ctrl-D), or with --no-stdin until a signal.\n"
    "\n"
    "Commands, each ended by CR (LF is ignored, names are upper-case only):\n"
    "  SX1        start the stream of measurement lines (one per --interval)\n"
    "  SX0        stop the stream\n"
    "  SC hhhh    take the control word (four hex digits), answers \"SC OK\"\n"
    "  RV         answers \"RV KELMOR-SIM 1.0\"\n"
    "  other      answers \"ERR <command>\"; an empty command is ignored\n"
    "Answers end with CR, or CR LF with --crlf.\n"
    "\n"
    "Measurement line, 1-based positions: 4..11 pressure (\"1.23E-05\", mbar),\n"
    "47..50 status word in hex, 51 TAB, then the line counter; in between the unit,\n"
    "the principle in use, the filament, the emission current and the control word.\n"
    "The pressure falls from 1.00E+03 to about 1E-07 mbar within --pumpdown seconds,\n"
    "counted from the start of the simulator. The status word follows the control word\n"
    "(0009 until the first SC): Autorange measures with the Pirani above 1E-02 mbar and\n"
    "with the IG below; degas and the small emission current only with the IG; SP Auto\n"
    "switches the SP output below 1E-03 mbar; reset and the Pirani adjustments are\n"
    "acknowledged for five lines; the life bit toggles with every line.\n"
    "\n"
    "--rise R closes the vessel off from the pump when the pump-down ends, for a\n"
    "rate-of-rise leak test: from then on the pressure rises from where it stood by R\n"
    "mbar per second (a leak). --outgas A,T adds A * (1 - exp(-t / T)) mbar, t seconds\n"
    "after closing off: gas from the walls, a rise that bends over towards A within a\n"
    "few T seconds. Either closes the vessel off; the noise stays as in the pump-down.\n"
    "\n"
    "--replay FILE plays back a data log written by the monitor instead: run headers\n"
    "are skipped, each data field is sent exactly as logged followed by CR (--crlf does\n"
    "not apply to them: a CR LF gauge's LF is already inside the field). Every SX1\n"
    "starts again at the first field; at the end the replay loops to the first.";

// What the command line asks for, read and checked.
struct Settings
{
    SimOptions sim;
    int intervalMs = 100;
    QString linkPath;
    std::optional<QString> sentPath;
    bool readStdin = true;
};

// Plays back the fields of a data log; false after saying why not.
bool loadReplay(const QString &path, SimOptions *options)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        complain(QStringLiteral("cannot read %1: %2").arg(file.fileName(), file.errorString()));
        return false;
    }
    const ReplayLog log = parseReplayLog(file.readAll());
    if (log.fields.isEmpty()) {
        complain(QStringLiteral("%1 holds no data records").arg(file.fileName()));
        return false;
    }
    if (log.tornTail)
        complain(QStringLiteral("%1 ends inside a record; that record is left out")
                     .arg(file.fileName()));
    options->replayFields = log.fields;
    return true;
}

// The options and their help texts.
struct CommandLineOptions
{
    const QCommandLineOption interval{QStringLiteral("interval"),
                                      QStringLiteral("Period of the stream in ms (default 100)."),
                                      QStringLiteral("MS"), QStringLiteral("100")};
    const QCommandLineOption pumpdown{
        QStringLiteral("pumpdown"),
        QStringLiteral("Seconds from atmosphere to base pressure (default 180; 0 starts at "
                       "base pressure)."),
        QStringLiteral("SECONDS"), QStringLiteral("180")};
    const QCommandLineOption seed{QStringLiteral("seed"),
                                  QStringLiteral("Seed of the pressure noise (default 1)."),
                                  QStringLiteral("N"), QStringLiteral("1")};
    const QCommandLineOption crlf{QStringLiteral("crlf"),
                                  QStringLiteral("End lines with CR LF instead of CR.")};
    const QCommandLineOption link{
        QStringLiteral("link"),
        QStringLiteral("Also make a symbolic link to the terminal at PATH (a link already "
                       "there is replaced); removed at the end."),
        QStringLiteral("PATH")};
    const QCommandLineOption noStdin{
        QStringLiteral("no-stdin"),
        QStringLiteral("Ignore standard input; only a signal ends the simulator.")};
    const QCommandLineOption replay{QStringLiteral("replay"),
                                    QStringLiteral("Play back the data records of a data log."),
                                    QStringLiteral("FILE")};
    const QCommandLineOption rise{
        QStringLiteral("rise"),
        QStringLiteral("After the pump-down the pressure rises by MBAR_PER_S (a leak)."),
        QStringLiteral("MBAR_PER_S")};
    const QCommandLineOption outgas{
        QStringLiteral("outgas"),
        QStringLiteral("After the pump-down the walls add up to MBAR, with the time constant "
                       "SECONDS."),
        QStringLiteral("MBAR,SECONDS")};
    const QCommandLineOption sent{
        QStringLiteral("sent"),
        QStringLiteral("Append every byte sent to the terminal to FILE, as it goes."),
        QStringLiteral("FILE")};
};

// Nothing after saying what is wrong.
std::optional<Settings> checkedSettings(const QCommandLineParser &parser,
                                        const CommandLineOptions &o)
{
    Settings settings;
    bool ok = false;
    settings.intervalMs = parser.value(o.interval).toInt(&ok);
    if (!ok || settings.intervalMs < 1 || settings.intervalMs > 3600000) {
        complain(QStringLiteral("--interval wants milliseconds from 1 to 3600000"));
        return std::nullopt;
    }
    SimOptions &sim = settings.sim;
    sim.pumpDownSeconds = parser.value(o.pumpdown).toDouble(&ok);
    if (!ok || sim.pumpDownSeconds < 0) {
        complain(QStringLiteral("--pumpdown wants seconds, 0 or more"));
        return std::nullopt;
    }
    QString riseError;
    const std::optional<RateOfRise> rise =
        parseRateOfRise(parser.value(o.rise), parser.value(o.outgas), &riseError);
    if (!rise) {
        complain(riseError);
        return std::nullopt;
    }
    sim.rise = *rise;
    sim.seed = parser.value(o.seed).toUInt(&ok);
    if (!ok) {
        complain(QStringLiteral("--seed wants a whole number from 0 to 4294967295"));
        return std::nullopt;
    }
    sim.lineEnd = parser.isSet(o.crlf) ? LineEnd::CrLf : LineEnd::Cr;
    if (parser.isSet(o.replay) && !loadReplay(parser.value(o.replay), &sim))
        return std::nullopt;
    settings.linkPath = parser.value(o.link);
    if (parser.isSet(o.sent))
        settings.sentPath = parser.value(o.sent);
    settings.readStdin = !parser.isSet(o.noStdin);
    return settings;
}

// --help and --version end the program here.
std::optional<Settings> readCommandLine(const QCoreApplication &app)
{
    const CommandLineOptions o;
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({o.interval, o.pumpdown, o.seed, o.crlf, o.link, o.noStdin, o.replay, o.sent,
                       o.rise, o.outgas});
    parser.process(app);
    return checkedSettings(parser, o);
}

// SIGINT, SIGTERM and SIGHUP end the event loop; nothing when they cannot be caught.
std::unique_ptr<QSocketNotifier> quitOnSignals()
{
    if (!installSignalHandlers()) {
        complain(QStringLiteral("cannot install the signal handlers"));
        return nullptr;
    }
    auto notifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, qApp, [] {
        char buffer[16];
        while (::read(g_signalPipe[0], buffer, sizeof buffer) > 0) {
        }
        QCoreApplication::quit();
    });
    return notifier;
}

// The end of standard input ends the event loop; nothing when there is no standard input.
std::unique_ptr<QSocketNotifier> quitAtEndOfInput()
{
    if (::fcntl(STDIN_FILENO, F_GETFL) == -1) {
        complain(QStringLiteral("standard input is closed; use --no-stdin"));
        return nullptr;
    }
    auto notifier = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
    QSocketNotifier *input = notifier.get();
    QObject::connect(input, &QSocketNotifier::activated, qApp, [input] {
        char buffer[512];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
            input->setEnabled(false);
            QCoreApplication::quit();
        }
    });
    return notifier;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kelmor-gauge-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KELMOR_VERSION_STRING));
    const std::optional<Settings> settings = readCommandLine(app);
    if (!settings)
        return 2;
    const std::unique_ptr<QSocketNotifier> signalNotifier = quitOnSignals();
    if (!signalNotifier)
        return 1;

    PtyGauge gauge(settings->sim, settings->intervalMs);
    QString error;
    if (!gauge.open(&error)) {
        complain(error);
        return 1;
    }
    if (settings->sentPath && !gauge.recordSentTo(*settings->sentPath, &error)) {
        complain(error);
        return 2;
    }
    std::unique_ptr<QSocketNotifier> stdinNotifier;
    if (settings->readStdin && !(stdinNotifier = quitAtEndOfInput()))
        return 2;

    // The link exists before the path is announced, so whoever reads the path can use
    // either at once.
    const QString slavePath = gauge.slavePath();
    const QString &linkPath = settings->linkPath;
    if (!linkPath.isEmpty() && !createLink(linkPath, slavePath))
        return 2;
    std::printf("%s\n", QFile::encodeName(slavePath).constData());
    std::fflush(stdout);

    const int result = QCoreApplication::exec();
    if (!linkPath.isEmpty())
        removeLink(linkPath, slavePath);
    return result;
}
