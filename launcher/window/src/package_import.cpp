// MainWindow::onImportClicked: importing the game from its XBLA package.
// The package is checked on the GUI thread, then extracted into
// <parent>/<package name>/gamedata and prepared on a worker thread.
#include "window/main_window.h"

#include "core/game_data.h"
#include "import/content_preparation.h"
#include "import/stfs_extract.h"
#include "import/stfs_reader.h"
#include "window/import_worker.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QThread>

#include <memory>

namespace {

const QString kPackageTitle = QStringLiteral("Import XBLA package");

struct PackageImportResult {
    bool ok = false;
    QString error;
    qint64 fileCount = 0;
    quint64 totalBytes = 0;
};

enum class ImportSource { Package, Folder, None };

ImportSource askImportSource(QWidget* window)
{
    QMessageBox question(window);
    question.setWindowTitle(QStringLiteral("Import game data"));
    question.setText(QStringLiteral("Import from the game's XBLA package file (extracted into a folder you choose), "
                                    "or use a folder that already holds the extracted game (Default.xex, vandry.pak, ...)?"));
    question.setIcon(QMessageBox::NoIcon);
    QPushButton* package = question.addButton(QStringLiteral("XBLA package..."), QMessageBox::ActionRole);
    QPushButton* folder = question.addButton(QStringLiteral("Extracted folder..."), QMessageBox::ActionRole);
    question.addButton(QMessageBox::Cancel);
    question.exec();
    if (question.clickedButton() == package)
        return ImportSource::Package;
    if (question.clickedButton() == folder)
        return ImportSource::Folder;
    return ImportSource::None;
}

// Extracts and prepares the package; runs on the worker thread.
void runPackageImport(const QString& packagePath, const QString& target, QProgressDialog* dialog,
                      PackageImportResult& result)
{
    StfsReader reader;
    QString error;
    if (!reader.open(packagePath, &error)) {
        result.error = error;
        return;
    }
    const QList<StfsFileItem> items = reader.fileList();
    for (const StfsFileItem& item : items)
        result.totalBytes += item.size;

    const ExtractProgressFn extractProgress = [dialog](qint64 done, qint64 total, const QString& path) {
        postToDialog(dialog, [dialog, done, total, path] {
            dialog->setMaximum(int(total));
            dialog->setValue(int(done));
            if (!path.isEmpty())
                dialog->setLabelText(QStringLiteral("Extracting %1").arg(path));
        });
    };
    if (!extractAll(reader, target, extractProgress, &error)) {
        result.error = error;
        return;
    }
    const ProgressFn prepareProgress = [dialog](const QString& text) {
        postToDialog(dialog, [dialog, text] {
            dialog->setMaximum(0);
            dialog->setLabelText(text);
        });
    };
    if (!prepareContent(target, prepareProgress, &error)) {
        result.error = error;
        return;
    }
    result.fileCount = items.size();
    result.ok = true;
}

} // namespace

void MainWindow::onImportClicked()
{
    switch (askImportSource(this)) {
    case ImportSource::Folder:
        importExtractedFolder();
        return;
    case ImportSource::None:
        return;
    case ImportSource::Package:
        break;
    }

    const QString packagePath = QFileDialog::getOpenFileName(this, QStringLiteral("Select XBLA package"),
                                                             QDir::homePath(), QStringLiteral("All files (*)"));
    if (packagePath.isEmpty())
        return;
    {
        StfsReader check;
        QString error;
        if (!check.open(packagePath, &error)) {
            QMessageBox::warning(this, kPackageTitle, QStringLiteral("Could not read package:\n%1").arg(error),
                                 QMessageBox::Ok);
            return;
        }
    }
    const QString parent = QFileDialog::getExistingDirectory(this, QStringLiteral("Extract package into"),
                                                             QDir(QDir::homePath()).filePath(QStringLiteral("Games")),
                                                             QFileDialog::ShowDirsOnly);
    if (parent.isEmpty())
        return;
    const QString baseName = QFileInfo(packagePath).completeBaseName();
    const QString root = QDir(parent).filePath(baseName);
    const QString target = QDir(root).filePath(QStringLiteral("gamedata"));

    auto result = std::make_shared<PackageImportResult>();
    QProgressDialog* dialog = showImportProgressDialog(this, kPackageTitle, QStringLiteral("Extracting..."));
    importButton->setEnabled(false);

    QThread* worker = QThread::create([packagePath, target, dialog, result] {
        runPackageImport(packagePath, target, dialog, *result);
    });
    connect(worker, &QThread::finished, this, [this, worker, dialog, result, root, baseName] {
        if (!endImport(worker, dialog))
            return;
        if (!result->ok) {
            QMessageBox::warning(this, kPackageTitle, QStringLiteral("Extraction failed:\n%1").arg(result->error),
                                 QMessageBox::Ok);
            refreshStatus();
            return;
        }
        const QDir rootDir(root);
        if (QFile::exists(rootDir.filePath(QStringLiteral("gamedata/default.xex")))
            || QFile::exists(rootDir.filePath(QStringLiteral("default.xex"))))
            adoptImportedRoot(root);
        refreshStatus();
        statusLabel->setText(QStringLiteral("Imported %1: %2 files, %3 MB extracted")
                                 .arg(baseName, QString::number(result->fileCount),
                                      QString::number(result->totalBytes >> 20)));
    });
    trackImportWorker(worker);
}

void MainWindow::adoptImportedRoot(const QString& root)
{
    rememberGameRoot(profile, root);
    gameRoot = root;
    if (sharedSettings().value(dataRootSettingsKey()).toString().isEmpty())
        dataRoot = root;
}

bool MainWindow::endImport(QThread* worker, QProgressDialog* dialog)
{
    worker->deleteLater();
    dialog->close();
    dialog->deleteLater();
    importButton->setEnabled(true);
    importWorker = nullptr;
    if (quitWhenImportEnds) {
        close();
        return false;
    }
    return true;
}

void MainWindow::trackImportWorker(QThread* worker)
{
    importWorker = worker;
    worker->start(QThread::InheritPriority);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (!importWorker) {
        QMainWindow::closeEvent(event);
        return;
    }
    // A thread must not be destroyed while it runs: ask, then let the worker
    // stop at its next entry or file and close once it has ended.
    event->ignore();
    if (quitWhenImportEnds)
        return;
    QMessageBox question(QMessageBox::Question, profile.windowTitle,
                         QStringLiteral("An import is still running. Stop it and quit? What has been written so far stays on disk."),
                         QMessageBox::NoButton, this);
    QPushButton* stop = question.addButton(QStringLiteral("Stop and quit"), QMessageBox::AcceptRole);
    question.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    question.exec();
    if (question.clickedButton() != stop)
        return;
    if (!importWorker) { // it ended while the question was open
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        return;
    }
    quitWhenImportEnds = true;
    importWorker->requestInterruption();
}
