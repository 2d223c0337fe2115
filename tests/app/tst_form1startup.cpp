// The main window right after its Load event: every control where the operator expects
// it, the settings dialog's result in the status bar, and a clean shutdown.

#include "form1harness.h"
#include "lifebitlamp.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QStatusBar>

#include <cmath>

using namespace kelmor;
using namespace kelmor::test;

namespace {

int px(int twips)
{
    return int(std::lround(twips / 15.0));
}

struct Row
{
    const char *name;
    const char *kind; // Qt class the operator sees
    const char *parent;
    const char *text; // after start-up
    const char *toolTip;
    const char *family; // nullptr: the window's default
    double points;
    bool bold, italic;
    int l, t, w, h;
    bool enabled;
};

// The window as its design sheet describes it, in the state after start-up.
const Row kRows[] = {
    {"FrameControl", "QGroupBox", "client", "Steuern KELMOR", "", nullptr, 0, false, false, 240,
     240, 5055, 4695, true},
    {"FrameStatus", "QGroupBox", "client", "Status KELMOR", "", nullptr, 0, false, false, 5880, 240,
     4815, 4695, true},
    {"Cmdframe", "QGroupBox", "client", "Befehl", "", nullptr, 0, false, false, 240, 5040, 5055,
     735, true},
    {"FrameSenden", "QGroupBox", "client", "Monitor Senden", "", nullptr, 0, false, false, 240,
     5880, 5055, 1932, true},
    {"FrameEmpfang", "QGroupBox", "client", "Monitor Empfang", "", nullptr, 0, false, false, 5880,
     5880, 4815, 2412, true},
    {"CmdBefehl", "QPushButton", "Cmdframe", "Senden", "", "MS Sans Serif", 9.75, false, false,
     3480, 240, 1335, 375, true},
    {"TextBoxBefehl", "QLineEdit", "Cmdframe", "RV", "Schreib- oder Lesebefehl", nullptr, 0, false,
     false, 120, 240, 2535, 375, true},
    {"TextSenden", "QPlainTextEdit", "FrameSenden", "", "", nullptr, 0, false, false, 120, 240,
     4815, 1572, true},
    {"TextEmpfang", "QPlainTextEdit", "FrameEmpfang", "", "", nullptr, 0, false, false, 120, 240,
     4575, 1572, true},
    {"cmdMonitor", "QPushButton", "FrameEmpfang", "START", "", nullptr, 0, false, false, 1320, 1920,
     1692, 432, true},
    {"CmdSenden", "QPushButton", "FrameControl", "Steuerwort senden", "", "MS Sans Serif", 9.75,
     false, false, 1320, 3960, 2292, 492, true},
    {"CmdCom", "QPushButton", "client", "Schnittstelle", "", nullptr, 0, false, false, 1800, 8040,
     1695, 375, true},
    // Added beside the design sheet, in the strip that was free.
    {"CmdVerlauf", "QPushButton", "client", "Verlauf…", "Druckverlauf und Statusbits anzeigen",
     nullptr, 0, false, false, 7200, 5220, 1692, 432, true},
    {"Label1", "QLabel", "FrameControl", "Steuerwort (Hex):", "", "Times New Roman", 10.5, false,
     false, 360, 3360, 1575, 255, true},
    {"lblSteuerbyte", "QLabel", "FrameControl", "0009", "", "Times New Roman", 10.5, false, false,
     2040, 3360, 495, 255, true},
    {"Label3", "QLabel", "FrameStatus", "Druck:", "", "Times New Roman", 14.25, true, true, 1200,
     4200, 855, 255, true},
    {"lblDruck", "QLabel", "FrameStatus", "---", "", "Times New Roman", 14.25, true, true, 2280,
     4200, 1695, 255, true},
    {"Label2", "QLabel", "FrameStatus", "Lebensbit", "", "Times New Roman", 11.25, false, false,
     720, 3720, 855, 255, true},
    {"ShapeLB", "kelmor::LifeBitLamp", "FrameStatus", nullptr, "", nullptr, 0, false, false, 360,
     3720, 240, 240, true},
    {"lblSPman", "QLabel", "FrameStatus", "SP manuell", "", "Times New Roman", 10.5, true, false,
     360, 360, 1695, 255, false},
    {"lblSPout", "QLabel", "FrameStatus", "SP Ausgang", "", "Times New Roman", 10.5, true, false,
     360, 840, 1695, 255, false},
    {"lblSPauto", "QLabel", "FrameStatus", "SP Auto", "", "Times New Roman", 10.5, true, false, 360,
     1320, 1695, 255, false},
    {"lblEnableEx", "QLabel", "FrameStatus", "Freigabe Extern", "", "Times New Roman", 10.5, true,
     false, 360, 1800, 1695, 255, false},
    {"lblResetIG", "QLabel", "FrameStatus", "Reset IG-Error", "", "Times New Roman", 10.5, true,
     false, 360, 2280, 1695, 255, false},
    {"lblPiVAC", "QLabel", "FrameStatus", "Pirani-VAC", "", "Times New Roman", 10.5, true, false,
     360, 2760, 1695, 255, false},
    {"lblPiATM", "QLabel", "FrameStatus", "Pirani-ATM", "", "Times New Roman", 10.5, true, false,
     360, 3240, 1695, 255, false},
    {"lblAutorange", "QLabel", "FrameStatus", "Autorange", "", "Times New Roman", 10.5, true, false,
     2760, 360, 1695, 255, true},
    {"lblPirani", "QLabel", "FrameStatus", "Pirani", "", "Times New Roman", 10.5, true, false, 2760,
     840, 1695, 255, false},
    {"lblIG", "QLabel", "FrameStatus", "IG", "", "Times New Roman", 10.5, true, false, 2760, 1320,
     1695, 255, false},
    {"lblAutoFil", "QLabel", "FrameStatus", "Auto Filament", "", "Times New Roman", 10.5, true,
     false, 2760, 1800, 1695, 255, false},
    {"lblFil1", "QLabel", "FrameStatus", "Filament 1", "", "Times New Roman", 10.5, true, false,
     2760, 2280, 1695, 255, false},
    {"lblFil2", "QLabel", "FrameStatus", "Filament 2", "", "Times New Roman", 10.5, true, false,
     2760, 2760, 1695, 255, false},
    {"lblDegas", "QLabel", "FrameStatus", "Degas", "", "Times New Roman", 10.5, true, false, 2760,
     3240, 1695, 255, false},
    {"lblEStrom", "QLabel", "FrameStatus", "Kleiner E-Strom", "", "Times New Roman", 10.5, true,
     false, 2760, 3720, 1695, 255, false},
    {"CheckSPman", "QCheckBox", "FrameControl", "SP manuell", "Freigabe für SP über Bit steuern",
     "Times New Roman", 10.5, false, false, 360, 360, 1695, 252, true},
    {"CheckSPout", "QCheckBox", "FrameControl", "SP Ausgang", "SP über Bit steuern",
     "Times New Roman", 10.5, false, false, 360, 720, 1695, 252, true},
    {"CheckSPauto", "QCheckBox", "FrameControl", "SP Auto", "SP-Funktion einschalten",
     "Times New Roman", 10.5, false, false, 360, 1080, 1695, 252, true},
    {"CheckExt_E", "QCheckBox", "FrameControl", "Freigabe Extern", "Freigabe externe Eingänge",
     "Times New Roman", 10.5, false, false, 360, 1440, 1695, 252, true},
    {"CheckReset", "QCheckBox", "FrameControl", "Reset IG Error", "Reset Fehlerbit für IG",
     "Times New Roman", 10.5, false, false, 360, 1800, 1695, 252, true},
    {"CheckPiVAK", "QCheckBox", "FrameControl", "Pirani-VAC", "Abgleich Pirani Vakuum",
     "Times New Roman", 10.5, false, false, 360, 2160, 1695, 240, false},
    {"CheckPiATM", "QCheckBox", "FrameControl", "Pirani-ATM", "Abgleich Pirani Atmosphäre",
     "Times New Roman", 10.5, false, false, 360, 2520, 1695, 240, false},
    {"CheckAutorange", "QCheckBox", "FrameControl", "Autorange",
     "Automatische Umschaltung der Meßprinzipien", "Times New Roman", 10.5, false, false, 3000, 360,
     1695, 252, true},
    {"CheckPirani", "QCheckBox", "FrameControl", "Pirani", "", "Times New Roman", 10.5, false,
     false, 3000, 720, 1695, 252, false},
    {"CheckIG", "QCheckBox", "FrameControl", "IG", "", "Times New Roman", 10.5, false, false, 3000,
     1080, 1575, 252, false},
    {"CheckAutoFil", "QCheckBox", "FrameControl", "Auto Filament",
     "Automatische Umschaltung der Filamente", "Times New Roman", 10.5, false, false, 3000, 1440,
     1575, 252, true},
    {"CheckFil1", "QCheckBox", "FrameControl", "Filament 1", "Manuelle Wahl Filament 1",
     "Times New Roman", 10.5, false, false, 3000, 1800, 1575, 252, false},
    {"CheckFil2", "QCheckBox", "FrameControl", "Filament 2", "Manuelle Wahl Filament 2",
     "Times New Roman", 10.5, false, false, 3000, 2160, 1695, 252, false},
    {"CheckDegas", "QCheckBox", "FrameControl", "Degas", "Entgasen  Ein/Aus", "Times New Roman",
     10.5, false, false, 3000, 2520, 1695, 252, true},
    {"CheckEStrom", "QCheckBox", "FrameControl", "kleiner E-Strom",
     "Kleinen Emissionsstrombereich einstellen", "Times New Roman", 10.5, false, false, 3000, 2880,
     1695, 252, true},
};

QString textOf(QWidget *w)
{
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        return b->text();
    if (auto *l = qobject_cast<QLabel *>(w))
        return l->text();
    if (auto *e = qobject_cast<QLineEdit *>(w))
        return e->text();
    if (auto *p = qobject_cast<QPlainTextEdit *>(w))
        return p->toPlainText();
    if (auto *g = qobject_cast<QGroupBox *>(w))
        return g->title();
    return {};
}

} // namespace

