// The main window: theme, banner, readiness status, the settings page's
// load/save rules, and PLAY end to end with the stand-in runtime.
#include "core/game_data.h"
#include "core/game_profile.h"
#include "core/launch_plan.h"
#include "core/launcher_settings.h"
#include "core/program_files.h"
#include "standin_support.h"
#include "test_support.h"
#include "window/main_window.h"
#include "window/theme.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>

#include <memory>

using namespace testing_support;

namespace {

QString readText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QVariant storedSetting(const char* key)
{
    sharedSettings().sync();
    return sharedSettings().value(QStringLiteral("settings/") + QLatin1String(key));
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<ScratchHome> home;

    MainWindow& openWindow()
    {
        window = std::make_unique<MainWindow>();
        return *window;
    }

private slots:
    void init() { home = std::make_unique<ScratchHome>(); }
    void cleanup()
    {
        window.reset();
        home.reset();
    }

    void themeSubstitutesTheAccent()
    {
        QString sheet;
        QVERIFY(loadThemedStyleSheet(gameProfile(), &sheet));
        QVERIFY(!sheet.contains(QStringLiteral("@ACCENT")));
        const QString hover = QColor(QStringLiteral("#2f8cff")).lighter(118).name();
        QVERIFY(sheet.contains(QStringLiteral("QPushButton#playButton:hover {\n    background: %1;").arg(hover)));
        QVERIFY(!sheet.contains(QStringLiteral("QTabWidget::pane")));

        GameProfile broken = gameProfile();
        broken.accentColor = QStringLiteral("not a colour");
        QVERIFY(loadThemedStyleSheet(broken, &sheet));
        QVERIFY(sheet.contains(QStringLiteral("@ACCENT_HOVER@")) && sheet.contains(QStringLiteral("@ACCENT@;")));
        broken.accentColor.clear();
        QVERIFY(loadThemedStyleSheet(broken, &sheet));
        QVERIFY(sheet.contains(QStringLiteral("@ACCENT@")));

        broken.styleSheetPath = QStringLiteral(":/theme/missing.qss");
        QString untouched = QStringLiteral("kept");
        QVERIFY(!loadThemedStyleSheet(broken, &untouched));
        QCOMPARE(untouched, QStringLiteral("kept"));
    }

    void constructionWritesNothingWithoutGameData()
    {
        MainWindow& w = openWindow();
        QCOMPARE(w.windowTitle(), QStringLiteral("Orvello Launcher"));
        QCOMPARE(w.statusLabel->text(), QStringLiteral("Tessarine Vandry Live: not found"));
        QVERIFY(w.pathLabel->text().isEmpty());
        QVERIFY(!w.playButton->isEnabled());
        QVERIFY(w.commandLabel->text().isEmpty());
        QVERIFY(!QFile::exists(sharedSettings().fileName()));
        // PLAY invoked anyway changes nothing and writes nothing.
        QMetaObject::invokeMethod(&w, "onPlayClicked");
        QVERIFY(w.commandLabel->text().isEmpty());
        QVERIFY(!QFile::exists(sharedSettings().fileName()));
    }

    void statusRows_data()
    {
        QTest::addColumn<QString>("programFolder"); // relative to home; "" = none
        QTest::addColumn<QString>("rootSuffix");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("path");
        QTest::newRow("ready") << "Games/A" << "" << "Tessarine Vandry Live: ready" << "%1";
        QTest::newRow("ready, root with trailing slash") << "Games/A" << "/" << "Tessarine Vandry Live: ready" << "%1";
        QTest::newRow("ready elsewhere") << "Games/B" << ""
                                         << "Tessarine Vandry Live: ready \u2014 data %1, program %2" << "%1";
        QTest::newRow("program files missing") << "" << "" << "Tessarine Vandry Live: program files not found"
                                               << "%1\nSearched for the program set in: %3";
    }

    void statusRows()
    {
        QFETCH(QString, programFolder);
        QFETCH(QString, rootSuffix);
        QFETCH(QString, status);
        QFETCH(QString, path);
        const QString root = QFileInfo(home->filePath(QStringLiteral("Games"))).absoluteFilePath() + "/A";
        makeGameRoot(root);
        QString programDir;
        if (!programFolder.isEmpty()) {
            programDir = QFileInfo(home->path()).canonicalFilePath() + "/" + programFolder;
            makeProgramFiles(programDir);
            if (programFolder != "Games/A")
                makeGameRoot(programDir); // found through the data search
        }
        rememberGameRoot(gameProfile(), root + rootSuffix);
        MainWindow& w = openWindow();
        QCOMPARE(w.gameRoot, root + rootSuffix);
        const QString searched = findProgramFiles(gameProfile(), w.gameRoot).searched.join(", ");
        QCOMPARE(w.statusLabel->text(), status.arg(w.gameRoot, programDir));
        QCOMPARE(w.pathLabel->text(), QString(path).replace("%1", w.gameRoot).replace("%3", searched));
        QVERIFY(w.playButton->isEnabled());
    }

    void dataRootComesFromTheSettingsFile()
    {
        makeGameRoot(home->filePath(QStringLiteral("Games/A")));
        QCOMPARE(openWindow().dataRoot, openWindow().gameRoot);
        sharedSettings().setValue(dataRootSettingsKey(), QStringLiteral("/srv/tvl-data"));
        QCOMPARE(openWindow().dataRoot, QStringLiteral("/srv/tvl-data"));
    }

    void bannerFitsTheLabelWidth()
    {
        MainWindow& w = openWindow();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const int width = w.bannerLabel->width();
        QCOMPARE(w.bannerLabel->pixmap().width(), std::min(width, 2736));
        QCOMPARE(w.bannerLabel->height(), w.bannerLabel->pixmap().height());

        const qint64 before = w.bannerLabel->pixmap().cacheKey();
        w.updateBanner(); // same width: no new pixmap
        QCOMPARE(w.bannerLabel->pixmap().cacheKey(), before);

        w.bannerLabel->resize(1, w.bannerLabel->height());
        w.bannerShownSize = QSize(-1, -1);
        w.updateBanner();
        // Scaled to width 1 the banner is a third of a pixel high: Qt gives
        // an empty pixmap and the label collapses, without any fault.
        QVERIFY(w.bannerLabel->pixmap().width() <= 1);
        QCOMPARE(w.bannerLabel->maximumHeight(), w.bannerLabel->pixmap().height());
        w.bannerLabel->resize(3000, w.bannerLabel->height());
        w.updateBanner();
        QCOMPARE(w.bannerLabel->pixmap().size(), QSize(2736, 912));
        QCOMPARE(w.bannerLabel->height(), 912);
    }

    void outOfRangeValuesAreBroughtIntoRange()
    {
        QSettings& s = sharedSettings();
        s.setValue("settings/frame_limit", 5000);
        s.setValue("settings/resolution_scale", 4);
        s.setValue("settings/upscaling", "fsr");
        s.setValue("settings/swap_post_effect", "sharpen");
        s.setValue("settings/anisotropic_override", 3);
        s.setValue("settings/log_level", "verbose");
        s.setValue("settings/audio_gain", 1.234);
        s.setValue("settings/audio_highpass_hz", 90);
        s.setValue("settings/audio_front_only", true);
        s.setValue("settings/xma_worker", false);
        s.sync();
        MainWindow& w = openWindow();
        QCOMPARE(w.frameLimitSpin->value(), 1000);
        QCOMPARE(w.launchSettings.frame_limit, 5000); // the spin box clamps, the record keeps
        QCOMPARE(w.resolutionCombo->currentText(), QStringLiteral("720p (1x)"));
        QCOMPARE(w.launchSettings.resolution_scale, 1);
        QCOMPARE(w.upscalingCombo->currentText(), QStringLiteral("FSR"));
        QCOMPARE(w.postEffectCombo->currentText(), QStringLiteral("None"));
        QCOMPARE(w.anisotropicCombo->currentText(), QStringLiteral("Game's own"));
        QCOMPARE(w.logLevelCombo->currentText(), QStringLiteral("Info"));
        QCOMPARE(w.audioGainSpin->text(), QStringLiteral("1.23"));
        QCOMPARE(storedSetting("resolution_scale").toInt(), 4); // nothing written yet

        w.vsyncCheck->toggle(); // any change writes the widgets' values
        QCOMPARE(storedSetting("frame_limit").toInt(), 1000);
        QCOMPARE(storedSetting("resolution_scale").toInt(), 1);
        QCOMPARE(storedSetting("upscaling").toString(), QStringLiteral("FSR"));
        QCOMPARE(storedSetting("swap_post_effect").toString(), QStringLiteral("none"));
        QCOMPARE(storedSetting("log_level").toString(), QStringLiteral("info"));
        QCOMPARE(storedSetting("audio_gain").toDouble(), 1.23);
        QCOMPARE(storedSetting("vsync").toBool(), false);
        // Settings without a widget of their own pass through unchanged.
        QCOMPARE(storedSetting("audio_highpass_hz").toInt(), 90);
        QCOMPARE(storedSetting("audio_front_only").toBool(), true);
        QCOMPARE(storedSetting("xma_worker").toBool(), false);
    }

    void everyWidgetSavesItsKey()
    {
        MainWindow& w = openWindow();
        w.resolutionCombo->setCurrentIndex(2);
        QCOMPARE(storedSetting("resolution_scale").toInt(), 3);
        w.upscalingCombo->setCurrentIndex(1);
        QCOMPARE(storedSetting("upscaling").toString(), QStringLiteral("Bilinear"));
        w.postEffectCombo->setCurrentIndex(2);
        QCOMPARE(storedSetting("swap_post_effect").toString(), QStringLiteral("fxaa_extreme"));
        w.anisotropicCombo->setCurrentIndex(1);
        QCOMPARE(storedSetting("anisotropic_override").toInt(), 2);
        w.logLevelCombo->setCurrentIndex(2);
        QCOMPARE(storedSetting("log_level").toString(), QStringLiteral("debug"));

        const QList<std::pair<QCheckBox*, const char*>> checks{
            {w.msaaCheck, "native_2x_msaa"}, {w.asyncShaderCheck, "async_shader_compilation"}, {w.vsyncCheck, "vsync"},
            {w.windowedCheck, "windowed"}, {w.forceStereoCheck, "audio_force_stereo"},
            {w.sparseMemoryCheck, "vulkan_sparse_shared_memory"},
            {w.skipIncompleteCheck, "vulkan_async_skip_incomplete_frames"}};
        for (const auto& [check, key] : checks) {
            check->toggle();
            QCOMPARE(storedSetting(key).toBool(), check->isChecked());
        }
        const QList<std::pair<QSpinBox*, const char*>> spins{
            {w.pipelineThreadsSpin, "vulkan_pipeline_creation_threads"}, {w.frameLimitSpin, "frame_limit"},
            {w.queueFramesSpin, "audio_maxqframes"}, {w.userLanguageSpin, "user_language"},
            {w.userCountrySpin, "user_country"}};
        for (const auto& [spin, key] : spins) {
            QCOMPARE(spin->text(), spin->specialValueText()); // 0 shows its special text
            spin->setValue(7);
            QCOMPARE(storedSetting(key).toInt(), 7);
        }
        w.audioGainSpin->stepUp();
        QCOMPARE(storedSetting("audio_gain").toDouble(), 1.05);
        w.logDirEdit->setText(QStringLiteral("  /logs here  "));
        QCOMPARE(storedSetting("log_dir").toString(), QStringLiteral("/logs here"));
        QCOMPARE(w.logDirEdit->text(), QStringLiteral("  /logs here  "));
        QCOMPARE(w.launchSettings, loadLauncherSettings());
    }

    void openDataFolderFollowsTheSaveDataField()
    {
        MainWindow& w = openWindow();
        QVERIFY(!w.openDataFolderButton->isEnabled());
        w.userDataRootEdit->setText(QStringLiteral("   "));
        QVERIFY(!w.openDataFolderButton->isEnabled());
        QCOMPARE(storedSetting("user_data_root").toString(), QString());
        w.userDataRootEdit->setText(QStringLiteral(" /saves "));
        QVERIFY(w.openDataFolderButton->isEnabled());
        QCOMPARE(storedSetting("user_data_root").toString(), QStringLiteral("/saves"));
    }

    void resetRestoresDefaultsWithoutFurtherSaves()
    {
        sharedSettings().setValue(dataRootSettingsKey(), QStringLiteral("/keep"));
        MainWindow& w = openWindow();
        w.frameLimitSpin->setValue(60);
        w.xmaWorkerCheck->setChecked(false);
        w.userDataRootEdit->setText(QStringLiteral("/saves"));
        const QString file = sharedSettings().fileName();
        const QDateTime before = QFileInfo(file).lastModified();
        QSignalSpy textChanges(w.userDataRootEdit, &QLineEdit::textChanged);
        w.resetButton->click();
        QCOMPARE(textChanges.count(), 0);
        QCOMPARE(w.launchSettings, LauncherSettings());
        QCOMPARE(loadLauncherSettings(), LauncherSettings());
        QCOMPARE(w.frameLimitSpin->value(), 0);
        QVERIFY(w.xmaWorkerCheck->isChecked());
        QVERIFY(!w.openDataFolderButton->isEnabled());
        QCOMPARE(sharedSettings().value(dataRootSettingsKey()).toString(), QStringLiteral("/keep"));
        QVERIFY(QFileInfo(file).lastModified() >= before);
    }

    void playStartsTheGame()
    {
        const QString root = home->filePath(QStringLiteral("Games/Tessarine Vandry"));
        makeGameRoot(root);
        installStandIn(root);
        MainWindow& w = openWindow();
        QCOMPARE(w.statusLabel->text(), QStringLiteral("Tessarine Vandry Live: ready"));
        w.windowedCheck->setChecked(true);
        const QString status = w.statusLabel->text();

        w.playButton->click();
        const QString canonicalRoot = w.gameRoot;
        const LaunchPlan plan = buildLaunchPlan(gameProfile(), w.launchSettings, w.gameRoot, w.dataRoot);
        QCOMPARE(w.commandLabel->text(), QStringLiteral("Launched: ") + plan.commandLine);
        const StandInRecord record = waitForStandInRecord(canonicalRoot + "/logs/game.log");
        QCOMPARE(record.arguments, plan.arguments);
        QVERIFY(record.arguments.contains(QStringLiteral("--fullscreen=false")));
        QCOMPARE(record.workingFolder, canonicalRoot);
        QCOMPARE(record.audioDriver, QStringLiteral("pulseaudio"));
        QCOMPARE(readText(canonicalRoot + "/logs/last-command.txt"), plan.commandLine + "\n");
        QCOMPARE(w.statusLabel->text(), status);
        QVERIFY(w.playButton->isEnabled());
    }

    void playReportsALaunchFailure()
    {
        const QString root = home->filePath(QStringLiteral("Games/A"));
        makeGameRoot(root);
        MainWindow& w = openWindow();
        w.playButton->click();
        QVERIFY(w.commandLabel->text().startsWith(
            QStringLiteral("Launch failed: Game program files not found - tessarine, libkynruntime.so and "
                           "libkyngpu-xenos.so must be together in one folder.\nSearched:\n  ")));
        QVERIFY(QFile::exists(w.gameRoot + "/logs/last-command.txt"));
        QCOMPARE(storedSetting("vsync").toBool(), true); // PLAY saved the settings
    }
};

ORVELLO_TEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
