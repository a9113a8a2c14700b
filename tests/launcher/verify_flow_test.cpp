// The "Verify game files" button end to end, through its real dialogs: a
// damaged file is named and repaired from the package, a gone package is
// named instead of offering a repair, a folder without checksums records
// them, and Cancel stops a verify.
#include "core/game_profile.h"
#include "dialog_driver.h"
#include "import/game_manifest.h"
#include "imported_game.h"
#include "test_support.h"
#include "window/import_controller.h"
#include "window/import_progress_dialog.h"
#include "window/main_window.h"

#include <QPushButton>

#include <memory>

using namespace testing_support;

namespace {

constexpr int kFlowTimeoutMs = 60000;

const QString kTitle = QStringLiteral("Verify game files|");
const QString kDamaged = QStringLiteral("gamedata/content/levels/level1.dat");

} // namespace

class TestVerifyFlow : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ScratchHome> home;
    std::unique_ptr<ScopedEnv> path;
    std::unique_ptr<MainWindow> window;
    GameContent content;
    QString package;
    QString root;

    // The test content imported from a package into ~/Games/Game, with the
    // program files beside it, shown in a window that uses it.
    void openWindowOnImportedGame()
    {
        ImportedGame game;
        importTestGame(*home, game);
        content = game.content;
        package = game.package;
        root = game.root;

        window = std::make_unique<MainWindow>();
        window->show();
        window->finishStartup();
        window->session().adoptGameRoot(root);
        QVERIFY(verifyButton()->isEnabled());
    }

    QPushButton* verifyButton() const
    {
        auto* button = window->findChild<QPushButton*>(QStringLiteral("verifyButton"));
        if (!button)
            qFatal("no verify button");
        return button;
    }

    // Presses the button and waits until every scripted dialog is answered
    // and nothing runs any more.
    void verify(DialogDriver& driver)
    {
        verifyButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(driver.finished() && !window->findChild<ImportController*>()->isRunning(),
                                 kFlowTimeoutMs);
        QTRY_VERIFY(verifyButton()->isEnabled());
    }

private slots:
    void init()
    {
        home = std::make_unique<ScratchHome>();
        // The decoder is found on PATH: test programs do not live beside it.
        path = std::make_unique<ScopedEnv>("PATH", QByteArray(ORVELLO_BIN_DIR) + ":/usr/bin:/bin");
    }

    void cleanup()
    {
        window.reset();
        path.reset();
        home.reset();
    }

    // Enabled only while a game root is known.
    void theButtonNeedsAGameRoot()
    {
        window = std::make_unique<MainWindow>();
        window->finishStartup();
        QVERIFY(window->session().gameRoot().isEmpty());
        QVERIFY(!verifyButton()->isEnabled());
        QCOMPARE(verifyButton()->text(), QStringLiteral("Verify game files"));
    }

    // A compressed file damaged on disk: named, repaired from the package
    // (extracted and decoded again), and then everything matches.
    void aDamagedFileIsRepaired()
    {
        openWindowOnImportedGame();
        flipByte(QDir(root).filePath(kDamaged), 10);
        DialogDriver driver;
        driver.click("Repair").click("OK");
        verify(driver);
        QCOMPARE(driver.messages, (QStringList{kTitle + "1 of 6 files do not match:\n  " + kDamaged + " (damaged)",
                                               kTitle + "Repaired 1 files."}));
        QCOMPARE(readBytes(QDir(root).filePath(kDamaged)), content.files["content/levels/level1.dat"].decoded);

        DialogDriver again;
        again.click("OK");
        verify(again);
        QCOMPARE(again.messages, QStringList{kTitle + "All 6 files match."});
    }

    // Without its package there is nothing to repair from: the message says
    // so, and offers no Repair.
    void aGonePackageIsNamed()
    {
        openWindowOnImportedGame();
        QVERIFY(QFile::remove(QDir(root).filePath(kDamaged)));
        QVERIFY(QFile::remove(package));
        DialogDriver driver;
        driver.click("OK");
        verify(driver);
        QCOMPARE(driver.messages, QStringList{kTitle + "1 of 6 files do not match:\n  " + kDamaged + " (missing)\n\n"
                                              "The package " + package + " is no longer there. Import it again to "
                                              "repair the game folder."});
    }

    // Data from before checksums were kept: recorded on request, after which
    // a verify compares with them.
    void checksumsAreRecordedOnRequest()
    {
        openWindowOnImportedGame();
        QVERIFY(QFile::remove(game_manifest::manifestPath(root)));
        DialogDriver driver;
        driver.click("Record them now").click("OK");
        verify(driver);
        QCOMPARE(driver.messages, (QStringList{kTitle + "No checksums were recorded for this game folder.",
                                               kTitle + "Recorded the checksums of 6 files."}));
        DialogDriver again;
        again.click("OK");
        verify(again);
        QCOMPARE(again.messages, QStringList{kTitle + "All 6 files match."});
    }

    // A verify long enough for the dialog to show (a 64 GiB file, sparse,
    // listed in the manifest): Cancel stops it within one piece of the file,
    // and the message says it stopped.
    void cancelStopsAVerify()
    {
        openWindowOnImportedGame();
        const QString huge = QDir(root).filePath(QStringLiteral("gamedata/huge.bin"));
        QFile file(huge);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(qint64(64) << 30));
        file.close();
        QFile manifest(game_manifest::manifestPath(root));
        QVERIFY(manifest.open(QIODevice::Append));
        manifest.write(QByteArray(64, '0') + "  gamedata/huge.bin\n");
        manifest.close();

        DialogDriver driver;
        verifyButton()->click();
        ImportProgressDialog* dialog = window->findChild<ImportProgressDialog*>();
        QVERIFY(dialog);
        QTRY_VERIFY_WITH_TIMEOUT(dialog->isVisible(), 10000);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Verify game files"));
        QTRY_VERIFY(dialog->labelText().startsWith("Checking gamedata/"));
        auto* cancel = dialog->findChild<QPushButton*>();
        QVERIFY(cancel);
        driver.click("OK");
        cancel->click();
        QTRY_VERIFY_WITH_TIMEOUT(driver.finished(), 10000);
        QCOMPARE(driver.messages, QStringList{kTitle + "Verification stopped before it finished."});
        QVERIFY(!window->findChild<ImportController*>()->isRunning());
        QTRY_VERIFY(verifyButton()->isEnabled());
    }
};

ORVELLO_TEST_MAIN(TestVerifyFlow)
#include "verify_flow_test.moc"
