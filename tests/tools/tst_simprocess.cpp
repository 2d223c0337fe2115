// Runs the built simulator as the monitor would meet it: a process with a terminal.

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

const QString kSimulator = QStringLiteral(KELMOR_GAUGE_SIM_PATH);

// The far end of the simulator's terminal, opened as the monitor opens a serial port.
class Terminal
{
public:
    Terminal() = default;
    ~Terminal() { close(); }
    Terminal(const Terminal &) = delete;
    Terminal &operator=(const Terminal &) = delete;

    bool open(const QString &path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_fd < 0)
            return false;
        termios tio{};
        if (::tcgetattr(m_fd, &tio) != 0)
            return false;
        ::cfmakeraw(&tio);
        return ::tcsetattr(m_fd, TCSANOW, &tio) == 0;
    }
    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        m_buffer.clear();
    }

    bool write(const QByteArray &bytes)
    {
        return ::write(m_fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }

    // Waits up to timeoutMs for more bytes; false on time-out.
    bool fill(int timeoutMs)
    {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            return false;
        char chunk[1024];
        const ssize_t n = ::read(m_fd, chunk, sizeof chunk);
        if (n <= 0)
            return false;
        m_buffer.append(chunk, n);
        return true;
    }

    // The next line, without its CR; empty optional on time-out.
    std::optional<QByteArray> line(int timeoutMs = 3000)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!m_buffer.contains('\r')) {
            if (deadline.hasExpired() || !fill(int(deadline.remainingTime())))
                return std::nullopt;
        }
        const qsizetype end = m_buffer.indexOf('\r');
        const QByteArray result = m_buffer.left(end);
        m_buffer.remove(0, end + 1);
        return result;
    }

    // Exactly count bytes, or fewer on time-out.
    QByteArray bytes(qsizetype count, int timeoutMs = 3000)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (m_buffer.size() < count && !deadline.hasExpired() &&
               fill(int(deadline.remainingTime()))) {
        }
        const QByteArray result = m_buffer.left(count);
        m_buffer.remove(0, result.size());
        return result;
    }

    // Forgets what arrived up to now, waiting a little for what is on its way.
    void drain(int quietMs)
    {
        while (fill(quietMs)) {
        }
        m_buffer.clear();
    }

private:
    int m_fd = -1;
    QByteArray m_buffer;
};

bool isMeasurementLine(const QByteArray &line)
{
    return line.size() >= 52 && line.at(50) == '\t';
}

quint16 statusOf(const QByteArray &line)
{
    return quint16(line.mid(46, 4).toUInt(nullptr, 16));
}

} // namespace

class TestSimProcess : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void answersCommands_data();
    void answersCommands();
    void streamLayoutAndInterval();
    void controlWordReachesStatus();
    void streamStops();
    void reopenWithoutHangUp();
    void linkAndSigterm();
    void endOfStdinEnds();
    void noStdinKeepsRunning();
    void replaysLog();
    void risesAfterPumpDown();
    void helpNamesTheRise();
    void rejectsBadArguments_data();
    void rejectsBadArguments();

private:
    // Starts the simulator and opens its terminal.
    bool start(const QStringList &arguments);
    void stop();

    QProcess *m_process = nullptr;
    QString m_slavePath;
    Terminal m_terminal;
};

void TestSimProcess::init()
{
    m_process = new QProcess(this);
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

void TestSimProcess::cleanup()
{
    m_terminal.close();
    stop();
    delete m_process;
    m_process = nullptr;
}

bool TestSimProcess::start(const QStringList &arguments)
{
    m_process->start(kSimulator, arguments);
    if (!m_process->waitForStarted(5000))
        return false;
    QDeadlineTimer deadline(10000);
    while (!m_process->canReadLine()) {
        if (deadline.hasExpired() || !m_process->waitForReadyRead(int(deadline.remainingTime())))
            return false;
    }
    m_slavePath = QString::fromLocal8Bit(m_process->readLine().trimmed());
    return m_terminal.open(m_slavePath);
}

void TestSimProcess::stop()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        ::kill(pid_t(m_process->processId()), SIGTERM);
        if (!m_process->waitForFinished(5000)) {
            m_process->kill();
            m_process->waitForFinished(2000);
        }
    }
}

void TestSimProcess::answersCommands_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("answer");

    QTest::newRow("version") << QStringList() << QByteArray("RV\r")
                             << QByteArray("RV KELMOR-SIM 1.0\r");
    QTest::newRow("unknown") << QStringList() << QByteArray("XYZ\r") << QByteArray("ERR XYZ\r");
    QTest::newRow("control word") << QStringList() << QByteArray("SC 004C\r")
                                  << QByteArray("SC OK\r");
    QTest::newRow("crlf") << QStringList{"--crlf"} << QByteArray("\nRV\r")
                          << QByteArray("RV KELMOR-SIM 1.0\r\n");
}

