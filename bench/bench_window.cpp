// The whole receive path of the real window, offscreen: a pseudo-terminal plays a gauge
// that sends measurement lines as fast as the line takes them, the window shows each one
// (lamps, pressure, receive monitor) and records it in the data log. Prints lines per
// second and the time per line. Build in Release for meaningful figures:
//   bench_window [LINES]   (default 20000)

#include "failuremessage.h"
#include "form1.h"
#include "ptypair.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

using namespace kelmor;

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    initApplication();
    const int lines = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20000;

    kelmor::test::PtyPair pty;
    if (!pty.isValid())
        return 1;
    const int master = pty.masterFd();
    qputenv("KELMOR_COM1", pty.slavePath().toLocal8Bit());
    setFailureMessageHandler([](QWidget *, const QString &text) {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    });

    QTemporaryDir dir;
    Form1 window(dir.filePath(QStringLiteral("KelmorLog.txt")));
    QTimer::singleShot(0, [] {
        if (QWidget *d = QApplication::activeModalWidget())
            if (auto *ok = d->findChild<QPushButton *>(QStringLiteral("cmdOK")))
                ok->click();
    });
    window.load();
    window.show();
    qobject_cast<QPushButton *>(window.control(QStringLiteral("cmdMonitor")))->click();

    QByteArray stream;
    for (int i = 0; i < lines; ++i) {
        QByteArray line = "PR=" + QByteArray::number(1.0 + (i % 900) / 100.0, 'f', 2) + "E-05 mbar";
        line = line.leftJustified(46, ' ');
        line += QByteArray::number((0x8000 ^ ((i & 1) << 15)) | 0x0049, 16).toUpper().rightJustified(4, '0');
        line += "\tN=" + QByteArray::number(i) + '\r';
        stream += line;
    }

    QElapsedTimer timer;
    timer.start();
    qsizetype written = 0;
    // Everything is handled once the log holds every line; count by the receive buffer
    // being empty with all bytes written and the last pressure shown.
    auto *druck = qobject_cast<QLabel *>(window.control(QStringLiteral("lblDruck")));
    const QString lastPressure = QString::fromLatin1(stream.right(60).mid(stream.right(60).lastIndexOf("PR=") + 3, 8));
    while (written < stream.size() || window.receiveBuffer().size() > 0
           || druck->text() != lastPressure) {
        if (written < stream.size()) {
            const ssize_t n = ::write(master, stream.constData() + written,
                                      size_t(std::min<qsizetype>(4096, stream.size() - written)));
            if (n > 0)
                written += n;
        }
        QApplication::processEvents(QEventLoop::AllEvents);
        char sink[4096];
        while (::read(master, sink, sizeof sink) > 0) {
        }
        if (timer.elapsed() > 300000)
            break;
    }
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    window.CloseDataLog();
    std::printf("window receive path: %d lines (%lld bytes) in %.2f s: %.0f lines/s, %.1f us per line\n",
                lines, static_cast<long long>(stream.size()), seconds, lines / seconds,
                seconds * 1e6 / lines);
    return 0;
}
