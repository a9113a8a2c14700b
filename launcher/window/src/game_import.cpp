// MainWindow's import entry points: the question that picks the package or
// the folder flow, the import controller they share, and closing the window
// while an import runs.
#include "window/main_window.h"

#include "window/import_controller.h"

#include <QCloseEvent>
#include <QMessageBox>
#include <QPushButton>

namespace {

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

} // namespace

void MainWindow::onImportClicked()
{
    switch (askImportSource(this)) {
    case ImportSource::Package:
        importPackage();
        break;
    case ImportSource::Folder:
        importExtractedFolder();
        break;
    case ImportSource::None:
        break;
    }
}

ImportController& MainWindow::importController()
{
    if (!imports) {
        imports = new ImportController(this, session_.profile().windowTitle);
        // Together with the window-modal progress dialog this keeps a second
        // import from starting while one runs.
        connect(imports, &ImportController::runningChanged, importButton,
                [this](bool running) { importButton->setEnabled(!running); });
    }
    return *imports;
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (imports && !imports->mayCloseWindow()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}
