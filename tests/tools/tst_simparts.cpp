#include "gaugesimcore.h"
#include "pumpdown.h"
#include "replaylog.h"
#include "simcommand.h"
#include "simline.h"
#include "simstatus.h"

#include <QRegularExpression>
#include <QTest>

#include <cmath>

using namespace kelmor::sim;

Q_DECLARE_METATYPE(kelmor::sim::CommandKind)
Q_DECLARE_METATYPE(kelmor::sim::LineEnd)

namespace {

QByteArray record(const QByteArray &field)
{
    return '"' + field + "\"\r\n";
}

} // namespace

class TestSimParts : public QObject
{
    Q_OBJECT

private slots:
    void parseCommand_data();
    void parseCommand();
    void commandReaderSplitsAtCr();
    void commandReaderBoundsLongCommand();
    void answers_data();
    void answers();

    void formatPressure_data();
    void formatPressure();
    void formatPressureAcrossDecades();
    void measurementLine_data();
    void measurementLine();

    void statusModel_data();
    void statusModel();
    void initialControlWord();
    void acknowledgementClears();
    void acknowledgementEndsWithNextWord();
    void lifeBitToggles();

    void pumpDown_data();
    void pumpDown();
    void pumpDownSeeded();
    void rateOfRise_data();
    void rateOfRise();
    void riseReachesTheStream();
    void riseArguments_data();
    void riseArguments();

    void replayLog_data();
    void replayLog();

    void streamFollowsControlWord();
    void replayStreamLoopsAndRestarts();
};

void TestSimParts::parseCommand_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<CommandKind>("kind");
    QTest::addColumn<int>("word");

    QTest::newRow("SX1") << QByteArray("SX1") << CommandKind::StreamOn << 0;
    QTest::newRow("SX0") << QByteArray("SX0") << CommandKind::StreamOff << 0;
    QTest::newRow("SX2") << QByteArray("SX2") << CommandKind::Unknown << 0;
    QTest::newRow("SC upper") << QByteArray("SC 004C") << CommandKind::SetControl << 0x004C;
    QTest::newRow("SC lower digits") << QByteArray("SC 7fff") << CommandKind::SetControl << 0x7FFF;
    QTest::newRow("SC bit 15 dropped")
        << QByteArray("SC 8009") << CommandKind::SetControl << 0x0009;
    QTest::newRow("sc lower name") << QByteArray("sc 004c") << CommandKind::Unknown << 0;
    QTest::newRow("SC too short") << QByteArray("SC 12") << CommandKind::Unknown << 0;
    QTest::newRow("SC too long") << QByteArray("SC 00090") << CommandKind::Unknown << 0;
    QTest::newRow("SC no digits") << QByteArray("SC ZZZZ") << CommandKind::Unknown << 0;
    QTest::newRow("SC one bad digit") << QByteArray("SC 00G9") << CommandKind::Unknown << 0;
    QTest::newRow("SC without blank") << QByteArray("SC00090") << CommandKind::Unknown << 0;
    QTest::newRow("SC bare") << QByteArray("SC") << CommandKind::Unknown << 0;
    QTest::newRow("RV") << QByteArray("RV") << CommandKind::Version << 0;
    QTest::newRow("rv") << QByteArray("rv") << CommandKind::Unknown << 0;
    QTest::newRow("RV trailing blank") << QByteArray("RV ") << CommandKind::Unknown << 0;
    QTest::newRow("unknown") << QByteArray("XYZ") << CommandKind::Unknown << 0;
    QTest::newRow("empty") << QByteArray() << CommandKind::Empty << 0;
    QTest::newRow("LF only") << QByteArray("\n") << CommandKind::Empty << 0;
    QTest::newRow("LF before RV") << QByteArray("\nRV") << CommandKind::Version << 0;
    QTest::newRow("LF before SC") << QByteArray("\nSC 000A") << CommandKind::SetControl << 0x000A;
    QTest::newRow("LF inside") << QByteArray("SX\n1") << CommandKind::StreamOn << 0;
}

