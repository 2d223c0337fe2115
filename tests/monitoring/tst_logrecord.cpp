#include "logrecord.h"

#include <QScopeGuard>
#include <QTest>
#include <QTimeZone>

#include <ctime>

using namespace kelmor;

namespace {

const QDate kRunDate(2026, 12, 6);
const QTime kRunTime(14, 5, 9);

QLocale german()
{
    return QLocale(QLocale::German, QLocale::Germany);
}

QLocale usEnglish()
{
    return QLocale(QLocale::English, QLocale::UnitedStates);
}

} // namespace

class TestLogRecord : public QObject
{
    Q_OBJECT

private slots:
    void recordBytes_data();
    void recordBytes();

    void zoneDroppedFromFormat_data();
    void zoneDroppedFromFormat();

    void headerField_data();
    void headerField();
    void headerDropsZoneOfLocaleLongFormat_data();
    void headerDropsZoneOfLocaleLongFormat();
    void headerIgnoresProcessLocaleAndZone();
    void noLocaleKeepsAZonePart();

    void recordsFound_data();
    void recordsFound();
    void headerRecognised_data();
    void headerRecognised();
    void headerOfEveryLocaleRecognised();

    void recordBytesOfText_data();
    void recordBytesOfText();
};

void TestLogRecord::recordBytes_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QByteArray>("record");

    QTest::newRow("plain line") << QByteArray("0001 1.23E-05\t0000 0000 8009")
                                << QByteArray("\"0001 1.23E-05\t0000 0000 8009\"\r\n");
    QTest::newRow("empty line") << QByteArray() << QByteArray("\"\"\r\n");
    QTest::newRow("double quote inside, not doubled")
        << QByteArray("a\"b\"\"c") << QByteArray("\"a\"b\"\"c\"\r\n");
    QTest::newRow("only a double quote") << QByteArray("\"") << QByteArray("\"\"\"\r\n");
    QTest::newRow("line feed of the previous line opens the field")
        << QByteArray("\n0001 9.99E+02") << QByteArray("\"\n0001 9.99E+02\"\r\n");
    QTest::newRow("carriage return inside") << QByteArray("ab\rcd") << QByteArray("\"ab\rcd\"\r\n");
    QTest::newRow("NUL and high bytes")
        << QByteArray("x\0\x80\xfe\xffy", 6) << QByteArray("\"x\0\x80\xfe\xffy\"\r\n", 10);
    QTest::newRow("only NUL") << QByteArray(1, '\0') << QByteArray("\"\0\"\r\n", 5);
}

void TestLogRecord::recordBytes()
{
    QFETCH(QByteArray, field);
    QFETCH(QByteArray, record);
    QCOMPARE(formatRecord(field), record);
}

void TestLogRecord::zoneDroppedFromFormat_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("expected");

    QTest::newRow("zone after the time") << "HH:mm:ss t"
                                         << "HH:mm:ss";
    QTest::newRow("zone before the time") << "t HH:mm:ss"
                                          << "HH:mm:ss";
    QTest::newRow("zone after am/pm") << "h:mm:ss AP t"
                                      << "h:mm:ss AP";
    QTest::newRow("zone between time and am/pm keeps one blank") << "h:mm:ss t AP"
                                                                 << "h:mm:ss AP";
    QTest::newRow("zone in brackets") << "H:mm:ss (t)"
                                      << "H:mm:ss";
    QTest::newRow("long zone tokens") << "HH:mm:ss tttt"
                                      << "HH:mm:ss";
    QTest::newRow("several blanks around the zone") << "HH:mm:ss   t  "
                                                    << "HH:mm:ss";
    QTest::newRow("narrow no-break space before the zone")
        << QString::fromUtf16(u"h:mm:ss\u202fAP\u202ft") << QString::fromUtf16(u"h:mm:ss\u202fAP");
    QTest::newRow("quoted t stays") << "HH 'at' mm 't' ss t"
                                    << "HH 'at' mm 't' ss";
    QTest::newRow("escaped quote inside quotes") << "HH'h''t'mm t"
                                                 << "HH'h''t'mm";
    QTest::newRow("no zone at all") << "HH:mm:ss"
                                    << "HH:mm:ss";
    QTest::newRow("zone only") << "t"
                               << "";
}

