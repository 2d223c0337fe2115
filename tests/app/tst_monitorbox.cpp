// The monitor box keeps its shaped text between layout and paint and replaces its text in
// one edit. After any sequence of texts the window must look exactly as if a plain text
// box had been given the text afresh, with the caret and scroll bars where they would be.

#include "form1.h"
#include "monitorbox.h"
#include "simline.h"
#include "uifonts.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTextCursor>
#include <QWindow>

#include <memory>

using namespace kelmor;

namespace {

QString displayed(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

// A measurement line as the simulated gauge sends it, as the receive monitor shows it:
// pressure, life bit and counter change from one to the next.
QString gaugeText(int i)
{
    sim::GaugeReport report;
    report.status = quint16(0x0049 | ((i & 1) << 15));
    const double pressure = 1.0e-3 * (1.0 + (i % 900) / 100.0);
    return QString::fromLatin1(sim::buildMeasurementLine(quint32(1000000 + i), pressure, report,
                                                         0x0009, sim::LineEnd::CrLf));
}

// The box under test beside a plain text box of the same kind that is always given its
// whole text anew, in one window so that both are drawn in the same state.
struct SideBySide
{
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    MonitorBox *box = new MonitorBox(QStringLiteral("Text1"), window.get());
    QPlainTextEdit *reference = new QPlainTextEdit(QStringLiteral("Text1"), window.get());
    // Holds the focus, so that neither box shows a caret.
    QLineEdit *focus = new QLineEdit(window.get());

    SideBySide()
    {
        window->setFont(defaultWindowFont());
        reference->setReadOnly(true);
        reference->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        reference->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        reference->setPalette(box->palette());
        // The receive monitor's size.
        box->setGeometry(8, 8, 305, 105);
        reference->setGeometry(8, 130, 305, 105);
        focus->setGeometry(8, 240, 100, 20);
        window->resize(330, 270);
        window->show();
        focus->setFocus();
    }

    void show(const QString &text)
    {
        box->showText(text);
        reference->setPlainText(displayed(text));
        reference->moveCursor(QTextCursor::End);
    }

    // What the window's backing store holds for each box, once all repaints are done.
    std::pair<QImage, QImage> onScreen() const
    {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        const QImage all = window->windowHandle()->screen()->grabWindow(window->winId()).toImage();
        return {all.copy(box->geometry()), all.copy(reference->geometry())};
    }
};

} // namespace

class TestMonitorBox : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initApplication(); }
    void looksAsDrawnAfresh_data();
    void looksAsDrawnAfresh();
    void operatorsCaretAndSelectionGiveWay();
    void aLineRepaintsOnlyItsPlace_data();
    void aLineRepaintsOnlyItsPlace();
    void splice_data();
    void splice();
    void spliceOfRandomTexts();
};

