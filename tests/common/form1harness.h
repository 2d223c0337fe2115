#pragma once

#include "failuremessage.h"
#include "form1.h"
#include "ptypair.h"

#include <QComboBox>
#include <QPushButton>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace kelmor::test {

// The status lamps by the status bit that lights them.
inline const char *const kLampNames[] = {"lblAutorange", "lblPirani", "lblIG",     "lblAutoFil",
                                         "lblFil1",      "lblFil2",   "lblDegas",  "lblEStrom",
                                         "lblSPman",     "lblSPout",  "lblSPauto", "lblEnableEx",
                                         "lblResetIG",   "lblPiVAC",  "lblPiATM"};

// Records every failure message instead of showing a box that would block.
class MessageCatcher
{
public:
    MessageCatcher()
    {
        m_previous = setFailureMessageHandler(
            [this](QWidget *, const QString &text) { m_messages << text; });
    }
    ~MessageCatcher() { setFailureMessageHandler(m_previous); }
    QStringList &messages() { return m_messages; }

private:
    QStringList m_messages;
    FailureMessageHandler m_previous;
};

enum class DialogAnswer { Ok, Cancel };

// Answers the settings dialog that the Load event shows modally.
inline void answerStartupDialog(DialogAnswer answer, int portIndex = 0, int speedIndex = 0)
{
    QTimer::singleShot(0, [=] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal) {
            qWarning("no modal settings dialog");
            return;
        }
        if (auto *port = modal->findChild<QComboBox *>(QStringLiteral("cboPort")))
            port->setCurrentIndex(portIndex);
        if (auto *speed = modal->findChild<QComboBox *>(QStringLiteral("cboSpeed")))
            speed->setCurrentIndex(speedIndex);
        const QString button =
            answer == DialogAnswer::Ok ? QStringLiteral("cmdOK") : QStringLiteral("cmdCancel");
        if (auto *b = modal->findChild<QPushButton *>(button))
            QTest::mouseClick(b, Qt::LeftButton);
    });
}

// The Load event with the settings dialog answered, then the window on screen.
inline void loadAndShow(Form1 &window, DialogAnswer answer)
{
    answerStartupDialog(answer);
    window.load();
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        qWarning("the main window was not exposed");
}

// A main window after its Load event, with Com1 on a pseudo-terminal and the data log
// in a private folder.
struct LoadedWindow
{
    explicit LoadedWindow(DialogAnswer answer = DialogAnswer::Ok)
    {
        qputenv("KELMOR_COM1", pty.slavePath().toLocal8Bit());
        restart(dir.filePath(QStringLiteral("KelmorLog.txt")), answer);
    }

    // A later start of the program, logging to logPath.
    void restart(const QString &path, DialogAnswer answer = DialogAnswer::Ok)
    {
        window.reset();
        logPath = path;
        window = std::make_unique<Form1>(logPath);
        loadAndShow(*window, answer);
    }

    template <typename T = QWidget> T *get(const char *name) const
    {
        return qobject_cast<T *>(window->control(QString::fromLatin1(name)));
    }

    QByteArray logBytes() const
    {
        QFile f(logPath);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // Sends bytes as the gauge and lets the window handle them.
    void gaugeSends(const QByteArray &bytes, int settleMs = 50)
    {
        QVERIFY(pty.write(bytes));
        QTest::qWait(settleMs);
    }

    MessageCatcher messages;
    PtyPair pty;
    QTemporaryDir dir;
    QString logPath;
    std::unique_ptr<Form1> window;
};

// START clicked: the run begins and the gauge is told "SX1".
inline void startRun(LoadedWindow &lw)
{
    QTest::mouseClick(lw.get<QPushButton>("cmdMonitor"), Qt::LeftButton);
    QCOMPARE(lw.pty.read(4), QByteArray("SX1\r"));
}

// STOP clicked: the run ends and the gauge is told "SX0".
inline void stopRun(LoadedWindow &lw)
{
    QTest::mouseClick(lw.get<QPushButton>("cmdMonitor"), Qt::LeftButton);
    QCOMPARE(lw.pty.read(4), QByteArray("SX0\r"));
}

} // namespace kelmor::test
