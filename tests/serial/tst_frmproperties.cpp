#include "comkelmor.h"
#include "failuremessage.h"
#include "fakeportlisting.h"
#include "frmproperties.h"
#include "ptypair.h"
#include "twips.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <memory>

using kelmor::ComKelmor;
using kelmor::FrmProperties;
using kelmor::test::PtyPair;

namespace {

const char kMissingDevice[] = "/nonexistent/ttyKELMOR";

using Panels = QList<QPair<int, QString>>;

Panels panelsOf(const QSignalSpy &spy)
{
    Panels panels;
    for (const QList<QVariant> &args : spy)
        panels.append({args.at(0).toInt(), args.at(1).toString()});
    return panels;
}

// The version as the build names it ("1.2.3"), shown without leading zeros.
QString expectedVersionText()
{
    const QStringList parts = QStringLiteral(KELMOR_VERSION_STRING).split(QLatin1Char('.'));
    return QStringLiteral("V%1.%2 Rev.%3")
        .arg(parts.value(0).toInt())
        .arg(parts.value(1).toInt())
        .arg(parts.value(2).toInt());
}

} // namespace

class TestFrmProperties : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void firstShowSelectsCom1And19200();
    void okOpensPortAndWritesPanels();
    void cancelChangesNothing_data();
    void cancelChangesNothing();
    void missingDeviceKeepsDialogOpen();
    void switchingOpenPortToMissingDeviceRestoresNumber();
    void higherSpeedOnOpenPortKeepsItOpen();
    void closedPortSwitchesToCom3();
    void reopeningSelectsCurrentPortAndSpeed();
    void speedFromOtherSettings_data();
    void speedFromOtherSettings();
    void controlsHaveNamesCaptionsAndGeometry_data();
    void controlsHaveNamesCaptionsAndGeometry();
    void windowIsFixedCentredDialog();
    void tabKeyFollowsTabIndex();
    void escapeDoesNotClose();
    void enterPressesOK_data();
    void enterPressesOK();
    void failureMessageIsWarningBox();
    void deviceLabelNamesTheSelectedDevice_data();
    void deviceLabelNamesTheSelectedDevice();
    void deviceLabelFollowsAnAdapterPluggedIn();
    void deviceLabelMovesNothing();
    void okOnAnEntryWithoutDevice();

private:
    FrmProperties *showDialog();
    template <typename T> T *child(const char *name) const
    {
        return m_dialog ? m_dialog->findChild<T *>(QLatin1String(name)) : nullptr;
    }
    void selectPort(int index) { child<QComboBox>("cboPort")->setCurrentIndex(index); }
    void clickOK() { QTest::mouseClick(child<QPushButton>("cmdOK"), Qt::LeftButton); }

    std::unique_ptr<PtyPair> m_com1;
    std::unique_ptr<PtyPair> m_com3;
    std::unique_ptr<ComKelmor> m_port;
    QPointer<FrmProperties> m_dialog;
    std::unique_ptr<QSignalSpy> m_panels;
    QStringList m_messages;
};

void TestFrmProperties::init()
{
    m_com1 = std::make_unique<PtyPair>();
    m_com3 = std::make_unique<PtyPair>();
    QVERIFY(m_com1->isValid() && m_com3->isValid());
    qputenv("KELMOR_COM1", m_com1->slavePath().toLocal8Bit());
    qputenv("KELMOR_COM2", kMissingDevice);
    qputenv("KELMOR_COM3", m_com3->slavePath().toLocal8Bit());
    qputenv("KELMOR_COM4", kMissingDevice);

    m_messages.clear();
    kelmor::setFailureMessageHandler(
        [this](QWidget *, const QString &text) { m_messages.append(text); });
    m_port = std::make_unique<ComKelmor>();
}

void TestFrmProperties::cleanup()
{
    delete m_dialog.data();
    m_panels.reset();
    m_port.reset();
    m_com1.reset();
    m_com3.reset();
    kelmor::setFailureMessageHandler({});
}

FrmProperties *TestFrmProperties::showDialog()
{
    m_dialog = new FrmProperties(*m_port);
    m_panels = std::make_unique<QSignalSpy>(m_dialog.data(), &FrmProperties::panelText);
    m_dialog->show();
    if (!QTest::qWaitForWindowExposed(m_dialog.data()))
        return nullptr;
    return m_dialog;
}