class TestForm1Startup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initApplication(); }
    // Before the application goes: the shared window's folder is removed with it.
    void cleanupTestCase() { m_shared.reset(); }

    void controls_data();
    void controls();
    void everyControlIsListed();
    void windowAndStatusBar();
    void startUpStateAfterOk();
    void cancelLeavesPortClosed();
    void focusAndTabOrder();
    void designTimeTextsNeverShown();
    void resizeMovesNothing();
    void closingClosesPortAndSendsNothing();
    void closingAlsoClosesTheOpenDialog();
    void cmdComShowsOneDialogOnly();
    void everyCaptionIsWhole_data();
    void everyCaptionIsWhole();
    void longLogPathIsCutInTheMiddle_data();
    void longLogPathIsCutInTheMiddle();
    void qtsOwnTextsAreGerman_data();
    void qtsOwnTextsAreGerman();

private:
    std::unique_ptr<LoadedWindow> m_shared; // one window for the rows of controls() and captions
};

void TestForm1Startup::controls_data()
{
    QTest::addColumn<int>("row");
    for (std::size_t i = 0; i < std::size(kRows); ++i)
        QTest::newRow(kRows[i].name) << int(i);
}

void TestForm1Startup::controls()
{
    if (!m_shared)
        m_shared = std::make_unique<LoadedWindow>();
    LoadedWindow *shared = m_shared.get();
    QFETCH(int, row);
    const Row &r = kRows[row];
    QWidget *w = widget(*shared->window, r.name);
    QVERIFY2(w, r.name);
    QCOMPARE(w->objectName(), QString::fromLatin1(r.name));
    QVERIFY2(w->inherits(r.kind), w->metaObject()->className());
    QCOMPARE(w->parentWidget()->objectName(), QString::fromLatin1(r.parent));
    if (r.text)
        QCOMPARE(textOf(w), QString::fromUtf8(r.text));
    QCOMPARE(w->toolTip(), QString::fromUtf8(r.toolTip));
    const QRect laidOut(px(r.l), px(r.t), px(r.w), px(r.h));
    if (qobject_cast<QLabel *>(w) && w->width() > laidOut.width()) {
        // A caption wider than its place grows sideways only (everyCaptionIsWhole).
        QCOMPARE(w->y(), laidOut.y());
        QCOMPARE(w->height(), laidOut.height());
        QVERIFY(w->x() <= laidOut.x() && w->geometry().right() >= laidOut.right());
    } else {
        QCOMPARE(w->geometry(), laidOut);
    }
    QCOMPARE(w->isEnabled(), r.enabled);
    if (r.family) {
        QCOMPARE(w->font().family(), QString::fromLatin1(r.family));
        QCOMPARE(w->font().pointSizeF(), r.points);
        QCOMPARE(w->font().bold(), r.bold);
        QCOMPARE(w->font().italic(), r.italic);
        // What is drawn is the metric-compatible face, never a wider fallback.
        const QString drawn = QFontInfo(w->font()).family();
        QVERIFY2(drawn.startsWith(QLatin1String("Liberation")) || drawn == QLatin1String(r.family),
                 qPrintable(drawn));
    } else {
        QCOMPARE(w->font(), shared->window->font());
    }
    if (auto *box = qobject_cast<QCheckBox *>(w)) {
        const bool checked = QLatin1String(r.name) == QLatin1String("CheckAutorange") ||
                             QLatin1String(r.name) == QLatin1String("CheckAutoFil");
        QCOMPARE(box->isChecked(), checked);
        QVERIFY(!box->isTristate());
    }
}

