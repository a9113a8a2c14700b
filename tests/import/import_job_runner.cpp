// import_job_runner: runs one import job, or holds a game folder's lock, in
// a process of its own, so that tests can set two processes against one
// game folder and trace the system calls of a whole import.
//   import_job_runner package PACKAGE ROOT [--unflushed]
//                                            extract and prepare into ROOT
//                                            (--unflushed: without flushing
//                                            to disk, to show what that skips)
//   import_job_runner folder FOLDER          prepare FOLDER in place
//   import_job_runner hold-lock ROOT         take ROOT's lock, say "held",
//                                            keep it until standard input ends
// An import exits 0 when it succeeded and prints the adopted root, else 1
// with the job's message on standard error; the decoder is found on PATH.
#include "core/game_profile.h"
#include "import/game_folder_lock.h"
#include "import/import_jobs.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

namespace {

int report(const ImportResult& result)
{
    if (!result.succeeded()) {
        QTextStream(stderr) << result.error << "\n";
        return 1;
    }
    QTextStream(stdout) << "adopted: " << result.adoptedRoot << "\n";
    return 0;
}

int holdLock(const QString& root)
{
    GameFolderLock lock(root);
    const GameFolderLock::Outcome outcome = lock.acquire();
    QTextStream out(stdout);
    out << (outcome == GameFolderLock::Outcome::Held ? "held" : outcome == GameFolderLock::Outcome::Busy ? "busy" : "unavailable")
        << Qt::endl;
    if (outcome != GameFolderLock::Outcome::Held)
        return 1;
    while (std::fgetc(stdin) != EOF) {
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString mode = args.value(1);
    if (mode == QLatin1String("package") && (args.size() == 4 || args.value(4) == QLatin1String("--unflushed"))) {
        const Durability durability = args.size() == 5 ? Durability::Unflushed : Durability::Flushed;
        return report(runPackageImport({args[2], args[3], durability}, {}));
    }
    if (mode == QLatin1String("folder") && args.size() == 3)
        return report(runFolderImport({args[2], args[2], args[2], false}, gameProfile(), {}));
    if (mode == QLatin1String("hold-lock") && args.size() == 3)
        return holdLock(args[2]);
    QTextStream(stderr) << "usage: import_job_runner package PACKAGE ROOT [--unflushed] | folder FOLDER | hold-lock ROOT\n";
    return 2;
}
