// The log: line format, level names, pruning of old files, the bounded ring and the file
// written line by line.
#include "app/Log.h"

#include "core/RTDCReader.h"

#include "support/TestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

using namespace Tervane3;

namespace {

QString readAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QTextStream in(&file);
    in.setCodec("UTF-8");
    return in.readAll();
}

void touch(const QString& path, const QDateTime& modified)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("old run\n");
    ASSERT_TRUE(file.setFileTime(modified, QFileDevice::FileModificationTime));
}

} // namespace

TEST(LogTest, LineFormatAndLevelNames)
{
    const QDateTime t(QDate(2026, 12, 8), QTime(19, 22, 11, 456), Qt::UTC);
    struct Case
    {
        QtMsgType type;
        const char* message;
        const char* expected;
    };
    const Case cases[] = {
        {QtDebugMsg, "d", "2026-12-08T19:22:11Z [DEBUG] d"},
        {QtInfoMsg, "i", "2026-12-08T19:22:11Z [INFO ] i"},
        {QtWarningMsg, "w", "2026-12-08T19:22:11Z [WARN ] w"},
        {QtCriticalMsg, "c", "2026-12-08T19:22:11Z [ERROR] c"},
        {QtSystemMsg, "s", "2026-12-08T19:22:11Z [ERROR] s"},
        {QtFatalMsg, "f", "2026-12-08T19:22:11Z [FATAL] f"},
        {static_cast<QtMsgType>(42), "x", "2026-12-08T19:22:11Z [?????] x"},
        // Placeholders inside the message are not expanded.
        {QtInfoMsg, "progress %1 of %2 %", "2026-12-08T19:22:11Z [INFO ] progress %1 of %2 %"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(formatLogLine(t, c.type, QString::fromUtf8(c.message)).toStdString(), c.expected);
        EXPECT_EQ(logLevelName(c.type).size(), 5);
    }
    // A local time is written in UTC.
    const QDateTime local = t.toOffsetFromUtc(3600);
    EXPECT_EQ(formatLogLine(local, QtInfoMsg, QStringLiteral("m")).toStdString(),
              "2026-12-08T19:22:11Z [INFO ] m");
}

TEST(LogTest, PruningKeepsTheTenNewestLogFiles)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QDateTime base = QDateTime::currentDateTime().addDays(-30);
    // Names deliberately out of time order: pruning goes by modification time only.
    for (int i = 0; i < 12; ++i) {
        const QString name = QStringLiteral("Tervane3_log_2020010%1_0000%2.txt").arg((11 - i) % 10).arg(i, 2, 10, QLatin1Char('0'));
        touch(dir.filePath(name), base.addSecs(3600 * i));
    }
    touch(dir.filePath(QStringLiteral("notes.txt")), base);
    touch(dir.filePath(QStringLiteral("Tervane3_log_x.csv")), base);
    QDir(dir.path()).mkdir(QStringLiteral("Tervane3_log_folder.txt"));

    pruneOldLogFiles(dir.path());

    const QStringList left = QDir(dir.path()).entryList({QStringLiteral("Tervane3_log_*.txt")}, QDir::Files);
    EXPECT_EQ(left.size(), 10);
    for (const QString& name : left) {
        const QDateTime modified = QFileInfo(dir.filePath(name)).lastModified();
        EXPECT_GE(modified, base.addSecs(3600 * 2)) << name.toStdString();
    }
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("notes.txt"))));
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("Tervane3_log_x.csv"))));
    EXPECT_TRUE(QFileInfo(dir.filePath(QStringLiteral("Tervane3_log_folder.txt"))).isDir());
}

