#pragma once

#include "form1layout.h"
#include "statusword.h"

#include <QList>
#include <QStringList>

#include <array>
#include <span>

class QCheckBox;
class QFont;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace kelmor {

class ElidedLabel;
class LifeBitLamp;
class MonitorBox;

// The main window's controls by what the window does with them, each of the type it is
// used as. Named after the controls they hold.
struct Form1Controls
{
    std::array<QCheckBox *, kBoxCount> boxes{};     // by control box
    std::array<QLabel *, kStatusLampCount> lamps{}; // by status bit
    LifeBitLamp *shapeLB = nullptr;
    QLabel *lblDruck = nullptr;
    QLabel *lblSteuerbyte = nullptr;
    QLineEdit *textBoxBefehl = nullptr;
    MonitorBox *textSenden = nullptr;
    MonitorBox *textEmpfang = nullptr;
    QPushButton *cmdBefehl = nullptr;
    QPushButton *cmdSenden = nullptr;
    QPushButton *cmdMonitor = nullptr;
    QPushButton *cmdCom = nullptr;
    QPushButton *cmdVerlauf = nullptr;
    // The status bar's panels, from the left; the third shows the log's place.
    std::array<QLabel *, 4> panels{};
    ElidedLabel *logPlace = nullptr;
};

// Makes the control of one row of the layout table inside `container`, placed and
// captioned; `windowFont` is the font of rows without one of their own.
QWidget *makeControl(const ControlSpec &row, QWidget *container, const QFont &windowFont);

// Fills `controls` (all but the panels) from `widgets`, made for `rows` one to one.
// Every control is found by its name exactly once and with the type it is used as, and
// every box and lamp by its role exactly once; what is not is listed in the result, which
// is empty when all is bound.
QStringList bindControls(std::span<const ControlSpec> rows, std::span<QWidget *const> widgets,
                         Form1Controls &controls);

} // namespace kelmor