void TestFrmProperties::firstShowSelectsCom1And19200()
{
    QVERIFY(showDialog());
    auto *port = child<QComboBox>("cboPort");
    auto *speed = child<QComboBox>("cboSpeed");
    QVERIFY(port && speed);

    QCOMPARE(port->count(), 4);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(port->itemText(i), QStringLiteral("Com%1").arg(i + 1));
    QCOMPARE(speed->count(), 2);
    QCOMPARE(speed->itemText(0), QStringLiteral("19200"));
    QCOMPARE(speed->itemText(1), QStringLiteral("38400"));
    QCOMPARE(port->currentText(), QStringLiteral("Com1"));
    QCOMPARE(speed->currentText(), QStringLiteral("19200"));
    QVERIFY(!m_port->portOpen());
}

void TestFrmProperties::okOpensPortAndWritesPanels()
{
    QVERIFY(showDialog());
    clickOK();

    QVERIFY(m_messages.isEmpty());
    QCOMPARE(panelsOf(*m_panels), (Panels{{1, QStringLiteral("COM  1")},
                                          {2, QStringLiteral("19200,n,8,1")},
                                          {4, expectedVersionText()}}));
    QVERIFY(m_port->portOpen());
    QCOMPARE(m_port->commPort(), 1);
    QCOMPARE(m_port->handshaking(), 0);
    QTRY_VERIFY(m_dialog.isNull());

    // It is really Com1's device that was opened.
    QVERIFY(!m_port->output("RV\r"));
    QCOMPARE(m_com1->read(3), QByteArray("RV\r"));
}

void TestFrmProperties::cancelChangesNothing_data()
{
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("Abbrechen") << false;
    QTest::newRow("close box") << true;
}

void TestFrmProperties::cancelChangesNothing()
{
    QFETCH(bool, closeBox);
    QVERIFY(showDialog());
    selectPort(2);
    child<QComboBox>("cboSpeed")->setCurrentIndex(1);

    if (closeBox)
        m_dialog->close();
    else
        QTest::mouseClick(child<QPushButton>("cmdCancel"), Qt::LeftButton);

    QTRY_VERIFY(m_dialog.isNull());
    QCOMPARE(m_panels->count(), 0);
    QVERIFY(m_messages.isEmpty());
    QVERIFY(!m_port->portOpen());
    QCOMPARE(m_port->commPort(), 1);
    QCOMPARE(m_port->settings(), QStringLiteral("19200,n,8,1"));
}

void TestFrmProperties::missingDeviceKeepsDialogOpen()
{
    qputenv("KELMOR_COM1", kMissingDevice);
    QVERIFY(showDialog());
    clickOK();

    QCOMPARE(m_messages.size(), 1);
    QVERIFY2(m_messages.first().contains(QLatin1String("Com1")) &&
                 m_messages.first().contains(QLatin1String(kMissingDevice)),
             qPrintable(m_messages.first()));
    QTest::qWait(50);
    QVERIFY(!m_dialog.isNull());
    QVERIFY(m_dialog->isVisible());
    QCOMPARE(m_panels->count(), 0);
    QVERIFY(!m_port->portOpen());
    QCOMPARE(child<QComboBox>("cboPort")->currentText(), QStringLiteral("Com1"));
}

void TestFrmProperties::switchingOpenPortToMissingDeviceRestoresNumber()
{
    QVERIFY(!m_port->setPortOpen(true));
    QVERIFY(showDialog());
    selectPort(1);
    clickOK();

    QCOMPARE(m_messages.size(), 1);
    QVERIFY2(m_messages.first().contains(QLatin1String("Com2")) &&
                 m_messages.first().contains(QLatin1String(kMissingDevice)),
             qPrintable(m_messages.first()));
    QCOMPARE(m_port->commPort(), 1);
    QVERIFY(!m_port->portOpen());
    QTest::qWait(50);
    QVERIFY(!m_dialog.isNull() && m_dialog->isVisible());
    QCOMPARE(m_panels->count(), 0);
    QCOMPARE(child<QComboBox>("cboPort")->currentText(), QStringLiteral("Com2"));

    // Back to Com1: reopened, reported, closed.
    selectPort(0);
    clickOK();
    QCOMPARE(m_messages.size(), 1);
    QVERIFY(m_port->portOpen());
    QCOMPARE(m_port->commPort(), 1);
    QCOMPARE(panelsOf(*m_panels).value(0), qMakePair(1, QStringLiteral("COM  1")));
    QTRY_VERIFY(m_dialog.isNull());
}