void TestSimParts::parseCommand()
{
    QFETCH(QByteArray, raw);
    QFETCH(CommandKind, kind);
    QFETCH(int, word);
    const Command command = kelmor::sim::parseCommand(raw);
    QCOMPARE(command.kind, kind);
    if (kind == CommandKind::SetControl)
        QCOMPARE(int(command.controlWord), word);
    QVERIFY(!command.text.contains('\n'));
}

void TestSimParts::commandReaderSplitsAtCr()
{
    CommandReader reader;
    QCOMPARE(reader.feed("RV\rSX"), QList<QByteArray>{"RV"});
    QCOMPARE(reader.feed("1\r\r"), (QList<QByteArray>{"SX1", ""}));
    QCOMPARE(reader.feed("SC 00"), QList<QByteArray>{});
    QCOMPARE(reader.feed("09\r"), QList<QByteArray>{"SC 0009"});
}

void TestSimParts::commandReaderBoundsLongCommand()
{
    CommandReader reader;
    const QList<QByteArray> commands =
        reader.feed(QByteArray(CommandReader::kMaxCommandLength + 100, 'A') + "\rRV\r");
    QCOMPARE(commands.size(), 2);
    QCOMPARE(commands.at(0), QByteArray(CommandReader::kMaxCommandLength, 'A'));
    QCOMPARE(commands.at(1), QByteArray("RV"));
}

void TestSimParts::answers_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<LineEnd>("lineEnd");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("RV") << QByteArray("RV\r") << LineEnd::Cr << QByteArray("RV KELMOR-SIM 1.0\r");
    QTest::newRow("RV crlf") << QByteArray("RV\r") << LineEnd::CrLf
                             << QByteArray("RV KELMOR-SIM 1.0\r\n");
    QTest::newRow("SC") << QByteArray("SC 000A\r") << LineEnd::Cr << QByteArray("SC OK\r");
    QTest::newRow("SX1 silent") << QByteArray("SX1\r") << LineEnd::Cr << QByteArray();
    QTest::newRow("SX0 silent") << QByteArray("SX0\r") << LineEnd::Cr << QByteArray();
    QTest::newRow("empty silent") << QByteArray("\r\n\r") << LineEnd::Cr << QByteArray();
    QTest::newRow("unknown") << QByteArray("XYZ\r") << LineEnd::Cr << QByteArray("ERR XYZ\r");
    QTest::newRow("bad SC") << QByteArray("SC 12\r") << LineEnd::CrLf
                            << QByteArray("ERR SC 12\r\n");
    QTest::newRow("control bytes masked")
        << QByteArray("A\x01\tB\r") << LineEnd::Cr << QByteArray("ERR A??B\r");
    QTest::newRow("long echo cut") << QByteArray(100, 'Q') + '\r' << LineEnd::Cr
                                   << QByteArray("ERR ") + QByteArray(kMaxEchoLength, 'Q') + '\r';
    QTest::newRow("two at once") << QByteArray("\nRV\r\nXY\r") << LineEnd::Cr
                                 << QByteArray("RV KELMOR-SIM 1.0\rERR XY\r");
    QTest::newRow("unfinished waits") << QByteArray("RV") << LineEnd::Cr << QByteArray();
}

void TestSimParts::answers()
{
    QFETCH(QByteArray, input);
    QFETCH(LineEnd, lineEnd);
    QFETCH(QByteArray, expected);
    SimOptions options;
    options.lineEnd = lineEnd;
    GaugeSimCore core(options);
    QCOMPARE(core.receive(input), expected);
}

