#pragma once

#include <QPlainTextEdit>
#include <QString>
#include <QStringView>

namespace kelmor {

// The one edit that turns `from` into `to`: the characters from `start` up to `fromEnd`
// of `from` give way to those from `start` up to `toEnd` of `to`. Whatever both texts
// share at their start and at their end stays.
struct TextSplice
{
    qsizetype start = 0;
    qsizetype fromEnd = 0;
    qsizetype toEnd = 0;
};

TextSplice textSplice(QStringView from, QStringView to);

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