void TestMonitorBox::looksAsDrawnAfresh_data()
{
    QTest::addColumn<QStringList>("texts");

    QStringList gauge;
    for (int i = 0; i < 12; ++i)
        gauge << gaugeText(i * 7);
    QTest::newRow("gauge lines") << gauge;
    QTest::newRow("counter carries")
        << QStringList{gaugeText(9),   gaugeText(10),  gaugeText(99),
                       gaugeText(100), gaugeText(999), gaugeText(1000)};
    QTest::newRow("same line again") << QStringList{gaugeText(1), gaugeText(1), gaugeText(1)};
    QTest::newRow("longer and shorter")
        << QStringList{"PR=1\r\n", "PR=10\r\n", "PR=1\r\n", "P\r\n", "PR=1.00E-03 mbar\r\n"};
    QTest::newRow("kerning pairs")
        << QStringList{"AVA To Ty\r\n", "AWA To Ty\r\n",   "AWA Tx Ty\r\n",
                       "AWA Tx Yo\r\n", "LT PA r. Va\r\n", "LV PA y. Wa\r\n"};
    QTest::newRow("tab absorbs a wider start") << QStringList{
        "ab\tN=1\r\n", "WWWW\tN=1\r\n", "i\tN=1\r\n", "iiiiiiiiiiiiiiiiii\tN=1\r\n", "i\tN=2\r\n"};
    QTest::newRow("overhanging glyphs") << QStringList{
        "f/j f/j f/j\r\n", "f/j fjj f/j\r\n", "ffj fjj f/j\r\n", "ffj fjj /\\j\r\n", "_j_ ///\r\n"};
    QTest::newRow("accents and high bytes")
        << QStringList{"\u00c4\u00d6\u00dc \u00e4\u00f6\u00fc \u00df\u00b5\u00b0\r\n",
                       "\u00c5\u00d6\u00dc \u00e4\u00f6\u00fd \u00df\u00b5\u00b0\r\n",
                       "\u00c5\u00d6\u00dc \u00e4\u00f6\u00fd \u00df\u00b5\u00ff\r\n"};
    QString latin1;
    for (int c = 0x20; c < 0x100; ++c)
        if (c < 0x7f || c >= 0xa0)
            latin1 += QChar(c);
    QStringList everyCharacter;
    for (int at = 0; at < latin1.size(); at += 23) {
        QString changed = latin1.mid(0, 70);
        changed[at % 70] = latin1[(at * 7) % latin1.size()];
        everyCharacter << changed + QStringLiteral("\r\n");
        everyCharacter << latin1.mid(at % 120, 70) + QStringLiteral("\r\n");
    }
    QTest::newRow("every printable Latin-1 character") << everyCharacter;
    QTest::newRow("control characters") << QStringList{"a\x01"
                                                       "b\r\n",
                                                       "a\x02"
                                                       "b\r\n",
                                                       "a\x1f"
                                                       "b\r\n",
                                                       "a b\r\n",
                                                       "a\x7f"
                                                       "b\r\n"};
    const QString words =
        QStringLiteral("the gauge answers with a long line of words ").repeated(5);
    QTest::newRow("wraps and unwraps")
        << QStringList{"short\r\n", words + "\r\n", "short\r\n", "shore\r\n"};
    QTest::newRow("one word longer than the box")
        << QStringList{"W\r\n", QString(150, QLatin1Char('W')) + "\r\n", "W\r\n", "X\r\n"};
    QTest::newRow("several lines and back")
        << QStringList{"a\r\nb\r\n", "a\r\n", "x\ry\r\n", "x\r\n", "y\r\n"};
    QTest::newRow("empty line") << QStringList{"\r\n", "x\r\n", "\r\n", "\r\n"};
    QTest::newRow("no line end") << QStringList{"abc", "abd", "abd\r\n", "abe"};
    QTest::newRow("line feed inside a line") << QStringList{"a\nb\r\n", "a\nc\r\n", "ab\r\n"};
    QTest::newRow("empty box") << QStringList{"", "x\r\n", ""};
}

void TestMonitorBox::looksAsDrawnAfresh()
{
    QFETCH(QStringList, texts);
    SideBySide pair;
    QVERIFY(QTest::qWaitForWindowExposed(pair.window.get()));
    for (const QString &text : texts) {
        pair.show(text);
        const auto [drawn, expected] = pair.onScreen();
        QVERIFY(!drawn.isNull());
        if (drawn != expected) {
            drawn.save(QDir::temp().filePath(QStringLiteral("monitorbox-drawn.png")));
            expected.save(QDir::temp().filePath(QStringLiteral("monitorbox-expected.png")));
            QFAIL(
                qPrintable(QStringLiteral("drawn differently after %1").arg(text.toHtmlEscaped())));
        }
        QCOMPARE(pair.box->toPlainText(), pair.reference->toPlainText());
        QCOMPARE(pair.box->textCursor().position(), pair.reference->textCursor().position());
        QVERIFY(!pair.box->textCursor().hasSelection());
        for (const Qt::Orientation o : {Qt::Vertical, Qt::Horizontal}) {
            const QScrollBar *mine =
                o == Qt::Vertical ? pair.box->verticalScrollBar() : pair.box->horizontalScrollBar();
            const QScrollBar *theirs = o == Qt::Vertical ? pair.reference->verticalScrollBar()
                                                         : pair.reference->horizontalScrollBar();
            QCOMPARE(mine->maximum(), theirs->maximum());
            QCOMPARE(mine->value(), theirs->value());
            QCOMPARE(mine->pageStep(), theirs->pageStep());
            QCOMPARE(mine->isVisible(), theirs->isVisible());
        }
    }
}