void TestSimParts::formatPressure_data()
{
    QTest::addColumn<double>("mbar");
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("atmosphere") << 1000.0 << QByteArray("1.00E+03");
    QTest::newRow("rounds up into next decade") << 999.7 << QByteArray("1.00E+03");
    QTest::newRow("carry below one") << 9.996e-3 << QByteArray("1.00E-02");
    QTest::newRow("one") << 1.0 << QByteArray("1.00E+00");
    QTest::newRow("tenth") << 0.1 << QByteArray("1.00E-01");
    QTest::newRow("mantissa digits") << 1.234e-5 << QByteArray("1.23E-05");
    QTest::newRow("rounds half up") << 5.678e-7 << QByteArray("5.68E-07");
    QTest::newRow("base") << 1e-7 << QByteArray("1.00E-07");
    QTest::newRow("deep") << 3.3e-9 << QByteArray("3.30E-09");
    QTest::newRow("nine point nine nine") << 9.99e2 << QByteArray("9.99E+02");
    QTest::newRow("zero") << 0.0 << QByteArray("0.00E+00");
    QTest::newRow("negative") << -5.0 << QByteArray("0.00E+00");
    QTest::newRow("too small") << 1e-150 << QByteArray("1.00E-99");
    QTest::newRow("too large") << 1e150 << QByteArray("9.99E+99");
}

void TestSimParts::formatPressure()
{
    QFETCH(double, mbar);
    QFETCH(QByteArray, text);
    QCOMPARE(kelmor::sim::formatPressure(mbar), text);
}

void TestSimParts::formatPressureAcrossDecades()
{
    static const QRegularExpression shape(QStringLiteral("^[1-9]\\.\\d\\dE[+-]\\d\\d$"));
    for (int exponent = 3; exponent >= -9; --exponent) {
        for (const double mantissa : {1.0, 1.005, 2.5, 4.449, 9.949, 9.994}) {
            const double value = mantissa * std::pow(10.0, exponent);
            const QByteArray text = kelmor::sim::formatPressure(value);
            QVERIFY2(shape.match(QString::fromLatin1(text)).hasMatch(), text.constData());
            bool ok = false;
            const double back = text.toDouble(&ok);
            QVERIFY(ok);
            QVERIFY2(std::abs(back - value) <= 0.0051 * value, text.constData());
        }
    }
}

void TestSimParts::measurementLine_data()
{
    QTest::addColumn<double>("mbar");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("ig");
    QTest::addColumn<double>("emission");
    QTest::addColumn<LineEnd>("lineEnd");
    QTest::addColumn<quint32>("counter");

    QTest::newRow("atmosphere") << 1000.0 << 0x801B << false << 0.0 << LineEnd::Cr << 1u;
    QTest::newRow("rough") << 3.7e-1 << 0x001B << false << 0.0 << LineEnd::Cr << 12u;
    QTest::newRow("IG") << 2.2e-5 << 0x805D << true << 20.0 << LineEnd::Cr << 999u;
    QTest::newRow("small emission") << 1e-7 << 0x00A4 << true << 0.1 << LineEnd::CrLf << 123456u;
    QTest::newRow("deep crlf") << 1e-9 << 0xFFFF << true << 4.0 << LineEnd::CrLf << 4294967295u;
}

void TestSimParts::measurementLine()
{
    QFETCH(double, mbar);
    QFETCH(int, status);
    QFETCH(bool, ig);
    QFETCH(double, emission);
    QFETCH(LineEnd, lineEnd);
    QFETCH(quint32, counter);

    GaugeReport report;
    report.status = quint16(status);
    report.igInUse = ig;
    report.emissionMilliAmps = emission;
    const QByteArray line = buildMeasurementLine(counter, mbar, report, 0x004C, lineEnd);

    const QByteArray end = lineEnd == LineEnd::CrLf ? "\r\n" : "\r";
    QVERIFY(line.endsWith(end));
    const QByteArray body = line.chopped(end.size());
    QVERIFY(!body.contains('\r') && !body.contains('\n'));
    QVERIFY(body.size() >= 52);
    // 1-based positions 4..11 and 47..51
    QCOMPARE(body.mid(kPressurePosition - 1, 8), kelmor::sim::formatPressure(mbar));
    QCOMPARE(body.at(kPressurePosition), '.');
    QCOMPARE(body.mid(kStatusPosition - 1, 4),
             QByteArray::number(status, 16).toUpper().rightJustified(4, '0'));
    QCOMPARE(body.at(kStatusPosition + 3), '\t');
    QVERIFY(!body.left(kStatusPosition - 1).contains('\t'));
    QVERIFY(body.contains(ig ? " G=IG" : " G=PI"));
    QVERIFY(body.contains("SC=004C"));
    QVERIFY(body.endsWith("N=" + QByteArray::number(counter)));
}

