// Running the built launcher in a process of its own.
#include "launcher_process.h"

#include "test_support.h"

#include <QDir>
#include <QFile>

#include <unistd.h>

namespace testing_support {

QProcessEnvironment launcherEnvironment(const ScratchHome& home)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // No display; and the play journal under the home, as its default.
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_STATE_HOME"})
        environment.remove(QLatin1String(name));
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral(".config")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), launcherRuntimeFolder(home));
    return environment;
}

QString launcherRuntimeFolder(const ScratchHome& home)
{
    const QString folder = home.filePath(QStringLiteral(".runtime"));
    // As a login session makes it: the user's alone.
    if (QDir().mkpath(folder))
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return folder;
}

QString launcherSettingsFile(const ScratchHome& home)
{
    return home.filePath(QStringLiteral(".config/Velmarch/Orvello Launcher.ini"));
}

void startLauncher(QProcess& process, const ScratchHome& home, const QStringList& arguments, LauncherStart start)
{
    process.setProgram(start.program.isEmpty() ? QDir(QStringLiteral(ORVELLO_BIN_DIR)).filePath("orvello-launcher")
                                               : start.program);
    process.setArguments(arguments);
    process.setWorkingDirectory(start.workingFolder.isEmpty() ? home.path() : start.workingFolder);
    process.setProcessEnvironment(start.environment.isEmpty() ? launcherEnvironment(home) : start.environment);
    process.setChildProcessModifier([] { ::setpgid(0, 0); });
    process.start();
}

LauncherRun runLauncher(const ScratchHome& home, const QStringList& arguments, LauncherStart start)
{
    QProcess process;
    startLauncher(process, home, arguments, std::move(start));
    LauncherRun run;
    [&] { QVERIFY2(process.waitForStarted(), qPrintable(process.errorString())); }();
    run.pid = process.processId();
    const bool ended = process.waitForFinished(60000);
    if (!ended)
        process.kill();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    if (ended && process.exitStatus() == QProcess::NormalExit)
        run.exitStatus = process.exitCode();
    return run;
}

} // namespace testing_support
