// The real window as a process of its own, for the kill and signal tests: it opens Com1
// (KELMOR_COM1), starts a monitoring run into the log file named on the command line, and
// reports on standard output, one line each, "RUN" once the run is on and then every line
// the window has finished handling, hex-encoded. Failure messages go to standard error
// instead of a message box. It handles the end-of-program signals as the program does.
// With "--stay-in-dialog" it leaves the start-up settings dialog open and says "DIALOG".

#include "failuremessage.h"
#include "form1harness.h"
#include "settingsok.h"
#include "terminationsignals.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace {

void say(const QByteArray &text)
{
    // One write per line straight to the pipe: nothing waits in a buffer when the kill
    // comes.
    const QByteArray line = text + '\n';
    qsizetype done = 0;
    while (done < line.size()) {
        const ssize_t n =
            ::write(STDOUT_FILENO, line.constData() + done, size_t(line.size() - done));
        if (n <= 0)
            return;
        done += n;
    }
}

// Looks at the receive monitor each time an event of the event loop itself has run to its
// end. Events sent from inside a handler (a text box's layout requests, for one) do not
// count: the handler is still busy and nothing of it is on the screen yet.
class DriverApplication : public QApplication
{
public:
    using QApplication::QApplication;

    void watch(const kelmor::Form1 *window)
    {
        m_monitor =
            window ? kelmor::test::widget<kelmor::MonitorBox>(*window, "TextEmpfang") : nullptr;
    }

    bool notify(QObject *receiver, QEvent *event) override
    {
        ++m_depth;
        const bool result = QApplication::notify(receiver, event);
        if (--m_depth == 0 && m_monitor)
            reportShownLine();
        return result;
    }

private:
    void reportShownLine()
    {
        const QString text = m_monitor->text();
        if (text == m_last)
            return;
        m_last = text;
        say(text.toLatin1().chopped(qMin<qsizetype>(2, text.size())).toHex());
    }

    const kelmor::MonitorBox *m_monitor = nullptr;
    QString m_last;
    int m_depth = 0;
};

} // namespace

int main(int argc, char *argv[])
{
    DriverApplication app(argc, argv);
    kelmor::initApplication();
    if (argc < 2) {
        std::fprintf(stderr, "usage: kelmor_killdriver LOGFILE [--stay-in-dialog]\n");
        return 2;
    }
    const bool stayInDialog = argc > 2 && QByteArray(argv[2]) == "--stay-in-dialog";
    kelmor::setFailureMessageHandler([](QWidget *, const QString &text) {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    });

    kelmor::Form1 window(QString::fromLocal8Bit(argv[1]));
    kelmor::TerminationSignals::install(&window);
    QTimer::singleShot(0, &app, [stayInDialog] {
        QWidget *dialog = QApplication::activeModalWidget();
        if (stayInDialog) {
            say(dialog ? "DIALOG" : "NO DIALOG");
            return;
        }
        kelmor::tools::clickSettingsOk(dialog);
    });
    window.load();
    window.show();
    if (stayInDialog) {
        say("SHOWN");
        return app.exec();
    }
    if (!kelmor::test::comKelmor(window).portOpen())
        return 3;
    kelmor::test::widget<QAbstractButton>(window, "cmdMonitor")->click();
    if (!window.monitoringRuns())
        return 4;

    app.watch(&window);
    say("RUN");
    const int status = app.exec();
    app.watch(nullptr);
    return status;
}
