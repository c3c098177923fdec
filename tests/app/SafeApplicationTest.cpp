// The application object's central catch: an exception thrown by an event handler is
// logged at critical level, announced once through unhandledException and swallowed.
// This executable has its own main(), because the test needs the real application class.
#include "app/Log.h"
#include "app/SafeApplication.h"

#include <H5Cpp.h>

#include <QCoreApplication>
#include <QEvent>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <clocale>
#include <functional>
#include <stdexcept>

using namespace Tervane3;

namespace {

// Throws from its event handler whatever the test gives it.
class Thrower : public QObject
{
public:
    std::function<void()> action;

protected:
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::User) {
            action();
            return true;
        }
        return QObject::event(e);
    }
};

SafeApplication* application = nullptr;

} // namespace

TEST(SafeApplicationTest, ExceptionsFromHandlersAreLoggedAnnouncedAndSwallowed)
{
    struct Case
    {
        const char* label;
        std::function<void()> thrower;
        const char* logged;
        const char* title;
        const char* message;
    };
    const Case cases[] = {
        {"std exception", [] { throw std::runtime_error("column 'deform' is gone"); },
         "[ERROR] Unhandled exception: column 'deform' is gone", "Unexpected Error",
         "column 'deform' is gone"},
        {"utf-8 text", [] { throw std::logic_error("Fläche µm²"); },
         "[ERROR] Unhandled exception: Fläche µm²", "Unexpected Error", "Fläche µm²"},
        {"int", [] { throw 42; }, "[ERROR] Unhandled non-standard exception", "Unexpected Error",
         "An unknown error occurred."},
        {"hdf5", [] { throw H5::FileIException("H5File::openFile", "unable to open file"); },
         "[ERROR] Unhandled HDF5 exception: H5File::openFile: unable to open file", "File / Data Error",
         "H5File::openFile: unable to open file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Thrower target;
        target.action = c.thrower;
        QSignalSpy spy(application, &SafeApplication::unhandledException);
        QEvent event(QEvent::User);
        const bool handled = QCoreApplication::sendEvent(&target, &event);
        EXPECT_FALSE(handled);
        ASSERT_EQ(spy.count(), 1);
        EXPECT_EQ(spy.at(0).at(0).toString().toStdString(), c.title);
        EXPECT_EQ(spy.at(0).at(1).toString().toStdString(), c.message);
        const QStringList lines = recentLogText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        ASSERT_FALSE(lines.isEmpty());
        EXPECT_TRUE(lines.last().endsWith(QString::fromUtf8(c.logged))) << lines.last().toStdString();
    }
    // The program runs on: a handler that does not throw is dispatched normally.
    Thrower quiet;
    quiet.action = [] {};
    QEvent event(QEvent::User);
    EXPECT_TRUE(QCoreApplication::sendEvent(&quiet, &event));
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QTemporaryDir logDir;
    // The log chains to Qt's default handler, which prints the expected critical lines.
    initLogging(logDir.path());
    SafeApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    application = &app;
    return RUN_ALL_TESTS();
}