void TestLogRecord::zoneDroppedFromFormat()
{
    QFETCH(QString, format);
    QFETCH(QString, expected);
    QCOMPARE(timeFormatWithoutZone(format), expected);
}

void TestLogRecord::headerField_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QString>("expected");

    QTest::newRow("German, local time")
        << german() << QDateTime(kRunDate, kRunTime) << "06-12-26 14:05:09";
    QTest::newRow("German, UTC") << german() << QDateTime(kRunDate, kRunTime, Qt::UTC)
                                 << "06-12-26 14:05:09";
    QTest::newRow("German, fixed offset +01:00")
        << german() << QDateTime(kRunDate, kRunTime, Qt::OffsetFromUTC, 3600)
        << "06-12-26 14:05:09";
    QTest::newRow("German, fixed offset -05:00")
        << german() << QDateTime(kRunDate, kRunTime, Qt::OffsetFromUTC, -5 * 3600)
        << "06-12-26 14:05:09";
    QTest::newRow("German, named zone")
        << german() << QDateTime(kRunDate, kRunTime, QTimeZone("Europe/Berlin"))
        << "06-12-26 14:05:09";
    QTest::newRow("single-digit day, month and time parts")
        << german() << QDateTime(QDate(2027, 2, 3), QTime(9, 4, 5)) << "03-02-27 09:04:05";
    QTest::newRow("year 2000, midnight")
        << german() << QDateTime(QDate(2000, 1, 1), QTime(0, 0, 0)) << "01-01-00 00:00:00";
    QTest::newRow("US English, afternoon")
        << usEnglish() << QDateTime(kRunDate, kRunTime, Qt::UTC) << "06-12-26 2:05:09 PM";
    QTest::newRow("US English, morning")
        << usEnglish() << QDateTime(QDate(2027, 2, 3), QTime(9, 4, 5)) << "03-02-27 9:04:05 AM";
}

void TestLogRecord::headerField()
{
    QFETCH(QLocale, locale);
    QFETCH(QDateTime, now);
    QFETCH(QString, expected);
    QCOMPARE(formatHeaderField(now, locale), expected);
}

void TestLogRecord::headerDropsZoneOfLocaleLongFormat_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QDateTime>("now");

    const QList<QPair<const char *, QLocale>> locales = {
        {"de_DE", german()}, {"en_US", usEnglish()}, {"zh_CN", QLocale("zh_CN")}};
    const QList<QPair<const char *, QDateTime>> times = {
        {"UTC", QDateTime(kRunDate, kRunTime, Qt::UTC)},
        {"CET", QDateTime(kRunDate, kRunTime, QTimeZone("Europe/Berlin"))},
        {"offset", QDateTime(kRunDate, kRunTime, Qt::OffsetFromUTC, 3 * 3600)}};
    for (const auto &[localeName, locale] : locales) {
        for (const auto &[zoneName, now] : times)
            QTest::addRow("%s %s", localeName, zoneName) << locale << now;
    }
}

void TestLogRecord::headerDropsZoneOfLocaleLongFormat()
{
    QFETCH(QLocale, locale);
    QFETCH(QDateTime, now);

    // What the locale itself writes for that moment, zone included; take the zone
    // abbreviation out and the rest must be exactly the header's time.
    const QString full = locale.toString(now, locale.timeFormat(QLocale::LongFormat));
    const QString zone = now.timeZoneAbbreviation();
    QVERIFY2(full.contains(zone), qPrintable(full + " / " + zone));
    const QString withoutZone = QString(full).remove(zone).trimmed();

    const QString header = formatHeaderField(now, locale);
    QCOMPARE(header, QStringLiteral("06-12-26 ") + withoutZone);
    QVERIFY2(!header.contains(zone), qPrintable(header));
}

