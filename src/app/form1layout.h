#pragma once

#include "controlword.h"

#include <QString>
#include <Qt>

#include <span>

namespace kelmor {

// The kinds of control on the main window.
enum class ControlKind {
    Frame, // captioned frame (group box)
    Button,
    LineEdit, // single-line text box
    Monitor,  // multi-line, read-only text box with a vertical scroll bar, light grey
    Label,
    Lamp, // status lamp: a label that is lit while enabled
    CheckBox,
    LifeBit, // the round life-bit lamp
};

struct FontSpec
{
    const char *family = nullptr; // nullptr: the window's default font
    double pointSize = 0;
    bool bold = false;
    bool italic = false;
};

// One control: where it sits (twips, relative to its container), what it says.
struct ControlSpec
{
    const char *name;
    ControlKind kind;
    const char *container; // nullptr: the window's client area
    const char *text;      // UTF-8; the design-time caption or text
    const char *toolTip;   // UTF-8; nullptr for none
    FontSpec font;
    int left, top, width, height;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    // Roles, -1 where the control has none: the control box a check box shows, the
    // status bit a lamp shows, and the place in the Tab key's order.
    int boxIndex = -1;
    int lampBit = -1;
    int tabPosition = -1;

    constexpr ControlSpec box(Box which) const
    {
        ControlSpec row = *this;
        row.boxIndex = int(which);
        return row;
    }

    constexpr ControlSpec lamp(int bit) const
    {
        ControlSpec row = *this;
        row.lampBit = bit;
        return row;
    }
    constexpr ControlSpec tab(int position) const
    {
        ControlSpec row = *this;
        row.tabPosition = position;
        return row;
    }
};

// Every control of the window, containers before what they hold.
std::span<const ControlSpec> form1Layout();

// Object name of the check box for a control box ("CheckAutorange", ...).
QString boxObjectName(Box box);

// Client area of the window and the status bar, in twips.
inline constexpr int kForm1ClientWidth = 11160;
inline constexpr int kForm1ClientHeight = 8820;
inline constexpr int kStatusBarHeight = 255;

struct PanelSpec
{
    int width; // twips; also its minimum width
    const char *toolTip;
};
std::span<const PanelSpec> statusPanels();

} // namespace kelmor
