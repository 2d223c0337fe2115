#include "lifebitlamp.h"

#include <QPainter>

namespace kelmor {

LifeBitLamp::LifeBitLamp(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
}

void LifeBitLamp::setLit(bool lit)
{
    if (m_lit == lit)
        return;
    m_lit = lit;
    update();
}

void LifeBitLamp::drawLamp(QPainter &painter, bool lit) const
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(palette().color(QPalette::WindowText), 1));
    painter.setBrush(lit ? QBrush(fillColor()) : QBrush(Qt::NoBrush));
    painter.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

void LifeBitLamp::paintEvent(QPaintEvent *)
{
    // The lamp changes with every line the gauge sends; an antialiased circle costs far
    // more to draw each time than to copy.
    const qreal ratio = devicePixelRatioF();
    const QColor outline = palette().color(QPalette::WindowText);
    if (outline != m_pictureOutline || ratio != m_pictureRatio || size() != m_pictureSize) {
        m_pictures[0] = QImage();
        m_pictures[1] = QImage();
        m_pictureOutline = outline;
        m_pictureRatio = ratio;
        m_pictureSize = size();
    }
    QImage &picture = m_pictures[m_lit ? 1 : 0];
    if (picture.isNull()) {
        picture = QImage((QSizeF(size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
        picture.setDevicePixelRatio(ratio);
        picture.fill(Qt::transparent);
        QPainter onPicture(&picture);
        drawLamp(onPicture, m_lit);
    }
    QPainter painter(this);
    painter.drawImage(QPointF(0, 0), picture);
}

} // namespace kelmor
