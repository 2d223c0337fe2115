#include "commandline.h"
#include "form1.h"
#include "terminationsignals.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    if (const std::optional<int> status = kelmor::handleCommandLine(argc, argv))
        return *status;
    kelmor::preparePlatform();
    QApplication app(argc, argv);
    kelmor::endPlatformStartGuard();
    kelmor::initApplication();

    kelmor::Form1 window;
    kelmor::TerminationSignals::install(&window);
    window.load();
    window.show();
    return QApplication::exec();
}
