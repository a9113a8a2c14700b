// The launcher's entry point. With arguments, the command line: one command
// on a session, without a window or a display, in a process of its own.
// Without, the window: application object, the hand-over to a launcher
// already running for this user (whose window then comes to the front),
// settings file naming, icon, themed style sheet, main window.
#include "cli/command_line.h"
#include "core/app_setup.h"
#include "core/game_profile.h"
#include "window/main_window.h"
#include "window/single_instance.h"
#include "window/theme.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>

#include <cstdio>
#include <unistd.h>

namespace {

// The id of the installed desktop entry, icon and AppStream data; telling Qt
// lets the desktop group the window with its menu entry.
const char* const desktopEntryId = "com.velmarch.OrvelloLauncher";

// Whether Qt has a display to open a window on: a platform named outright,
// or an X or Wayland display.
bool displayAvailable()
{
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY")
        || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// Pre-scaled copies of the icon, so that no 1600 px image is decoded at start.
QIcon applicationIcon()
{
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/assets/icon-%1.png").arg(size), QSize(size, size));
    return icon;
}

// The icon, the desktop entry and the themed style sheet of every window.
void applyTheme(QApplication& app)
{
    QGuiApplication::setDesktopFileName(QString::fromLatin1(desktopEntryId));
    QApplication::setWindowIcon(applicationIcon());
    QString styleSheet;
    if (loadThemedStyleSheet(gameProfile(), &styleSheet))
        app.setStyleSheet(styleSheet);
}

int exitStatusOnFatal = 1;
QtMessageHandler qtMessageHandler = nullptr;

// A display that cannot be opened after all ends Qt with an abort; the
// notice is on standard error already, so the launcher ends with the
// command's exit status instead.
void exitOnFatal(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtFatalMsg)
        ::_exit(exitStatusOnFatal);
    qtMessageHandler(type, context, message);
}

// For players who have no terminal to read (Steam's Game Mode, a menu entry).
void showDesktopNotice(int argc, char* argv[], const QString& notice, int exitStatus)
{
    exitStatusOnFatal = exitStatus;
    qtMessageHandler = qInstallMessageHandler(exitOnFatal);
    QApplication app(argc, argv);
    configureApplication(gameProfile());
    applyTheme(app);
    QMessageBox::critical(nullptr, gameProfile().windowTitle, notice, QMessageBox::Ok);
}

int runCommands(int argc, char* argv[])
{
    CommandLineOutcome outcome;
    {
        QCoreApplication app(argc, argv);
        configureApplication(gameProfile());
        outcome = runCommandLine(QCoreApplication::arguments());
    }
    if (!outcome.desktopNotice.isEmpty() && displayAvailable())
        showDesktopNotice(argc, argv, outcome.desktopNotice, outcome.exitStatus);
    return outcome.exitStatus;
}

int runWindow(int argc, char* argv[])
{
    if (!displayAvailable()) {
        std::fputs("No display found (neither DISPLAY nor WAYLAND_DISPLAY is set): start Orvello Launcher from a "
                   "desktop session, or see orvello-launcher --help for the commands that need none.\n",
                   stderr);
        return kExitFailed;
    }
    QApplication app(argc, argv);
    SingleInstance instance;
    switch (instance.claim()) {
    case SingleInstance::Claim::HandedOver:
        return kExitSucceeded;
    case SingleInstance::Claim::NoAnswer:
        std::fputs("Orvello Launcher is already running, but its window does not answer. Close it, or end it if "
                   "it hangs, and start the launcher again.\n",
                   stderr);
        return kExitFailed;
    case SingleInstance::Claim::First:
        break;
    }
    configureApplication(gameProfile());
    applyTheme(app);
    MainWindow window;
    instance.setWindow(&window);
    window.show();
    return app.exec();
}

} // namespace

int main(int argc, char* argv[])
{
    return wantsCommandLine(argc) ? runCommands(argc, argv) : runWindow(argc, argv);
}
