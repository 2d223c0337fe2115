#include "datalog.h"
#include "fifowatchdog.h"
#include "fillingfile.h"
#include "logrecord.h"
#include "scopedenv.h"
#include "unixsocket.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kelmor;
using kelmor::test::bindSocket;
using kelmor::test::FifoWatchdog;
using kelmor::test::FillingFile;
using kelmor::test::Medium;
using kelmor::test::ScopedEnvironment;

namespace {

const QDateTime kRun1(QDate(2026, 12, 6), QTime(14, 5, 9));
const QDateTime kRun2(QDate(2026, 12, 7), QTime(8, 0, 1));
const QByteArray kHeader1("\"06-12-26 14:05:09\"\r\n");
const QByteArray kHeader2("\"07-12-26 08:00:01\"\r\n");

QLocale german()
{
    return QLocale(QLocale::German, QLocale::Germany);
}

// Read through a handle of its own, as another program would see the file.
QByteArray contents(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable: ") + file.errorString().toUtf8() + '>';
    return file.readAll();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

DataLog::DeviceFactory fillingFactory(const std::shared_ptr<Medium> &medium)
{
    return [medium](const QString &path) -> std::unique_ptr<QFileDevice> {
        return std::make_unique<FillingFile>(path, medium);
    };
}

// Messages the operator reads are German; the system's English reason only in brackets.
bool readsGerman(const QString &text)
{
    static const QRegularExpression english(
        QStringLiteral("Cannot|cannot|bytes written|is not open|no file device|Is a directory"));
    QString outsideReason = text;
    outsideReason.remove(QRegularExpression(QStringLiteral("\\(Systemmeldung: [^)]*\\)")));
    return !outsideReason.contains(english);
}

} // namespace

class TestDataLog : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void newFileStartsWithHeader();
    void everyRecordIsInTheFileWhenWriteReturns();
    void secondRunAppendsAfterFirstRun();
    void restartAppendsToExistingFile();
    void gaugeLinesKeepTheirOrderAndBytes();
    void destructorKeepsEveryRecord();
    void closeIsIdempotentAndWriteNeedsOpenLog();

    void openRefused_data();
    void openRefused();
    void fullDeviceFailsOpen();
    void failedHeaderLeavesFileUntouched_data();
    void failedHeaderLeavesFileUntouched();
    void failedRecordIsCutBack_data();
    void failedRecordIsCutBack();

    void refusesAnythingButAFile_data();
    void refusesAnythingButAFile();
    void failuresAreToldInGerman_data();
    void failuresAreToldInGerman();
    void fileGoneDuringARun_data();
    void fileGoneDuringARun();
    void headerAnewIsDatedWhenWritten();

    void defaultPath_data();
    void defaultPath();
    void noUsableHome_data();
    void noUsableHome();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};

void TestDataLog::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_path = m_dir->filePath(QStringLiteral("KelmorLog.txt"));
}

void TestDataLog::newFileStartsWithHeader()
{
    QVERIFY(!QFile::exists(m_path));
    DataLog log(m_path);
    QVERIFY2(log.open(kRun1, german()), qPrintable(log.errorString()));
    QVERIFY(log.isOpen());
    QCOMPARE(contents(m_path), kHeader1);
    QVERIFY(log.close());
    QVERIFY(!log.isOpen());
    QCOMPARE(contents(m_path), kHeader1);
}

void TestDataLog::everyRecordIsInTheFileWhenWriteReturns()
{
    DataLog log(m_path);
    QVERIFY(log.open(kRun1, german()));
    QByteArray expected = kHeader1;
    for (const QByteArray &line : {QByteArray("0001 1.00E-03"), QByteArray(), QByteArray("\nx")}) {
        QVERIFY2(log.writeRecord(line), qPrintable(log.errorString()));
        expected += '"' + line + "\"\r\n";
        QCOMPARE(contents(m_path), expected);
    }
}

