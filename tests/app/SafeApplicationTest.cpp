// The application object's central catch: an exception thrown by an event handler is
// logged at critical level, announced once through unhandledException and swallowed.
// This executable has its own main(), because the test needs the real application class.
#include "app/Log.h"
#include "app/AppStyle.h"
#include "app/SafeApplication.h"
#include "app/Startup.h"

#include <H5Cpp.h>

#include <QCoreApplication>
#include <QFile>
#include <QIcon>
#include <QLocale>
#include <QPixmap>
#include <QEvent>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
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

TEST(SafeApplicationTest, ConfigurationGivesIdentityPlainNumbersAndTheLook)
{
    // Under a comma locale (when the machine has one) numbers still use a decimal point.
    const bool commaLocale = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    configureApplication(*application);

    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C") << "comma locale tried: " << commaLocale;
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2f", 0.25);
    EXPECT_STREQ(buffer, "0.25");
    EXPECT_EQ(QLocale().toString(1234.5).toStdString(), "1234.5");
    EXPECT_EQ(QString::number(0.5).toStdString(), "0.5");

    // The settings store is found through these names.
    EXPECT_EQ(QCoreApplication::applicationName().toStdString(), "Tervane3");
    EXPECT_EQ(QCoreApplication::organizationName().toStdString(), "Tervane3");
    EXPECT_EQ(QCoreApplication::applicationVersion().toStdString(), "3.2.97");

    const QPalette palette = QApplication::palette();
    EXPECT_EQ(palette.color(QPalette::Active, QPalette::Window), QColor(245, 246, 248));
    EXPECT_EQ(palette.color(QPalette::Inactive, QPalette::Highlight), QColor(0, 171, 173));
    EXPECT_EQ(palette.color(QPalette::Active, QPalette::HighlightedText), QColor(Qt::white));
    EXPECT_EQ(palette.color(QPalette::Disabled, QPalette::Text), QColor(160, 164, 170));
    EXPECT_EQ(palette.color(QPalette::Disabled, QPalette::Base), QColor(Qt::white));
    EXPECT_EQ(application->styleSheet(), AppStyle::styleSheet());
    EXPECT_EQ(AppStyle::styleSheet().count(QLatin1Char('{')), 55);

    for (const char* resource : {":/logo_icon.png", ":/logo_splash.png", ":/checkmark.svg", ":/arrow-up.svg",
                                 ":/arrow-down.svg"}) {
        SCOPED_TRACE(resource);
        EXPECT_TRUE(QFile::exists(QString::fromLatin1(resource)));
    }
    EXPECT_FALSE(QPixmap(QStringLiteral(":/logo_splash.png")).isNull());
    EXPECT_FALSE(QApplication::windowIcon().isNull());
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QTemporaryDir logDir;
    // The log chains to Qt's default handler, which prints the expected critical lines.
    initLogging(logDir.path());
    SafeApplication app(argc, argv);
    application = &app;
    return RUN_ALL_TESTS();
}
