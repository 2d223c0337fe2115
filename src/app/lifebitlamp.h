#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>

class QPainter;

namespace kelmor {

// The round life-bit lamp: a green circle, filled while lit, only its outline while dark.
class LifeBitLamp : public QWidget
{
    Q_OBJECT

public:
    explicit LifeBitLamp(QWidget *parent = nullptr);

    bool isLit() const { return m_lit; }
    void setLit(bool lit);

    static QColor fillColor() { return QColor(0, 255, 0); }

    // Draws the lamp as it looks lit or dark, at the widget's size.
    void drawLamp(QPainter &painter, bool lit) const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_lit = true; // a freshly placed lamp is filled until start-up darkens it
    // Dark and lit, drawn once for this outline colour, pixel ratio and size.
    QImage m_pictures[2];
    QColor m_pictureOutline;
    qreal m_pictureRatio = 0;
    QSize m_pictureSize;
};

} // namespace kelmor
