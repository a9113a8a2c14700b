// The main window: theme, banner, readiness status, the settings page (its
// rows, and its load/save rules, with widgets found by their keys), and PLAY
// end to end with the stand-in runtime under the real supervisor: the play
// line and the last run's outcome as the runs end.
#include "core/game_data.h"
#include "core/game_profile.h"
#include "core/launch_options.h"
#include "core/launch_plan.h"
#include "core/launcher_settings.h"
#include "core/play_journal.h"
#include "core/play_texts.h"
#include "core/program_files.h"
#include "core/settings_table.h"
#include "held_search.h"
#include "launcher_process.h"
#include "play_support.h"
#include "standin_support.h"
#include "test_support.h"
#include "window/banner_label.h"
#include "window/log_dialog.h"
#include "window/main_window.h"
#include "window/settings_page.h"
#include "window/theme.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include <csignal>
#include <memory>

#include <sys/stat.h>

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

// A widget's accessible name, or a button's text when it has none (which is
// what a screen reader then reads).
QString accessibleName(const QWidget* widget)
{
    if (!widget)
        return QStringLiteral("(no focus)");
    if (!widget->accessibleName().isEmpty())
        return widget->accessibleName();
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
        return button->text();
    return QStringLiteral("(unnamed %1)").arg(QLatin1String(widget->metaObject()->className()));
}

// Fills a row's placeholders in one pass, as the status texts are filled.
QString fillPlaceholders(const QString& pattern, const QStringList& values)
{
    QString result;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const int number = i + 1 < pattern.size() && pattern[i] == u'%' ? pattern[i + 1].digitValue() : -1;
        if (number >= 1 && number <= values.size()) {
            result += values[number - 1];
            ++i;
        } else {
            result += pattern[i];
        }
    }
    return result;
}

// Records a label's text each time it is painted.
class PaintRecorder : public QObject {
public:
    PaintRecorder(QLabel* label, QStringList* texts)
        : label(label), texts(texts)
    {
        label->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == label && event->type() == QEvent::Paint)
            *texts << label->text();
        return false;
    }