void TestSimParts::statusModel_data()
{
    QTest::addColumn<int>("control");
    QTest::addColumn<double>("mbar");
    QTest::addColumn<int>("expected"); // without the life bit

    QTest::newRow("0009 at 1E+02: Pirani") << 0x0009 << 1e2 << 0x001B;
    QTest::newRow("0009 at 1E-05: IG") << 0x0009 << 1e-5 << 0x001D;
    QTest::newRow("0009 just above switch") << 0x0009 << 1.01e-2 << 0x001B;
    QTest::newRow("000A Pirani by hand in vacuum") << 0x000A << 1e-5 << 0x001A;
    QTest::newRow("000C IG by hand at 1E+02") << 0x000C << 1e2 << 0x001C;
    QTest::newRow("000E both by hand: Pirani") << 0x000E << 1e-5 << 0x001A;
    QTest::newRow("0000 nothing chosen") << 0x0000 << 1e-5 << 0x0012;
    QTest::newRow("004C IG and degas") << 0x004C << 1e-5 << 0x005C;
    QTest::newRow("0049 degas above 1E-02") << 0x0049 << 1e-1 << 0x001B;
    QTest::newRow("0049 degas below 1E-02") << 0x0049 << 1e-5 << 0x005D;
    QTest::newRow("004A degas on Pirani") << 0x004A << 1e-5 << 0x001A;
    QTest::newRow("008A small E on Pirani") << 0x008A << 1e-5 << 0x001A;
    QTest::newRow("00A4 small E, filament 2") << 0x00A4 << 1e-6 << 0x00A4;
    QTest::newRow("0021 filament 2 by hand") << 0x0021 << 1e-5 << 0x0025;
    QTest::newRow("0011 filament 1 by hand") << 0x0011 << 1e-5 << 0x0015;
    QTest::newRow("0031 both filaments: 1") << 0x0031 << 1e-5 << 0x0015;
    QTest::newRow("0029 auto filament wins") << 0x0029 << 1e-5 << 0x001D;
    QTest::newRow("0309 SP manual, output on") << 0x0309 << 1e2 << 0x031B;
    QTest::newRow("0109 SP manual, output off") << 0x0109 << 1e-5 << 0x011D;
    QTest::newRow("0209 SP out without release") << 0x0209 << 1e2 << 0x001B;
    QTest::newRow("0409 SP auto above set point") << 0x0409 << 1e-2 << 0x041B;
    QTest::newRow("0409 SP auto below set point") << 0x0409 << 1e-4 << 0x061D;
    QTest::newRow("0509 SP manual overrides auto") << 0x0509 << 1e-4 << 0x051D;
    QTest::newRow("0809 external release") << 0x0809 << 1e2 << 0x081B;
    QTest::newRow("1009 reset acknowledged") << 0x1009 << 1e-5 << 0x101D;
    QTest::newRow("6009 Pirani adjustments") << 0x6009 << 1e2 << 0x601B;
    QTest::newRow("8009 bit 15 not taken") << 0x8009 << 1e2 << 0x001B;
}