void TestForm1Startup::everyControlIsListed()
{
    LoadedWindow lw;
    QStringList laidOut;
    for (QWidget *w : lw.window->centralWidget()->findChildren<QWidget *>()) {
        if (w->parentWidget() == lw.window->centralWidget() ||
            w->parentWidget()->parentWidget() == lw.window->centralWidget()) {
            if (!w->objectName().isEmpty() && !w->objectName().startsWith(QLatin1String("qt_")))
                laidOut << w->objectName();
        }
    }
    QStringList expected;
    for (const Row &r : kRows)
        expected << QString::fromLatin1(r.name);
    laidOut.sort();
    expected.sort();
    QCOMPARE(laidOut, expected);
}

void TestForm1Startup::windowAndStatusBar()
{
    LoadedWindow lw;
    Form1 &f = *lw.window;
    QCOMPARE(f.objectName(), QStringLiteral("Form1"));
    QCOMPARE(f.windowTitle(), QStringLiteral("Service - Monitor für KELMOR"));
    QCOMPARE(f.size(), QSize(744, 588));
    QVERIFY(f.windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(f.windowFlags() & Qt::WindowMaximizeButtonHint);
    const QIcon icon = f.windowIcon();
    QVERIFY(!icon.isNull());
    QCOMPARE(icon.availableSizes().value(0), QSize(32, 32));
    QSet<QRgb> colours;
    const QImage img = icon.pixmap(32, 32).toImage();
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            colours.insert(img.pixel(x, y));
    QVERIFY2(colours.size() <= 16, qPrintable(QString::number(colours.size())));
    QVERIFY(colours.size() >= 4);
    // The desktop theme's copy of the icon is the same picture.
    const QImage installed(QStringLiteral(KELMOR_ICON_PNG));
    QCOMPARE(installed.size(), QSize(32, 32));
    QCOMPARE(installed.convertToFormat(QImage::Format_ARGB32),
             img.convertToFormat(QImage::Format_ARGB32));

    QStatusBar *bar = f.statusBar();
    QCOMPARE(bar->objectName(), QStringLiteral("StatusBar1"));
    QCOMPARE(bar->height(), 17);
    QCOMPARE(bar->geometry().bottom(), f.height() - 1);
    QCOMPARE(bar->width(), f.width());
    const int widths[] = {1040, 1440, 3200, 1600};
    const char *tips[] = {"Nummer der Schnittstelle", "Baudrate, Parität, Datenbits, Stoppbits",
                          "Speicherort", "Versions-Information"};
    for (int i = 0; i < 4; ++i) {
        auto *panel = bar->findChild<QLabel *>(QStringLiteral("Panel%1").arg(i + 1));
        QVERIFY(panel);
        QCOMPARE(panel->width(), px(widths[i]));
        QCOMPARE(panel->minimumWidth(), px(widths[i]));
        // Panel 1's tooltip goes on to say what the port is doing.
        QCOMPARE(panel->toolTip().section(QLatin1Char('\n'), 0, 0), QString::fromUtf8(tips[i]));
        if (i > 0)
            QCOMPARE(panel->toolTip(), QString::fromUtf8(tips[i]));
    }
    // The closed port's text fits the panel as the dialog's text does.
    auto *panel1 = bar->findChild<QLabel *>(QStringLiteral("Panel1"));
    QVERIFY(panel1->fontMetrics().horizontalAdvance(QStringLiteral("COM  4 zu")) <=
            panel1->contentsRect().width());
}

void TestForm1Startup::startUpStateAfterOk()
{
    LoadedWindow lw;
    Form1 &f = *lw.window;
    QVERIFY(comKelmor(f).portOpen());
    QCOMPARE(comKelmor(f).commPort(), 1);
    QCOMPARE(panelText(f, 1), QStringLiteral("COM  1"));
    QCOMPARE(panelText(f, 2), QStringLiteral("19200,n,8,1"));
    QCOMPARE(panelText(f, 3), QString());
    QCOMPARE(panelText(f, 4), QStringLiteral("V1.2 Rev.3"));
    QCOMPARE(controlWordText(f), QStringLiteral("0009"));
    QVERIFY(sendMonitorText(f).isEmpty());
    QVERIFY(receiveMonitorText(f).isEmpty());
    QVERIFY(!lw.get<LifeBitLamp>("ShapeLB")->isLit());
    QVERIFY(!f.monitoringRuns());
    QVERIFY(lw.messages.messages().isEmpty());
    QVERIFY(!settingsDialog());
    // Start-up itself sends nothing to the gauge.
    QCOMPARE(lw.pty.read(1, 200), QByteArray());
}

void TestForm1Startup::cancelLeavesPortClosed()
{
    LoadedWindow lw(DialogAnswer::Cancel);
    Form1 &f = *lw.window;
    QVERIFY(!comKelmor(f).portOpen());
    for (int panel = 1; panel <= 4; ++panel)
        QCOMPARE(panelText(f, panel), QString());
    // Everything else comes up as after OK.
    QCOMPARE(controlWordText(f), QStringLiteral("0009"));
    QVERIFY(lw.get("CmdSenden")->isEnabled());
    QCOMPARE(lw.get<QPushButton>("cmdMonitor")->text(), QStringLiteral("START"));
    QCOMPARE(lw.get<QLabel>("lblDruck")->text(), QStringLiteral("---"));
}

void TestForm1Startup::focusAndTabOrder()
{
    LoadedWindow lw;
    lw.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(lw.window.get()));
    QCOMPARE(QApplication::focusWidget(), lw.get("CheckAutorange"));

    // Disabled boxes are skipped; after start-up Pirani, IG, the filaments and the Pirani
    // adjustments are disabled.
    const QStringList expected{
        "CheckAutoFil",  "CheckDegas", "CmdSenden",  "TextSenden",  "TextEmpfang",   "cmdMonitor",
        "CheckEStrom",   "CheckSPman", "CheckSPout", "CheckSPauto", "CmdCom",        "CmdVerlauf",
        "TextBoxBefehl", "CmdBefehl",  "CheckExt_E", "CheckReset",  "CheckAutorange"};
    QStringList seen;
    for (int i = 0; i < expected.size(); ++i) {
        QWidget *focus = QApplication::focusWidget();
        QVERIFY(focus);
        QTest::keyClick(focus, Qt::Key_Tab);
        seen << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(seen, expected);
}

void TestForm1Startup::designTimeTextsNeverShown()
{
    LoadedWindow lw;
    const QStringList hidden{QStringLiteral("Command1"), QStringLiteral("Text1"),
                             QStringLiteral("----")};
    for (QWidget *w : lw.window->findChildren<QWidget *>()) {
        const QString text = textOf(w);
        QVERIFY2(!hidden.contains(text), qPrintable(w->objectName()));
    }
}

void TestForm1Startup::resizeMovesNothing()
{
    LoadedWindow lw;
    QWidget *cmdCom = lw.get("CmdCom");
    QWidget *frame = lw.get("FrameEmpfang");
    const QRect before = cmdCom->geometry();
    const QRect frameBefore = frame->geometry();
    lw.window->resize(1200, 900);
    QTest::qWait(20);
    QCOMPARE(cmdCom->geometry(), before);
    QCOMPARE(frame->geometry(), frameBefore);
    lw.window->resize(300, 200);
    QTest::qWait(20);
    QCOMPARE(cmdCom->geometry(), before);
}

void TestForm1Startup::closingClosesPortAndSendsNothing()
{
    LoadedWindow lw;
    QVERIFY(comKelmor(*lw.window).portOpen());
    lw.click("cmdMonitor");
    QCOMPARE(lw.pty.read(4), QByteArray("SX1\r"));
    lw.gaugeSends("abc\r");
    lw.window->close();
    QVERIFY(!comKelmor(*lw.window).portOpen());
    QCOMPARE(lw.pty.read(1, 200), QByteArray()); // no "SX0"
    lw.window.reset();                           // the program's end
    QVERIFY(lw.logBytes().endsWith("\"abc\"\r\n"));
}

void TestForm1Startup::closingAlsoClosesTheOpenDialog()
{
    LoadedWindow lw;
    lw.click("CmdCom");
    QPointer<FrmProperties> dialog = settingsDialog();
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QVERIFY(!dialog->isModal());
    lw.window->close();
    QTRY_VERIFY(!dialog);
}

void TestForm1Startup::cmdComShowsOneDialogOnly()
{
    LoadedWindow lw;
    auto *cmdCom = lw.get<QPushButton>("CmdCom");
    QTest::mouseClick(cmdCom, Qt::LeftButton);
    QPointer<FrmProperties> first = settingsDialog();
    QTest::mouseClick(cmdCom, Qt::LeftButton);
    QCOMPARE(settingsDialog(), first.data());
    const QWidgetList tops = QApplication::topLevelWidgets();
    QCOMPARE(std::count_if(tops.begin(), tops.end(),
                           [](QWidget *w) {
                               return w->objectName() == QLatin1String("frmProperties") &&
                                      w->isVisible();
                           }),
             1);
    // The main window stays usable while it is open.
    lw.click("CmdBefehl");
    QCOMPARE(lw.pty.read(3), QByteArray("RV\r"));
    first->close();
    QTRY_VERIFY(!first);
}

void TestForm1Startup::everyCaptionIsWhole_data()
{
    QTest::addColumn<QString>("name");
    for (const Row &r : kRows) {
        if (QLatin1String(r.kind) == QLatin1String("QLabel") && r.text && *r.text)
            QTest::newRow(r.name) << QString::fromLatin1(r.name);
    }
}

void TestForm1Startup::everyCaptionIsWhole()
{
    if (!m_shared)
        m_shared = std::make_unique<LoadedWindow>();
    QFETCH(QString, name);
    auto *label = widget<QLabel>(*m_shared->window, name);
    QVERIFY(label);
    const int need = label->fontMetrics().horizontalAdvance(label->text());
    QVERIFY2(
        need <= label->contentsRect().width(),
        qPrintable(
            QStringLiteral("%1 px drawn in %2 px").arg(need).arg(label->contentsRect().width())));
    // Grown or not, it covers no other control of its frame.
    for (QWidget *other :
         label->parentWidget()->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (other != label && other->isVisible())
            QVERIFY2(!other->geometry().intersects(label->geometry()),
                     qPrintable(other->objectName()));
    }
}

void TestForm1Startup::longLogPathIsCutInTheMiddle_data()
{
    QTest::addColumn<bool>("cut");
    QTest::newRow("a short path, shown whole") << false;
    QTest::newRow("a long path, cut in the middle") << true;
}

void TestForm1Startup::longLogPathIsCutInTheMiddle()
{
    QFETCH(bool, cut);
    LoadedWindow lw;
    // Short enough to fit only right in /tmp (the test's own temporary folder may be deep).
    QString path = QStringLiteral("/tmp/k%1.txt").arg(QCoreApplication::applicationPid() % 1000);
    if (cut) {
        const QString folder = lw.dir.filePath(QString(120, QLatin1Char('f')));
        QVERIFY(QDir().mkpath(folder));
        path = folder + QStringLiteral("/KelmorLog.txt");
    }
    auto removeShort = qScopeGuard([&] {
        if (!cut)
            QFile::remove(path);
    });
    lw.restart(path);
    startRun(lw);

    const QString whole =
        QStringLiteral("Datenaufzeichnung in ") + QDir::toNativeSeparators(lw.logPath);
    auto *panel = lw.window->statusBar()->findChild<QLabel *>(QStringLiteral("Panel3"));
    QVERIFY(panel);
    QCOMPARE(panelText(*lw.window, 3), whole);
    const QString shown = panel->text();
    QVERIFY2(panel->fontMetrics().horizontalAdvance(shown) <= panel->contentsRect().width(),
             qPrintable(shown));
    QCoreApplication::processEvents(); // the tooltip follows the text
    if (cut) {
        QVERIFY2(shown.startsWith(QLatin1String("Datenaufzeichnung")) &&
                     shown.endsWith(QLatin1String("/KelmorLog.txt")) &&
                     shown.contains(QChar(0x2026)),
                 qPrintable(shown));
        QVERIFY2(panel->toolTip().startsWith(QLatin1String("Speicherort")) &&
                     panel->toolTip().contains(whole),
                 qPrintable(panel->toolTip()));
    } else {
        QCOMPARE(shown, whole);
        QCOMPARE(panel->toolTip(), QStringLiteral("Speicherort"));
    }
    stopRun(lw);
    QCOMPARE(panel->text(), QString());
    QTRY_COMPARE(panel->toolTip(), QStringLiteral("Speicherort"));
}

void TestForm1Startup::qtsOwnTextsAreGerman_data()
{
    QTest::addColumn<QString>("name"); // a control, or "buttons" for the standard buttons
    QTest::addColumn<QString>("expected");
    QTest::newRow("TextBoxBefehl") << "TextBoxBefehl"
                                   << "Rückgängig";
    QTest::newRow("TextSenden") << "TextSenden"
                                << "Alles auswählen";
    QTest::newRow("TextEmpfang") << "TextEmpfang"
                                 << "Alles auswählen";
    QTest::newRow("standard buttons") << "buttons"
                                      << "Abbrechen";
}

void TestForm1Startup::qtsOwnTextsAreGerman()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    LoadedWindow lw;
    QStringList texts;
    if (name == QLatin1String("buttons")) {
        QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel |
                             QDialogButtonBox::Close | QDialogButtonBox::Yes |
                             QDialogButtonBox::No);
        for (QAbstractButton *b : box.buttons())
            texts << b->text();
    } else {
        QWidget *w = widget(*lw.window, name);
        std::unique_ptr<QMenu> menu;
        if (auto *line = qobject_cast<QLineEdit *>(w))
            menu.reset(line->createStandardContextMenu());
        else if (auto *text = qobject_cast<QPlainTextEdit *>(w))
            menu.reset(text->createStandardContextMenu());
        QVERIFY(menu);
        for (QAction *a : menu->actions())
            if (!a->isSeparator())
                texts << a->text();
    }
    for (QString &t : texts)
        t = t.section(QLatin1Char('\t'), 0, 0).remove(QLatin1Char('&'));
    static const QStringList english{
        QStringLiteral("Undo"),       QStringLiteral("Redo"),   QStringLiteral("Cut"),
        QStringLiteral("Copy"),       QStringLiteral("Paste"),  QStringLiteral("Delete"),
        QStringLiteral("Select All"), QStringLiteral("Cancel"), QStringLiteral("Close"),
        QStringLiteral("Yes"),        QStringLiteral("No")};
    for (const QString &t : texts)
        QVERIFY2(!english.contains(t), qPrintable(texts.join(QLatin1String(", "))));
    QVERIFY2(texts.contains(expected), qPrintable(texts.join(QLatin1String(", "))));
}

QTEST_MAIN(TestForm1Startup)
#include "tst_form1startup.moc"
