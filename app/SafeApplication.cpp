// Central catch of exceptions thrown by event handlers.
#include "app/SafeApplication.h"

#include <H5Cpp.h>

#include <QDebug>

#include <exception>

namespace Tervane3 {

SafeApplication::SafeApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
}

bool SafeApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const H5::Exception& e) {
        const QString message = QString::fromStdString(e.getFuncName()) + QStringLiteral(": ")
                                + QString::fromStdString(e.getDetailMsg());
        qCritical().noquote() << QStringLiteral("Unhandled HDF5 exception:") << message;
        emit unhandledException(QStringLiteral("File / Data Error"), message);
    } catch (const std::exception& e) {
        const char* what = e.what();
        const QString message = what ? QString::fromUtf8(what) : QString();
        qCritical().noquote() << QStringLiteral("Unhandled exception:") << message;
        emit unhandledException(QStringLiteral("Unexpected Error"), message);
    } catch (...) {
        qCritical().noquote() << QStringLiteral("Unhandled non-standard exception");
        emit unhandledException(QStringLiteral("Unexpected Error"),
                                QStringLiteral("An unknown error occurred."));
    }
    return false;
}

} // namespace Tervane3