void TestDataLog::secondRunAppendsAfterFirstRun()
{
    DataLog log(m_path);
    QVERIFY(log.open(kRun1, german()));
    QVERIFY(log.writeRecord("run 1 line 1"));
    QVERIFY(log.writeRecord("run 1 line 2"));
    QVERIFY(log.close());

    QVERIFY(log.open(kRun2, german()));
    QVERIFY(log.writeRecord("run 2 line 1"));
    QVERIFY(log.close());

    QCOMPARE(contents(m_path), kHeader1 + "\"run 1 line 1\"\r\n\"run 1 line 2\"\r\n" + kHeader2 +
                                   "\"run 2 line 1\"\r\n");
}

void TestDataLog::restartAppendsToExistingFile()
{
    const QByteArray earlier = kHeader1 + "\"from an earlier program start\"\r\n";
    QVERIFY(writeFile(m_path, earlier));

    {
        DataLog log(m_path);
        QVERIFY(log.open(kRun2, german()));
        QVERIFY(log.writeRecord("after restart"));
        QVERIFY(log.close());
    }
    {
        DataLog log(m_path);
        QVERIFY(log.open(kRun1, german()));
        QVERIFY(log.close());
    }
    QCOMPARE(contents(m_path), earlier + kHeader2 + "\"after restart\"\r\n" + kHeader1);
}

void TestDataLog::gaugeLinesKeepTheirOrderAndBytes()
{
    DataLog log(m_path);
    QVERIFY(log.open(kRun1, german()));
    QByteArray expected = kHeader1;
    for (int i = 0; i < 200; ++i) {
        // Lines of a gauge ending in CR LF: every line after the first opens with the LF.
        QByteArray line = (i == 0 ? QByteArray() : QByteArray("\n")) +
                          QByteArray::number(i).rightJustified(4, '0') + " \"q\"\t" +
                          QByteArray(1, char(i));
        QVERIFY(log.writeRecord(line));
        expected += '"' + line + "\"\r\n";
    }
    QVERIFY(log.close());
    QCOMPARE(contents(m_path), expected);
}

void TestDataLog::destructorKeepsEveryRecord()
{
    {
        DataLog log(m_path);
        QVERIFY(log.open(kRun1, german()));
        QVERIFY(log.writeRecord("a"));
        QVERIFY(log.writeRecord("b"));
    }
    QCOMPARE(contents(m_path), kHeader1 + "\"a\"\r\n\"b\"\r\n");
}

void TestDataLog::closeIsIdempotentAndWriteNeedsOpenLog()
{
    DataLog log(m_path);
    QVERIFY(log.close());
    QVERIFY(!log.writeRecord("never written"));
    QVERIFY(!log.errorString().isEmpty());
    QVERIFY(!QFile::exists(m_path));

    QVERIFY(log.open(kRun1, german()));
    QVERIFY(log.close());
    QVERIFY(log.close());
    QVERIFY(!log.writeRecord("after close"));
    QCOMPARE(contents(m_path), kHeader1);
}

void TestDataLog::openRefused_data()
{
    QTest::addColumn<QString>("relativePath");
    QTest::addColumn<bool>("makeDirectory");

    QTest::newRow("a directory in the file's place") << "KelmorLog.txt" << true;
    QTest::newRow("a missing directory") << "missing/KelmorLog.txt" << false;
}

void TestDataLog::openRefused()
{
    QFETCH(QString, relativePath);
    QFETCH(bool, makeDirectory);

    const QString path = m_dir->filePath(relativePath);
    if (makeDirectory)
        QVERIFY(QDir().mkdir(path));

    DataLog log(path);
    QVERIFY(!log.open(kRun1, german()));
    QVERIFY(!log.isOpen());
    QVERIFY2(log.errorString().contains(QDir::toNativeSeparators(path)),
             qPrintable(log.errorString()));
    QVERIFY(!log.writeRecord("x"));
    QVERIFY(log.close());
    QCOMPARE(QFileInfo(path).isDir(), makeDirectory);
}

