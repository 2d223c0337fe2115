#pragma once

#include <QObject>
#include <QPointer>

class QSocketNotifier;
class QWidget;

namespace kelmor {

// SIGTERM, SIGINT and SIGHUP close the window as the operator would, so the port is
// closed and the log written out and synced before the program ends with status 0. A
// second such signal while that runs ends the program at once. SIGPIPE is ignored: a
// write to a vanished reader fails with an error instead of ending the program.
//
// The handler only writes the signal's number into a pipe; the window is closed from the
// event loop, where that is safe.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    // Installs the handlers for the window's lifetime (the object is the window's child).
    static TerminationSignals *install(QWidget *window);

    // The signal that asked for the end, or 0.
    int received() const { return m_received; }

private:
    explicit TerminationSignals(QWidget *window);
    bool eventFilter(QObject *watched, QEvent *event) override;
    void onSignal();
    void closeWindow();

    QPointer<QWidget> m_window;
    QSocketNotifier *m_notifier = nullptr;
    int m_received = 0;
};

} // namespace kelmor
