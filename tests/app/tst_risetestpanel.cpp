#include "pressureunitbar.h"
#include "risecurves.h"
#include "risetestpanel.h"

#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using namespace kelmor;
using namespace risecurves;

namespace {

// 25 l, 4e-7 mbar/s over 99 s: Q = 1e-5 mbar·l/s.
RiseStretch leakStretch()
{
    return sampled(leak(2e-5, 4e-7), 100, 1.0);
}

void type(RiseTestPanel &panel, const char *name, const QString &text)
{
    auto *edit = panel.findChild<QLineEdit *>(QString::fromLatin1(name));
    QVERIFY(edit);
    edit->setText(text);
}

QPushButton *button(RiseTestPanel &panel, const char *name)
{
    return panel.findChild<QPushButton *>(QString::fromLatin1(name));
}

} // namespace

class TestRiseTestPanel : public QObject
{
    Q_OBJECT

private slots:
    void inputs_data();
    void inputs();
    void limitFollowsUnit();
    void unitBar();
    void recordedRunNeedsLineInterval();
    void startStopFollowLiveRun();
    void saveAndCopy_data();
    void saveAndCopy();
    void saveFailureIsReported();
};

void TestRiseTestPanel::inputs_data()
{
    QTest::addColumn<bool>("marked");
    QTest::addColumn<int>("points");
    QTest::addColumn<QString>("volume");
    QTest::addColumn<QString>("limit");
    QTest::addColumn<QString>("stretchMessage");
    QTest::addColumn<QString>("volumeMessage");
    QTest::addColumn<QString>("limitMessage");
    QTest::addColumn<QString>("result"); // a line of the read-out, empty: no figures

    const QString none;
    QTest::newRow("nothing yet") << false << 0 << ""
                                 << "" << none << none << none << none;
    QTest::newRow("valid") << true << 100 << "25"
                           << "" << none << none << none << "Leckrate Q: 1,000E-05 ± ";
    QTest::newRow("valid, limit passed")
        << true << 100 << "25"
        << "2e-5" << none << none << none
        << "Ergebnis: bestanden: Q liegt 1,000E-05 mbar·l/s (50,0 %) unter dem Grenzwert";
    QTest::newRow("decimal comma volume")
        << true << 100 << "12,5"
        << "" << none << none << none << "Leckrate Q: 5,000E-06 ± ";
    QTest::newRow("volume missing after marking") << true << 100 << ""
                                                  << "" << none << "Kammervolumen" << none << none;
    QTest::newRow("volume zero") << true << 100 << "0"
                                 << "" << none << "Kammervolumen" << none << none;
    QTest::newRow("volume text") << false << 0 << "viel"
                                 << "" << none << "Kammervolumen" << none << none;
    QTest::newRow("volume nan") << true << 100 << "nan"
                                << "" << none << "Kammervolumen" << none << none;
    QTest::newRow("limit negative") << true << 100 << "25"
                                    << "-1e-5" << none << none << "Grenzwert" << none;
    QTest::newRow("limit text") << true << 100 << "25"
                                << "dicht" << none << none << "Grenzwert" << none;
    QTest::newRow("limit infinite") << true << 100 << "25"
                                    << "inf" << none << none << "Grenzwert" << none;
    QTest::newRow("too few points") << true << 4 << "25"
                                    << ""
                                    << "Zu wenige Messpunkte" << none << none << none;
}

