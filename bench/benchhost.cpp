// The monitor as bench_monitor drives it: the real window, serial component and data log,
// offscreen, with the operator's two clicks made by the program (OK in the settings
// dialog, then START). Everything else is the program as shipped.
//
// It reports on standard output, one line each:
//   dialog NS   CLOCK_MONOTONIC in nanoseconds when the settings dialog was first painted
//   running     the monitoring run has started
// With --until-dialog it ends once the dialog has been answered, without showing the
// window. With --trend it also opens the trend window ("Verlauf…") once the run is on. Otherwise it
// runs until its standard input ends, then stops the run (as the STOP click does) and quits.

#include "failuremessage.h"
#include "form1.h"
#include "settingsok.h"
#include "trendwindow.h"

#include <QApplication>
#include <QEvent>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <unistd.h>

namespace {

void report(const std::string &line)
{
    const std::string text = line + '\n';
    // Unbuffered: the driver times these lines.
    [[maybe_unused]] const ssize_t n = ::write(STDOUT_FILENO, text.data(), text.size());
}

qint64 monotonicNs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Notes the settings dialog's first paint, then answers it with OK.
class DialogWatcher : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!m_seen && event->type() == QEvent::Paint && watched->isWidgetType()) {
            QWidget *top = static_cast<QWidget *>(watched)->window();
            if (top->objectName() == QLatin1String("frmProperties")) {
                m_seen = true;
                report("dialog " + std::to_string(monotonicNs()));
                QTimer::singleShot(0, top, [top] { kelmor::tools::clickSettingsOk(top); });
            }
        }
        return false;
    }

private:
    bool m_seen = false;
};

} // namespace

int main(int argc, char *argv[])
{
    const bool untilDialog = argc > 1 && std::strcmp(argv[1], "--until-dialog") == 0;
    const bool trend = argc > 1 && std::strcmp(argv[1], "--trend") == 0;
    kelmor::preparePlatform();
    QApplication app(argc, argv);
    kelmor::initApplication();
    kelmor::setFailureMessageHandler([](QWidget *, const QString &text) {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    });

    DialogWatcher watcher;
    app.installEventFilter(&watcher);
    kelmor::Form1 window;
    window.load();
    app.removeEventFilter(&watcher);
    if (untilDialog)
        return 0;

    window.show();
    auto *monitor = window.findChild<QPushButton *>(QStringLiteral("cmdMonitor"));
    monitor->click();
    if (!window.monitoringRuns()) {
        std::fprintf(stderr, "the monitoring run did not start\n");
        return 1;
    }
    if (trend) {
        if (auto *open = window.findChild<QPushButton *>(QStringLiteral("CmdVerlauf")))
            open->click();
        if (!window.findChild<kelmor::TrendWindow *>()) {
            std::fprintf(stderr, "the trend window did not open\n");
            return 1;
        }
    }
    report("running");

    // The driver ends the run by closing our standard input; no timer of our own.
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &window, [&] {
        char sink[256];
        if (::read(STDIN_FILENO, sink, sizeof sink) > 0)
            return;
        input.setEnabled(false);
        if (window.monitoringRuns())
            monitor->click();
        QApplication::quit();
    });
    return QApplication::exec();
}
