// MainWindow::importPackage: the dialogs of a package import. The package is
// checked on the GUI thread; extraction into <parent>/<package name>/gamedata
// and preparation run as a job of the import controller.
#include "window/main_window.h"

#include "import/import_jobs.h"
#include "import/import_sources.h"
#include "import/stfs_reader.h"
#include "window/import_controller.h"

#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>

namespace {

// Whether the package can be read, said before a destination is asked for.
bool checkPackage(QWidget* window, const QString& packagePath)
{
    StfsReader check; // closes the package when it goes
    QString error;
    if (check.open(packagePath, &error))
        return true;
    QMessageBox::warning(window, import_texts::packageTitle(), import_texts::packageUnreadable(error),
                         QMessageBox::Ok);
    return false;
}

} // namespace

void MainWindow::importPackage()
{
    const QString packagePath = QFileDialog::getOpenFileName(this, QStringLiteral("Select XBLA package"),
                                                             QDir::homePath(), QStringLiteral("All files (*)"));
    if (packagePath.isEmpty() || !checkPackage(this, packagePath))
        return;
    const QString parent = QFileDialog::getExistingDirectory(this, QStringLiteral("Extract package into"),
                                                             QDir(QDir::homePath()).filePath(QStringLiteral("Games")),
                                                             QFileDialog::ShowDirsOnly);
    if (parent.isEmpty())
        return;
    const QString baseName = packageName(packagePath);
    const PackageImportRequest request = packageImportRequest(packagePath, parent);

    const auto job = [request](const ProgressFn& progress) { return runPackageImport(request, progress); };
    const auto completion = [this, baseName](const ImportResult& result) {
        if (!result.succeeded()) {
            QMessageBox::warning(this, import_texts::packageTitle(), import_texts::extractionFailed(result.error),
                                 QMessageBox::Ok);
            refreshStatus();
            return;
        }
        session_.adoptGameRoot(result.adoptedRoot); // none when the package held no image
        refreshStatus(import_texts::packageImported(baseName, result));
    };
    importController().start(import_texts::packageTitle(), QStringLiteral("Extracting..."), job, completion);
}
