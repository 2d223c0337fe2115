#pragma once

#include <QPlainTextEdit>
#include <QString>

namespace kelmor {

// A read-only monitor box (light grey, vertical scroll bar, lines wrapped) whose whole text
// the program replaces, many times a second for the receive monitor. The text's CR LF and
// lone CR end lines, and the caret stands at the end afterwards.
class MonitorBox : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit MonitorBox(const QString &text, QWidget *parent = nullptr);

    void showText(const QString &text);
    // The text as last given, line ends as they were.
    QString text() const { return m_text; }

private:
    // `before` and `shown` as the document holds them, line ends made plain.
    bool replaceInLine(const QString &before, const QString &shown);
    void keepShapedText();

    QString m_text;
};

} // namespace kelmor
