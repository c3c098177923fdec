// The application object. An exception that escapes an event handler ends here: it is
// logged at critical level, announced through unhandledException() and swallowed, so one
// failing handler never ends the process.
#pragma once

#include <QApplication>

namespace Tervane3 {

class SafeApplication : public QApplication
{
    Q_OBJECT

public:
    SafeApplication(int& argc, char** argv);

    // QApplication::notify inside a try block; false when an exception was caught.
    bool notify(QObject* receiver, QEvent* event) override;

signals:
    // Emitted on the thread that dispatched the failing event; connect it queued, so the
    // receiver runs after the failed handler has unwound.
    void unhandledException(const QString& title, const QString& message);
};

} // namespace Tervane3
