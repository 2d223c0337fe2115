#include "framebox.h"

#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionGroupBox>

namespace kelmor {

void FrameBox::paintEvent(QPaintEvent *event)
{
    if ((event->region() - emptyInside()).isEmpty())
        return;
    QGroupBox::paintEvent(event);
}

void FrameBox::changeEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::StyleChange:
    case QEvent::PaletteChange:
    case QEvent::FontChange:
    case QEvent::EnabledChange:
    case QEvent::ActivationChange:
    case QEvent::LayoutDirectionChange:
        m_emptyInside.reset();
        break;
    default:
        break;
    }
    QGroupBox::changeEvent(event);
}

void FrameBox::resizeEvent(QResizeEvent *event)
{
    m_emptyInside.reset();
    QGroupBox::resizeEvent(event);
}

const QRegion &FrameBox::emptyInside()
{
    if (m_emptyInside && m_titleSeen == title())
        return *m_emptyInside;
    m_titleSeen = title();

    QStyleOptionGroupBox option;
    initStyleOption(&option);
    const QStyle *st = style();
    const QRect frame =
        st->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxFrame, this);
    const QRect label =
        st->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, this);
    const int edge = 2 * option.lineWidth + option.midLineWidth;
    const QRegion candidate = QRegion(frame.adjusted(edge, edge, -edge, -edge)) - QRegion(label);

    // Drawn as QGroupBox::paintEvent() draws it: whatever the style puts inside (some
    // styles shade it) rules the skipping out.
    QImage image(size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        st->drawComplexControl(QStyle::CC_GroupBox, &option, &painter, this);
    }
    bool empty = true;
    for (const QRect &r : candidate) {
        for (int y = r.top(); empty && y <= r.bottom(); ++y) {
            const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
            for (int x = r.left(); x <= r.right(); ++x) {
                if (line[x] != 0) {
                    empty = false;
                    break;
                }
            }
        }
    }
    m_emptyInside = empty ? candidate : QRegion();
    return *m_emptyInside;
}

} // namespace kelmor
