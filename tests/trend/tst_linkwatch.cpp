#include "linkwatch.h"
#include "receivedline.h"

#include <QSignalSpy>
#include <QTest>

using namespace kelmor;

namespace {

constexpr qint64 kMs = 1'000'000;

QString name(LinkState state)
{
    switch (state) {
    case LinkState::Idle:
        return QStringLiteral("Idle");
    case LinkState::Ok:
        return QStringLiteral("Ok");
    case LinkState::Silent:
        return QStringLiteral("Silent");
    case LinkState::LifeBitStuck:
        return QStringLiteral("Stuck");
    }
    return QStringLiteral("?");
}

} // namespace

class TestLinkWatch : public QObject
{
    Q_OBJECT

private slots:
    void sequences_data();
    void sequences();
    void deadlineIsWhenTheStateWouldChange_data();
    void deadlineIsWhenTheStateWouldChange();
    void operatorTexts();
};

// An event sequence, one event per word, times in ms:
//   open@T       start watching          close@T   stop watching
//   m@T:SSSS     measurement with status SSSS (hexadecimal)
//   a@T          an answer line (no status)
//   t@T          a timer check
// and the state changes it must give, as State@T.
void TestLinkWatch::sequences_data()
{
    QTest::addColumn<QString>("events");
    QTest::addColumn<QString>("changes");

    QTest::newRow("nothing before the first line") << "open@0 t@5000 t@60000"
                                                   << "";
    QTest::newRow("lines with a toggling life bit stay ok")
        << "open@0 m@100:8000 m@1100:0000 m@2100:8000 t@3000 m@3100:0000 t@4000"
        << "Ok@100";
    QTest::newRow("silent after two seconds, clears with the next line")
        << "open@0 m@100:8000 t@2099 t@2100 t@3000 m@3500:0000"
        << "Ok@100 Silent@2100 Ok@3500";
    QTest::newRow("an answer line also ends silence") << "open@0 m@0:8000 t@2500 a@2600"
                                                      << "Ok@0 Silent@2500 Ok@2600";
    QTest::newRow("life bit stuck after five seconds of lines")
        << "open@0 m@0:8000 m@1000:8000 m@2000:8000 m@3000:8000 m@4000:8000 m@4999:8000 "
           "m@5000:8000 m@6000:0000"
        << "Ok@0 Stuck@5000 Ok@6000";
    QTest::newRow("a stuck bit that is clear counts as well")
        << "open@0 m@0:0041 m@1500:0041 m@3000:0041 m@4500:0041 t@5000"
        << "Ok@0 Stuck@5000";
    QTest::newRow("silence wins over a stuck bit")
        << "open@0 m@0:8000 m@1900:8000 m@3800:8000 t@5000 t@5800 m@6000:8000"
        << "Ok@0 Stuck@5000 Silent@5800 Stuck@6000";
    QTest::newRow("answers alone never make the bit stuck")
        << "open@0 a@0 a@1500 a@3000 a@4500 a@6000 t@7000"
        << "Ok@0";
    QTest::newRow("first measurement starts the life bit's clock")
        << "open@0 a@0 a@1500 a@3000 m@4000:8000 m@5500:8000 m@7000:8000 m@8500:8000 t@8999 "
           "t@9000"
        << "Ok@0 Stuck@9000";
    QTest::newRow("closing the port ends a silence, lines after it are ignored")
        << "open@0 m@0:8000 t@2000 close@2500 m@2600:0000 t@9000"
        << "Ok@0 Silent@2000 Idle@2500";
    QTest::newRow("reopened port waits for a line again")
        << "open@0 m@0:8000 close@100 open@200 t@5000 m@6000:0000 t@8000"
        << "Ok@0 Idle@100 Ok@6000 Silent@8000";
    QTest::newRow("reopening forgets the old life bit")
        << "open@0 m@0:8000 m@4000:8000 close@4100 open@4200 m@4300:8000 m@5800:8000 "
           "m@7300:8000 m@8800:8000 t@9299 t@9300"
        << "Ok@0 Idle@4100 Ok@4300 Stuck@9300";
    QTest::newRow("lines before the port opened are ignored") << "m@0:8000 t@3000 open@4000 t@9000"
                                                              << "";
}