void TestMonitorBox::operatorsCaretAndSelectionGiveWay()
{
    SideBySide pair;
    QVERIFY(QTest::qWaitForWindowExposed(pair.window.get()));
    pair.show(gaugeText(1));
    pair.onScreen();

    // The operator selects part of the line, as to copy it.
    QTextCursor selection = pair.box->textCursor();
    selection.setPosition(3);
    selection.setPosition(12, QTextCursor::KeepAnchor);
    pair.box->setTextCursor(selection);
    pair.onScreen();
    pair.show(gaugeText(2));
    auto [drawn, expected] = pair.onScreen();
    QCOMPARE(drawn, expected);
    QVERIFY(!pair.box->textCursor().hasSelection());
    QCOMPARE(pair.box->textCursor().position(), pair.box->document()->characterCount() - 1);

    // The caret was put at the start of the line.
    pair.box->moveCursor(QTextCursor::Start);
    pair.onScreen();
    pair.show(gaugeText(3));
    std::tie(drawn, expected) = pair.onScreen();
    QCOMPARE(drawn, expected);
    QCOMPARE(pair.box->textCursor().position(), pair.box->document()->characterCount() - 1);
}

void TestMonitorBox::aLineRepaintsOnlyItsPlace_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<bool>("wholeView");

    QTest::newRow("gauge line after gauge line") << gaugeText(1) << gaugeText(2) << false;
    QTest::newRow("the same length, other characters") << "PR=1\r\n"
                                                       << "PR=2\r\n"
                                                       << false;
    const QString words =
        QStringLiteral("the gauge answers with a long line of words ").repeated(5);
    // The line takes more rows: everything below it moves.
    QTest::newRow("a line that wraps onto more rows") << "short\r\n" << words + "\r\n" << true;
}

void TestMonitorBox::aLineRepaintsOnlyItsPlace()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(bool, wholeView);

    SideBySide pair;
    QVERIFY(QTest::qWaitForWindowExposed(pair.window.get()));
    pair.show(first);
    pair.onScreen();
    struct Painted : QObject
    {
        QRegion region;
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Paint)
                region += static_cast<QPaintEvent *>(event)->region();
            return false;
        }
    } painted;
    pair.box->viewport()->installEventFilter(&painted);
    pair.show(second);
    const auto [drawn, expected] = pair.onScreen();
    QCOMPARE(drawn, expected);
    const QRect view = pair.box->viewport()->rect();
    QVERIFY(!painted.region.isEmpty());
    if (wholeView) {
        QCOMPARE(painted.region.boundingRect(), view);
    } else {
        // The line's rows, not the empty rest of the box.
        QVERIFY2(painted.region.boundingRect().height() < view.height() / 2,
                 qPrintable(QStringLiteral("%1 of %2 rows repainted")
                                .arg(painted.region.boundingRect().height())
                                .arg(view.height())));
    }
}

