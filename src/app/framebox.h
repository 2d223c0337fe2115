#pragma once

#include <QGroupBox>
#include <QRegion>

#include <optional>

namespace kelmor {

// A frame of the main window. It looks and behaves as a QGroupBox, but skips a paint
// event that covers only a part of its inside where the style draws nothing. Lamps, the
// pressure and the life bit change inside the frames many times a second, and each change
// would otherwise have the style lay out and draw the frame's title again.
class FrameBox : public QGroupBox
{
public:
    using QGroupBox::QGroupBox;

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // Where the style leaves the frame empty: found by drawing the frame once, and again
    // whenever its size, style, palette, font, state or title changes.
    const QRegion &emptyInside();

    std::optional<QRegion> m_emptyInside;
    QString m_titleSeen;
};

} // namespace kelmor
