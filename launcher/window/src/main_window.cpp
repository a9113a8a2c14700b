// MainWindow: construction, the Game tab, the banner, the readiness status,
// saving the settings page's changes, and PLAY. The Settings tab is its own
// widget (settings_page.cpp); the import flows live in package_import.cpp
// and folder_import.cpp.
#include "window/main_window.h"

#include "core/game_data.h"
#include "core/game_launch.h"
#include "core/launch_plan.h"
#include "core/program_files.h"
#include "core/shared_memory_cleanup.h"
#include "window/settings_page.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QVBoxLayout>

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent), profile(gameProfile())
{
    setWindowTitle(profile.windowTitle);
    resize(640, 540);

    launchSettings = loadLauncherSettings();
    gameRoot = resolveGameRoot(profile);
    dataRoot = sharedSettings().value(dataRootSettingsKey()).toString();
    if (dataRoot.isEmpty())
        dataRoot = gameRoot;

    auto* tabs = new QTabWidget(this);
    setCentralWidget(tabs);
    tabs->addTab(buildGameTab(tabs), QStringLiteral("Game"));
    settingsPage = new SettingsPage(tabs);
    tabs->addTab(settingsPage, QStringLiteral("Settings"));
    // Shown without reporting changes, so that building the window writes nothing.
    settingsPage->showSettings(launchSettings);
    connect(settingsPage, &SettingsPage::settingsChanged, this, &MainWindow::onSettingsChanged);
    connect(settingsPage, &SettingsPage::resetRequested, this, &MainWindow::onResetDefaultsClicked);
    refreshStatus();
}

MainWindow::~MainWindow() = default;

QWidget* MainWindow::buildGameTab(QWidget* parent)
{
    auto* page = new QWidget(parent);
    page->setObjectName(QStringLiteral("gameTab"));
    auto* layout = new QVBoxLayout(page);

    bannerLabel = new QLabel(page);
    bannerLabel->setObjectName(QStringLiteral("bannerLabel"));
    bannerLabel->setAlignment(Qt::AlignCenter);
    bannerPixmap.load(QStringLiteral(":/assets/banner.png"));
    layout->addWidget(bannerLabel);

    statusLabel = new QLabel(page);
    statusLabel->setObjectName(QStringLiteral("statusLabel"));
    pathLabel = new QLabel(page);
    pathLabel->setWordWrap(true);
    playButton = new QPushButton(QStringLiteral("PLAY"), page);
    playButton->setObjectName(QStringLiteral("playButton"));
    importButton = new QPushButton(QStringLiteral("Import game data (XBLA package / folder)..."), page);
    // A focused PLAY or import button is pressed by Return as well as Space.
    for (QPushButton* button : {playButton, importButton})
        button->setAutoDefault(true);
    commandLabel = new QLabel(page);
    commandLabel->setObjectName(QStringLiteral("commandLabel"));
    commandLabel->setWordWrap(true);
    commandLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    // Paths and commands are shown as they are, never read as markup.
    for (QLabel* label : {statusLabel, pathLabel, commandLabel})
        label->setTextFormat(Qt::PlainText);

    for (QWidget* widget : {static_cast<QWidget*>(statusLabel), static_cast<QWidget*>(pathLabel),
                            static_cast<QWidget*>(playButton), static_cast<QWidget*>(importButton),
                            static_cast<QWidget*>(commandLabel)})
        layout->addWidget(widget);
    layout->addStretch(0);

    connect(playButton, &QPushButton::clicked, this, &MainWindow::onPlayClicked);
    connect(importButton, &QPushButton::clicked, this, &MainWindow::onImportClicked);
    return page;
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    updateBanner();
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    updateBanner();
}

void MainWindow::updateBanner()
{
    if (!bannerLabel || bannerPixmap.isNull())
        return;
    const int targetWidth = std::max(bannerLabel->width(), 1);
    // Only ever scaled down; a wider label shows the image at its own size.
    const QPixmap shown = targetWidth < bannerPixmap.width()
                              ? bannerPixmap.scaledToWidth(targetWidth, Qt::SmoothTransformation)
                              : bannerPixmap;
    if (shown.size() == bannerShownSize && !bannerLabel->pixmap().isNull())
        return;
    bannerLabel->setFixedHeight(shown.height());
    bannerLabel->setPixmap(shown);
    bannerShownSize = shown.size();
}

void MainWindow::refreshStatus()
{
    const QString& name = profile.displayName;
    if (gameRoot.isEmpty()) {
        statusLabel->setText(QStringLiteral("%1: not found").arg(name));
        pathLabel->clear();
        playButton->setEnabled(false);
        return;
    }
    playButton->setEnabled(true);
    const ProgramFilesResult programFiles = findProgramFiles(profile, gameRoot);
    if (!programFiles.found) {
        statusLabel->setText(QStringLiteral("%1: program files not found").arg(name));
        pathLabel->setText(QStringLiteral("%1\nSearched for the program set in: %2")
                               .arg(gameRoot, programFiles.searched.join(QStringLiteral(", "))));
        return;
    }
    if (QDir::cleanPath(gameRoot) == programFiles.programDir)
        statusLabel->setText(QStringLiteral("%1: ready").arg(name));
    else
        statusLabel->setText(QStringLiteral("%1: ready \u2014 data %2, program %3")
                                 .arg(name, gameRoot, programFiles.programDir));
    pathLabel->setText(gameRoot);
}

void MainWindow::onPlayClicked()
{
    if (gameRoot.isEmpty())
        return;
    launchSettings = settingsPage->settingsFromWidgets();
    saveSettings();
    if (dataRoot.isEmpty())
        dataRoot = gameRoot;

    const LaunchPlan plan = buildLaunchPlan(profile, launchSettings, gameRoot, dataRoot);
    removeStaleSharedMemory(profile);
    QString error;
    if (launchGame(plan, &error))
        commandLabel->setText(QStringLiteral("Launched: %1").arg(plan.commandLine));
    else
        commandLabel->setText(QStringLiteral("Launch failed: %1").arg(error));
}

void MainWindow::onSettingsChanged()
{
    launchSettings = settingsPage->settingsFromWidgets();
    saveSettings();
}

void MainWindow::onResetDefaultsClicked()
{
    launchSettings = LauncherSettings();
    saveSettings();
    settingsPage->showSettings(launchSettings);
}

// A failed save loses nothing: the launcher goes on with launchSettings in
// memory, and the Settings page says why the file was not written.
void MainWindow::saveSettings()
{
    QString whyNot;
    saveLauncherSettings(launchSettings, &whyNot);
    settingsPage->showSaveProblem(whyNot);
}
