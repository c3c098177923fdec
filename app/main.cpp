// Program entry: HDF5 error printing off, the log, the application object with its name,
// look and icon, a splash screen while the main window is built, then the event loop.
#include "app/AppStyle.h"
#include "app/Log.h"
#include "app/SafeApplication.h"
#include "mainwindow/MainWindow.h"
#include "resources/Resources.h"

#include <H5Cpp.h>

#include <QIcon>
#include <QLocale>
#include <QPixmap>
#include <QSplashScreen>
#include <QTimer>

#include <clocale>

int main(int argc, char** argv)
{
    // HDF5 failures surface only as exceptions, which the data layer catches and reports.
    H5::Exception::dontPrint();
    Tervane3::initLogging();

    Tervane3::SafeApplication app(argc, argv);
    // The application object set LC_NUMERIC from the environment; numbers in files, axis
    // labels and spin boxes must not depend on it (a decimal point, no digit grouping).
    std::setlocale(LC_NUMERIC, "C");
    QLocale::setDefault(QLocale::c());
    QApplication::setApplicationName(QStringLiteral("Tervane3"));
    QApplication::setApplicationVersion(QStringLiteral("3.2.97"));
    QApplication::setOrganizationName(QStringLiteral("Tervane3"));
    Tervane3::initResources();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/logo_icon.png")));
    Tervane3::AppStyle::apply(app);

    QPixmap splashPicture(QStringLiteral(":/logo_splash.png"));
    QSplashScreen splash(splashPicture);
    splash.show();
    QApplication::processEvents();

    Tervane3::MainWindow window(nullptr);
    QObject::connect(&app, &Tervane3::SafeApplication::unhandledException, &window,
                     &Tervane3::MainWindow::onUnhandledException, Qt::QueuedConnection);

    QTimer::singleShot(1500, [&splash, &window] {
        splash.close();
        window.show();
    });

    return app.exec();
}
