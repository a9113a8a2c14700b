// Loading and saving the launch settings, walking the settings table.
#include "core/launcher_settings.h"

#include "core/game_profile.h"
#include "core/settings_table.h"
#include "core/system_reason.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <cerrno>
#include <unistd.h>

namespace {

const QString kGroup = QStringLiteral("settings");

// The system's reason why path may not be written, or empty.
QString writeProblem(const QString& path)
{
    if (::access(QFile::encodeName(path).constData(), W_OK) == 0)
        return {};
    return reasonText(errno);
}

// The nearest folder on the way to path that exists.
QString nearestExistingFolder(const QString& path)
{
    QFileInfo folder(QFileInfo(path).absolutePath());
    while (!folder.exists() && !folder.isRoot())
        folder = QFileInfo(folder.absolutePath());
    return folder.absoluteFilePath();
}

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

bool saveLauncherSettings(const LauncherSettings& values, QString* whyNot)
{
    QSettings& settings = sharedSettings();
    settings.beginGroup(kGroup);
    for (const settings_table::Setting& setting : settings_table::settings())
        settings.setValue(setting.key, setting.valueIn(values));
    settings.endGroup();
    return syncSettingsFile(whyNot);
}

bool syncSettingsFile(QString* whyNot)
{
    QSettings& settings = sharedSettings();
    const bool failedBefore = settings.status() != QSettings::NoError;
    settings.sync();
    if (settings.status() == QSettings::NoError)
        return true;
    // The settings object keeps an error status for good; after an earlier
    // failure only a problem that is still there counts.
    const QString problem = settingsSaveProblem();
    if (failedBefore && problem.isEmpty())
        return true;
    if (whyNot)
        *whyNot = problem.isEmpty() ? QStringLiteral("the file could not be written") : problem;
    return false;
}

QString settingsSaveProblem()
{
    // The file is replaced through a new file beside it, so its folder must
    // take new files as well.
    const QString file = sharedSettings().fileName();
    const QString folder = nearestExistingFolder(file);
    QString problem = writeProblem(folder);
    if (problem.isEmpty() && QFileInfo::exists(file))
        problem = writeProblem(file);
    return problem;
}
