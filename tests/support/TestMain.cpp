// The main() of every test executable: a QApplication on the offscreen platform (widget
// tests need one; headless tests do not mind) and a message handler that turns each Qt
// warning a test did not announce with ExpectQtWarnings into a test failure.
#include <gtest/gtest.h>

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtGlobal>

#include <clocale>
#include <cstdio>
#include <string>

namespace Tervane3::Test {
bool consumeExpectedWarning(const std::string& text);
}

namespace {

void testMessageHandler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    const std::string text = message.toStdString();
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    if (Tervane3::Test::consumeExpectedWarning(text))
        return;
    std::fprintf(stderr, "Qt message: %s\n", text.c_str());
    std::fflush(stderr);
    ADD_FAILURE() << "Unexpected Qt message: " << text;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen")
                                                                       : qgetenv("QT_QPA_PLATFORM"));
    ::testing::InitGoogleTest(&argc, argv);

    // Every test process gets its own settings, cache and data folders, removed at exit, so
    // test executables that ctest runs in parallel never read or overwrite each other's
    // settings or help collection, and no run sees what an earlier run left behind.
    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/tervane3-test-XXXXXX"));
    if (home.isValid()) {
        for (const char* var : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"}) {
            const QString dir = home.path() + QLatin1Char('/') + QString::fromLatin1(var);
            QDir().mkpath(dir);
            qputenv(var, QFile::encodeName(dir));
        }
    }

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Tervane3Tests"));
    QApplication::setApplicationName(QStringLiteral("Tervane3Tests"));
    // The application object sets LC_NUMERIC from the environment; the program resets it.
    std::setlocale(LC_NUMERIC, "C");
    qInstallMessageHandler(testMessageHandler);
    return RUN_ALL_TESTS();
}
