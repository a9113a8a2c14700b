// Loading and saving the launch settings, walking the settings table.
#include "core/launcher_settings.h"

#include "core/game_profile.h"
#include "core/settings_table.h"

#include <QCoreApplication>
#include <QSettings>

namespace {

const QString kGroup = QStringLiteral("settings");

} // namespace

QSettings& sharedSettings()
{
    static QSettings settings(QSettings::IniFormat, QSettings::UserScope, gameProfile().organizationName,
                              QCoreApplication::applicationName());
    return settings;
}

const QString& dataRootSettingsKey()
{
    static const QString key = QStringLiteral("paths/data_root");
    return key;
}

LauncherSettings::LauncherSettings()
{
    for (const settings_table::Setting& setting : settings_table::settings())
        setting.assign(*this, setting.defaultValue);
}

LauncherSettings loadLauncherSettings()
{
    LauncherSettings result;
    QSettings& settings = sharedSettings();
    settings.beginGroup(kGroup);
    for (const settings_table::Setting& setting : settings_table::settings())
        setting.assign(result, settings.value(setting.key, setting.valueIn(result)));
    settings.endGroup();
    return result;
}

void saveLauncherSettings(const LauncherSettings& values)
{
    QSettings& settings = sharedSettings();
    settings.beginGroup(kGroup);
    for (const settings_table::Setting& setting : settings_table::settings())
        settings.setValue(setting.key, setting.valueIn(values));
    settings.endGroup();
    settings.sync();
}
