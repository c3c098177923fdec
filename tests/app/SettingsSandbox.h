// Points the default QSettings at a private, empty folder for the lifetime of the object,
// so tests never read or write the user's real settings.
#pragma once

#include <QSettings>
#include <QTemporaryDir>

namespace Tervane3::Test {

class SettingsSandbox
{
public:
    SettingsSandbox()
    {
        QSettings::setDefaultFormat(QSettings::IniFormat);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
        QSettings().clear();
    }
    ~SettingsSandbox() { QSettings().clear(); }

    SettingsSandbox(const SettingsSandbox&) = delete;
    SettingsSandbox& operator=(const SettingsSandbox&) = delete;

private:
    QTemporaryDir dir;
};

} // namespace Tervane3::Test
