// What a received line costs the window: which controls it repaints, how the frames
// skip what they need not draw, and how often a line trickling in wakes the window.

#include "form1harness.h"
#include "gaugelines.h"
#include "lifebitlamp.h"

#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <thread>

using namespace kelmor;
using namespace kelmor::test;

namespace {

// Counts paint events per widget, application-wide.
class PaintCounter : public QObject
{
public:
    PaintCounter() { qApp->installEventFilter(this); }
    ~PaintCounter() override { qApp->removeEventFilter(this); }
    QSet<QObject *> painted;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            painted.insert(watched);
        return false;
    }
};

QByteArray gaugeLine(const QByteArray &pressure, const QByteArray &status, int n)
{
    return measurementLine(pressure, status + "\t", "N=" + QByteArray::number(n)) + "\r";
}

int largestChannelDifference(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return 255;
    int largest = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            largest =
                std::max({largest, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                          std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
        }
    }
    return largest;
}

// Sends a line and waits until it is shown and every repaint it caused is done.
void showLine(LoadedWindow &lw, const QByteArray &line)
{
    QVERIFY(lw.pty.write(line));
    const QString shown = QString::fromLatin1(line.chopped(1)) + QStringLiteral("\r\n");
    QTRY_COMPARE(receiveMonitorText(*lw.window), shown);
    QTest::qWait(60);
}

} // namespace

class TestForm1Cost : public QObject
{
    Q_OBJECT

private slots:
    void repaintsOnlyWhatChanged_data();
    void repaintsOnlyWhatChanged();
    void framesDrawAsGroupBoxes_data();
    void framesDrawAsGroupBoxes();
    void lifeBitLampLooksAsDrawnDirectly_data();
    void lifeBitLampLooksAsDrawnDirectly();
    void tricklingLineWakesTheWindowSeldom();
    void aNewPressureAsksForNoLayout();
};

void TestForm1Cost::repaintsOnlyWhatChanged_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");
    QTest::addColumn<QStringList>("repainted");

    // Status 8049: life bit, Autorange, Auto Filament, Degas.
    QTest::newRow("the same status and pressure")
        << gaugeLine("1.00E-03", "8049", 1) << gaugeLine("1.00E-03", "8049", 2) << QStringList{};
    QTest::newRow("the life bit goes out")
        << gaugeLine("1.00E-03", "8049", 1) << gaugeLine("1.00E-03", "0049", 2)
        << QStringList{"ShapeLB"};
    QTest::newRow("the pressure changes")
        << gaugeLine("1.00E-03", "8049", 1) << gaugeLine("9.87E-04", "8049", 2)
        << QStringList{"lblDruck"};
    QTest::newRow("Degas goes out") << gaugeLine("1.00E-03", "8049", 1)
                                    << gaugeLine("1.00E-03", "8009", 2) << QStringList{"lblDegas"};
    QTest::newRow("Autorange turns grey")
        << gaugeLine("1.00E-03", "8049", 1) << gaugeLine("1.00E-03", "8048", 2)
        << QStringList{"lblAutorange"};
    QTest::newRow("Pirani and Filament 1 come on")
        << gaugeLine("1.00E-03", "8049", 1) << gaugeLine("1.00E-03", "805B", 2)
        << QStringList{"lblPirani", "lblFil1"};
}

void TestForm1Cost::repaintsOnlyWhatChanged()
{
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    QFETCH(QStringList, repainted);

    LoadedWindow lw;
    startRun(lw);
    showLine(lw, first);
    PaintCounter counter;
    showLine(lw, second);

    QStringList watched(std::begin(kLampNames), std::end(kLampNames));
    watched << QStringLiteral("lblDruck") << QStringLiteral("ShapeLB");
    for (const QString &name : watched) {
        const bool wasPainted = counter.painted.contains(widget(*lw.window, name));
        QVERIFY2(wasPainted == repainted.contains(name),
                 qPrintable(name + (wasPainted ? QStringLiteral(" was repainted")
                                               : QStringLiteral(" was not repainted"))));
    }
    // One line replacing another changes nothing about the receive monitor's scroll bar.
    auto *monitor = lw.get<QPlainTextEdit>("TextEmpfang");
    QVERIFY(!counter.painted.contains(monitor->verticalScrollBar()));
    QVERIFY(counter.painted.contains(monitor->viewport()));
}

