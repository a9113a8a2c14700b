// MainWindow::importPackage: the dialogs of a package import. The package is
// checked on the GUI thread; extraction into <parent>/<package name>/gamedata
// and preparation run as a job of the import controller.
#include "window/main_window.h"

#include "import/import_jobs.h"
#include "import/stfs_reader.h"
#include "window/import_controller.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>

namespace {

const QString kPackageTitle = QStringLiteral("Import XBLA package");

// Whether the package can be read, said before a destination is asked for.
bool checkPackage(QWidget* window, const QString& packagePath)
{
    StfsReader check; // closes the package when it goes
    QString error;
    if (check.open(packagePath, &error))
        return true;
    QMessageBox::warning(window, kPackageTitle, QStringLiteral("Could not read package:\n%1").arg(error),
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
    const QString baseName = QFileInfo(packagePath).completeBaseName();
    const PackageImportRequest request{packagePath, QDir(parent).filePath(baseName)};

    const auto job = [request](const ProgressFn& progress) { return runPackageImport(request, progress); };
    const auto completion = [this, baseName](const ImportResult& result) {
        if (!result.succeeded()) {
            QMessageBox::warning(this, kPackageTitle, QStringLiteral("Extraction failed:\n%1").arg(result.error),
                                 QMessageBox::Ok);
            refreshStatus();
            return;
        }
        session_.adoptGameRoot(result.adoptedRoot); // none when the package held no image
        refreshStatus();
        statusLabel->setText(QStringLiteral("Imported %1: %2 files, %3 MB extracted")
                                 .arg(baseName, QString::number(result.fileCount),
                                      QString::number(result.totalBytes >> 20)));
    };
    importController().start(kPackageTitle, QStringLiteral("Extracting..."), job, completion);
}
