// The launcher's entry point: application object, settings file naming,
// icon, themed style sheet, main window.
#include "app_setup.h"
#include "game_profile.h"
#include "main_window.h"

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
