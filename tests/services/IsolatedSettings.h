// Points the settings store at a temporary folder for the lifetime of the guard, so tests
// never read or write the user's real settings.
#pragma once

#include <QSettings>
#include <QTemporaryDir>

namespace Tervane3::Test {

class IsolatedSettings {
public:
    IsolatedSettings()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
        QSettings().clear();
    }
    ~IsolatedSettings() { QSettings().clear(); }

    IsolatedSettings(const IsolatedSettings&) = delete;
    IsolatedSettings& operator=(const IsolatedSettings&) = delete;

private:
    QTemporaryDir dir;
};

} // namespace Tervane3::Test
