#include "monitorbox.h"

#include <QColor>
#include <QPalette>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

namespace kelmor {

namespace {

QString displayText(const QString &text)
{
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

// One line followed by its line end, and nothing else.
bool isOneLine(const QString &shown)
{
    return !shown.isEmpty() && shown.indexOf(QLatin1Char('\n')) == shown.size() - 1;
}

} // namespace

TextSplice textSplice(QStringView from, QStringView to)
{
    const qsizetype n = from.size();
    const qsizetype m = to.size();
    qsizetype prefix = 0;
    while (prefix < n && prefix < m && from[prefix] == to[prefix])
        ++prefix;
    // The shared end may not reach into the shared start.
    qsizetype suffix = 0;
    while (suffix < n - prefix && suffix < m - prefix && from[n - 1 - suffix] == to[m - 1 - suffix])
        ++suffix;
    return {prefix, n - suffix, m - suffix};
}

MonitorBox::MonitorBox(const QString &text, QWidget *parent) : QPlainTextEdit(parent)
{
    setReadOnly(true);
    // The program replaces the text many times a second; nothing is to be undone.
    setUndoRedoEnabled(false);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setTabChangesFocus(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Base, QColor(0xC0, 0xC0, 0xC0)); // light grey
    setPalette(pal);
    // Read-only boxes still take the focus, so they stay in the tab chain.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setPlainText(text);
    m_text = text;
    keepShapedText();
}

void MonitorBox::showText(const QString &text)
{
    // Set before the document changes: whoever watches the box reads the new text.
    const QString before = displayText(m_text);
    m_text = text;
    const QString shown = displayText(text);
    if (replaceInLine(before, shown))
        return;
    // Replaced in one edit: setPlainText() would first empty the box, so its scroll bar
    // and text were laid out and repainted twice.
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    cursor.select(QTextCursor::Document);
    cursor.insertText(shown);
    cursor.endEditBlock();
    keepShapedText();
    // The cursor now stands behind the new text, at the end, where the caret belongs.
    // Moving it there lays the new text out.
    setTextCursor(cursor);
}

bool MonitorBox::replaceInLine(const QString &before, const QString &shown)
{
    // The usual case for the receive monitor: one line before and after, the caret at the
    // end and nothing selected. Only the characters that differ are replaced, so the
    // document keeps its blocks (and their layouts) and the caret its place.
    if (!isOneLine(before) || !isOneLine(shown))
        return false;
    const QTextCursor caret = textCursor();
    if (caret.hasSelection() || caret.position() != document()->characterCount() - 1)
        return false;
    if (shown == before)
        return true;
    const TextSplice splice = textSplice(before, shown);
    // The text box repaints its whole view after any edit that it cannot lay out ahead;
    // only the line's own place changes here, unless the line grew or shrank.
    const QTextBlock block = document()->findBlock(int(splice.start));
    const QRectF placeBefore = blockBoundingGeometry(block);
    QWidget *view = viewport();
    const bool updatesWereOff = view->testAttribute(Qt::WA_UpdatesDisabled);
    view->setAttribute(Qt::WA_UpdatesDisabled, true);
    QTextCursor edit(document());
    // In an edit block the cursor does not work out its place on screen for nothing.
    edit.beginEditBlock();
    edit.setPosition(int(splice.start));
    edit.setPosition(int(splice.fromEnd), QTextCursor::KeepAnchor);
    if (splice.toEnd > splice.start)
        edit.insertText(shown.sliced(splice.start, splice.toEnd - splice.start));
    else
        edit.removeSelectedText();
    edit.endEditBlock();
    // Set directly: setUpdatesEnabled(true) would repaint the whole view.
    view->setAttribute(Qt::WA_UpdatesDisabled, updatesWereOff);
    const QRectF placeAfter = blockBoundingGeometry(block);
    if (placeAfter == placeBefore)
        view->update(placeAfter.translated(contentOffset()).toAlignedRect());
    else
        view->update();
    ensureCursorVisible();
    return true;
}

void MonitorBox::keepShapedText()
{
    // A block's layout normally throws its shaped glyphs away as soon as its lines are
    // laid out, and shapes the text again for every paint: for a gauge line that doubled
    // the cost of showing it.
    for (QTextBlock block = document()->firstBlock(); block.isValid(); block = block.next()) {
        if (QTextLayout *layout = block.layout(); !layout->cacheEnabled())
            layout->setCacheEnabled(true);
    }
}

} // namespace kelmor