void TestFrmProperties::higherSpeedOnOpenPortKeepsItOpen()
{
    QVERIFY(!m_port->setPortOpen(true));
    // A byte waiting in the open port is lost if the port is closed and opened again.
    QVERIFY(m_com1->write("x"));
    QTRY_COMPARE(m_port->commEvent(), int(kelmor::ComEvReceive));

    QVERIFY(showDialog());
    child<QComboBox>("cboSpeed")->setCurrentIndex(1);
    clickOK();

    QVERIFY(m_messages.isEmpty());
    QVERIFY(m_port->portOpen());
    QCOMPARE(m_port->settings(), QStringLiteral("38400,n,8,1"));
    QCOMPARE(panelsOf(*m_panels), (Panels{{1, QStringLiteral("COM  1")},
                                          {2, QStringLiteral("38400,n,8,1")},
                                          {4, expectedVersionText()}}));
    QTRY_VERIFY(m_dialog.isNull());
    QCOMPARE(m_port->input(), QByteArray("x"));
}

void TestFrmProperties::closedPortSwitchesToCom3()
{
    QVERIFY(showDialog());
    selectPort(2);
    clickOK();

    QVERIFY(m_messages.isEmpty());
    QCOMPARE(m_port->commPort(), 3);
    QVERIFY(m_port->portOpen());
    QCOMPARE(panelsOf(*m_panels).value(0), qMakePair(1, QStringLiteral("COM  3")));
    QTRY_VERIFY(m_dialog.isNull());
    QVERIFY(!m_port->output("SX1\r"));
    QCOMPARE(m_com3->read(4), QByteArray("SX1\r"));
    QVERIFY(m_com1->readAvailable().isEmpty());
}

void TestFrmProperties::reopeningSelectsCurrentPortAndSpeed()
{
    QVERIFY(showDialog());
    selectPort(2);
    child<QComboBox>("cboSpeed")->setCurrentIndex(1);
    clickOK();
    QTRY_VERIFY(m_dialog.isNull());

    QVERIFY(showDialog());
    auto *port = child<QComboBox>("cboPort");
    auto *speed = child<QComboBox>("cboSpeed");
    QCOMPARE(port->currentText(), QStringLiteral("Com3"));
    QCOMPARE(speed->currentText(), QStringLiteral("38400"));

    m_dialog->LoadPropertySettings();
    QCOMPARE(port->count(), 4);
    QCOMPARE(speed->count(), 2);
    QCOMPARE(port->currentIndex(), 2);
    QCOMPARE(speed->currentIndex(), 1);
}

// Settings the dialog did not write: it selects the entry whose text is the settings
// without their tail, and writes what is selected; with nothing selected, OK is refused
// and the port keeps its settings.
void TestFrmProperties::speedFromOtherSettings_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("selected");
    QTest::addColumn<QString>("after");

    QTest::newRow("other parity and bits") << "38400,e,7,2"
                                           << "38400"
                                           << "38400,n,8,1";
    // The dot makes the tail 8 characters long.
    QTest::newRow("1.5 stop bits") << "19200,n,8,1.5"
                                   << "19200"
                                   << "19200,n,8,1";
    QTest::newRow("a speed not offered") << "9600,n,8,1"
                                         << ""
                                         << "9600,n,8,1";
}

void TestFrmProperties::speedFromOtherSettings()
{
    QFETCH(QString, before);
    QFETCH(QString, selected);
    QFETCH(QString, after);
    QVERIFY(!m_port->setSettings(before));
    QVERIFY(showDialog());
    QCOMPARE(child<QComboBox>("cboSpeed")->currentText(), selected);

    clickOK();
    QCOMPARE(m_port->settings(), after);
    QCOMPARE(m_messages.size(), selected.isEmpty() ? 1 : 0);
    if (selected.isEmpty()) {
        QTest::qWait(50);
        QVERIFY(!m_dialog.isNull() && m_dialog->isVisible());
        QCOMPARE(m_panels->count(), 0);
        QVERIFY(!m_port->portOpen());
    } else {
        QCOMPARE(panelsOf(*m_panels).value(1), qMakePair(2, after));
        QTRY_VERIFY(m_dialog.isNull());
    }
}