private:
    QLabel* label;
    QStringList* texts;
};

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<ScratchHome> home;

    // A window whose start-up has run (without waiting for the event loop)
    // and whose game data has been looked up.
    MainWindow& openWindow()
    {
        window = std::make_unique<MainWindow>();
        window->finishStartup();
        waitForTheStatus();
        return *window;
    }

    void waitForTheStatus() const
    {
        if (!QTest::qWaitFor([this] { return !window->isLookingForGameData(); }))
            qFatal("the game data lookup never came back");
    }

    // The open window's value widget for a settings key.
    template <typename Widget>
    Widget* editor(const QString& key) const
    {
        auto* widget = window->findChild<Widget*>(key);
        if (!widget)
            qFatal("no %s value widget named %s", Widget::staticMetaObject.className(), qPrintable(key));
        return widget;
    }

    QPushButton* button(const char* objectName) const
    {
        auto* found = window->findChild<QPushButton*>(QLatin1String(objectName));
        if (!found)
            qFatal("no button named %s", objectName);
        return found;
    }

    QLabel* label(const char* objectName) const
    {
        auto* found = window->findChild<QLabel*>(QLatin1String(objectName));
        if (!found)
            qFatal("no label named %s", objectName);
        return found;
    }

    SettingsPage* page() const
    {
        auto* found = window->findChild<SettingsPage*>();
        if (!found)
            qFatal("no settings page");
        return found;
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
        QCOMPARE(label("statusLabel")->text(), QStringLiteral("Tessarine Vandry Live: not found"));
        QVERIFY(label("pathLabel")->text().isEmpty());
        QVERIFY(!button("playButton")->isEnabled());
        QVERIFY(label("commandLabel")->text().isEmpty());
        QVERIFY(!QFile::exists(sharedSettings().fileName()));
        // PLAY invoked anyway changes nothing and writes nothing.
        QMetaObject::invokeMethod(&w, "onPlayClicked");
        QVERIFY(label("commandLabel")->text().isEmpty());
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
        // %1 = the game root, %2 = the program folder, %3 = the folders searched
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
        QCOMPARE(w.session().gameRoot(), root + rootSuffix);
        const QString searched = findProgramFiles(gameProfile(), w.session().gameRoot()).searched.join(", ");
        QCOMPARE(label("statusLabel")->text(), fillPlaceholders(status, {w.session().gameRoot(), programDir, searched}));
        QCOMPARE(label("pathLabel")->text(), fillPlaceholders(path, {w.session().gameRoot(), programDir, searched}));
        QVERIFY(button("playButton")->isEnabled());
    }

    // Start-up leaves the search, the settings rows and the status to the
    // first turn of the event loop; the results are those of a synchronous start.
    void statusFollowsOnTheFirstTurn()
    {
        const QString root = home->filePath(QStringLiteral("Games/A"));
        makeGameRoot(root);
        makeProgramFiles(root);
        window = std::make_unique<MainWindow>();
        MainWindow& w = *window;
        QVERIFY(label("statusLabel")->text().isEmpty());
        QVERIFY(!button("playButton")->isEnabled());
        QVERIFY(!w.findChild<QWidget*>(QStringLiteral("resolution_scale")));
        QTRY_COMPARE(label("statusLabel")->text(), QStringLiteral("Tessarine Vandry Live: ready"));
        QVERIFY(button("playButton")->isEnabled());
        QCOMPARE(w.session().gameRoot(), QFileInfo(root).canonicalFilePath());
        QCOMPARE(w.session().dataRoot(), w.session().gameRoot());
        QCOMPARE(editor<QComboBox>("resolution_scale")->currentText(), QStringLiteral("720p (1x)"));
        w.finishStartup(); // a second call changes nothing
        QCOMPARE(w.findChildren<QComboBox*>(QStringLiteral("resolution_scale")).size(), 1);
    }

    // A shown window is drawn first: the status label's first paint shows
    // it empty, and the status follows.
    void shownWindowIsDrawnBeforeTheSearch()
    {
        const QString root = home->filePath(QStringLiteral("Games/A"));
        makeGameRoot(root);
        makeProgramFiles(root);
        window = std::make_unique<MainWindow>();
        MainWindow& w = *window;
        QStringList paintedTexts;
        PaintRecorder recorder(label("statusLabel"), &paintedTexts);
        w.show();
        QTRY_COMPARE(label("statusLabel")->text(), QStringLiteral("Tessarine Vandry Live: ready"));
        QVERIFY(!paintedTexts.isEmpty());
        QCOMPARE(paintedTexts.first(), QString());
    }

    // The window keeps answering while the game data is looked up: the
    // status line says so, PLAY waits, events are handled and the other tab
    // can be chosen; then the status comes and PLAY works.
    void aSlowSearchLeavesTheWindowAnswering()
    {
        const QString root = home->filePath(QStringLiteral("Games/Tessarine Vandry"));
        makeGameRoot(root);
        installStandIn(root);
        HeldSearch held;
        window = std::make_unique<MainWindow>();
        MainWindow& w = *window;
        w.session().setGameDataSearch(held.search());
        w.show();
        QTRY_COMPARE(held.entered(), 1); // started once the window was drawn
        QVERIFY(w.isLookingForGameData());
        QCOMPARE(label("statusLabel")->text(), QStringLiteral("Looking for the game data\u2026"));
        QVERIFY(!button("playButton")->isEnabled());

        bool timerFired = false;
        QTimer::singleShot(0, &w, [&] { timerFired = true; });
        QTRY_VERIFY(timerFired);
        auto* tabs = w.findChild<QTabWidget*>();
        QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(1).center());
        QCOMPARE(tabs->currentWidget(), page());
        QCOMPARE(editor<QComboBox>("resolution_scale")->currentText(), QStringLiteral("720p (1x)"));
        QMetaObject::invokeMethod(&w, "onPlayClicked"); // PLAY pressed anyway does nothing
        QVERIFY(label("commandLabel")->text().isEmpty());
        QVERIFY(!QFile::exists(sharedSettings().fileName()));
        QCOMPARE(held.entered(), 1);

        held.release();
        QTRY_COMPARE(label("statusLabel")->text(), QStringLiteral("Tessarine Vandry Live: ready"));
        QVERIFY(!w.isLookingForGameData());
        QCOMPARE(w.session().gameRoot(), QFileInfo(root).canonicalFilePath());
        QCOMPARE(label("pathLabel")->text(), w.session().gameRoot());
        QVERIFY(button("playButton")->isEnabled());
        button("playButton")->click();
        QVERIFY2(label("commandLabel")->text().startsWith(QStringLiteral("Launched: ")),
                 qPrintable(label("commandLabel")->text()));
        waitForStandInRecord(w.session().gameRoot() + "/logs/game.log");
    }

    // A refresh asked for with a message (an import's): the status line
    // says "Looking..." until the status comes, then shows the message.
    void aRefreshShowsItsMessageOnceTheStatusIsIn()
    {
        const QString root = home->filePath(QStringLiteral("Games/A"));
        makeGameRoot(root);
        makeProgramFiles(root);
        MainWindow& w = openWindow();
        HeldSearch held;
        w.session().setGameDataSearch(held.search());
        w.refreshStatus(QStringLiteral("Imported A"));
        QCOMPARE(label("statusLabel")->text(), QStringLiteral("Looking for the game data\u2026"));
        QVERIFY(!button("playButton")->isEnabled());
        held.release();
        QTRY_COMPARE(label("statusLabel")->text(), QStringLiteral("Imported A"));
        QVERIFY(button("playButton")->isEnabled());
        QCOMPARE(label("pathLabel")->text(), w.session().gameRoot());
        w.refreshStatus(); // the message is shown once
        QTRY_COMPARE(label("statusLabel")->text(), QStringLiteral("Tessarine Vandry Live: ready"));
    }

    // A FIFO named default.xex under ~/Games, which a title check that
    // opened it would wait on for ever: the window answers, and the status
    // comes, the FIFO counting as an image whose title cannot be read.
    void aFifoImageDoesNotHoldTheWindow()
    {
        const QString root = home->filePath(QStringLiteral("Games/A"));
        QVERIFY(QDir().mkpath(root));
        QVERIFY(::mkfifo(QFile::encodeName(root + "/default.xex").constData(), 0600) == 0);
        window = std::make_unique<MainWindow>();
        MainWindow& w = *window;
        w.show();
        bool timerFired = false;
        QTimer::singleShot(0, &w, [&] { timerFired = true; });
        QTRY_VERIFY(timerFired);
        QTRY_COMPARE(label("statusLabel")->text(), QStringLiteral("Tessarine Vandry Live: program files not found"));
        QCOMPARE(w.session().gameRoot(), QFileInfo(root).canonicalFilePath());
        QVERIFY(button("playButton")->isEnabled());
    }

    void bannerFitsTheLabelWidth()
    {
        MainWindow& w = openWindow();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        BannerLabel* banner = w.findChild<BannerLabel*>();
        const int width = banner->width();
        QCOMPARE(banner->pixmap().width(), std::min(width, 2736));
        QCOMPARE(banner->pixmap().height(), qRound(912.0 * banner->pixmap().width() / 2736)); // aspect kept
        QCOMPARE(banner->height(), banner->pixmap().height());

        const qint64 before = banner->pixmap().cacheKey();
        banner->fitToWidth(); // same width: no new pixmap
        QCOMPARE(banner->pixmap().cacheKey(), before);

        banner->resize(1, banner->height());
        QCOMPARE(banner->pixmap().width(), 1);
        QCOMPARE(banner->maximumHeight(), banner->pixmap().height());
        banner->resize(3000, banner->height()); // wider than the image: shown at its own size
        QCOMPARE(banner->pixmap().size(), QSize(2736, 912));
        QCOMPARE(banner->height(), 912);
    }

    // A blue 300x100 picture with a red 100x33 copy: the colour shows which
    // file the label read.
    void bannerReadsTheSmallestCopyThatCovers_data()
    {
        QTest::addColumn<QList<int>>("widths"); // the label's widths, one after the other
        QTest::addColumn<QSize>("shown");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("narrower than the copy") << QList<int>{80} << QSize(80, 27) << QColor(Qt::red);
        QTest::newRow("as wide as the copy") << QList<int>{100} << QSize(100, 33) << QColor(Qt::red);
        QTest::newRow("wider than the copy") << QList<int>{150} << QSize(150, 50) << QColor(Qt::blue);
        QTest::newRow("wider than the picture") << QList<int>{400} << QSize(300, 100) << QColor(Qt::blue);
        QTest::newRow("grown past the copy") << QList<int>{80, 150} << QSize(150, 50) << QColor(Qt::blue);
    }

    void bannerReadsTheSmallestCopyThatCovers()
    {
        QFETCH(QList<int>, widths);
        QFETCH(QSize, shown);
        QFETCH(QColor, colour);
        QTemporaryDir dir(scratchTemplate());
        const QString whole = dir.filePath(QStringLiteral("banner.png"));
        const QString copy = dir.filePath(QStringLiteral("banner-100.png"));
        const auto save = [](QSize size, QColor fill, const QString& file) {
            QImage image(size, QImage::Format_RGB32);
            image.fill(fill);
            return image.save(file);
        };
        QVERIFY(save({300, 100}, Qt::blue, whole) && save({100, 33}, Qt::red, copy));

        BannerLabel banner({whole, copy, dir.filePath(QStringLiteral("missing.png"))});
        banner.resize(widths.first(), 10);
        banner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&banner));
        for (int width : widths)
            banner.resize(width, banner.height());
        QCOMPARE(banner.pixmap().size(), shown);
        QCOMPARE(banner.shownSize(), shown);
        QCOMPARE(banner.height(), shown.height());
        QCOMPARE(banner.pixmap().toImage().pixelColor(shown.width() / 2, shown.height() / 2), colour);
    }

    void bannerWithoutAReadableImageStaysEmpty()
    {
        QTemporaryDir dir(scratchTemplate());
        writeFile(dir.filePath(QStringLiteral("banner.png")), "not a picture");
        BannerLabel banner({dir.filePath(QStringLiteral("banner.png")), dir.filePath(QStringLiteral("missing.png"))});
        banner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&banner));
        QVERIFY(banner.pixmap().isNull());
        QCOMPARE(banner.shownSize(), QSize(-1, -1));
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
        s.setValue("settings/user_country", 5000);
        s.setValue("settings/log_dir", "  /logs here  ");
        s.sync();
        MainWindow& w = openWindow();
        // PLAY without a window launches with what the page would give.
        QCOMPARE(page()->settingsFromWidgets(), settings_table::asEdited(w.session().settings()));
        QCOMPARE(editor<QSpinBox>("frame_limit")->value(), 1000);
        QCOMPARE(w.session().settings().frame_limit, 5000); // the spin box clamps, the record keeps
        QCOMPARE(editor<QComboBox>("resolution_scale")->currentText(), QStringLiteral("720p (1x)"));
        QCOMPARE(w.session().settings().resolution_scale, 1);
        QCOMPARE(editor<QComboBox>("upscaling")->currentText(), QStringLiteral("FSR"));
        QCOMPARE(w.session().settings().upscaling, QStringLiteral("FSR"));
        QCOMPARE(editor<QComboBox>("swap_post_effect")->currentText(), QStringLiteral("None"));
        QCOMPARE(editor<QComboBox>("anisotropic_override")->currentText(), QStringLiteral("Game's own"));
        QCOMPARE(editor<QComboBox>("log_level")->currentText(), QStringLiteral("Info"));
        QCOMPARE(editor<QDoubleSpinBox>("audio_gain")->text(), QStringLiteral("1.23"));
        QCOMPARE(storedSetting("resolution_scale").toInt(), 4); // nothing written yet

        editor<QCheckBox>("vsync")->toggle(); // any change writes the widgets' values
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

    void everyWidgetSavesItsKey_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("input"); // combo: item index; check: toggled; else the value put in
        QTest::addColumn<QString>("stored");
        const QList<std::tuple<const char*, QVariant, const char*>> rows{
            {"resolution_scale", 2, "3"},
            {"upscaling", 1, "Bilinear"},
            {"swap_post_effect", 2, "fxaa_extreme"},
            {"anisotropic_override", 1, "2"},
            {"native_2x_msaa", {}, "true"},
            {"async_shader_compilation", {}, "false"},
            {"vulkan_pipeline_creation_threads", 7, "7"},
            {"vsync", {}, "false"},
            {"frame_limit", 144, "144"},
            {"windowed", {}, "true"},
            {"audio_gain", 1.05, "1.05"},
            {"audio_highpass_hz", 120, "120"},
            {"audio_force_stereo", {}, "true"},
            {"audio_front_only", {}, "true"},
            {"audio_maxqframes", 64, "64"},
            {"xma_worker", {}, "false"},
            {"user_data_root", "  /saves here  ", "/saves here"},
            {"log_dir", "  /logs here  ", "/logs here"},
            {"log_level", 2, "debug"},
            {"vulkan_sparse_shared_memory", {}, "true"},
            {"vulkan_async_skip_incomplete_frames", {}, "true"},
            {"user_language", 1033, "1033"},
            {"user_country", 103, "103"},
        };
        for (const auto& [key, input, stored] : rows)
            QTest::newRow(key) << QString::fromLatin1(key) << input << QString::fromLatin1(stored);
    }

    void everyWidgetSavesItsKey()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, input);
        QFETCH(QString, stored);
        MainWindow& w = openWindow();
        QWidget* widget = editor<QWidget>(key);
        if (auto* combo = qobject_cast<QComboBox*>(widget))
            combo->setCurrentIndex(input.toInt());
        else if (auto* check = qobject_cast<QCheckBox*>(widget))
            check->toggle();
        else if (auto* spin = qobject_cast<QSpinBox*>(widget))
            spin->setValue(input.toInt());
        else if (auto* decimal = qobject_cast<QDoubleSpinBox*>(widget))
            decimal->setValue(input.toDouble());
        else if (auto* edit = qobject_cast<QLineEdit*>(widget))
            edit->setText(input.toString());
        else
            QFAIL("unexpected value widget type");
        QCOMPARE(storedSetting(qPrintable(key)).toString(), stored);
        QCOMPARE(w.session().settings(), loadLauncherSettings());
        if (auto* edit = qobject_cast<QLineEdit*>(widget))
            QCOMPARE(edit->text(), input.toString()); // the field keeps what was typed
    }

    void spinBoxesShowTheirSpecialTextAtZero_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("shown");
        QTest::newRow("pipeline threads") << "vulkan_pipeline_creation_threads" << "Default";
        QTest::newRow("frame limit") << "frame_limit" << "Unlimited";
        QTest::newRow("queue frames") << "audio_maxqframes" << "Default";
        QTest::newRow("language") << "user_language" << "Default";
        QTest::newRow("country") << "user_country" << "Default";
    }

    void spinBoxesShowTheirSpecialTextAtZero()
    {
        QFETCH(QString, key);
        QFETCH(QString, shown);
        openWindow();
        QCOMPARE(editor<QSpinBox>(key)->text(), shown);
    }

    // The page as the user sees it: groups, rows and their labels in order.
    void pageShowsItsRowsInOrder()
    {
        openWindow();
        const QList<std::pair<QString, QStringList>> expected{
            {"Graphics",
             {"Resolution scale", "Upscaling", "FXAA", "Anisotropic filtering", "Native 2x MSAA",
              "Async shader compilation", "Pipeline creation threads", "VSync", "Frame limit", "Windowed"}},
            {"Audio", {"Audio gain", "Force stereo", "Audio queue frames"}},
            {"Storage & Logs", {"Save data folder", "", "Log folder", "Log level", ""}},
            {"Advanced", {"Sparse shared memory", "Skip incomplete frames", "User language", "User country"}},
            // the wrapper's problem line sits under its field
            {"Launch", {"Command wrapper", "", "Environment", "PLAY runs"}},
        };
        auto* page = window->findChild<QWidget*>(QStringLiteral("settingsPage"));
        QVERIFY(page);
        const QList<QGroupBox*> groups = page->findChildren<QGroupBox*>(Qt::FindDirectChildrenOnly);
        QCOMPARE(groups.size(), expected.size());
        for (qsizetype g = 0; g < groups.size(); ++g) {
            QCOMPARE(groups[g]->title(), expected[g].first);
            auto* form = qobject_cast<QFormLayout*>(groups[g]->layout());
            QVERIFY(form);
            QStringList labels;
            for (int row = 0; row < form->rowCount(); ++row) {
                QWidget* field = form->itemAt(row, QFormLayout::FieldRole)->widget();
                if (field->objectName() == QLatin1String("descLabel"))
                    continue; // descriptions sit under their rows
                auto* label = qobject_cast<QLabel*>(form->labelForField(field));
                labels << (label ? label->text() : QString());
            }
            QCOMPARE(labels, expected[g].second);
        }
        QCOMPARE(button("openDataFolderButton")->text(), QStringLiteral("Open data folder"));
        QCOMPARE(button("resetButton")->text(), QStringLiteral("Reset to defaults"));
        const QList<QLabel*> pageLabels = page->findChildren<QLabel*>();
        QVERIFY(std::any_of(pageLabels.begin(), pageLabels.end(), [](const QLabel* label) {
            return label->text() == QStringLiteral("Settings file: ") + sharedSettings().fileName();
        }));
    }

    // Each setting of the table has a value widget named by its key, of the
    // editor's kind, in its group, under its row label or hidden.
    void everySettingHasItsWidget()
    {
        openWindow();
        for (const settings_table::Setting& setting : settings_table::settings()) {
            QWidget* widget = editor<QWidget>(setting.key);
            const char* expectedClass = std::visit(
                [](const auto& kind) {
                    using Kind = std::decay_t<decltype(kind)>;
                    if constexpr (std::is_same_v<Kind, settings_table::ChoiceEditor>) return "QComboBox";
                    else if constexpr (std::is_same_v<Kind, settings_table::CheckEditor>) return "QCheckBox";
                    else if constexpr (std::is_same_v<Kind, settings_table::IntegerEditor>) return "QSpinBox";
                    else if constexpr (std::is_same_v<Kind, settings_table::DecimalEditor>) return "QDoubleSpinBox";
                    else return "QLineEdit";
                },
                setting.editor);
            QCOMPARE(widget->metaObject()->className(), expectedClass);
            QGroupBox* group = nullptr;
            for (QWidget* up = widget->parentWidget(); up && !group; up = up->parentWidget())
                group = qobject_cast<QGroupBox*>(up);
            QVERIFY2(group, qPrintable(setting.key));
            QCOMPARE(group->title(), setting.group);
            QCOMPARE(widget->isHidden(), !setting.visible);
            QCOMPARE(widget->accessibleName(), setting.label);
            if (!setting.visible)
                continue;
            auto* form = qobject_cast<QFormLayout*>(group->layout());
            QWidget* field = qobject_cast<QLineEdit*>(widget) ? widget->parentWidget() : widget; // folder rows
            auto* label = qobject_cast<QLabel*>(form->labelForField(field));
            QVERIFY2(label, qPrintable(setting.key));
            QCOMPARE(label->text(), setting.label);
        }
    }

    // Tab from the first setting visits every visible setting in the order
    // of the rows, each folder's "Browse..." right after its field, "Open
    // data folder" under the save data folder, the launch options, then
    // "Reset to defaults".
    void tabWalksTheSettingsInRowOrder()
    {
        MainWindow& w = openWindow();
        editor<QLineEdit>("user_data_root")->setText(QStringLiteral("/saves")); // enables "Open data folder"
        QStringList expected;
        for (const settings_table::Setting& setting : settings_table::settings()) {
            if (!setting.visible)
                continue;
            expected << setting.label;
            if (std::holds_alternative<settings_table::FolderEditor>(setting.editor))
                expected << QStringLiteral("Browse for ") + setting.label;
            if (setting.key == QLatin1String("user_data_root"))
                expected << QStringLiteral("Open data folder");
        }
        expected << QStringLiteral("Command wrapper") << QStringLiteral("Environment")
                 << QStringLiteral("Reset to defaults");

        w.findChild<QTabWidget*>()->setCurrentWidget(page());
        w.show();
        w.activateWindow(); // also where no window manager activates it
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QWidget* first = editor<QWidget>(settings_table::settings().first().key);
        first->setFocus(Qt::TabFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), first);
        QStringList visited{accessibleName(first)};
        while (visited.size() < expected.size()) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << accessibleName(QApplication::focusWidget());
        }
        QCOMPARE(visited, expected);
    }

    void playAndImportAreReachedAndPressedFromTheKeyboard_data()
    {
        QTest::addColumn<bool>("play"); // else the import button
        QTest::addColumn<int>("key");
        QTest::newRow("PLAY by Space") << true << int(Qt::Key_Space);
        QTest::newRow("PLAY by Return") << true << int(Qt::Key_Return);
        QTest::newRow("import by Space") << false << int(Qt::Key_Space);
        QTest::newRow("import by Return") << false << int(Qt::Key_Return);
    }

    void playAndImportAreReachedAndPressedFromTheKeyboard()
    {
        QFETCH(bool, play);
        QFETCH(int, key);
        const QString root = home->filePath(QStringLiteral("Games/Tessarine Vandry"));
        makeGameRoot(root);
        installStandIn(root);
        MainWindow& w = openWindow();
        // The import flow's own dialogs are tested elsewhere: here only the
        // press counts.
        QObject::disconnect(button("importButton"), &QAbstractButton::clicked, nullptr, nullptr);
        QSignalSpy importPresses(button("importButton"), &QAbstractButton::clicked);
        w.show();
        w.activateWindow(); // also where no window manager activates it
        QVERIFY(QTest::qWaitForWindowActive(&w));

        // From the Game tab's tab: PLAY, then the import button.
        auto* tabBar = w.findChild<QTabWidget*>()->tabBar();
        tabBar->setFocus(Qt::TabFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), tabBar);
        QTest::keyClick(tabBar, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), button("playButton"));
        QTest::keyClick(button("playButton"), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), button("importButton"));
        if (play)
            QTest::keyClick(button("importButton"), Qt::Key_Backtab);

        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
        if (!play) {
            QCOMPARE(importPresses.count(), 1);
            QVERIFY(label("commandLabel")->text().isEmpty());
            return;
        }
        QCOMPARE(importPresses.count(), 0);
        const LaunchPlan plan = w.session().launchPlan(w.session().settings());
        QCOMPARE(label("commandLabel")->text(), QStringLiteral("Launched: ") + plan.commandLine);
        QCOMPARE(waitForStandInRecord(w.session().gameRoot() + "/logs/game.log").arguments, plan.arguments);
    }

    void openDataFolderFollowsTheSaveDataField()
    {
        openWindow();
        QPushButton* open = button("openDataFolderButton");
        auto* edit = editor<QLineEdit>("user_data_root");
        QVERIFY(!open->isEnabled());
        edit->setText(QStringLiteral("   "));
        QVERIFY(!open->isEnabled());
        QCOMPARE(storedSetting("user_data_root").toString(), QString());
        edit->setText(QStringLiteral(" /saves "));
        QVERIFY(open->isEnabled());
        QCOMPARE(storedSetting("user_data_root").toString(), QStringLiteral("/saves"));
    }

    void resetRestoresDefaultsWithoutFurtherSaves()
    {
        sharedSettings().setValue(dataRootSettingsKey(), QStringLiteral("/keep"));
        MainWindow& w = openWindow();
        editor<QSpinBox>("frame_limit")->setValue(60);
        editor<QCheckBox>("xma_worker")->setChecked(false);
        editor<QLineEdit>("user_data_root")->setText(QStringLiteral("/saves"));
        const QString file = sharedSettings().fileName();
        const QDateTime before = QFileInfo(file).lastModified();
        QSignalSpy textChanges(editor<QLineEdit>("user_data_root"), &QLineEdit::textChanged);
        QSignalSpy pageChanges(page(), &SettingsPage::settingsChanged);
        button("resetButton")->click();
        QCOMPARE(textChanges.count(), 0);
        QCOMPARE(pageChanges.count(), 0);
        QCOMPARE(w.session().settings(), LauncherSettings());
        QCOMPARE(loadLauncherSettings(), LauncherSettings());
        QCOMPARE(page()->settingsFromWidgets(), LauncherSettings());
        QCOMPARE(editor<QSpinBox>("frame_limit")->value(), 0);
        QVERIFY(editor<QCheckBox>("xma_worker")->isChecked());
        QVERIFY(!button("openDataFolderButton")->isEnabled());
        QCOMPARE(sharedSettings().value(dataRootSettingsKey()).toString(), QStringLiteral("/keep"));
        QVERIFY(QFileInfo(file).lastModified() >= before);
    }

    void playStartsTheGame()
    {
        const QString root = home->filePath(QStringLiteral("Games/Tessarine Vandry"));
        makeGameRoot(root);
        installStandIn(root);
        MainWindow& w = openWindow();
        QCOMPARE(label("statusLabel")->text(), QStringLiteral("Tessarine Vandry Live: ready"));
        editor<QCheckBox>("windowed")->setChecked(true);
        const QString status = label("statusLabel")->text();

        button("playButton")->click();
        const QString canonicalRoot = w.session().gameRoot();
        const LaunchPlan plan = w.session().launchPlan(w.session().settings());
        QCOMPARE(label("commandLabel")->text(), QStringLiteral("Launched: ") + plan.commandLine);
        const StandInRecord record = waitForStandInRecord(canonicalRoot + "/logs/game.log");
        QCOMPARE(record.arguments, plan.arguments);
        QVERIFY(record.arguments.contains(QStringLiteral("--fullscreen=false")));
        QCOMPARE(record.workingFolder, canonicalRoot);
        QCOMPARE(record.audioDriver, QStringLiteral("pulseaudio"));
        QCOMPARE(readText(canonicalRoot + "/logs/last-command.txt"), plan.commandLine + "\n");
        QCOMPARE(label("statusLabel")->text(), status);
        QVERIFY(button("playButton")->isEnabled());
    }

    // Each run shows on the Game tab as it goes and as it ends: a game that
    // fails with exit code 3 after about a second, then one killed by
    // SIGSEGV; each PLAY clears the last outcome, and PLAY stays enabled.
    void theGameTabTellsHowEachRunEnded()
    {
        const QString root = home->filePath(QStringLiteral("Games/Tessarine Vandry"));
        makeGameRoot(root);
        installStandIn(root);
        const ScopedEnv seconds("TESSARINE_STANDIN_SECONDS", "1");
        MainWindow& w = openWindow();
        QCOMPARE(label("playSummaryLabel")->text(), QStringLiteral("Not played yet"));
        const QString journal = w.session().playJournal();
        const struct {
            const char* variable;
            const char* value;
            QString outcome; // %1 = the run's duration
        } runs[] = {
            {"TESSARINE_STANDIN_EXIT_CODE", "3", "The last run ended after %1: exit code 3."},
            {"TESSARINE_STANDIN_SIGNAL", "11", "The last run ended after %1: signal 11 (Segmentation fault)."},
        };
        for (qint64 number = 1; number <= 2; ++number) {
            const auto& game = runs[number - 1];
            const ScopedEnv ending(game.variable, game.value);
            button("playButton")->click();
            QVERIFY(label("commandLabel")->text().startsWith(QStringLiteral("Launched: ")));
            const PlayRun run = *readPlayHistory(journal).lastRun;
            QCOMPARE(run.end, PlayRun::End::Running); // recorded by the time PLAY returns
            QCOMPARE(label("playSummaryLabel")->text(), "Running since " + run.started.toString("HH:mm"));
            QVERIFY2(!label("runOutcomeLabel")->isVisibleTo(window.get()), "PLAY clears the last outcome");
            QVERIFY(button("playButton")->isEnabled());

            const PlayRun ended = *waitForRuns(journal, number, true).lastRun;
            QVERIFY2(ended.durationMs >= 1000, qPrintable(QString::number(ended.durationMs)));
            QTRY_COMPARE(label("runOutcomeLabel")->text(), game.outcome.arg(runDurationText(ended.durationMs)));
            for (QWidget* shown : {static_cast<QWidget*>(label("runOutcomeLabel")), static_cast<QWidget*>(button("showLogButton")),
                                   static_cast<QWidget*>(button("openLogButton"))})
                QVERIFY(shown->isVisibleTo(window.get()));
            QVERIFY2(label("playSummaryLabel")->text().startsWith("Played "), qPrintable(label("playSummaryLabel")->text()));
        }
        QCOMPARE(readPlayHistory(journal).runs, 2);

        // Show log: the log of the settings in force, which the stand-in wrote.
        const QString log = w.session().gameRoot() + "/logs/game.log";
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<LogDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            QCOMPARE(dialog->findChild<QLabel*>("logPathLabel")->text(), log);
            QCOMPARE(dialog->findChild<QPlainTextEdit*>("logView")->toPlainText() + "\n", readText(log));
            dialog->reject();
        });
        button("showLogButton")->click();
    }

    // The window closed while the game runs: the supervisor and the game go
    // on, and the end is still recorded.
    void closingTheWindowLeavesTheGameRunning()
    {
        const QString root = home->filePath(QStringLiteral("Games/Tessarine Vandry"));
        makeGameRoot(root);
        installStandIn(root);
        const ScopedEnv seconds("TESSARINE_STANDIN_SECONDS", "2");
        MainWindow& w = openWindow();
        button("playButton")->click();
        const QString journal = w.session().playJournal();
        const PlayRun run = *waitForRuns(journal, 1, false).lastRun;
        window->close();
        window.reset();
        QVERIFY(processExists(run.identity.supervisor.pid));
        QVERIFY(processExists(run.identity.game.pid));
        QCOMPARE(waitForRuns(journal, 1, true).lastRun->end, PlayRun::End::Exited);

        // A window opened while a run goes shows it, and its end.
        const ScopedEnv longer("TESSARINE_STANDIN_SECONDS", "60");
        {
            MainWindow first;
            first.finishStartup();
            QVERIFY(QTest::qWaitFor([&] { return !first.isLookingForGameData(); }));
            QCOMPARE(first.session().play(first.session().settings()).result, LaunchOutcome::Result::Launched);
        }
        const PlayRun second = *waitForRuns(journal, 2, false).lastRun;
        openWindow();
        QCOMPARE(label("playSummaryLabel")->text(), "Running since " + second.started.toString("HH:mm"));
        QCOMPARE(::kill(pid_t(second.identity.game.pid), SIGKILL), 0);
        QTRY_COMPARE(label("runOutcomeLabel")->text(),
                     "The last run ended after " + runDurationText(readPlayHistory(journal).lastRun->durationMs)
                         + ": signal 9 (Killed).");
    }

    // A run that Steam starts with --play while the window is open shows
    // at once, and so does its end.
    void aRunStartedWithPlayShowsInTheOpenWindow()
    {
        const QString root = home->filePath(QStringLiteral("Games/Tessarine Vandry"));
        makeGameRoot(root);
        installStandIn(root);
        MainWindow& w = openWindow();
        QCOMPARE(label("playSummaryLabel")->text(), QStringLiteral("Not played yet"));
        LauncherStart start;
        start.environment = launcherEnvironment(*home);
        start.environment.insert(QStringLiteral("TESSARINE_STANDIN_SECONDS"), QStringLiteral("60"));
        QProcess steam;
        startLauncher(steam, *home, {"--play"}, start);
        QTRY_VERIFY_WITH_TIMEOUT(label("playSummaryLabel")->text().startsWith("Running since "), 20000);
        QCOMPARE(readPlayHistory(w.session().playJournal()).lastRun->identity.supervisor.pid, steam.processId());
        waitForStandInRecord(w.session().gameRoot() + "/logs/game.log"); // it handles SIGTERM from now on
        QCOMPARE(::kill(pid_t(steam.processId()), SIGTERM), 0); // as Steam stops a game
        QVERIFY(steam.waitForFinished(20000));
        QCOMPARE(steam.exitCode(), 0); // the stand-in ends cleanly on SIGTERM
        QTRY_VERIFY(label("playSummaryLabel")->text().startsWith("Played "));
        QVERIFY(!label("runOutcomeLabel")->isVisibleTo(window.get()));
    }

    // The game folder deleted while the window shows it ready.
    void playWithTheGameFolderRemoved()
    {
        const QString root = home->filePath(QStringLiteral("Games/Tessarine Vandry"));
        makeGameRoot(root);
        installStandIn(root);
        MainWindow& w = openWindow();
        QCOMPARE(label("statusLabel")->text(), QStringLiteral("Tessarine Vandry Live: ready"));
        QVERIFY(QDir(w.session().gameRoot()).removeRecursively());

        button("playButton")->click();
        QCOMPARE(label("commandLabel")->text(), "Launch failed: Game data not found: " + w.session().gameRoot());
        QVERIFY2(!QFileInfo::exists(w.session().gameRoot()), "PLAY made the game folder again");
        QTRY_COMPARE(label("statusLabel")->text(), QStringLiteral("Tessarine Vandry Live: not found"));
        QVERIFY(label("pathLabel")->text().isEmpty());
        QVERIFY(!button("playButton")->isEnabled());
    }

    // The Launch group edits the launch options, saves each change, says
    // under the wrapper why PLAY would refuse it, and shows the whole
    // command that PLAY then runs.
    void launchGroupEditsTheLaunchOptions()
    {
        const QString root = home->filePath(QStringLiteral("Games/Tessarine Vandry"));
        makeGameRoot(root);
        installStandIn(root);
        const QString wrapper = home->filePath(QStringLiteral("bin/record-wrapper"));
        installRecordingWrapper(wrapper);
        MainWindow& w = openWindow();
        auto* wrapperEdit = editor<QLineEdit>("wrapper");
        auto* environment = editor<QPlainTextEdit>("environment");
        QLabel* problem = label("wrapperProblemLabel");
        QLabel* preview = label("commandPreviewLabel");
        QCOMPARE(preview->text(), w.session().launchPlan(w.session().settings()).commandLine);

        wrapperEdit->setText(QStringLiteral("\"gamemoderun %command%"));
        QVERIFY(!problem->isHidden());
        QCOMPARE(problem->text(), QStringLiteral("The command wrapper has an unclosed quote."));
        QCOMPARE(preview->text(), QString());
        wrapperEdit->setText(wrapper + " %command% --after");
        QVERIFY(problem->isHidden());
        environment->setPlainText(QStringLiteral("ORVELLO_PLAYER_ENTRY=on\n\n  SDL_AUDIO_DRIVER=alsa  \n"));
        const LaunchOptions expected{wrapper + " %command% --after", {"ORVELLO_PLAYER_ENTRY=on", "SDL_AUDIO_DRIVER=alsa"}};
        QCOMPARE(w.session().launchOptions(), expected);
        QCOMPARE(loadLaunchOptions(), expected);
        const QString command = w.session().launchPlan(w.session().settings()).commandLine;
        // The game's path holds a space: in the middle of the command it is quoted.
        QVERIFY2(command.startsWith(wrapper + " \"" + w.session().gameRoot() + "/tessarine\" --gpu_plugin=xenos "),
                 qPrintable(command));
        QCOMPARE(preview->text(), command);
        editor<QCheckBox>("windowed")->setChecked(true); // the preview follows the settings too
        QVERIFY(preview->text().contains("--fullscreen=false"));

        button("resetButton")->click(); // resets the settings, not the launch options
        QCOMPARE(loadLaunchOptions(), expected);
        QCOMPARE(wrapperEdit->text(), expected.wrapper);

        button("playButton")->click();
        QCOMPARE(label("commandLabel")->text(), "Launched: " + preview->text());
        QCOMPARE(waitForWrapperRecord(wrapper).arguments.last(), QStringLiteral("--after"));
        QCOMPARE(waitForStandInRecord(w.session().gameRoot() + "/logs/game.log").audioDriver, QStringLiteral("alsa"));
        QVERIFY(!qEnvironmentVariableIsSet("ORVELLO_PLAYER_ENTRY"));

        // Shown again in a new window, as saved.
        openWindow();
        QCOMPARE(editor<QLineEdit>("wrapper")->text(), expected.wrapper);
        QCOMPARE(editor<QPlainTextEdit>("environment")->toPlainText(),
                 QStringLiteral("ORVELLO_PLAYER_ENTRY=on\nSDL_AUDIO_DRIVER=alsa"));
    }

    void launchPreviewWaitsForTheGameData()
    {
        openWindow();
        QCOMPARE(label("commandPreviewLabel")->text(), QStringLiteral("(the game's command, once its data is found)"));
    }

    void playReportsALaunchFailure()
    {
        const QString root = home->filePath(QStringLiteral("Games/A"));
        makeGameRoot(root);
        MainWindow& w = openWindow();
        button("playButton")->click();
        QVERIFY(label("commandLabel")->text().startsWith(
            QStringLiteral("Launch failed: Game program files not found - tessarine, libkynruntime.so and "
                           "libkyngpu-xenos.so must be together in one folder.\nSearched:\n  ")));
        QVERIFY(QFile::exists(w.session().gameRoot() + "/logs/last-command.txt"));
        QCOMPARE(storedSetting("vsync").toBool(), true); // PLAY saved the settings
    }
};

ORVELLO_TEST_MAIN(TestMainWindow)
#include "main_window_test.moc"
