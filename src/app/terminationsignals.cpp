#include "terminationsignals.h"

#include <QApplication>
#include <QEvent>
#include <QSocketNotifier>
#include <QWidget>

#include <atomic>
#include <cerrno>
#include <csignal>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <unistd.h>
#endif

namespace kelmor {

namespace {

#ifndef Q_OS_WIN
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

int g_pipe[2] = {-1, -1};
volatile std::sig_atomic_t g_pending = 0;

extern "C" void onTerminationSignal(int sig)
{
    // The first signal asks for an orderly end; one more while that runs ends it now.
    if (g_pending) {
        std::signal(sig, SIG_DFL);
        std::raise(sig);
        return;
    }
    g_pending = sig;
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(sig);
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}
#endif

} // namespace

TerminationSignals *TerminationSignals::install(QWidget *window)
{
    return new TerminationSignals(window);
}

TerminationSignals::TerminationSignals(QWidget *window) : QObject(window), m_window(window)
{
#ifndef Q_OS_WIN
    std::signal(SIGPIPE, SIG_IGN);
    if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        qWarning("no pipe for the termination signals: they end the program as before");
        return;
    }
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::onSignal);

    struct sigaction action
    {
    };
    action.sa_handler = onTerminationSignal;
    // While one handler runs the others wait, so a second signal always finds the first.
    sigemptyset(&action.sa_mask);
    for (const int sig : kSignals)
        sigaddset(&action.sa_mask, sig);
    action.sa_flags = SA_RESTART;
    for (const int sig : kSignals)
        ::sigaction(sig, &action, nullptr);
#endif
    window->installEventFilter(this);
}

void TerminationSignals::onSignal()
{
#ifndef Q_OS_WIN
    unsigned char byte = 0;
    while (::read(g_pipe[0], &byte, 1) == 1)
        m_received = byte;
#endif
    closeWindow();
}

void TerminationSignals::closeWindow()
{
    // A dialog's own event loop (the settings dialog at start-up) has to end first, or
    // the window would only be closed once the operator had answered it.
    QWidget *previous = nullptr;
    while (QWidget *modal = QApplication::activeModalWidget()) {
        if (modal == m_window || modal == previous || !modal->close())
            break;
        previous = modal;
    }
    if (m_window)
        m_window->close();
}

bool TerminationSignals::eventFilter(QObject *watched, QEvent *event)
{
    // Asked to end before the window was first shown: it goes as soon as it is.
    if (m_received && watched == m_window && event->type() == QEvent::Show)
        QMetaObject::invokeMethod(this, &TerminationSignals::closeWindow, Qt::QueuedConnection);
    return QObject::eventFilter(watched, event);
}

} // namespace kelmor