void TestSimProcess::answersCommands()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, answer);
    QVERIFY(start(arguments));
    QVERIFY(m_terminal.write(command));
    QCOMPARE(m_terminal.bytes(answer.size()), answer);
    // Nothing else comes unasked.
    QVERIFY(m_terminal.bytes(1, 300).isEmpty());
}

void TestSimProcess::streamLayoutAndInterval()
{
    const int interval = 50;
    QVERIFY(start({"--interval", QString::number(interval)}));
    QVERIFY(m_terminal.write("SX1\r"));

    static const QRegularExpression pressure(QStringLiteral("^\\d\\.\\d\\dE[+-]\\d\\d$"));
    static const QRegularExpression status(QStringLiteral("^[0-9A-F]{4}$"));
    const int count = 11;
    QElapsedTimer clock;
    bool lifeBit = false;
    for (int i = 0; i < count; ++i) {
        const std::optional<QByteArray> line = m_terminal.line();
        QVERIFY(line);
        if (i == 0)
            clock.start();
        QVERIFY2(isMeasurementLine(*line), line->constData());
        QVERIFY2(pressure.match(QString::fromLatin1(line->mid(3, 8))).hasMatch(),
                 line->constData());
        QVERIFY2(status.match(QString::fromLatin1(line->mid(46, 4))).hasMatch(), line->constData());
        QVERIFY(!line->contains('\n'));
        const bool life = statusOf(*line) & 0x8000;
        if (i > 0)
            QCOMPARE(life, !lifeBit);
        lifeBit = life;
    }
    // Ten periods between the first and the last line; generous for a loaded machine.
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(elapsed >= (count - 1) * interval * 6 / 10, qPrintable(QString::number(elapsed)));
    QVERIFY2(elapsed <= (count - 1) * interval * 4, qPrintable(QString::number(elapsed)));
}

void TestSimProcess::controlWordReachesStatus()
{
    // At base pressure from the start, so Autorange measures with the IG.
    QVERIFY(start({"--interval", "20", "--pumpdown", "0"}));
    QVERIFY(m_terminal.write("SX1\r"));
    std::optional<QByteArray> line = m_terminal.line();
    QVERIFY(line && isMeasurementLine(*line));
    QCOMPARE(statusOf(*line) & 0x7FFF, 0x001D);

    QVERIFY(m_terminal.write("SC 000A\r"));
    do {
        line = m_terminal.line();
        QVERIFY(line);
    } while (*line != "SC OK");
    for (int i = 0; i < 3; ++i) {
        line = m_terminal.line();
        QVERIFY(line && isMeasurementLine(*line));
        QCOMPARE(statusOf(*line) & 0x7FFF, 0x001A);
    }
}

void TestSimProcess::streamStops()
{
    QVERIFY(start({"--interval", "20"}));
    QVERIFY(m_terminal.write("SX1\r"));
    QVERIFY(m_terminal.line());
    QVERIFY(m_terminal.write("SX0\r"));
    m_terminal.drain(200);
    QVERIFY(m_terminal.bytes(1, 300).isEmpty());
    // The gauge still answers while silent.
    QVERIFY(m_terminal.write("RV\r"));
    QCOMPARE(m_terminal.line(), std::optional<QByteArray>("RV KELMOR-SIM 1.0"));
}

void TestSimProcess::reopenWithoutHangUp()
{
    QVERIFY(start({}));
    for (int round = 0; round < 3; ++round) {
        m_terminal.close();
        QVERIFY(m_terminal.open(m_slavePath));
        QVERIFY(m_terminal.write("RV\r"));
        QCOMPARE(m_terminal.line(), std::optional<QByteArray>("RV KELMOR-SIM 1.0"));
    }
    QCOMPARE(m_process->state(), QProcess::Running);
}

void TestSimProcess::linkAndSigterm()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("kelmor-gauge"));
    // A stale link from an earlier run gives way.
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("gone")), link));

    QVERIFY(start({"--link", link}));
    QCOMPARE(QFileInfo(link).symLinkTarget(), m_slavePath);
    Terminal viaLink;
    QVERIFY(viaLink.open(link));
    QVERIFY(viaLink.write("RV\r"));
    QCOMPARE(viaLink.line(), std::optional<QByteArray>("RV KELMOR-SIM 1.0"));

    ::kill(pid_t(m_process->processId()), SIGTERM);
    QVERIFY(m_process->waitForFinished(5000));
    QCOMPARE(m_process->exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_process->exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
}

void TestSimProcess::endOfStdinEnds()
{
    QVERIFY(start({}));
    m_process->closeWriteChannel();
    QVERIFY(m_process->waitForFinished(5000));
    QCOMPARE(m_process->exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_process->exitCode(), 0);
}