void TestRiseTestPanel::inputs()
{
    QFETCH(bool, marked);
    QFETCH(int, points);
    QFETCH(QString, volume);
    QFETCH(QString, limit);
    QFETCH(QString, stretchMessage);
    QFETCH(QString, volumeMessage);
    QFETCH(QString, limitMessage);
    QFETCH(QString, result);

    RiseTestPanel panel;
    QSignalSpy changed(&panel, &RiseTestPanel::resultChanged);
    type(panel, "txtVolumen", volume);
    type(panel, "txtGrenzwert", limit);
    if (marked)
        panel.setStretch(sampled(leak(2e-5, 4e-7), points, 1.0), QStringLiteral("Test"));

    auto matches = [](const QString &shown, const QString &expected) {
        return expected.isEmpty() ? shown.isEmpty() : shown.contains(expected);
    };
    QVERIFY2(matches(panel.stretchMessage(), stretchMessage), qPrintable(panel.stretchMessage()));
    QVERIFY2(matches(panel.volumeMessage(), volumeMessage), qPrintable(panel.volumeMessage()));
    QVERIFY2(matches(panel.limitMessage(), limitMessage), qPrintable(panel.limitMessage()));

    const bool valid = !result.isEmpty();
    const QStringList lines = panel.resultText().split('\n');
    if (valid)
        QVERIFY2(std::any_of(lines.begin(), lines.end(),
                             [&](const QString &line) { return line.startsWith(result); }),
                 qPrintable(panel.resultText()));
    else
        QVERIFY2(!panel.resultText().contains(QStringLiteral("Leckrate")),
                 qPrintable(panel.resultText()));
    QCOMPARE(button(panel, "cmdAnstiegSpeichern")->isEnabled(), valid);
    QCOMPARE(button(panel, "cmdAnstiegKopieren")->isEnabled(), valid);
    if (marked || !volume.isEmpty() || !limit.isEmpty())
        QVERIFY(changed.count() > 0);
}

void TestRiseTestPanel::limitFollowsUnit()
{
    RiseTestPanel panel;
    type(panel, "txtVolumen", QStringLiteral("25"));
    type(panel, "txtGrenzwert", QStringLiteral("2e-5"));
    panel.setStretch(leakStretch(), QStringLiteral("Test"));
    QCOMPARE(panel.result().verdict, LimitVerdict::Passed);

    PressureUnits units;
    units.setDisplayUnit(UnitOfPressure::Pa);
    panel.setUnits(units);
    // 2e-5 mbar·l/s is 2e-6 Pa·m³/s: same limit, same verdict.
    QCOMPARE(panel.findChild<QLineEdit *>("txtGrenzwert")->text(), QStringLiteral("2,000E-06"));
    QVERIFY(std::abs(*panel.result().limitMbarLitre - 2e-5) < 1e-12);
    QCOMPARE(panel.result().verdict, LimitVerdict::Passed);
    QVERIFY2(panel.resultText().contains(QStringLiteral("Leckrate Q: 1,000E-06 ± ")),
             qPrintable(panel.resultText()));
    QVERIFY(panel.resultText().contains(QStringLiteral("dp/dt: 4,000E-05 ± ")));
}

void TestRiseTestPanel::unitBar()
{
    PressureUnitBar bar;
    QSignalSpy display(&bar, &PressureUnitBar::displayUnitChanged);
    QSignalSpy gauge(&bar, &PressureUnitBar::gaugeUnitChanged);
    auto *displayCombo = bar.findChild<QComboBox *>("comboEinheit");
    auto *gaugeCombo = bar.findChild<QComboBox *>("comboEinheitMessgeraet");
    QVERIFY(displayCombo && gaugeCombo);
    QCOMPARE(displayCombo->currentText(), QStringLiteral("mbar"));
    QCOMPARE(gaugeCombo->currentText(), QStringLiteral("mbar"));

    displayCombo->setCurrentText(QStringLiteral("Torr"));
    QCOMPARE(bar.units().displayUnit(), UnitOfPressure::Torr);
    QCOMPARE(display.count(), 1);
    QCOMPARE(gauge.count(), 0);
    bar.setGaugeUnit(UnitOfPressure::Pa);
    QCOMPARE(gaugeCombo->currentText(), QStringLiteral("Pa"));
    QCOMPARE(gauge.count(), 1);
    QCOMPARE(bar.units().gaugeToMbar(100.0), 1.0);
    bar.setGaugeUnit(UnitOfPressure::Pa);
    QCOMPARE(gauge.count(), 1);
}