void TestLogRecord::headerIgnoresProcessLocaleAndZone()
{
    const QDateTime local(kRunDate, kRunTime);
    const QDateTime utc(kRunDate, kRunTime, Qt::UTC);

    const QByteArray oldTz = qgetenv("TZ");
    const bool hadTz = qEnvironmentVariableIsSet("TZ");
    const QLocale oldDefault;
    auto restore = qScopeGuard([&] {
        if (hadTz)
            qputenv("TZ", oldTz);
        else
            qunsetenv("TZ");
        tzset();
        QLocale::setDefault(oldDefault);
    });

    qputenv("TZ", "Asia/Kolkata");
    tzset();
    QLocale::setDefault(QLocale(QLocale::Arabic, QLocale::Egypt));

    QCOMPARE(formatHeaderField(local, german()), QStringLiteral("06-12-26 14:05:09"));
    QCOMPARE(formatHeaderField(utc, german()), QStringLiteral("06-12-26 14:05:09"));
    QCOMPARE(formatHeaderField(utc, usEnglish()), QStringLiteral("06-12-26 2:05:09 PM"));
}

void TestLogRecord::noLocaleKeepsAZonePart()
{
    // A moment whose zone abbreviation cannot be mistaken for anything else.
    const QDateTime now(kRunDate, kRunTime, Qt::OffsetFromUTC, 3 * 3600 + 17 * 60);
    const QString zone = now.timeZoneAbbreviation();
    QVERIFY(!zone.isEmpty());

    const QList<QLocale> all =
        QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
    QVERIFY(all.size() > 100);
    for (const QLocale &locale : all) {
        const QString format = longTimeFormatWithoutZone(locale);
        const QString time = locale.toString(now, format);
        const QString context = locale.name() + ": '" + format + "' -> '" + time + "'";
        QVERIFY2(!time.contains(zone), qPrintable(context));
        QVERIFY2(!time.isEmpty() && !time.front().isSpace() && !time.back().isSpace(),
                 qPrintable(context));
        QVERIFY2(!time.contains(QStringLiteral("()")), qPrintable(context));
        // Minutes and seconds survive, in whatever digits the locale uses.
        const QByteArray bytes = toRecordBytes(time);
        QVERIFY2(bytes.contains('5') && bytes.contains('9'), qPrintable(context));
    }
}

void TestLogRecord::recordBytesOfText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("ASCII") << "06-12-26 14:05:09" << QByteArray("06-12-26 14:05:09");
    QTest::newRow("Latin-1 as one byte each")
        << QString::fromUtf16(u"M\u00e4rz \u00a0\u00ff") << QByteArray("M\xe4rz \xa0\xff");
    QTest::newRow("Arabic-Indic digits as ASCII digits")
        << QString::fromUtf16(u"\u0662:\u0660\u0665:\u0660\u0669 \u0645")
        << QByteArray("2:05:09 ?");
    QTest::newRow("narrow no-break space as a blank")
        << QString::fromUtf16(u"2:05:09\u202fPM") << QByteArray("2:05:09 PM");
    QTest::newRow("CJK as one question mark each")
        << QString::fromUtf16(u"14\u664205\u520609\u79d2") << QByteArray("14?05?09?");
    QTest::newRow("character outside the BMP is one character")
        << QString::fromUtf16(u"a\U0001F600b") << QByteArray("a?b");
}

void TestLogRecord::recordBytesOfText()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(toRecordBytes(text), bytes);
}