void TestDataLog::fullDeviceFailsOpen()
{
    if (!QFileInfo::exists(QStringLiteral("/dev/full")))
        QSKIP("no /dev/full on this system");
    QVERIFY(QFile::link(QStringLiteral("/dev/full"), m_path));

    DataLog log(m_path);
    QVERIFY(!log.open(kRun1, german()));
    QVERIFY(!log.isOpen());
    QVERIFY2(log.errorString().contains(m_path), qPrintable(log.errorString()));
    QVERIFY(!log.writeRecord("x"));
    QVERIFY(log.close());
}

void TestDataLog::failedHeaderLeavesFileUntouched_data()
{
    QTest::addColumn<qint64>("budget");
    QTest::newRow("nothing accepted") << qint64(0);
    QTest::newRow("part of the header accepted") << qint64(7);
    QTest::newRow("all but the line feed accepted") << qint64(kHeader2.size() - 1);
}

void TestDataLog::failedHeaderLeavesFileUntouched()
{
    QFETCH(qint64, budget);
    const QByteArray earlier = kHeader1 + "\"earlier run\"\r\n";
    QVERIFY(writeFile(m_path, earlier));

    auto medium = std::make_shared<Medium>();
    medium->failing = true;
    medium->budget = budget;
    DataLog log(m_path);
    log.setDeviceFactory(fillingFactory(medium));

    QVERIFY(!log.open(kRun2, german()));
    QVERIFY(!log.isOpen());
    QVERIFY(medium->refusedWrites > 0);
    QVERIFY2(log.errorString().contains(m_path), qPrintable(log.errorString()));
    QVERIFY2(log.errorString().contains(QStringLiteral("No space left on device")),
             qPrintable(log.errorString()));
    QCOMPARE(contents(m_path), earlier);

    // Once the medium has room again the next run starts normally.
    medium->failing = false;
    QVERIFY(log.open(kRun2, german()));
    QVERIFY(log.close());
    QCOMPARE(contents(m_path), earlier + kHeader2);
}

void TestDataLog::failedRecordIsCutBack_data()
{
    QTest::addColumn<qint64>("budget");
    QTest::newRow("nothing accepted") << qint64(0);
    QTest::newRow("opening quote accepted") << qint64(1);
    QTest::newRow("half the record accepted") << qint64(8);
    QTest::newRow("all but the line feed accepted") << qint64(QByteArray("\"0002 lost\"\r").size());
}

void TestDataLog::failedRecordIsCutBack()
{
    QFETCH(qint64, budget);

    auto medium = std::make_shared<Medium>();
    DataLog log(m_path);
    log.setDeviceFactory(fillingFactory(medium));
    QVERIFY(log.open(kRun1, german()));
    QVERIFY(log.writeRecord("0001 kept"));
    const QByteArray before = kHeader1 + "\"0001 kept\"\r\n";

    medium->failing = true;
    medium->budget = budget;
    QVERIFY(!log.writeRecord("0002 lost"));
    QVERIFY(medium->refusedWrites > 0);
    QVERIFY(log.isOpen());
    QVERIFY2(log.errorString().contains(QStringLiteral("No space left on device")),
             qPrintable(log.errorString()));
    QVERIFY2(log.errorString().contains(m_path), qPrintable(log.errorString()));
    QCOMPARE(contents(m_path), before);

    // A second failure in a row cuts back to the same whole record.
    medium->budget = 3;
    QVERIFY(!log.writeRecord("0003 lost too"));
    QCOMPARE(contents(m_path), before);

    medium->failing = false;
    QVERIFY2(log.writeRecord("0004 after recovery"), qPrintable(log.errorString()));
    QCOMPARE(contents(m_path), before + "\"0004 after recovery\"\r\n");

    QVERIFY2(log.close(), qPrintable(log.errorString()));
    QVERIFY(!log.isOpen());
    QVERIFY(log.close());
    QCOMPARE(contents(m_path), before + "\"0004 after recovery\"\r\n");
}

