// The launcher's entry point: application object, settings file naming,
// icon, themed style sheet, main window.
#include "core/app_setup.h"
#include "core/game_profile.h"
#include "window/main_window.h"
#include "window/theme.h"

#include <QApplication>
#include <QIcon>

// The id of the installed desktop entry, icon and AppStream data; telling Qt
// lets the desktop group the window with its menu entry.
static const char* const desktopEntryId = "com.velmarch.OrvelloLauncher";

// Pre-scaled copies of the icon, so that no 1600 px image is decoded at start.
static QIcon applicationIcon()
{
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/assets/icon-%1.png").arg(size), QSize(size, size));
    return icon;
}

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const GameProfile& profile = gameProfile();
    configureApplication(profile);
    QGuiApplication::setDesktopFileName(QString::fromLatin1(desktopEntryId));
    QApplication::setWindowIcon(applicationIcon());

    QString styleSheet;
    if (loadThemedStyleSheet(profile, &styleSheet))
        app.setStyleSheet(styleSheet);

    MainWindow window;
    window.show();
    return app.exec();
}