void TestSimParts::statusModel()
{
    QFETCH(int, control);
    QFETCH(double, mbar);
    QFETCH(int, expected);
    StatusModel model;
    model.setControlWord(quint16(control));
    const GaugeReport report = model.nextLine(mbar);
    QCOMPARE(report.status & ~bits::kLife, expected);
    QCOMPARE(report.igInUse, bool(expected & bits::kIG));
    QCOMPARE(report.filament, (expected & bits::kFil2) ? 2 : 1);
    QCOMPARE(report.emissionMilliAmps > 0.0, report.igInUse);
}

void TestSimParts::initialControlWord()
{
    StatusModel model;
    QCOMPARE(model.controlWord(), quint16(0x0009));
    QCOMPARE(model.nextLine(1e3).status & ~bits::kLife, 0x001B);
}

void TestSimParts::acknowledgementClears()
{
    StatusModel model;
    model.setControlWord(0x7009);
    for (int i = 0; i < StatusModel::kAcknowledgeLines; ++i)
        QCOMPARE(model.nextLine(1e-5).status & bits::kOneShot, bits::kOneShot);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(model.nextLine(1e-5).status & bits::kOneShot, 0);
    // Sending the same word again is a new request.
    model.setControlWord(0x1009);
    QCOMPARE(model.nextLine(1e-5).status & bits::kOneShot, bits::kResetIG);
}

void TestSimParts::acknowledgementEndsWithNextWord()
{
    StatusModel model;
    model.setControlWord(0x2009);
    QCOMPARE(model.nextLine(1e-5).status & bits::kOneShot, bits::kPiraniVac);
    model.setControlWord(0x0009);
    QCOMPARE(model.nextLine(1e-5).status & bits::kOneShot, 0);
}

void TestSimParts::lifeBitToggles()
{
    StatusModel model;
    bool expected = true;
    for (int i = 0; i < 6; ++i) {
        if (i == 3)
            model.setControlWord(0x000A); // a new word does not restart the rhythm
        QCOMPARE(bool(model.nextLine(1e-3).status & bits::kLife), expected);
        expected = !expected;
    }
}

void TestSimParts::pumpDown_data()
{
    QTest::addColumn<double>("duration");
    QTest::newRow("default") << 180.0;
    QTest::newRow("short") << 10.0;
    QTest::newRow("half a second") << 0.5;
}

void TestSimParts::pumpDown()
{
    QFETCH(double, duration);
    PumpDownCurve curve(duration, 7);

    QCOMPARE(kelmor::sim::formatPressure(curve.trend(0.0)), QByteArray("1.00E+03"));
    QCOMPARE(kelmor::sim::formatPressure(curve.trend(duration)), QByteArray("1.00E-07"));
    QCOMPARE(kelmor::sim::formatPressure(curve.trend(duration * 3)), QByteArray("1.00E-07"));
    QVERIFY(curve.sample(0.0) <= PumpDownCurve::kAtmosphereMbar);

    // The trend falls all the way; the measured values scatter around it but keep going
    // down over any tenth of the time.
    const int steps = 200;
    double previousTrend = curve.trend(0.0);
    QList<double> samples;
    for (int i = 1; i <= steps; ++i) {
        const double t = duration * i / steps;
        const double trend = curve.trend(t);
        QVERIFY2(trend < previousTrend, qPrintable(QString::number(t)));
        previousTrend = trend;
        const double sample = curve.sample(t);
        QVERIFY(sample >= trend * (1.0 - PumpDownCurve::kNoise));
        QVERIFY(sample <= trend * (1.0 + PumpDownCurve::kNoise));
        samples.append(sample);
    }
    for (int i = 0; i + steps / 10 < samples.size(); ++i)
        QVERIFY(samples.at(i + steps / 10) < samples.at(i));
    // Over a few minutes most of the way is done well before the end.
    QVERIFY(curve.trend(duration * 0.5) < 1e-4);
}