void TestDataLog::refusesAnythingButAFile_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("named"); // how the message calls it

    QTest::newRow("a folder") << "folder"
                              << "ein Ordner";
    QTest::newRow("a FIFO nobody reads") << "fifo"
                                         << "FIFO";
    QTest::newRow("a FIFO with a reader") << "fifo-read"
                                          << "FIFO";
    QTest::newRow("a Unix socket") << "socket"
                                   << "Socket";
    QTest::newRow("a device behind a link") << "device"
                                            << "Gerätedatei";
}

void TestDataLog::refusesAnythingButAFile()
{
    QFETCH(QString, what);
    QFETCH(QString, named);

    int reader = -1;
    int socket = -1;
    auto cleanup = qScopeGuard([&] {
        if (reader >= 0)
            ::close(reader);
        if (socket >= 0)
            ::close(socket);
    });
    const QByteArray native = QFile::encodeName(m_path);
    if (what == QLatin1String("folder")) {
        QVERIFY(QDir().mkdir(m_path));
    } else if (what.startsWith(QLatin1String("fifo"))) {
        QCOMPARE(::mkfifo(native.constData(), 0600), 0);
        if (what == QLatin1String("fifo-read"))
            QVERIFY((reader = ::open(native.constData(), O_RDONLY | O_NONBLOCK)) >= 0);
    } else if (what == QLatin1String("socket")) {
        QVERIFY((socket = bindSocket(m_path)) >= 0);
    } else {
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), m_path));
    }
    struct stat before
    {
    };
    QCOMPARE(::lstat(native.constData(), &before), 0);

    DataLog log(m_path);
    bool opened = false;
    {
        FifoWatchdog watchdog(m_path, std::chrono::seconds(10));
        opened = log.open(kRun1, german());
        QVERIFY2(!watchdog.fired(), "open() waited for a reader");
    }
    QVERIFY(!opened);
    QVERIFY(!log.isOpen());
    QVERIFY2(log.errorString().contains(m_path) && log.errorString().contains(named),
             qPrintable(log.errorString()));
    QVERIFY2(readsGerman(log.errorString()), qPrintable(log.errorString()));
    QVERIFY(!log.writeRecord("x"));

    // What stands there is left as it was, and a reader got nothing.
    struct stat after
    {
    };
    QCOMPARE(::lstat(native.constData(), &after), 0);
    QCOMPARE(after.st_mode, before.st_mode);
    QCOMPARE(after.st_ino, before.st_ino);
    if (reader >= 0) {
        char byte = 0;
        QCOMPARE(::read(reader, &byte, 1), ssize_t(0)); // no writer was ever there
    }
}

void TestDataLog::failuresAreToldInGerman_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("says");
    QTest::addColumn<bool>("withReason");

    QTest::newRow("the folder is missing") << "missing"
                                           << "existiert nicht" << true;
    QTest::newRow("disk full at the header") << "full-header"
                                             << "Datenträger ist voll" << true;
    QTest::newRow("disk full in a record") << "full-record"
                                           << "Datenträger ist voll" << true;
    QTest::newRow("HOME not set") << "no-home"
                                  << "HOME ist nicht gesetzt" << false;
    QTest::newRow("HOME empty") << "empty-home"
                                << "HOME ist leer" << false;
}

