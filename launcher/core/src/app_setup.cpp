// Application names and the settings format.
#include "core/app_setup.h"

#include "core/game_profile.h"

#include <QCoreApplication>
#include <QSettings>

void configureApplication(const GameProfile& profile)
{
    QCoreApplication::setOrganizationName(profile.organizationName);
    QCoreApplication::setApplicationName(profile.windowTitle);
    QCoreApplication::setApplicationVersion(QStringLiteral(ORVELLO_VERSION));
    QSettings::setDefaultFormat(QSettings::IniFormat);
}