void TestSimParts::pumpDownSeeded()
{
    PumpDownCurve a(60, 42);
    PumpDownCurve b(60, 42);
    PumpDownCurve c(60, 43);
    bool differs = false;
    for (int i = 0; i < 20; ++i) {
        const double t = i * 3.0;
        const double va = a.sample(t);
        QCOMPARE(va, b.sample(t));
        differs = differs || va != c.sample(t);
    }
    QVERIFY(differs);

    PumpDownCurve atBase(0, 1);
    QCOMPARE(kelmor::sim::formatPressure(atBase.trend(0)), QByteArray("1.00E-07"));
}

void TestSimParts::rateOfRise_data()
{
    QTest::addColumn<double>("duration");
    QTest::addColumn<double>("leak");
    QTest::addColumn<double>("outgas");
    QTest::addColumn<double>("tau");
    QTest::addColumn<double>("after"); // seconds after the end of the pump-down
    QTest::addColumn<double>("expected");

    const double base = PumpDownCurve::kBaseMbar;
    QTest::newRow("closed off at once") << 60.0 << 1e-6 << 0.0 << 0.0 << 0.0 << base;
    QTest::newRow("leak after 100 s") << 60.0 << 1e-6 << 0.0 << 0.0 << 100.0 << base + 1e-4;
    QTest::newRow("from base at start") << 0.0 << 2e-5 << 0.0 << 0.0 << 10.0 << base + 2e-4;
    // After one time constant the walls have given 1 - 1/e of their gas.
    QTest::newRow("outgassing, one tau")
        << 0.0 << 0.0 << 1e-4 << 50.0 << 50.0 << base + 1e-4 * (1.0 - std::exp(-1.0));
    QTest::newRow("outgassing saturated") << 0.0 << 0.0 << 1e-4 << 50.0 << 5000.0 << base + 1e-4;
    QTest::newRow("leak and outgassing")
        << 30.0 << 1e-6 << 1e-4 << 20.0 << 40.0 << base + 4e-5 + 1e-4 * (1.0 - std::exp(-2.0));
    QTest::newRow("held at atmosphere")
        << 0.0 << 1.0 << 0.0 << 0.0 << 5000.0 << PumpDownCurve::kAtmosphereMbar;
}

void TestSimParts::rateOfRise()
{
    QFETCH(double, duration);
    QFETCH(double, leak);
    QFETCH(double, outgas);
    QFETCH(double, tau);
    QFETCH(double, after);
    QFETCH(double, expected);

    PumpDownCurve curve(duration, 3, RateOfRise{leak, outgas, tau});
    const double t = duration + after;
    QVERIFY2(std::abs(curve.trend(t) - expected) <= 1e-9 * expected,
             qPrintable(QString::number(curve.trend(t), 'g', 12)));
    // The pump-down itself is untouched.
    PumpDownCurve plain(duration, 3);
    for (double before : {0.0, duration * 0.3, duration * 0.9})
        QCOMPARE(curve.trend(before), plain.trend(before));
    // The measured value scatters about the rise as it does about the pump-down.
    const double sample = curve.sample(t);
    QVERIFY(sample >= expected * (1.0 - PumpDownCurve::kNoise) * (1.0 - 1e-12));
    QVERIFY(sample <=
            std::min(expected * (1.0 + PumpDownCurve::kNoise), PumpDownCurve::kAtmosphereMbar));
    // A rise never falls.
    double previous = curve.trend(duration);
    for (int i = 1; i <= 100; ++i) {
        const double now = curve.trend(duration + after * i / 100.0);
        QVERIFY(now >= previous);
        previous = now;
    }
}

