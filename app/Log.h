// The program's log: every Qt message becomes one line "time [LEVEL] text" that is kept
// in an in-memory ring (for feedback reports) and appended to one log file per run in the
// application's directory, or, where that folder takes no file (a read-only install), in
// the user's data folder of the application. Set up first thing in main(), before the
// application object.
#pragma once

#include <QString>
#include <QtGlobal>

class QDateTime;

namespace Tervane3 {

// Number of recent lines kept in memory for feedback reports.
constexpr int LogRingCapacity = 2000;
// Number of old log files kept at start-up (the run's own file comes on top).
constexpr int LogFilesKept = 10;

// Prunes old log files in the executable's folder, names this run's file and installs
// the message handler; when the run's file cannot be created there, the same happens in
// userLogDirectory(). Works without a QCoreApplication.
void initLogging();
// The same with explicit folders (tests use temporary ones); an empty fallback keeps the
// lines in the ring only when the log folder takes no file.
void initLogging(const QString& logFolder, const QString& fallbackFolder = QString());

// The user's own data folder of the application ("<data home>/Tervane3/Tervane3", where the
// platform keeps application data for organisation and application Tervane3).
QString userLogDirectory();

// The reader's error and warning lines (core/RTDCReader.h) go to the log as warnings as
// well as to the standard error stream.
void forwardReaderMessagesToLog();

// The installed Qt message handler. Callable from any thread.
void logMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message);

// Five-character level names: "DEBUG", "INFO ", "WARN ", "ERROR", "FATAL", "?????".
QString logLevelName(QtMsgType type);

// One log line without the trailing line feed: "%1 [%2] %3" filled in one step, so a
// "%1" inside the message stays as it is.
QString formatLogLine(const QDateTime& utcTime, QtMsgType type, const QString& message);

// Deletes every "Tervane3_log_*.txt" in the folder except the `keep` newest by
// modification time. Failures are ignored.
void pruneOldLogFiles(const QString& logFolder, int keep = LogFilesKept);

// The folder of the running executable, found without the application object.
QString executableDirectory();

// Full path of this run's log file; empty before initLogging().
QString logFilePath();
// The folder of this run's log file; empty before initLogging().
QString logFolder();

// Every line of the ring, oldest first, each followed by "\n"; empty when nothing was logged.
QString recentLogText();

} // namespace Tervane3
