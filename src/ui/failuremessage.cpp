#include "failuremessage.h"

#include <QMessageBox>

namespace kelmor {

namespace {

FailureMessageHandler &installedHandler()
{
    static FailureMessageHandler handler;
    return handler;
}

} // namespace

void showFailureMessage(QWidget *parent, const QString &text)
{
    if (const FailureMessageHandler &handler = installedHandler()) {
        handler(parent, text);
        return;
    }
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kApplicationTitle), text,
                    QMessageBox::Ok, parent);
    box.exec();
}

FailureMessageHandler setFailureMessageHandler(FailureMessageHandler handler)
{
    FailureMessageHandler previous = std::move(installedHandler());
    installedHandler() = std::move(handler);
    return previous;
}

} // namespace kelmor