void TestRiseTestPanel::recordedRunNeedsLineInterval()
{
    RiseTestPanel panel;
    type(panel, "txtVolumen", QStringLiteral("25"));
    panel.setLineNumbers(true);
    // Line numbers 0..99 with 4e-7 mbar per line.
    panel.setStretch(leakStretch(), QStringLiteral("Zeilen 1 – 100"));
    QVERIFY(!panel.result().isValid());
    QVERIFY(!panel.resultText().contains(QStringLiteral("Leckrate")));

    type(panel, "txtZeilenabstand", QStringLiteral("0,5"));
    QVERIFY(panel.result().isValid());
    // Half a second per line doubles the rate per second.
    QVERIFY(std::abs(panel.result().whole.slope - 8e-7) < 1e-15);
    QVERIFY(std::abs(panel.result().leakRate - 2e-5) < 1e-15);

    type(panel, "txtZeilenabstand", QStringLiteral("-1"));
    QVERIFY(!panel.result().isValid());
}

void TestRiseTestPanel::startStopFollowLiveRun()
{
    RiseTestPanel panel;
    QPushButton *start = button(panel, "cmdAnstiegStart");
    QPushButton *stop = button(panel, "cmdAnstiegStopp");
    QSignalSpy started(&panel, &RiseTestPanel::markingStarted);
    QSignalSpy stopped(&panel, &RiseTestPanel::markingStopped);
    QVERIFY(!start->isEnabled());
    QVERIFY(!stop->isEnabled());

    panel.setLiveRun(true);
    QVERIFY(start->isEnabled());
    start->click();
    QCOMPARE(started.count(), 1);
    QVERIFY(panel.isMarking());
    QVERIFY(!start->isEnabled());
    QVERIFY(stop->isEnabled());
    stop->click();
    QCOMPARE(stopped.count(), 1);
    QVERIFY(!panel.isMarking());

    // The run ending stops the marking with it.
    start->click();
    panel.setLiveRun(false);
    QCOMPARE(stopped.count(), 2);
    QVERIFY(!start->isEnabled());
    QVERIFY(!stop->isEnabled());
}

void TestRiseTestPanel::saveAndCopy_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("firstLine");

    QTest::newRow("text") << "bericht.txt"
                          << "Druckanstiegstest";
    QTest::newRow("csv") << "bericht.CSV"
                         << "\xEF\xBB\xBF"
                            "Datum und Zeit;Lauf;Abschnitt";
}

void TestRiseTestPanel::saveAndCopy()
{
    QFETCH(QString, file);
    QFETCH(QString, firstLine);

    RiseTestPanel panel;
    panel.setRunName(QStringLiteral("Live ab 12:00:00"));
    type(panel, "txtVolumen", QStringLiteral("25"));
    panel.setStretch(leakStretch(), QStringLiteral("12:01:00 – 12:02:39"));

    QTemporaryDir dir;
    const QString path = dir.filePath(file);
    QVERIFY(panel.saveReport(path));
    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QString content = QString::fromUtf8(saved.readAll());
    QVERIFY2(content.startsWith(firstLine), qPrintable(content.left(80)));
    QVERIFY(content.contains(QStringLiteral("Live ab 12:00:00")));
    QVERIFY(content.contains(QStringLiteral("12:01:00 – 12:02:39")));
    QVERIFY(content.contains(QStringLiteral("1,000E-05")));

    panel.copyReport();
    QCOMPARE(QGuiApplication::clipboard()->text(), panel.reportText());
    QVERIFY(QGuiApplication::clipboard()->text().contains(QStringLiteral("Leckrate Q: 1,000E-05")));
}

void TestRiseTestPanel::saveFailureIsReported()
{
    RiseTestPanel panel;
    type(panel, "txtVolumen", QStringLiteral("25"));
    panel.setStretch(leakStretch(), QStringLiteral("Test"));
    QTemporaryDir dir;
    QString error;
    QVERIFY(!panel.saveReport(dir.filePath(QStringLiteral("fehlt/bericht.txt")), &error));
    QVERIFY(!error.isEmpty());
    auto *status = panel.findChild<QLabel *>("lblAnstiegGespeichert");
    QVERIFY(status->text().startsWith(QStringLiteral("Ergebnis nicht gespeichert")));
}

QTEST_MAIN(TestRiseTestPanel)
#include "tst_risetestpanel.moc"
