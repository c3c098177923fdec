// Program entry: HDF5 error printing off, the log, the application object with its name,
// look and icon, a splash screen while the main window is built, then the event loop.
#include "app/Log.h"
#include "app/SafeApplication.h"
#include "app/Startup.h"
#include "mainwindow/MainWindow.h"

#include <H5Cpp.h>

#include <QPixmap>
#include <QSplashScreen>
#include <QTimer>

int main(int argc, char** argv)
{
    // HDF5 failures surface only as exceptions, which the data layer catches and reports.
    H5::Exception::dontPrint();
    Tervane3::initLogging();
    // The reader's error lines (damaged files, unreadable columns) belong in the log too.
    Tervane3::forwardReaderMessagesToLog();

    Tervane3::SafeApplication app(argc, argv);
    Tervane3::configureApplication(app);

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
