// MainWindow::importExtractedFolder: the dialogs of adopting a folder that
// already holds the extracted game, prepared in place or as a prepared copy
// by a job of the import controller.
#include "window/main_window.h"

#include "import/import_jobs.h"
#include "import/import_sources.h"
#include "window/import_controller.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace {

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
    question.setWindowTitle(import_texts::folderTitle());
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

} // namespace

void MainWindow::importExtractedFolder()
{
    const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Select extracted game folder"),
                                                             QDir::homePath(), QFileDialog::ShowDirsOnly);
    if (folder.isEmpty())
        return;
    const ExtractedFolder extracted = inspectExtractedFolder(folder);
    if (!extracted.holdsImage) {
        QMessageBox::warning(this, import_texts::folderTitle(), import_texts::noExtractedGame(), QMessageBox::Ok);
        return;
    }

    bool makeCopy = false;
    if (!extracted.readyInPlace()) {
        const Preparation choice = askHowToPrepare(this, folder, extracted.compressed, extracted.writable);
        if (choice == Preparation::Cancelled)
            return;
        makeCopy = choice == Preparation::Copy;
    }

    FolderImportRequest request = inPlaceImportRequest(folder);
    if (makeCopy) {
        const QString parent = QFileDialog::getExistingDirectory(this, QStringLiteral("Create the prepared copy in"),
                                                                 QDir(QDir::homePath()).filePath(QStringLiteral("Games")),
                                                                 QFileDialog::ShowDirsOnly);
        if (parent.isEmpty())
            return;
        request = preparedCopyImportRequest(folder, parent, session_.profile());
        if (QFileInfo::exists(request.target)) {
            QMessageBox::warning(this, import_texts::folderTitle(), import_texts::preparedCopyExists(request.target),
                                 QMessageBox::Ok);
            return;
        }
    }
    const bool showInStatus = !makeCopy && extracted.compressed.isEmpty();

    const auto job = [request, profile = session_.profile()](const ProgressFn& progress) {
        return runFolderImport(request, profile, progress);
    };
    const auto completion = [this, showInStatus](const ImportResult& result) {
        if (!result.succeeded()) {
            QMessageBox::warning(this, import_texts::folderTitle(), import_texts::folderImportFailed(result.error),
                                 QMessageBox::Ok);
            refreshStatus();
            return;
        }
        const QString root = result.adoptedRoot;
        session_.adoptGameRoot(root);
        refreshStatus(showInStatus ? import_texts::usingGameData(root) : QString());
        if (!showInStatus)
            QMessageBox::information(this, import_texts::folderTitle(), import_texts::gameDataReady(root),
                                     QMessageBox::Ok);
    };
    importController().start(import_texts::folderTitle(), QStringLiteral("Preparing..."), job, completion);
}
