#include "form1controls.h"

#include "elidedlabel.h"
#include "framebox.h"
#include "lifebitlamp.h"
#include "monitorbox.h"
#include "twips.h"

#include <QCheckBox>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace kelmor {

namespace {

QFont fontFor(const FontSpec &face, const QFont &windowFont)
{
    if (!face.family)
        return windowFont;
    QFont font(QString::fromLatin1(face.family));
    // The int constructor would round 10.5 down to 10.
    font.setPointSizeF(face.pointSize);
    font.setBold(face.bold);
    font.setItalic(face.italic);
    return font;
}

void widenToShowWholeText(QLabel *label)
{
    // A caption the face draws wider than its place in the layout grows away from the
    // side it is aligned to, so its text stays where it was laid out.
    const int need = label->fontMetrics().horizontalAdvance(label->text());
    const int more = need - textRoomOf(label);
    if (label->text().isEmpty() || more <= 0)
        return;
    QRect r = label->geometry();
    if (label->alignment() & Qt::AlignRight)
        r.setLeft(r.left() - more);
    else if (label->alignment() & Qt::AlignHCenter)
        r.adjust(-(more + 1) / 2, 0, (more + 1) / 2, 0);
    else
        r.setRight(r.right() + more);
    label->setGeometry(r);
}

QWidget *newControl(const ControlSpec &row, QWidget *container)
{
    const QString text = QString::fromUtf8(row.text);
    switch (row.kind) {
    case ControlKind::Frame:
        return new FrameBox(text, container);
    case ControlKind::Button: {
        auto *button = new QPushButton(text, container);
        button->setAutoDefault(false);
        return button;
    }
    case ControlKind::LineEdit:
        return new QLineEdit(text, container);
    case ControlKind::Monitor:
        return new MonitorBox(text, container);
    case ControlKind::Label:
    case ControlKind::Lamp: {
        auto *label = new QLabel(text, container);
        label->setAlignment(row.alignment);
        // Gauge bytes are never markup.
        label->setTextFormat(Qt::PlainText);
        return label;
    }
    case ControlKind::CheckBox:
        return new QCheckBox(text, container);
    case ControlKind::LifeBit:
        return new LifeBitLamp(container);
    }
    return new QWidget(container);
}

class Binder
{
public:
    Binder(std::span<const ControlSpec> rows, std::span<QWidget *const> widgets)
        : m_rows(rows), m_widgets(widgets)
    {
        if (rows.size() != widgets.size())
            m_problems
                << QStringLiteral("%1 rows, but %2 controls").arg(rows.size()).arg(widgets.size());
    }

    template <typename T> void byName(T *&slot, const char *name)
    {
        std::size_t at = 0;
        int found = 0;
        for (std::size_t i = 0; i < m_rows.size(); ++i) {
            if (qstrcmp(m_rows[i].name, name) == 0) {
                at = i;
                ++found;
            }
        }
        if (found != 1) {
            m_problems << QStringLiteral("%1 found %2 times").arg(QLatin1String(name)).arg(found);
            return;
        }
        slot = typed<T>(at);
    }

    // Each value of `role` below N names the slot of the row's control.
    template <typename T, std::size_t N>
    void byRole(std::array<T *, N> &targets, int ControlSpec::*role, const char *what)
    {
        for (std::size_t i = 0; i < m_rows.size(); ++i) {
            const int value = m_rows[i].*role;
            if (value < 0)
                continue;
            if (std::size_t(value) >= N || targets[value]) {
                m_problems << QStringLiteral("%1 %2 given twice or out of range (%3)")
                                  .arg(QLatin1String(what))
                                  .arg(value)
                                  .arg(QLatin1String(m_rows[i].name));
                continue;
            }
            targets[value] = typed<T>(i);
        }
        for (std::size_t value = 0; value < N; ++value) {
            if (!targets[value])
                m_problems << QStringLiteral("no %1 %2").arg(QLatin1String(what)).arg(value);
        }
    }

    QStringList problems() const { return m_problems; }

private:
    template <typename T> T *typed(std::size_t row)
    {
        T *widget = row < m_widgets.size() ? qobject_cast<T *>(m_widgets[row]) : nullptr;
        if (!widget)
            m_problems << QStringLiteral("%1 is no %2")
                              .arg(QLatin1String(m_rows[row].name),
                                   QLatin1String(T::staticMetaObject.className()));
        return widget;
    }

    std::span<const ControlSpec> m_rows;
    std::span<QWidget *const> m_widgets;
    QStringList m_problems;
};

} // namespace

QWidget *makeControl(const ControlSpec &row, QWidget *container, const QFont &windowFont)
{
    QWidget *w = newControl(row, container);
    w->setObjectName(QString::fromLatin1(row.name));
    w->setFont(fontFor(row.font, windowFont));
    if (row.toolTip)
        w->setToolTip(QString::fromUtf8(row.toolTip));
    w->setGeometry(twipsRect(row.left, row.top, row.width, row.height));
    if (auto *label = qobject_cast<QLabel *>(w))
        widenToShowWholeText(label);
    return w;
}

QStringList bindControls(std::span<const ControlSpec> rows, std::span<QWidget *const> widgets,
                         Form1Controls &controls)
{
    Binder bind(rows, widgets);
    bind.byRole(controls.boxes, &ControlSpec::boxIndex, "control box");
    bind.byRole(controls.lamps, &ControlSpec::lampBit, "lamp of status bit");
    bind.byName(controls.shapeLB, "ShapeLB");
    bind.byName(controls.lblDruck, "lblDruck");
    bind.byName(controls.lblSteuerbyte, "lblSteuerbyte");
    bind.byName(controls.textBoxBefehl, "TextBoxBefehl");
    bind.byName(controls.textSenden, "TextSenden");
    bind.byName(controls.textEmpfang, "TextEmpfang");
    bind.byName(controls.cmdBefehl, "CmdBefehl");
    bind.byName(controls.cmdSenden, "CmdSenden");
    bind.byName(controls.cmdMonitor, "cmdMonitor");
    bind.byName(controls.cmdCom, "CmdCom");
    bind.byName(controls.cmdVerlauf, "CmdVerlauf");
    return bind.problems();
}

} // namespace kelmor