void TestLogRecord::recordsFound_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qsizetype>("pos");
    QTest::addColumn<qsizetype>("next"); // -1: no whole record there
    QTest::addColumn<bool>("quoted");
    QTest::addColumn<QByteArray>("field");

    QTest::newRow("plain") << QByteArray("\"RV 1.02\"\r\n\"x\"\r\n") << qsizetype(0)
                           << qsizetype(11) << true << QByteArray("RV 1.02");
    QTest::newRow("second record") << QByteArray("\"RV 1.02\"\r\n\"x\"\r\n") << qsizetype(11)
                                   << qsizetype(16) << true << QByteArray("x");
    QTest::newRow("empty field") << QByteArray("\"\"\r\n") << qsizetype(0) << qsizetype(4) << true
                                 << QByteArray();
    QTest::newRow("field of one quote")
        << QByteArray("\"\"\"\r\n") << qsizetype(0) << qsizetype(5) << true << QByteArray("\"");
    QTest::newRow("quote CR LF inside the field ends it early")
        << QByteArray("\"a\"\r\nb\"\r\n") << qsizetype(0) << qsizetype(5) << true
        << QByteArray("a");
    QTest::newRow("lone CR and LF inside") << QByteArray("\"a\rb\nc\"\r\n") << qsizetype(0)
                                           << qsizetype(9) << true << QByteArray("a\rb\nc");
    QTest::newRow("LF first") << QByteArray("\"\nPR\"\r\n") << qsizetype(0) << qsizetype(7) << true
                              << QByteArray("\nPR");
    QTest::newRow("no opening quote")
        << QByteArray("junk\"\r\n") << qsizetype(0) << qsizetype(7) << false << QByteArray();
    QTest::newRow("torn before LF")
        << QByteArray("\"RV\"\r") << qsizetype(0) << qsizetype(-1) << true << QByteArray();
    QTest::newRow("opening quote alone")
        << QByteArray("\"") << qsizetype(0) << qsizetype(-1) << true << QByteArray();
    QTest::newRow("quote CR LF right at the start is no end")
        << QByteArray("\"\r\n") << qsizetype(0) << qsizetype(-1) << true << QByteArray();
    QTest::newRow("at the end") << QByteArray("\"\"\r\n") << qsizetype(4) << qsizetype(-1) << true
                                << QByteArray();
}

void TestLogRecord::recordsFound()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qsizetype, pos);
    QFETCH(qsizetype, next);
    QFETCH(bool, quoted);
    QFETCH(QByteArray, field);

    const std::optional<LogRecordSpan> span = nextLogRecord(bytes, pos);
    QCOMPARE(span.has_value(), next >= 0);
    if (!span)
        return;
    QCOMPARE(span->begin, pos);
    QCOMPARE(span->next, next);
    QCOMPARE(span->quoted, quoted);
    QCOMPARE(bytes.mid(span->fieldBegin, span->fieldEnd - span->fieldBegin), field);
}

void TestLogRecord::headerRecognised_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<bool>("header");

    QTest::newRow("German") << QByteArray("06-12-26 14:05:09") << true;
    QTest::newRow("English") << QByteArray("06-12-26 2:05:09 PM") << true;
    QTest::newRow("word before the time") << QByteArray("06-12-26 ??2:05:09") << true;
    QTest::newRow("no time") << QByteArray("06-12-26 ") << false;
    QTest::newRow("no digit in the time") << QByteArray("06-12-26 ??:??") << false;
    QTest::newRow("no blank") << QByteArray("06-12-2614:05:09") << false;
    QTest::newRow("slashes") << QByteArray("06/12/26 14:05:09") << false;
    QTest::newRow("LF in front") << QByteArray("\n06-12-26 14:05:09") << false;
    QTest::newRow("gauge line") << QByteArray("PR=1.23E-05 mbar G=IG F=1") << false;
    QTest::newRow("too long") << QByteArray("06-12-26 ") + QByteArray(40, '1') << false;
}

void TestLogRecord::headerRecognised()
{
    QFETCH(QByteArray, field);
    QFETCH(bool, header);
    QCOMPARE(isHeaderField(field), header);
}

void TestLogRecord::headerOfEveryLocaleRecognised()
{
    // Whatever the system's locale, a run's header is read back as one.
    const QList<QLocale> locales =
        QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
    QVERIFY(locales.size() > 100);
    for (const QLocale &locale : locales) {
        for (const QTime time : {QTime(2, 5, 9), QTime(14, 5, 9), QTime(23, 59, 59)}) {
            const QByteArray field =
                toRecordBytes(formatHeaderField(QDateTime(kRunDate, time, Qt::UTC), locale));
            QVERIFY2(isHeaderField(field), qPrintable(locale.name() + ": " + field));
        }
    }
}

QTEST_GUILESS_MAIN(TestLogRecord)
#include "tst_logrecord.moc"
