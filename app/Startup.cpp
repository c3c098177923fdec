// Application identity, numbers and look.
#include "app/Startup.h"

#include "app/AppStyle.h"
#include "resources/Resources.h"

#include <QApplication>
#include <QIcon>
#include <QLocale>

#include <clocale>

namespace Tervane3 {

void configureApplication(QApplication& app)
{
    // Creating the application object set LC_NUMERIC from the environment; numbers in
    // files, axis labels and spin boxes must not depend on it (a decimal point, no digit
    // grouping), whatever the user's locale.
    std::setlocale(LC_NUMERIC, "C");
    QLocale::setDefault(QLocale::c());
    QApplication::setApplicationName(QStringLiteral("Tervane3"));
    QApplication::setApplicationVersion(QStringLiteral("3.2.97"));
    QApplication::setOrganizationName(QStringLiteral("Tervane3"));
    initResources();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/logo_icon.png")));
    AppStyle::apply(app);
}

} // namespace Tervane3
