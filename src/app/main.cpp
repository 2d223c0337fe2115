#include "form1.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    kelmor::initApplication();

    kelmor::Form1 window;
    window.load();
    window.show();
    return QApplication::exec();
}
