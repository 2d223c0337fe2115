#include "elidedlabel.h"

namespace kelmor {

bool ElidedLabel::setWholeText(const QString &text)
{
    m_whole = text;
    const QString shown = fontMetrics().elidedText(text, Qt::ElideMiddle, textRoomOf(this));
    setText(shown);
    return shown != text;
}

int textRoomOf(const QLabel *label)
{
    // QLabel indents text in a frame by half an "x".
    const int indent = label->frameWidth() > 0 && label->indent() < 0
                           ? label->fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2
                           : qMax(0, label->indent());
    // A panel's fixed width holds before the status bar has laid it out.
    const int width =
        label->maximumWidth() < QWIDGETSIZE_MAX ? label->maximumWidth() : label->width();
    return width - (label->width() - label->contentsRect().width()) - 2 * label->margin() - indent;
}

} // namespace kelmor
