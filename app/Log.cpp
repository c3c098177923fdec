// Log state lives on the heap and is never destroyed: worker threads may still log while
// static objects are torn down at exit, and a destroyed mutex there would crash.
#include "app/Log.h"

#include "core/RTDCReader.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTextStream>

#include <deque>
#include <mutex>

namespace Tervane3 {

namespace {

struct LogState
{
    std::mutex mutex;
    std::deque<QString> ring;
    QString filePath;
    QtMessageHandler previousHandler = nullptr;
};

LogState& logState()
{
    static LogState* state = new LogState;
    return *state;
}

const QString logFilePattern = QStringLiteral("Tervane3_log_*.txt");

} // namespace

QString logLevelName(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return QStringLiteral("DEBUG");
    case QtInfoMsg:
        return QStringLiteral("INFO ");
    case QtWarningMsg:
        return QStringLiteral("WARN ");
    case QtCriticalMsg: // QtSystemMsg has the same value
        return QStringLiteral("ERROR");
    case QtFatalMsg:
        return QStringLiteral("FATAL");
    }
    return QStringLiteral("?????");
}

QString formatLogLine(const QDateTime& utcTime, QtMsgType type, const QString& message)
{
    return QStringLiteral("%1 [%2] %3")
        .arg(utcTime.toUTC().toString(Qt::ISODate), logLevelName(type), message);
}

void logMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    const QString line = formatLogLine(QDateTime::currentDateTimeUtc(), type, message);
    LogState& state = logState();
    QtMessageHandler previous = nullptr;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        state.ring.push_back(line);
        while (state.ring.size() > static_cast<size_t>(LogRingCapacity))
            state.ring.pop_front();
        if (!state.filePath.isEmpty()) {
            // Opened and closed per line so that every line reaches the operating system
            // before the handler returns, even if the process dies right after.
            QFile file(state.filePath);
            if (file.open(QIODevice::Append | QIODevice::Text)) {
                QTextStream out(&file);
                out.setCodec("UTF-8");
                out << line << '\n';
            }
        }
        previous = state.previousHandler;
    }
    if (previous)
        previous(type, context, message);
}

void pruneOldLogFiles(const QString& logFolder, int keep)
{
    const QDir dir(logFolder);
    const QFileInfoList files =
        dir.entryInfoList(QStringList{logFilePattern}, QDir::Files, QDir::Time);
    for (int i = keep; i < files.size(); ++i)
        QFile::remove(files.at(i).absoluteFilePath());
}

QString executableDirectory()
{
    // No QCoreApplication exists yet when the log starts, so applicationDirPath() is
    // not available; the kernel's link to the running binary is.
    const QFileInfo exe(QStringLiteral("/proc/self/exe"));
    const QString target = exe.canonicalFilePath();
    if (!target.isEmpty())
        return QFileInfo(target).absolutePath();
    return QDir::currentPath();
}

QString userLogDirectory()
{
    // The application object (which names the organisation and application for
    // QStandardPaths::AppDataLocation) does not exist yet; spell the same folder out.
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("Tervane3/Tervane3"));
}

void initLogging()
{
    initLogging(executableDirectory(), userLogDirectory());
}

void initLogging(const QString& logFolder, const QString& fallbackFolder)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_hhmmss"));
    const QString fileName = QStringLiteral("Tervane3_log_%1.txt").arg(stamp);
    // The run's file is created at once: only so is it known that the folder takes it.
    const auto takesLogFile = [&fileName](const QString& folder) {
        pruneOldLogFiles(folder);
        QFile file(QDir(folder).filePath(fileName));
        return file.open(QIODevice::Append | QIODevice::Text);
    };
    QString folder = logFolder;
    if (!takesLogFile(folder) && !fallbackFolder.isEmpty()) {
        QDir().mkpath(fallbackFolder);
        folder = fallbackFolder;
        takesLogFile(folder);
    }
    const QString path = QDir(folder).filePath(fileName);
    LogState& state = logState();
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        state.filePath = path;
    }
    QtMessageHandler previous = qInstallMessageHandler(logMessageHandler);
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        // A second call (tests) must not chain the log's handler to itself.
        if (previous != logMessageHandler)
            state.previousHandler = previous;
    }
    qInfo().noquote() << QStringLiteral("Tervane3 session started")
                      << QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
}

QString logFilePath()
{
    LogState& state = logState();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.filePath;
}

QString logFolder()
{
    const QString path = logFilePath();
    return path.isEmpty() ? QString() : QFileInfo(path).absolutePath();
}

void forwardReaderMessagesToLog()
{
    setReaderMessageSink([](const std::string& line) { qWarning().noquote() << QString::fromStdString(line); });
}

QString recentLogText()
{
    LogState& state = logState();
    std::lock_guard<std::mutex> lock(state.mutex);
    QString text;
    for (const QString& line : state.ring) {
        text += line;
        text += QLatin1Char('\n');
    }
    return text;
}

} // namespace Tervane3
