// The launcher's one top-level window: the "Game" tab (banner, readiness
// status, PLAY, import, result of the last launch) and the "Settings" tab,
// the editor of the launch settings that saves on every change.
#pragma once

#include "core/game_profile.h"
#include "core/launcher_settings.h"

#include <QMainWindow>

class BannerLabel;
class ImportController;
class QLabel;
class QPushButton;
class QWidget;
class SettingsPage;

class MainWindow : public QMainWindow {
    Q_OBJECT
    friend class TestMainWindow; // GUI tests drive the widgets directly
    friend class TestImportFlows;

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Recomputes the status line, the path line and whether PLAY is enabled.
    void refreshStatus();

    // The start-up work that waits until the window's first frame is drawn
    // (or, for a window not shown, until the first turn of the event loop):
    // the game-root search, the settings page's rows and the status. Runs
    // once; later calls do nothing.
    void finishStartup();

private slots:
    void onPlayClicked();
    void onImportClicked();
    void onSettingsChanged();
    void onResetDefaultsClicked();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Game tab
    QWidget* buildGameTab(QWidget* parent);

    // Writes launchSettings; the Settings page shows a failure's reason.
    void saveSettings();

    // Imports: two dialog sequences that hand a job to the one controller
    void importPackage();
    void importExtractedFolder();
    void adoptImportedRoot(const QString& root);
    ImportController& importController();

    bool startupFinished = false;
    GameProfile profile;
    LauncherSettings launchSettings;
    QString gameRoot;
    QString dataRoot;

    BannerLabel* bannerLabel = nullptr;
    QLabel* statusLabel = nullptr;
    QLabel* pathLabel = nullptr;
    QLabel* commandLabel = nullptr;
    QPushButton* playButton = nullptr;
    QPushButton* importButton = nullptr;

    SettingsPage* settingsPage = nullptr;

    ImportController* imports = nullptr; // made on first use
};