void TestDataLog::failuresAreToldInGerman()
{
    QFETCH(QString, how);
    QFETCH(QString, says);
    QFETCH(bool, withReason);

    const ScopedEnvironment restore{"HOME"};
    QString path = m_path;
    auto medium = std::make_shared<Medium>();
    if (how == QLatin1String("missing"))
        path = m_dir->filePath(QStringLiteral("gone/KelmorLog.txt"));
    else if (how == QLatin1String("no-home"))
        qunsetenv("HOME");
    else if (how == QLatin1String("empty-home"))
        qputenv("HOME", "");
    if (how.endsWith(QLatin1String("home")))
        path = defaultLogPath();
    const QString inRoot = QStringLiteral("/KelmorLog.txt");
    const bool inRootBefore = QFile::exists(inRoot);
    auto noFileInRoot = qScopeGuard([&] {
        if (!inRootBefore && QFile::exists(inRoot))
            QFile::remove(inRoot); // left by a log that wrongly went there
    });
    DataLog log(path);
    log.setDeviceFactory(fillingFactory(medium));

    bool failed = false;
    if (how == QLatin1String("full-record")) {
        QVERIFY(log.open(kRun1, german()));
        medium->failing = true;
        failed = !log.writeRecord("0001");
    } else {
        medium->failing = how == QLatin1String("full-header");
        failed = !log.open(kRun1, german());
        // A file that opened is never reported as one that did not.
        if (how == QLatin1String("full-header"))
            QVERIFY2(!log.errorString().contains(QStringLiteral("öffnen")),
                     qPrintable(log.errorString()));
    }
    QVERIFY(failed);
    const QString text = log.errorString();
    QVERIFY2(text.contains(says), qPrintable(text));
    QVERIFY2(readsGerman(text), qPrintable(text));
    QCOMPARE(text.contains(QLatin1String("(Systemmeldung: ")), withReason);
    if (!path.isEmpty())
        QVERIFY2(text.contains(QDir::toNativeSeparators(path)), qPrintable(text));
    // Nothing ever goes to the root folder.
    if (how.endsWith(QLatin1String("home")))
        QVERIFY(path.isEmpty());
}

void TestDataLog::fileGoneDuringARun_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("says");
    QTest::addColumn<bool>("goesOn");

    QTest::newRow("deleted") << "rm"
                             << "gelöscht" << true;
    QTest::newRow("moved away") << "mv"
                                << "verschoben" << true;
    QTest::newRow("replaced by another file") << "replace"
                                              << "ersetzt" << true;
    QTest::newRow("deleted with its folder") << "rm-folder"
                                             << "gelöscht" << false;
}

void TestDataLog::fileGoneDuringARun()
{
    QFETCH(QString, how);
    QFETCH(QString, says);
    QFETCH(bool, goesOn);

    const QString folder = m_dir->filePath(QStringLiteral("logs"));
    QVERIFY(QDir().mkdir(folder));
    const QString path = folder + QStringLiteral("/KelmorLog.txt");
    const QString movedTo = m_dir->filePath(QStringLiteral("KelmorLog-alt.txt"));
    const QByteArray other = "\"another file\"\r\n";

    DataLog log(path);
    QVERIFY(log.open(kRun1, german()));
    QVERIFY(log.writeRecord("0001 before"));
    QVERIFY(log.takeNotice().isEmpty());

    if (how == QLatin1String("rm")) {
        QVERIFY(QFile::remove(path));
    } else if (how == QLatin1String("mv")) {
        QVERIFY(QFile::rename(path, movedTo));
    } else if (how == QLatin1String("replace")) {
        QVERIFY(writeFile(movedTo, other));
        QCOMPARE(
            ::rename(QFile::encodeName(movedTo).constData(), QFile::encodeName(path).constData()),
            0);
    } else {
        QVERIFY(QDir(folder).removeRecursively());
    }

    const bool written = log.writeRecord("0002 after", kRun2, german());
    QCOMPARE(written, goesOn);
    if (!goesOn) {
        QVERIFY2(log.errorString().contains(says), qPrintable(log.errorString()));
        QVERIFY(!log.isOpen());
        QVERIFY(!QFile::exists(path));
        return;
    }
    const QString notice = log.takeNotice();
    QVERIFY2(notice.contains(says) && notice.contains(path), qPrintable(notice));
    QVERIFY2(readsGerman(notice), qPrintable(notice));
    if (how == QLatin1String("mv"))
        QVERIFY2(notice.contains(movedTo), qPrintable(notice));
    // Told once: the records after it go on quietly into the new file.
    QVERIFY(log.writeRecord("0003 later"));
    QVERIFY(log.takeNotice().isEmpty());
    QVERIFY(log.close());

    const QByteArray fresh = kHeader2 + "\"0002 after\"\r\n\"0003 later\"\r\n";
    QCOMPARE(contents(path), how == QLatin1String("replace") ? other + fresh : fresh);
    if (how == QLatin1String("mv"))
        QCOMPARE(contents(movedTo), kHeader1 + "\"0001 before\"\r\n");
}

