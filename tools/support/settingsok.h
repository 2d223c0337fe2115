#pragma once

// The operator's OK in the settings dialog, made by a program that drives the real
// window (the screenshot tool, the benchmarks' host).

#include <QApplication>
#include <QPushButton>
#include <QTimer>

namespace kelmor::tools {

// False when there is no dialog or it has no OK.
inline bool clickSettingsOk(QWidget *dialog)
{
    auto *ok = dialog ? dialog->findChild<QPushButton *>(QStringLiteral("cmdOK")) : nullptr;
    if (ok)
        ok->click();
    return ok != nullptr;
}

// Answers the modal dialog that is up once the event loop runs, as loading the window
// opens the settings dialog and waits in it.
inline void clickSettingsOkWhenShown(QObject *context)
{
    QTimer::singleShot(0, context, [] { clickSettingsOk(QApplication::activeModalWidget()); });
}

} // namespace kelmor::tools
