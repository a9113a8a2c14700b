// The launcher's one top-level window, a view over one LauncherSession: the
// "Game" tab (banner, readiness status, the play line, PLAY, import, result
// of the last launch) and the "Settings" tab, the editor of the session's settings.
#pragma once

#include "core/launcher_session.h"

#include <QMainWindow>

class BannerLabel;
class ImportController;
class PlayLine;
class QLabel;
class QPushButton;
class QWidget;
class SettingsPage;

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // The session the window shows and acts on.
    LauncherSession& session() { return session_; }
    const LauncherSession& session() const { return session_; }

    // Asks the session for a fresh status, looked up off the GUI thread; the
    // status line, the path line and whether PLAY is enabled follow it. A
    // message given is shown on the status line in its place once it comes.
    void refreshStatus(const QString& message = {});
    // The status is being looked up: the status line says so, and PLAY is
    // disabled until it comes.
    bool isLookingForGameData() const { return session_.isLookingForGameData(); }

    // The start-up work that waits until the window's first frame is drawn
    // (or, for a window not shown, until the first turn of the event loop):
    // the game-root search, the settings page's rows and the status. Runs
    // once; later calls do nothing.
    void finishStartup();

private slots:
    void onPlayClicked();
    void onImportClicked();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Game tab
    QWidget* buildGameTab(QWidget* parent);
    void showStatus(const ReadinessStatus& status);
    void showLookingForGameData();

    // Imports: two dialog sequences that hand a job to the one controller
    void importPackage();
    void importExtractedFolder();
    ImportController& importController();

    LauncherSession session_;
    bool startupFinished = false;
    QString messageAfterStatus; // see refreshStatus

    BannerLabel* bannerLabel = nullptr;
    QLabel* statusLabel = nullptr;
    PlayLine* playLine = nullptr;
    QLabel* pathLabel = nullptr;
    QLabel* commandLabel = nullptr;
    QPushButton* playButton = nullptr;
    QPushButton* importButton = nullptr;
    QPushButton* verifyButton = nullptr;

    SettingsPage* settingsPage = nullptr;

    ImportController* imports = nullptr; // made on first use
};