void TestDataLog::defaultPath_data()
{
    QTest::addColumn<QByteArray>("chosen"); // KELMOR_LOG; a null array leaves it unset
    QTest::addColumn<QString>("expected");  // "<home>" and "<cwd>" stand for those folders

#ifdef Q_OS_WIN
    QTest::newRow("unset") << QByteArray() << QStringLiteral("C:\\KelmorLog.txt");
#else
    QTest::newRow("unset") << QByteArray() << QStringLiteral("<home>/KelmorLog.txt");
    QTest::newRow("empty") << QByteArray("") << QStringLiteral("<home>/KelmorLog.txt");
    QTest::newRow("absolute") << QByteArray("/srv/demo/KelmorLog.txt")
                              << QStringLiteral("/srv/demo/KelmorLog.txt");
    QTest::newRow("relative") << QByteArray("demo/log.txt") << QStringLiteral("<cwd>/demo/log.txt");
    QTest::newRow("dots") << QByteArray("/srv/demo/../KelmorLog.txt")
                          << QStringLiteral("/srv/KelmorLog.txt");
#endif
}

void TestDataLog::defaultPath()
{
    QFETCH(QByteArray, chosen);
    QFETCH(QString, expected);
    QTemporaryDir home;
    QVERIFY(home.isValid());
    const ScopedEnvironment restore{"HOME", "KELMOR_LOG"};
    qputenv("HOME", QFile::encodeName(home.path()));
    ScopedEnvironment::set("KELMOR_LOG", chosen);
    expected.replace(QStringLiteral("<home>"), home.path());
    expected.replace(QStringLiteral("<cwd>"), QDir::currentPath());
    QCOMPARE(defaultLogPath(), expected);
}

void TestDataLog::noUsableHome_data()
{
    QTest::addColumn<QByteArray>("home"); // a null array for no variable at all
    QTest::addColumn<QString>("why");

    QTest::newRow("unset") << QByteArray() << "nicht gesetzt";
    QTest::newRow("empty") << QByteArray("") << "leer";
    QTest::newRow("relative") << QByteArray("service") << "kein absoluter Pfad";
    QTest::newRow("the root folder") << QByteArray("/") << "oberste Ordner";
    QTest::newRow("a folder that is not there")
        << QByteArray("/nonexistent/kelmor-home") << "existiert nicht";
}

void TestDataLog::noUsableHome()
{
#ifdef Q_OS_WIN
    QSKIP("the log has a fixed place on Windows");
#else
    QFETCH(QByteArray, home);
    QFETCH(QString, why);
    const ScopedEnvironment restore{"HOME", "KELMOR_LOG"};
    qunsetenv("KELMOR_LOG");
    ScopedEnvironment::set("HOME", home);

    QCOMPARE(defaultLogPath(), QString());
    QVERIFY2(homeFolderProblem().contains(why), qPrintable(homeFolderProblem()));
    QVERIFY(homeFolderProblem().contains(QLatin1String("HOME")));
#endif
}

void TestDataLog::headerAnewIsDatedWhenWritten()
{
    // Records given without a time read the clock only for a header: the one that starts
    // the file anew bears the time it was written, in the system's local time.
    DataLog log(m_path);
    QVERIFY(log.open(kRun1, german()));
    QVERIFY(log.writeRecord("0001 before"));
    QVERIFY(QFile::remove(m_path));
    const QDateTime before = QDateTime::currentDateTime();
    QVERIFY(log.writeRecord("0002 after"));
    const QDateTime after = QDateTime::currentDateTime();
    QVERIFY(log.close());

    auto header = [](const QDateTime &at) {
        return formatRecord(toRecordBytes(formatHeaderField(at, QLocale::system())));
    };
    const QByteArray written = contents(m_path);
    QVERIFY2(written == header(before) + "\"0002 after\"\r\n" ||
                 written == header(after) + "\"0002 after\"\r\n",
             written.constData());
}

QTEST_GUILESS_MAIN(TestDataLog)
#include "tst_datalog.moc"
