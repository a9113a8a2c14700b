// MainWindow::importExtractedFolder: adopting a folder that already holds
// the extracted game, prepared in place or as a prepared copy, on a worker
// thread.
#include "window/main_window.h"

#include "core/game_data.h"
#include "import/content_preparation.h"
#include "window/import_worker.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

#include <memory>

namespace {

const QString kFolderTitle = QStringLiteral("Import game data");

struct FolderImportResult {
    bool ok = false;
    QString error;
};

enum class Preparation { InPlace, Copy, Cancelled };

QStringList relativePaths(const QString& folder, const QStringList& paths)
{
    const QDir dir(folder);
    QStringList relative;
    for (const QString& path : paths)
        relative << dir.relativeFilePath(path);
    return relative;
}

Preparation askHowToPrepare(QWidget* window, const QString& folder, const QStringList& compressed, bool writable)
{
    QMessageBox question(window);
    question.setWindowTitle(kFolderTitle);
    question.setIcon(QMessageBox::NoIcon);
    QPushButton* here = nullptr;
    if (writable) {
        question.setText(QStringLiteral("%1 of the game's content files are compressed (%2). The Xbox 360 decompresses "
                                        "them on the fly; this port needs them decompressed once.\n\nDecompress them in this folder?")
                             .arg(QString::number(compressed.size()),
                                  relativePaths(folder, compressed).join(QStringLiteral(", "))));
        here = question.addButton(QStringLiteral("Decompress here"), QMessageBox::AcceptRole);
    } else {
        question.setText(QStringLiteral("This folder is read-only and still needs one-time preparation (decompressing the "
                                        "game's content files). Make a prepared copy somewhere else?"));
    }
    QPushButton* copy = question.addButton(QStringLiteral("Make a copy..."), QMessageBox::ActionRole);
    question.addButton(QMessageBox::Cancel);
    question.setDefaultButton(here ? here : copy);
    question.exec();
    if (here && question.clickedButton() == here)
        return Preparation::InPlace;
    if (question.clickedButton() == copy)
        return Preparation::Copy;
    return Preparation::Cancelled;
}

// Copies (when asked) and prepares; runs on the worker thread.
void runFolderImport(const QString& source, const QString& target, bool makeCopy, QProgressDialog* dialog,
                     FolderImportResult& result)
{
    const ProgressFn progress = [dialog](const QString& text) {
        postToDialog(dialog, [dialog, text] { dialog->setLabelText(text); });
    };
    QString error;
    const bool ok = (!makeCopy || copyFolder(source, target, progress, &error)) && prepareContent(target, progress, &error);
    if (ok)
        result.ok = true;
    else
        result.error = error;
}

} // namespace

void MainWindow::importExtractedFolder()
{
    const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Select extracted game folder"),
                                                             QDir::homePath(), QFileDialog::ShowDirsOnly);
    if (folder.isEmpty())
        return;
    const QDir folderDir(folder);
    const bool lowerPresent = QFileInfo::exists(folderDir.filePath(QStringLiteral("default.xex")));
    if (!lowerPresent && !QFileInfo::exists(folderDir.filePath(QStringLiteral("Default.xex")))) {
        QMessageBox::warning(this, kFolderTitle,
                             QStringLiteral("That folder does not hold the extracted game (no Default.xex found)."),
                             QMessageBox::Ok);
        return;
    }
    const QStringList compressed = listCompressedFiles(folder);
    const bool writable = QFileInfo(folder).isWritable();

    bool makeCopy = false;
    if (!compressed.isEmpty() || (!lowerPresent && !writable)) {
        const Preparation choice = askHowToPrepare(this, folder, compressed, writable);
        if (choice == Preparation::Cancelled)
            return;
        makeCopy = choice == Preparation::Copy;
    }

    QString root = folder;
    QString target = folder;
    if (makeCopy) {
        const QString parent = QFileDialog::getExistingDirectory(this, QStringLiteral("Create the prepared copy in"),
                                                                 QDir(QDir::homePath()).filePath(QStringLiteral("Games")),
                                                                 QFileDialog::ShowDirsOnly);
        if (parent.isEmpty())
            return;
        root = QDir(parent).filePath(QStringLiteral("TessarineVandryLive"));
        target = QDir(root).filePath(QStringLiteral("gamedata"));
        if (QFileInfo::exists(target)) {
            QMessageBox::warning(this, kFolderTitle,
                                 QStringLiteral("%1 already exists. Choose another location or remove it first.").arg(target),
                                 QMessageBox::Ok);
            return;
        }
    }

    auto result = std::make_shared<FolderImportResult>();
    QProgressDialog* dialog = showImportProgressDialog(this, kFolderTitle, QStringLiteral("Preparing..."));
    importButton->setEnabled(false);
    const bool showInStatus = !makeCopy && compressed.isEmpty();

    QThread* worker = QThread::create([folder, target, makeCopy, dialog, result] {
        runFolderImport(folder, target, makeCopy, dialog, *result);
    });
    connect(worker, &QThread::finished, this, [this, worker, dialog, result, root, showInStatus] {
        if (!endImport(worker, dialog))
            return;
        if (result->ok && checkGameTitle(profile, root)) {
            adoptImportedRoot(root);
            refreshStatus();
            if (showInStatus)
                statusLabel->setText(QStringLiteral("Using game data in %1").arg(root));
            else
                QMessageBox::information(this, kFolderTitle, QStringLiteral("Game data ready in:\n%1").arg(root),
                                         QMessageBox::Ok);
            return;
        }
        const QString reason = !result->error.isEmpty()
                                   ? result->error
                                   : QStringLiteral("the folder does not validate as Tessarine Vandry Live (title %1).")
                                         .arg(profile.titleId);
        QMessageBox::warning(this, kFolderTitle, QStringLiteral("Import failed:\n%1").arg(reason), QMessageBox::Ok);
        refreshStatus();
    });
    trackImportWorker(worker);
}