void TestFrmProperties::controlsHaveNamesCaptionsAndGeometry_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("twips");

    QTest::newRow("tabSettings") << "tabSettings"
                                 << "frmProperties"
                                 << "" << QRect(90, 105, 5820, 2385);
    QTest::newRow("cmdOK") << "cmdOK"
                           << "fraSettings"
                           << "OK" << QRect(3375, 465, 1080, 300);
    QTest::newRow("cboPort") << "cboPort"
                             << "fraSettings"
                             << "" << QRect(1080, 150, 1425, 315);
    QTest::newRow("Label1") << "Label1"
                            << "fraSettings" << QStringLiteral("Anschluß:")
                            << QRect(330, 180, 735, 315);
    QTest::newRow("Frame1") << "Frame1"
                            << "fraSettings"
                            << "Maximale Geschwindigkeit" << QRect(180, 630, 2340, 870);
    QTest::newRow("cboSpeed") << "cboSpeed"
                              << "Frame1"
                              << "" << QRect(375, 330, 1695, 315);
    QTest::newRow("cmdCancel") << "cmdCancel"
                               << "fraSettings"
                               << "Abbrechen" << QRect(3375, 1185, 1080, 300);
}

void TestFrmProperties::controlsHaveNamesCaptionsAndGeometry()
{
    QFETCH(QString, name);
    QFETCH(QString, container);
    QFETCH(QString, caption);
    QFETCH(QRect, twips);

    QVERIFY(showDialog());
    auto *widget = m_dialog->findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(widget->parentWidget()->objectName(), container);
    QCOMPARE(widget->geometry(),
             kelmor::twipsRect(twips.x(), twips.y(), twips.width(), twips.height()));

    if (auto *button = qobject_cast<QAbstractButton *>(widget))
        QCOMPARE(button->text(), caption);
    else if (auto *label = qobject_cast<QLabel *>(widget))
        QCOMPARE(label->text(), caption);
    else if (auto *group = qobject_cast<QGroupBox *>(widget))
        QCOMPARE(group->title(), caption);
}

void TestFrmProperties::windowIsFixedCentredDialog()
{
    QVERIFY(showDialog());
    QCOMPARE(m_dialog->objectName(), QStringLiteral("frmProperties"));
    QCOMPARE(m_dialog->windowTitle(), QStringLiteral("COM-Anschluß-Einstellungen"));
    QCOMPARE(m_dialog->size(), QSize(kelmor::twipsToPixels(6015), kelmor::twipsToPixels(2745)));
    QCOMPARE(m_dialog->minimumSize(), m_dialog->maximumSize());

    const Qt::WindowFlags flags = m_dialog->windowFlags();
    QCOMPARE(flags & Qt::WindowType_Mask, Qt::Dialog);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(m_dialog->testAttribute(Qt::WA_DeleteOnClose));

    const QPoint screenCentre = m_dialog->screen()->geometry().center();
    const QPoint centre = m_dialog->frameGeometry().center();
    QVERIFY2((centre - screenCentre).manhattanLength() <= 2,
             qPrintable(QStringLiteral("dialog centre %1,%2").arg(centre.x()).arg(centre.y())));

    auto *tabs = child<QTabWidget>("tabSettings");
    auto *page = child<QFrame>("fraSettings");
    QVERIFY(tabs && page);
    QCOMPARE(tabs->count(), 1);
    QCOMPARE(tabs->tabText(0), QStringLiteral("Einstellungen"));
    QCOMPARE(tabs->widget(0), page);
    QCOMPARE(page->frameShape(), QFrame::NoFrame);
    QCOMPARE(page->size(), kelmor::twipsRect(255, 570, 5445, 1695).size());
    QVERIFY(child<QPushButton>("cmdOK")->isDefault());
}

void TestFrmProperties::tabKeyFollowsTabIndex()
{
    QVERIFY(showDialog());
    m_dialog->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_dialog.data()));

    auto *tabs = child<QTabWidget>("tabSettings");
    const QList<QWidget *> order{tabs->tabBar(),
                                 child<QPushButton>("cmdOK"),
                                 child<QComboBox>("cboPort"),
                                 child<QComboBox>("cboSpeed"),
                                 child<QPushButton>("cmdCancel"),
                                 tabs->tabBar()};
    QCOMPARE(QApplication::focusWidget(), order.first());
    for (int i = 1; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), order.at(i));
    }
}

void TestFrmProperties::escapeDoesNotClose()
{
    QVERIFY(showDialog());
    m_dialog->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_dialog.data()));

    QTest::keyClick(child<QComboBox>("cboPort"), Qt::Key_Escape);
    QTest::keyClick(m_dialog.data(), Qt::Key_Escape);
    QTest::qWait(50);
    QVERIFY(!m_dialog.isNull() && m_dialog->isVisible());
    QCOMPARE(m_panels->count(), 0);
    QVERIFY(!m_port->portOpen());
}