void TestForm1Cost::framesDrawAsGroupBoxes_data()
{
    QTest::addColumn<QString>("styleName");
    QTest::addColumn<QString>("frame");
    QTest::addColumn<QString>("inside"); // a control whose place is to be redrawn, or ""
    QTest::addColumn<QRect>("area");     // else this rectangle of the frame
    QTest::addColumn<bool>("fromBottomRight");

    // "windows" is the window's own style and leaves the frames' inside empty; "fusion"
    // shades it, so nothing may be skipped there.
    for (const char *style : {"windows", "fusion"}) {
        for (const char *frame : {"FrameStatus", "FrameControl", "FrameEmpfang"}) {
            auto row = [&](const char *what, const QRect &area, bool fromBottomRight = false) {
                QTest::addRow("%s, %s: %s", style, frame, what)
                    << style << frame << QString() << area << fromBottomRight;
            };
            row("the whole frame", QRect());
            row("across the title", QRect(0, 0, 80, 20));
            row("across the left line", QRect(0, 30, 6, 30));
            row("the inner edge of the left line", QRect(2, 30, 4, 30));
            row("the bottom right corner", QRect(0, 0, 8, 8), true);
            row("a spot inside", QRect(40, 40, 20, 20));
        }
        for (const char *control : {"lblDruck", "ShapeLB", "lblAutorange", "lblPiATM"}) {
            QTest::addRow("%s, FrameStatus: under %s", style, control)
                << style << "FrameStatus" << control << QRect() << false;
        }
    }
}