// The stream prints the rising pressure: over ten seconds of 1e-5 mbar/s the printed
// values go from the base pressure to about 1e-4 mbar.
void TestSimParts::riseReachesTheStream()
{
    SimOptions options;
    options.pumpDownSeconds = 0;
    options.rise.leakMbarPerSecond = 1e-5;
    GaugeSimCore core(options);
    core.receive("SX1\r");
    for (int second = 1; second <= 10; ++second) {
        const QByteArray line = core.nextStreamLine(second);
        const double printed = line.mid(kPressurePosition - 1, 8).toDouble();
        const double expected = PumpDownCurve::kBaseMbar + 1e-5 * second;
        QVERIFY2(std::abs(printed - expected) <= expected * (PumpDownCurve::kNoise + 0.01),
                 line.constData());
    }
}

void TestSimParts::riseArguments_data()
{
    QTest::addColumn<QString>("rise");
    QTest::addColumn<QString>("outgas");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("leak");
    QTest::addColumn<double>("amount");
    QTest::addColumn<double>("tau");

    QTest::newRow("neither") << ""
                             << "" << true << 0.0 << 0.0 << 0.0;
    QTest::newRow("leak") << "1e-5"
                          << "" << true << 1e-5 << 0.0 << 0.0;
    QTest::newRow("leak and outgassing") << "2.5E-6"
                                         << "2e-4,20" << true << 2.5e-6 << 2e-4 << 20.0;
    QTest::newRow("outgassing alone") << ""
                                      << "1e-4,5" << true << 0.0 << 1e-4 << 5.0;
    QTest::newRow("zero leak") << "0"
                               << "" << true << 0.0 << 0.0 << 0.0;
    QTest::newRow("negative leak") << "-1e-5"
                                   << "" << false << 0.0 << 0.0 << 0.0;
    QTest::newRow("leak text") << "fast"
                               << "" << false << 0.0 << 0.0 << 0.0;
    QTest::newRow("leak inf") << "inf"
                              << "" << false << 0.0 << 0.0 << 0.0;
    QTest::newRow("leak nan") << "nan"
                              << "" << false << 0.0 << 0.0 << 0.0;
    QTest::newRow("outgas one value") << ""
                                      << "1e-4" << false << 0.0 << 0.0 << 0.0;
    QTest::newRow("outgas three values") << ""
                                         << "1e-4,5,6" << false << 0.0 << 0.0 << 0.0;
    QTest::newRow("outgas zero tau") << ""
                                     << "1e-4,0" << false << 0.0 << 0.0 << 0.0;
    QTest::newRow("outgas negative amount") << ""
                                            << "-1e-4,5" << false << 0.0 << 0.0 << 0.0;
    QTest::newRow("outgas decimal comma") << ""
                                          << "1,5,5" << false << 0.0 << 0.0 << 0.0;
}

void TestSimParts::riseArguments()
{
    QFETCH(QString, rise);
    QFETCH(QString, outgas);
    QFETCH(bool, ok);
    QFETCH(double, leak);
    QFETCH(double, amount);
    QFETCH(double, tau);

    QString error;
    const std::optional<RateOfRise> parsed = parseRateOfRise(rise, outgas, &error);
    QCOMPARE(parsed.has_value(), ok);
    QCOMPARE(error.isEmpty(), ok);
    if (!ok)
        return;
    QCOMPARE(parsed->leakMbarPerSecond, leak);
    QCOMPARE(parsed->outgasMbar, amount);
    QCOMPARE(parsed->outgasSeconds, tau);
    QCOMPARE(parsed->isClosedOff(), leak > 0.0 || amount > 0.0);
}