void TestFrmProperties::enterPressesOK_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("focus");
    QTest::newRow("Return on the port list") << int(Qt::Key_Return) << "cboPort";
    QTest::newRow("Enter on the speed list") << int(Qt::Key_Enter) << "cboSpeed";
    QTest::newRow("Return on the tab strip") << int(Qt::Key_Return) << "tabSettings";
}

void TestFrmProperties::enterPressesOK()
{
    QFETCH(int, key);
    QFETCH(QString, focus);
    QVERIFY(showDialog());
    m_dialog->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_dialog.data()));

    auto *target = m_dialog->findChild<QWidget *>(focus);
    QVERIFY(target);
    target->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));

    QVERIFY(m_messages.isEmpty());
    QCOMPARE(m_panels->count(), 3);
    QVERIFY(m_port->portOpen());
    QTRY_VERIFY(m_dialog.isNull());
}

void TestFrmProperties::failureMessageIsWarningBox()
{
    kelmor::setFailureMessageHandler({});

    QString seenTitle;
    QString seenText;
    int seenIcon = -1;
    QList<QAbstractButton *> seenButtons;
    QTimer::singleShot(100, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        seenTitle = box->windowTitle();
        seenText = box->text();
        seenIcon = int(box->icon());
        seenButtons = box->buttons();
        if (QAbstractButton *ok = box->button(QMessageBox::Ok))
            ok->click();
    });
    // A safety net: never leave the test blocked in the box.
    QTimer::singleShot(3000, this, [] {
        if (QWidget *w = QApplication::activeModalWidget())
            w->close();
    });
    kelmor::showFailureMessage(nullptr, QStringLiteral("Die Schnittstelle Com2 fehlt."));

    QCOMPARE(seenTitle, QStringLiteral("Monitor_Kelmor"));
    QCOMPARE(seenText, QStringLiteral("Die Schnittstelle Com2 fehlt."));
    QCOMPARE(seenIcon, int(QMessageBox::Warning));
    QCOMPARE(seenButtons.size(), 1);

    // An installed handler replaces the box and is handed back when replaced.
    QStringList texts;
    kelmor::setFailureMessageHandler([&texts](QWidget *, const QString &t) { texts.append(t); });
    kelmor::showFailureMessage(nullptr, QStringLiteral("a"));
    const kelmor::FailureMessageHandler previous = kelmor::setFailureMessageHandler({});
    QVERIFY(previous);
    previous(nullptr, QStringLiteral("b"));
    QCOMPARE(texts, (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
}

void TestFrmProperties::deviceLabelNamesTheSelectedDevice_data()
{
    QTest::addColumn<int>("entry");
    QTest::addColumn<bool>("keepVariable"); // KELMOR_COM<entry + 1> stays set to a pty
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<bool>("listingWorks");
    QTest::addColumn<QString>("label"); // "%pty" stands for Com1's pseudo-terminal

    using namespace kelmor::test;
    const QStringList two{"usb:/dev/ttyUSB1", "usb:/dev/ttyUSB0"};
    QTest::newRow("one adapter on a laptop")
        << 0 << false << QStringList{"usb:/dev/ttyUSB0"} << true
        << QString::fromUtf8("/dev/ttyUSB0 – FT232R USB UART, FTDI");
    QTest::newRow("two adapters alike: Com1")
        << 0 << false << two << true << QString::fromUtf8("/dev/ttyUSB0 – FT232R USB UART, FTDI");
    QTest::newRow("two adapters alike: Com2")
        << 1 << false << two << true << QString::fromUtf8("/dev/ttyUSB1 – FT232R USB UART, FTDI");
    QTest::newRow("an entry with nothing behind it")
        << 2 << false << two << true << QString::fromUtf8("Com3: kein serielles Gerät vorhanden");
    QTest::newRow("chosen by the environment")
        << 0 << true << two << true << QStringLiteral("%pty (aus KELMOR_COM1)");
    QTest::newRow("listing fails")
        << 0 << false << two << false
        << QString::fromUtf8("Com1: kein serielles Gerät vorhanden (Geräteliste nicht lesbar)");
}

void TestFrmProperties::deviceLabelNamesTheSelectedDevice()
{
    QFETCH(int, entry);
    QFETCH(bool, keepVariable);
    QFETCH(QStringList, listed);
    QFETCH(bool, listingWorks);
    QFETCH(QString, label);

    for (int n = 1; n <= 4; ++n) {
        if (!(keepVariable && n == entry + 1))
            qunsetenv(qPrintable(QStringLiteral("KELMOR_COM%1").arg(n)));
    }
    kelmor::test::FakePortListing fake;
    fake.devices = kelmor::test::devicesFrom(listed);
    fake.fails = !listingWorks;
    QVERIFY(showDialog());
    selectPort(entry);
    label.replace(QLatin1String("%pty"), m_com1->slavePath());
    auto *lblDevice = child<QLabel>("lblDevice");
    QVERIFY(lblDevice);
    QCOMPARE(lblDevice->toolTip(), label);
    QCOMPARE(lblDevice->text(), label); // short enough to stand whole
    // The entries keep their names whatever stands behind them.
    QCOMPARE(child<QComboBox>("cboPort")->itemText(entry), QStringLiteral("Com%1").arg(entry + 1));
}

void TestFrmProperties::deviceLabelFollowsAnAdapterPluggedIn()
{
    for (int n = 1; n <= 4; ++n)
        qunsetenv(qPrintable(QStringLiteral("KELMOR_COM%1").arg(n)));
    kelmor::test::FakePortListing fake;
    QVERIFY(showDialog());
    auto *lblDevice = child<QLabel>("lblDevice");
    QCOMPARE(lblDevice->text(), QString::fromUtf8("Com1: kein serielles Gerät vorhanden"));

    // Plugged in while the dialog is up: opening the list shows it.
    fake.devices = {kelmor::test::usbAdapter(QStringLiteral("/dev/ttyUSB0"), QStringLiteral("A1"),
                                             QStringLiteral("USB2.0-Serial"))};
    auto *port = child<QComboBox>("cboPort");
    port->showPopup();
    QCOMPARE(lblDevice->text(), QString::fromUtf8("/dev/ttyUSB0 – USB2.0-Serial, FTDI"));
    port->hidePopup();

    // And pulled again.
    fake.devices.clear();
    port->showPopup();
    QCOMPARE(lblDevice->text(), QString::fromUtf8("Com1: kein serielles Gerät vorhanden"));
    port->hidePopup();

    // A description too long for the strip is shortened, and whole in the tooltip.
    const QString longName(200, QLatin1Char('x'));
    fake.devices = {
        kelmor::test::usbAdapter(QStringLiteral("/dev/ttyUSB0"), QStringLiteral("A1"), longName)};
    m_dialog->refreshDeviceLabel();
    QVERIFY(lblDevice->toolTip().contains(longName));
    QVERIFY(lblDevice->text().size() < lblDevice->toolTip().size());
    QVERIFY(lblDevice->fontMetrics().horizontalAdvance(lblDevice->text()) <= lblDevice->width());
}

void TestFrmProperties::deviceLabelMovesNothing()
{
    QVERIFY(showDialog());
    auto *lblDevice = child<QLabel>("lblDevice");
    auto *tab = child<QTabWidget>("tabSettings");
    QVERIFY(lblDevice && tab);
    // In the dialog's own strip below the tab strip, inside the client area.
    QCOMPARE(lblDevice->parentWidget(), static_cast<QWidget *>(m_dialog.data()));
    QVERIFY(lblDevice->geometry().top() >= tab->geometry().bottom());
    QVERIFY(m_dialog->rect().contains(lblDevice->geometry()));
    QCOMPARE(tab->geometry(), kelmor::twipsRect(90, 105, 5820, 2385));
    QCOMPARE(m_dialog->size(), QSize(kelmor::twipsToPixels(6015), kelmor::twipsToPixels(2745)));
    QCOMPARE(lblDevice->focusPolicy(), Qt::NoFocus);
}

void TestFrmProperties::okOnAnEntryWithoutDevice()
{
    for (int n = 1; n <= 4; ++n)
        qunsetenv(qPrintable(QStringLiteral("KELMOR_COM%1").arg(n)));
    kelmor::test::FakePortListing fake;
    fake.devices = kelmor::test::devicesFrom({"usb:/dev/ttyUSB0"});
    QVERIFY(showDialog());
    selectPort(2);
    clickOK();
    QCOMPARE(m_messages.size(), 1);
    QVERIFY2(
        m_messages.first().startsWith(QString::fromUtf8("Com3: kein serielles Gerät vorhanden")),
        qPrintable(m_messages.first()));
    QVERIFY(!m_port->portOpen());
    QVERIFY(!m_dialog.isNull());
    QCOMPARE(m_panels->count(), 0);
}

QTEST_MAIN(TestFrmProperties)
#include "tst_frmproperties.moc"