void TestForm1Cost::framesDrawAsGroupBoxes()
{
    QFETCH(QString, styleName);
    QFETCH(QString, frame);
    QFETCH(QString, inside);
    QFETCH(QRect, area);
    QFETCH(bool, fromBottomRight);

    std::unique_ptr<QStyle> style(QStyleFactory::create(styleName));
    QVERIFY(style);
    LoadedWindow lw;
    auto *box = qobject_cast<QGroupBox *>(widget(*lw.window, frame));
    QVERIFY(box);
    box->setStyle(style.get());
    QRect rect = area;
    if (!inside.isEmpty())
        rect = widget(*lw.window, inside)->geometry();
    else if (rect.isNull())
        rect = box->rect();
    else if (fromBottomRight)
        rect.moveBottomRight(box->rect().bottomRight());

    // A plain group box like it, for reference.
    QWidget holder;
    holder.setFont(box->font());
    QGroupBox reference(box->title(), &holder);
    reference.setStyle(style.get());
    reference.setFont(box->font());
    reference.setGeometry(box->geometry());

    // Renders the rectangle's part of the frame at its own place in the image.
    auto draw = [&rect](QWidget *w) {
        QImage image(w->size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        w->render(&image, rect.topLeft(), QRegion(rect), QWidget::RenderFlags());
        return image;
    };
    const QImage drawn = draw(box);
    const QImage expected = draw(&reference);
    QCOMPARE(drawn, expected);
    if (rect == box->rect()) {
        // The comparison means something only if the frame draws anything at all.
        QImage blank(box->size(), QImage::Format_ARGB32_Premultiplied);
        blank.fill(Qt::transparent);
        QVERIFY(drawn != blank);
    }
    box->setStyle(nullptr);
}

void TestForm1Cost::lifeBitLampLooksAsDrawnDirectly_data()
{
    QTest::addColumn<bool>("lit");
    QTest::addColumn<QColor>("background");
    QTest::addColumn<QColor>("outline"); // invalid: the palette's own

    const QColor window = QApplication::palette().color(QPalette::Window);
    for (bool lit : {false, true}) {
        const char *state = lit ? "lit" : "dark";
        QTest::addRow("%s on the window's grey", state) << lit << window << QColor();
        QTest::addRow("%s on white", state) << lit << QColor(Qt::white) << QColor();
        QTest::addRow("%s on dark blue", state) << lit << QColor(0, 0, 128) << QColor();
        QTest::addRow("%s, outline turned red", state) << lit << window << QColor(Qt::red);
    }
}

void TestForm1Cost::lifeBitLampLooksAsDrawnDirectly()
{
    QFETCH(bool, lit);
    QFETCH(QColor, background);
    QFETCH(QColor, outline);

    LifeBitLamp lamp;
    lamp.resize(16, 16);
    auto shown = [&] {
        QImage image(lamp.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(background);
        lamp.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
        return image;
    };
    // Both looks drawn once before, with the palette as it was.
    lamp.setLit(!lit);
    shown();
    lamp.setLit(lit);
    shown();
    if (outline.isValid()) {
        QPalette palette = lamp.palette();
        palette.setColor(QPalette::WindowText, outline);
        lamp.setPalette(palette);
    }

    QImage direct(lamp.size(), QImage::Format_ARGB32_Premultiplied);
    direct.fill(background);
    {
        QPainter painter(&direct);
        lamp.drawLamp(painter, lit);
    }
    // Copying a picture drawn once rounds the circle's soft edge differently from drawing
    // it in place, by at most one step of 255; anything more is a different lamp.
    const int difference = largestChannelDifference(shown(), direct);
    QVERIFY2(difference <= 1, qPrintable(QStringLiteral("differs by %1").arg(difference)));
}

void TestForm1Cost::tricklingLineWakesTheWindowSeldom()
{
    LoadedWindow lw;
    startRun(lw);
    int receiveEvents = 0;
    ComKelmor &com = comKelmor(*lw.window);
    connect(&com, &ComKelmor::commEventRaised, this, [&] {
        if (com.commEvent() == ComEvReceive)
            ++receiveEvents;
    });

    QByteArray stream;
    QList<QByteArray> lines;
    for (int i = 0; i < 5; ++i) {
        const QByteArray line = gaugeLine("1.0" + QByteArray::number(i) + "E-03", "8049", i);
        lines << line.chopped(1);
        stream += line;
    }
    // Each character is written on its own, and the window gets a chance to run after
    // each: without a hold it would wake once per character.
    for (char c : stream) {
        QVERIFY(lw.pty.write(QByteArray(1, c)));
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    QTRY_COMPARE(lw.get<QLabel>("lblDruck")->text(), QStringLiteral("1.04E-03"));
    QCOMPARE(receiver(*lw.window).buffer().size(), 0);
    QVERIFY2(receiveEvents < stream.size() / 4,
             qPrintable(QStringLiteral("%1 receive events for %2 characters")
                            .arg(receiveEvents)
                            .arg(stream.size())));

    lw.click("cmdMonitor");
    const QByteArray log = lw.logBytes();
    for (const QByteArray &line : lines)
        QVERIFY2(log.contains("\"" + line + "\"\r\n"), line.constData());
}

void TestForm1Cost::aNewPressureAsksForNoLayout()
{
    LoadedWindow lw;
    startRun(lw);
    showLine(lw, gaugeLine("1.00E-03", "8049", 1));
    // The window has no layouts: a layout request is a posted event, and a wake-up, for
    // nothing.
    struct LayoutRequests : QObject
    {
        int count = 0;
        bool eventFilter(QObject *, QEvent *event) override
        {
            count += event->type() == QEvent::LayoutRequest;
            return false;
        }
    } requests;
    lw.get("FrameStatus")->installEventFilter(&requests);
    showLine(lw, gaugeLine("9.87E-04", "8049", 2));
    QCOMPARE(lw.get<QLabel>("lblDruck")->text(), QStringLiteral("9.87E-04"));
    QCOMPARE(requests.count, 0);
}

QTEST_MAIN(TestForm1Cost)
#include "tst_form1cost.moc"
