// The launcher's one top-level window: the "Game" tab (banner, readiness
// status, PLAY, import, result of the last launch) and the "Settings" tab,
// the editor of the launch settings that saves on every change.
#pragma once

#include "core/game_profile.h"
#include "core/launcher_settings.h"

#include <QMainWindow>
#include <QPixmap>
#include <QSize>

class ImportController;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QWidget;

class MainWindow : public QMainWindow {
    Q_OBJECT
    friend class TestMainWindow; // GUI tests drive the widgets directly
    friend class TestImportFlows;

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Recomputes the status line, the path line and whether PLAY is enabled.
    void refreshStatus();

private slots:
    void onPlayClicked();
    void onImportClicked();
    void onSettingsChanged();
    void onResetDefaultsClicked();
    void onBrowseUserDataRoot();
    void onBrowseLogDir();
    void onOpenDataFolder();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Game tab
    QWidget* buildGameTab(QWidget* parent);
    void updateBanner();

    // Settings tab
    QWidget* buildSettingsTab(QWidget* parent);
    void buildGraphicsGroup(QWidget* page);
    void buildAudioGroup(QWidget* page);
    void buildStorageGroup(QWidget* page);
    void buildAdvancedGroup(QWidget* page);
    void addDescribedRow(QFormLayout* form, const QString& label, QWidget* field, const QString& description);
    QWidget* makeBrowseRow(QWidget* parent, QLineEdit* edit, QPushButton* button);
    void connectSettingsWidgets();
    void loadSettingsIntoWidgets();
    LauncherSettings settingsFromWidgets() const;
    void updateOpenDataFolderButton();
    QList<QWidget*> valueWidgets() const;
    void browseForFolder(QLineEdit* edit, const QString& caption);

    // Imports: two dialog sequences that hand a job to the one controller
    void importPackage();
    void importExtractedFolder();
    void adoptImportedRoot(const QString& root);
    ImportController& importController();

    GameProfile profile;
    LauncherSettings launchSettings;
    QString gameRoot;
    QString dataRoot;

    QLabel* bannerLabel = nullptr;
    QPixmap bannerPixmap;
    QSize bannerShownSize{-1, -1};
    QLabel* statusLabel = nullptr;
    QLabel* pathLabel = nullptr;
    QLabel* commandLabel = nullptr;
    QPushButton* playButton = nullptr;
    QPushButton* importButton = nullptr;

    QComboBox* resolutionCombo = nullptr;
    QComboBox* upscalingCombo = nullptr;
    QComboBox* postEffectCombo = nullptr;
    QComboBox* anisotropicCombo = nullptr;
    QCheckBox* msaaCheck = nullptr;
    QCheckBox* asyncShaderCheck = nullptr;
    QSpinBox* pipelineThreadsSpin = nullptr;
    QCheckBox* vsyncCheck = nullptr;
    QSpinBox* frameLimitSpin = nullptr;
    QCheckBox* windowedCheck = nullptr;
    QDoubleSpinBox* audioGainSpin = nullptr;
    QSpinBox* highpassSpin = nullptr;
    QCheckBox* forceStereoCheck = nullptr;
    QCheckBox* frontOnlyCheck = nullptr;
    QSpinBox* queueFramesSpin = nullptr;
    QCheckBox* xmaWorkerCheck = nullptr;
    QLineEdit* userDataRootEdit = nullptr;
    QPushButton* openDataFolderButton = nullptr;
    QLineEdit* logDirEdit = nullptr;
    QComboBox* logLevelCombo = nullptr;
    QCheckBox* sparseMemoryCheck = nullptr;
    QCheckBox* skipIncompleteCheck = nullptr;
    QSpinBox* userLanguageSpin = nullptr;
    QSpinBox* userCountrySpin = nullptr;
    QPushButton* resetButton = nullptr;

    ImportController* imports = nullptr; // made on first use
};
