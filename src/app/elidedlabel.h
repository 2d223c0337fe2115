#pragma once

#include <QLabel>

namespace kelmor {

// A label that shows its text cut in the middle, with an ellipsis, where the whole of it
// does not fit: a long folder keeps the file name at its end readable.
class ElidedLabel : public QLabel
{
    Q_OBJECT

public:
    using QLabel::QLabel;

    // Shows `text`, cut where needed; true when it had to be cut.
    bool setWholeText(const QString &text);
    // The text as given, while text() is what the label shows of it.
    QString wholeText() const { return m_whole; }

private:
    QString m_whole;
};

// The width a label has for its text: inside its frame, margins and indent.
int textRoomOf(const QLabel *label);

} // namespace kelmor