void TestSimProcess::noStdinKeepsRunning()
{
    QVERIFY(start({"--no-stdin"}));
    m_process->closeWriteChannel();
    QVERIFY(!m_process->waitForFinished(500));
    QVERIFY(m_terminal.write("RV\r"));
    QCOMPARE(m_terminal.line(), std::optional<QByteArray>("RV KELMOR-SIM 1.0"));
    ::kill(pid_t(m_process->processId()), SIGINT);
    QVERIFY(m_process->waitForFinished(5000));
    QCOMPARE(m_process->exitCode(), 0);
}

void TestSimProcess::replaysLog()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QList<QByteArray> fields{"PR=1.00E+03 \"quoted\" mbar", "\nsecond line", "",
                                   "\nPR=5.00E-06\t8015", "\"\""};
    QByteArray log = "\"06-12-26 14:05:09\"\r\n";
    for (const QByteArray &field : fields)
        log += '"' + field + "\"\r\n";
    log += "\"07-12-26 09:00:00\"\r\n\"torn";
    const QString path = dir.filePath(QStringLiteral("KelmorLog.txt"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(log);
    file.close();

    QVERIFY(start({"--replay", path, "--interval", "10", "--crlf"}));
    QVERIFY(m_terminal.bytes(1, 200).isEmpty()); // nothing before SX1
    QVERIFY(m_terminal.write("SX1\r"));
    QByteArray expected;
    for (const QByteArray &field : fields)
        expected += field + '\r';
    QCOMPARE(m_terminal.bytes(expected.size()), expected);
    // ... and round again.
    QCOMPARE(m_terminal.bytes(fields.first().size() + 1), fields.first() + '\r');
}

// The leak the simulator was told of shows in the lines it sends: from the base pressure
// up by the rate times the time between the lines, within what a loaded machine's timing
// and the noise allow.
void TestSimProcess::risesAfterPumpDown()
{
    const double rate = 1e-3;
    QVERIFY(start({"--interval", "20", "--pumpdown", "0", "--rise", QString::number(rate)}));
    QVERIFY(m_terminal.write("SX1\r"));
    QElapsedTimer clock;
    double first = 0.0;
    double previous = 0.0;
    double last = 0.0;
    int falls = 0;
    const int count = 50;
    for (int i = 0; i < count; ++i) {
        const std::optional<QByteArray> line = m_terminal.line();
        QVERIFY(line && isMeasurementLine(*line));
        const double p = line->mid(3, 8).toDouble();
        if (i == 0) {
            clock.start();
            first = p;
        } else if (p < previous) {
            ++falls;
        }
        previous = p;
        last = p;
    }
    const double seconds = clock.nsecsElapsed() / 1e9;
    const double measured = (last - first) / seconds;
    QVERIFY2(measured > 0.5 * rate && measured < 1.5 * rate,
             qPrintable(QStringLiteral("%1 mbar/s over %2 s").arg(measured).arg(seconds)));
    // The noise may set a reading back now and then, the rise wins over a few lines.
    QVERIFY2(falls < count / 3, qPrintable(QString::number(falls)));
}

void TestSimProcess::helpNamesTheRise()
{
    m_process->start(kSimulator, {"--help"});
    QVERIFY(m_process->waitForFinished(5000));
    const QString help = QString::fromLocal8Bit(m_process->readAllStandardOutput());
    QVERIFY(help.contains(QStringLiteral("--rise <MBAR_PER_S>")));
    QVERIFY(help.contains(QStringLiteral("--outgas <MBAR,SECONDS>")));
    QVERIFY(help.contains(QStringLiteral("closes the vessel off")));
}

void TestSimProcess::rejectsBadArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("interval zero") << QStringList{"--interval", "0"};
    QTest::newRow("interval text") << QStringList{"--interval", "fast"};
    QTest::newRow("negative pumpdown") << QStringList{"--pumpdown", "-1"};
    QTest::newRow("missing replay") << QStringList{"--replay", "/nonexistent/KelmorLog.txt"};
    QTest::newRow("negative rise") << QStringList{"--rise", "-1e-5"};
    QTest::newRow("rise text") << QStringList{"--rise", "schnell"};
    QTest::newRow("outgas without time") << QStringList{"--outgas", "1e-4"};
    QTest::newRow("outgas zero time") << QStringList{"--outgas", "1e-4,0"};
}

void TestSimProcess::rejectsBadArguments()
{
    QFETCH(QStringList, arguments);
    m_process->start(kSimulator, arguments);
    QVERIFY(m_process->waitForFinished(5000));
    QCOMPARE(m_process->exitStatus(), QProcess::NormalExit);
    QVERIFY(m_process->exitCode() != 0);
    QVERIFY(m_process->readAllStandardOutput().isEmpty());
}

QTEST_GUILESS_MAIN(TestSimProcess)
#include "tst_simprocess.moc"