// Runs the start-up, the ring and the file in one test, because the handler stays installed.
TEST(LogTest, StartUpWritesTheFileAndTheRingKeepsTheLast2000Lines)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QDateTime base = QDateTime::currentDateTime().addDays(-3);
    for (int i = 0; i < 12; ++i)
        touch(dir.filePath(QStringLiteral("Tervane3_log_1999_%1.txt").arg(i)), base.addSecs(60 * i));

    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
    initLogging(dir.path());
    const QString path = logFilePath();
    ASSERT_FALSE(path.isEmpty());
    EXPECT_EQ(QFileInfo(path).absolutePath(), QFileInfo(dir.path()).absoluteFilePath());
    EXPECT_TRUE(QFileInfo(path).fileName().contains(QRegExp(QStringLiteral("^Tervane3_log_\\d{8}_\\d{6}\\.txt$"))))
        << path.toStdString();
    // Twelve old files: two pruned, the run's own file added.
    EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral("Tervane3_log_*.txt")}, QDir::Files).size(), 11);

    const QStringList fileLines = readAll(path).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_FALSE(fileLines.isEmpty());
    const QString first = fileLines.first();
    ASSERT_TRUE(first.contains(QStringLiteral(" [INFO ] Tervane3 session started "))) << first.toStdString();
    const QDateTime started = QDateTime::fromString(first.section(QLatin1Char(' '), -1), Qt::ISODate);
    EXPECT_TRUE(started.isValid());
    EXPECT_GE(started, before);

    {
        Tervane3::Test::ExpectQtWarnings expected;
        qWarning("disk almost full %s", "%1");
        qCritical("cannot read");
        EXPECT_EQ(expected.count(), 2);
    }
    const QString text = readAll(path);
    EXPECT_TRUE(text.contains(QStringLiteral(" [WARN ] disk almost full %1\n")));
    EXPECT_TRUE(text.contains(QStringLiteral(" [ERROR] cannot read\n")));

    for (int i = 0; i < LogRingCapacity + 1; ++i)
        qInfo("ring line %d", i);
    const QString ring = recentLogText();
    ASSERT_TRUE(ring.endsWith(QLatin1Char('\n')));
    const QStringList ringLines = ring.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(ringLines.size(), LogRingCapacity);
    EXPECT_TRUE(ringLines.first().endsWith(QStringLiteral("[INFO ] ring line 1"))) << ringLines.first().toStdString();
    EXPECT_TRUE(ringLines.last().endsWith(QStringLiteral("ring line 2000")));
    // The file keeps everything.
    EXPECT_TRUE(readAll(path).contains(QStringLiteral("] ring line 0\n")));

    // A second start within the same second appends to the same file.
    initLogging(dir.path());
    if (logFilePath() == path) {
        EXPECT_EQ(readAll(path).count(QStringLiteral("Tervane3 session started")), 2);
    } else {
        EXPECT_EQ(readAll(logFilePath()).count(QStringLiteral("Tervane3 session started")), 1);
    }

    // A file that cannot be written costs only the file line.
    QFile::remove(logFilePath());
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    qInfo("after the folder became read-only");
    EXPECT_TRUE(recentLogText().endsWith(QStringLiteral("after the folder became read-only\n")));
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

// Catches a log lost with a read-only install: where the program's folder takes no file, the
// log goes to the user's data folder and says where it is.
TEST(LogTest, FolderThatTakesNoFileSendsTheLogToTheFallback)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // Root may write anywhere; a folder below a plain file cannot exist for anybody.
    QFile plain(dir.filePath(QStringLiteral("install")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    const QString unwritable = dir.filePath(QStringLiteral("install/bin"));
    const QString fallback = dir.filePath(QStringLiteral("data/Tervane3/Tervane3"));

    initLogging(unwritable, fallback);
    EXPECT_EQ(logFolder(), QFileInfo(fallback).absoluteFilePath());
    EXPECT_TRUE(readAll(logFilePath()).contains(QStringLiteral("Tervane3 session started")));

    // A folder that takes the file keeps it, whatever the fallback.
    initLogging(dir.path(), fallback);
    EXPECT_EQ(logFolder(), QFileInfo(dir.path()).absoluteFilePath());

    // The default fallback is the application's folder in the user's data home.
    EXPECT_TRUE(userLogDirectory().endsWith(QStringLiteral("/Tervane3/Tervane3")));
}

TEST(LogTest, ReaderMessagesReachTheLog)
{
    forwardReaderMessagesToLog();
    {
        Tervane3::Test::ExpectQtWarnings expected;
        RTDCReader reader;
        EXPECT_FALSE(reader.open("/nonexistent/file.rtdc"));
        EXPECT_EQ(expected.count(), 1);
        EXPECT_EQ(expected.lastMessage(), "Error opening file: H5Fopen failed");
    }
    setReaderMessageSink(nullptr);
}