void TestMonitorBox::splice_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<qsizetype>("start");
    QTest::addColumn<qsizetype>("fromEnd");
    QTest::addColumn<qsizetype>("toEnd");

    QTest::newRow("same text") << "PR=1\n"
                               << "PR=1\n"
                               << qsizetype(5) << qsizetype(5) << qsizetype(5);
    QTest::newRow("both empty") << ""
                                << "" << qsizetype(0) << qsizetype(0) << qsizetype(0);
    QTest::newRow("from nothing") << ""
                                  << "abc" << qsizetype(0) << qsizetype(0) << qsizetype(3);
    QTest::newRow("to nothing") << "abc"
                                << "" << qsizetype(0) << qsizetype(3) << qsizetype(0);
    QTest::newRow("one digit") << "PR=1.23E-03\n"
                               << "PR=1.24E-03\n"
                               << qsizetype(6) << qsizetype(7) << qsizetype(7);
    QTest::newRow("far apart") << "1 mbar 0049 N=7\n"
                               << "2 mbar 8049 N=8\n"
                               << qsizetype(0) << qsizetype(15) << qsizetype(15);
    QTest::newRow("inserted") << "N=9\n"
                              << "N=10\n"
                              << qsizetype(2) << qsizetype(3) << qsizetype(4);
    QTest::newRow("removed") << "N=10\n"
                             << "N=9\n"
                             << qsizetype(2) << qsizetype(4) << qsizetype(3);
    QTest::newRow("appended") << "ab"
                              << "abcd" << qsizetype(2) << qsizetype(2) << qsizetype(4);
    QTest::newRow("prepended") << "cd"
                               << "abcd" << qsizetype(0) << qsizetype(0) << qsizetype(2);
    // The shared end must not overlap the shared start: "aa" to "aaa" inserts one "a".
    QTest::newRow("repeated characters grow")
        << "aa"
        << "aaa" << qsizetype(2) << qsizetype(2) << qsizetype(3);
    QTest::newRow("repeated characters shrink")
        << "aaa"
        << "aa" << qsizetype(2) << qsizetype(3) << qsizetype(2);
    QTest::newRow("a character doubled inside")
        << "abcd"
        << "abbcd" << qsizetype(2) << qsizetype(2) << qsizetype(3);
    QTest::newRow("high bytes") << QString::fromLatin1("\xb5\xe4\xff")
                                << QString::fromLatin1("\xb5\xf6\xff") << qsizetype(1)
                                << qsizetype(2) << qsizetype(2);
}

void TestMonitorBox::splice()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    const TextSplice splice = textSplice(from, to);
    QTEST(splice.start, "start");
    QTEST(splice.fromEnd, "fromEnd");
    QTEST(splice.toEnd, "toEnd");
    // Applying the splice gives the new text.
    QCOMPARE(from.first(splice.start) + to.sliced(splice.start, splice.toEnd - splice.start) +
                 from.sliced(splice.fromEnd),
             to);
}

void TestMonitorBox::spliceOfRandomTexts()
{
    // Few letters, so that texts share starts and ends often.
    QRandomGenerator random(20261207);
    auto text = [&] {
        QString t;
        for (int i = random.bounded(8); i > 0; --i)
            t += QLatin1Char(char('a' + random.bounded(3)));
        return t;
    };
    for (int round = 0; round < 20000; ++round) {
        const QString from = text();
        const QString to = text();
        const TextSplice s = textSplice(from, to);
        QVERIFY(s.start <= s.fromEnd && s.start <= s.toEnd);
        QCOMPARE(from.first(s.start) + to.sliced(s.start, s.toEnd - s.start) +
                     from.sliced(s.fromEnd),
                 to);
        QCOMPARE(from.sliced(s.fromEnd), to.sliced(s.toEnd));
        // Nothing more is shared at either side.
        if (s.fromEnd > s.start && s.toEnd > s.start) {
            QVERIFY(from[s.start] != to[s.start]);
            QVERIFY(from[s.fromEnd - 1] != to[s.toEnd - 1]);
        }
    }
}

QTEST_MAIN(TestMonitorBox)
#include "tst_monitorbox.moc"