void TestSimParts::replayLog_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<QByteArray>>("fields");
    QTest::addColumn<int>("headers");
    QTest::addColumn<bool>("torn");

    const QByteArray header = record("06-12-26 14:05:09");
    QTest::newRow("header and lines") << header + record("PR=1.00E+03 a") + record("PR=2")
                                      << QList<QByteArray>{"PR=1.00E+03 a", "PR=2"} << 1 << false;
    QTest::newRow("quotes inside") << record("a\"b") + record("\"quoted\"") + record("\"")
                                   << QList<QByteArray>{"a\"b", "\"quoted\"", "\""} << 0 << false;
    QTest::newRow("LF-first fields")
        << header + record("first") + record("\nsecond") + record("\nthird")
        << QList<QByteArray>{"first", "\nsecond", "\nthird"} << 1 << false;
    QTest::newRow("empty field") << record("") + record("x") << QList<QByteArray>{"", "x"} << 0
                                 << false;
    QTest::newRow("two runs") << header + record("a") + record("07-12-26 09:00:00") + record("b")
                              << QList<QByteArray>{"a", "b"} << 2 << false;
    QTest::newRow("12-hour header")
        << record("06-12-26 2:05:09 PM") + record("a") << QList<QByteArray>{"a"} << 1 << false;
    QTest::newRow("date after LF is data")
        << record("\n06-12-26 14:05:09") << QList<QByteArray>{"\n06-12-26 14:05:09"} << 0 << false;
    QTest::newRow("torn last record")
        << record("one") + "\"tw" << QList<QByteArray>{"one"} << 0 << true;
    QTest::newRow("torn before LF")
        << record("one") + "\"two\"\r" << QList<QByteArray>{"one"} << 0 << true;
    QTest::newRow("torn after quote")
        << record("one") + "\"" << QList<QByteArray>{"one"} << 0 << true;
    QTest::newRow("malformed record skipped")
        << QByteArray("junk\"\r\n") + record("ok") << QList<QByteArray>{"ok"} << 0 << false;
    QTest::newRow("empty file") << QByteArray() << QList<QByteArray>{} << 0 << false;
}

void TestSimParts::replayLog()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QList<QByteArray>, fields);
    QFETCH(int, headers);
    QFETCH(bool, torn);
    const ReplayLog log = parseReplayLog(bytes);
    QCOMPARE(log.fields, fields);
    QCOMPARE(log.headerCount, headers);
    QCOMPARE(log.tornTail, torn);
}

void TestSimParts::streamFollowsControlWord()
{
    SimOptions options;
    options.pumpDownSeconds = 0; // at base pressure: Autorange measures with the IG
    GaugeSimCore core(options);
    QVERIFY(core.receive("SX1\r").isEmpty());
    QVERIFY(core.isStreaming());

    const QByteArray first = core.nextStreamLine(1.0);
    QCOMPARE(first.mid(kStatusPosition - 1, 4), QByteArray("801D"));
    QVERIFY(first.mid(kPressurePosition - 1, 8).toDouble() < 2e-7);
    QCOMPARE(core.receive("SC 000A\r"), QByteArray("SC OK\r"));
    const QByteArray second = core.nextStreamLine(1.1);
    QCOMPARE(second.mid(kStatusPosition - 1, 4), QByteArray("001A"));
    QVERIFY(second.contains("SC=000A"));
    QVERIFY(second.contains("N=2"));
}

void TestSimParts::replayStreamLoopsAndRestarts()
{
    SimOptions options;
    options.lineEnd = LineEnd::CrLf; // must not touch replayed fields
    options.replayFields = {"a\"1", "\nb", ""};
    GaugeSimCore core(options);
    core.receive("SX1\r");
    QCOMPARE(core.nextStreamLine(0), QByteArray("a\"1\r"));
    QCOMPARE(core.nextStreamLine(0), QByteArray("\nb\r"));
    QCOMPARE(core.nextStreamLine(0), QByteArray("\r"));
    QCOMPARE(core.nextStreamLine(0), QByteArray("a\"1\r"));
    core.receive("SX1\r"); // already streaming: goes on
    QCOMPARE(core.nextStreamLine(0), QByteArray("\nb\r"));
    core.receive("SX0\rSX1\r");
    QCOMPARE(core.nextStreamLine(0), QByteArray("a\"1\r"));
}

QTEST_GUILESS_MAIN(TestSimParts)
#include "tst_simparts.moc"
