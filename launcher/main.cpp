// The launcher's entry point: application object, settings file naming,
// icon, themed style sheet, main window.
#include "core/app_setup.h"
#include "core/game_profile.h"
#include "window/main_window.h"
#include "window/theme.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const GameProfile& profile = gameProfile();
    configureApplication(profile);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/assets/icon.png")));

    QString styleSheet;
    if (loadThemedStyleSheet(profile, &styleSheet))
        app.setStyleSheet(styleSheet);

    MainWindow window;
    window.show();
    return app.exec();
}