void TestLinkWatch::sequences()
{
    QFETCH(QString, events);
    QFETCH(QString, changes);

    LinkWatch watch;
    QStringList seen;
    connect(&watch, &LinkWatch::stateChanged, &watch, [&](LinkState state, qint64 nowNs) {
        seen << QStringLiteral("%1@%2").arg(name(state)).arg(nowNs / kMs);
    });
    for (const QString &event : events.split(u' ', Qt::SkipEmptyParts)) {
        const QString kind = event.section(u'@', 0, 0);
        const QString rest = event.section(u'@', 1);
        const qint64 ms = rest.section(u':', 0, 0).toLongLong();
        const qint64 ns = ms * kMs;
        if (kind == u"open") {
            watch.start(ns);
        } else if (kind == u"close") {
            watch.stop(ns);
        } else if (kind == u"t") {
            watch.check(ns);
        } else if (kind == u"a") {
            ReceivedLine line;
            line.raw = "RV 1.02";
            line.monotonicNs = ns;
            watch.lineReceived(line);
        } else if (kind == u"m") {
            bool ok = false;
            const quint16 status = quint16(rest.section(u':', 1).toUInt(&ok, 16));
            QVERIFY(ok);
            watch.lineReceived(ns, true, status);
        } else {
            QFAIL(qPrintable("unknown event " + event));
        }
    }
    QCOMPARE(seen.join(u' '), changes);
    const QString lastState =
        changes.isEmpty() ? QStringLiteral("Idle") : changes.section(u' ', -1).section(u'@', 0, 0);
    QCOMPARE(name(watch.state()), lastState);
}

void TestLinkWatch::deadlineIsWhenTheStateWouldChange_data()
{
    QTest::addColumn<QList<qint64>>("lineMs"); // measurement times, alternating life bit
    QTest::addColumn<bool>("toggle");          // life bit toggles from line to line
    QTest::addColumn<qint64>("checkMs");
    QTest::addColumn<qint64>("deadlineMs"); // -1: none

    QTest::newRow("fresh line: silence is next")
        << QList<qint64>{0, 1000} << true << qint64(1000) << qint64(3000);
    QTest::newRow("steady bit: stuck comes before silence")
        << QList<qint64>{0, 1000, 2000, 3000, 4000} << false << qint64(4000) << qint64(5000);
    QTest::newRow("stuck: only silence can come")
        << QList<qint64>{0, 1500, 3000, 4500, 5000} << false << qint64(5000) << qint64(7000);
    QTest::newRow("silent: nothing more without a line")
        << QList<qint64>{0} << true << qint64(2500) << qint64(-1);
    QTest::newRow("no line yet") << QList<qint64>{} << true << qint64(0) << qint64(-1);
}

void TestLinkWatch::deadlineIsWhenTheStateWouldChange()
{
    QFETCH(QList<qint64>, lineMs);
    QFETCH(bool, toggle);
    QFETCH(qint64, checkMs);
    QFETCH(qint64, deadlineMs);

    LinkWatch watch;
    watch.start(0);
    bool life = true;
    for (const qint64 ms : lineMs) {
        watch.lineReceived(ms * kMs, true, life ? 0x8000 : 0x0000);
        if (toggle)
            life = !life;
    }
    watch.check(checkMs * kMs);
    QCOMPARE(watch.nextDeadlineNs(), deadlineMs < 0 ? -1 : deadlineMs * kMs);
    if (deadlineMs >= 0) {
        // Nothing changes before the deadline, and the state does change at it.
        const LinkState before = watch.state();
        watch.check(deadlineMs * kMs - 1);
        QCOMPARE(watch.state(), before);
        watch.check(deadlineMs * kMs);
        QVERIFY(watch.state() != before);
    }
}

void TestLinkWatch::operatorTexts()
{
    QVERIFY(LinkWatch::describe(LinkState::Idle).isEmpty());
    QVERIFY(LinkWatch::describe(LinkState::Ok).isEmpty());
    QVERIFY(LinkWatch::describe(LinkState::Silent).contains(u"Keine Daten"));
    QVERIFY(LinkWatch::describe(LinkState::LifeBitStuck).contains(u"Lebensbit"));
}

QTEST_GUILESS_MAIN(TestLinkWatch)
#include "tst_linkwatch.moc"
