// Both import flows end to end, through their real dialogs: a package is
// extracted and prepared and becomes the game root that PLAY uses; an
// extracted folder is prepared in place, as a copy, or refused; failures
// reach the user; Cancel and quitting during an import stop it cleanly.
#include "core/game_data.h"
#include "core/game_profile.h"
#include "core/launcher_settings.h"
#include "dialog_driver.h"
#include "import_fixture.h"
#include "standin_support.h"
#include "test_support.h"
#include "window/import_controller.h"
#include "window/import_progress_dialog.h"
#include "window/main_window.h"

#include <QApplication>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>

#include <memory>
#include <unistd.h>

using namespace testing_support;

namespace {

constexpr int kImportTimeoutMs = 60000;

QString titleOf(const QString& message) { return message.section('|', 0, 0); }
QString textOf(const QString& message) { return message.section('|', 1); }

// A folder made read-only for everyone, root included: a read-only bind
// mount when running as root, plain permissions otherwise.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const QString& folder) : folder_(folder)
    {
        if (geteuid() == 0) {
            mounted_ = QProcess::execute(QStringLiteral("mount"), {"--bind", "-o", "ro", folder, folder}) == 0;
        } else {
            mounted_ = QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
        }
    }
    ~ReadOnlyFolder()
    {
        if (geteuid() == 0 && mounted_)
            QProcess::execute(QStringLiteral("umount"), {folder_});
        else
            QFile::setPermissions(folder_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    bool ok() const { return mounted_ && !QFileInfo(folder_).isWritable(); }

private:
    QString folder_;
    bool mounted_ = false;
};

} // namespace

class TestImportFlows : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ScratchHome> home;
    std::unique_ptr<MainWindow> window;
    QByteArray previousPath;

    MainWindow& openWindow()
    {
        window = std::make_unique<MainWindow>();
        window->show();
        return *window;
    }

    template <typename Widget>
    Widget* child(const char* objectName) const
    {
        auto* widget = window->findChild<Widget*>(QLatin1String(objectName));
        if (!widget)
            qFatal("no %s named %s", Widget::staticMetaObject.className(), objectName);
        return widget;
    }
    QPushButton* importButton() const { return child<QPushButton>("importButton"); }
    QPushButton* playButton() const { return child<QPushButton>("playButton"); }
    QLabel* statusLabel() const { return child<QLabel>("statusLabel"); }

    // Presses the import button and waits until the flow has ended, the
    // status looked up again included.
    void runImport(DialogDriver& driver, const std::function<bool()>& done)
    {
        importButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(driver.finished() && done(), kImportTimeoutMs);
        QTRY_VERIFY(importButton()->isEnabled());
        QTRY_VERIFY(!window->isLookingForGameData());
    }


private slots:
    void initTestCase()
    {
        // The decoder is found on PATH: test programs do not live beside it.
        previousPath = qgetenv("PATH");
    }

    void init()
    {
        home = std::make_unique<ScratchHome>();
        qputenv("PATH", QByteArray(ORVELLO_BIN_DIR) + ':' + previousPath);
    }

    void cleanup()
    {
        window.reset();
        home.reset();
        qputenv("PATH", previousPath);
    }

    void packageImportEndToEnd()
    {
        const GameContent content = makeGameContent();
        const QString package = home->filePath(QStringLiteral("Downloads/TVL Arcade.pkg"));
        writeContentPackage(package, content);
        const QString parent = home->filePath(QStringLiteral("Games"));
        QVERIFY(QDir().mkpath(parent));

        MainWindow& w = openWindow();
        QVERIFY(!playButton()->isEnabled());
        DialogDriver driver;
        driver.click("XBLA package...").choose(package).choose(parent);
        importButton()->click();
        QVERIFY2(!importButton()->isEnabled() || driver.finished(), "the import button is disabled while it runs");
        QTRY_VERIFY_WITH_TIMEOUT(statusLabel()->text().startsWith("Imported"), kImportTimeoutMs);

        const QString root = QDir(parent).filePath(QStringLiteral("TVL Arcade"));
        const qint64 entries = content.files.size() + content.folderCount();
        QCOMPARE(statusLabel()->text(), QStringLiteral("Imported TVL Arcade: %1 files, %2 MB extracted")
                                            .arg(entries).arg(content.storedBytes() >> 20));
        QVERIFY(importButton()->isEnabled());
        QCOMPARE(w.session().gameRoot(), root);
        QCOMPARE(w.session().dataRoot(), root);
        QCOMPARE(sharedSettings().value("detection/4E3D2C71/root").toString(), root);
        verifyDecoded(root + "/gamedata", content);
        QCOMPARE(titleOf(driver.messages.first()), QStringLiteral("Import game data"));

        // PLAY is enabled without a restart and hands the runtime the new data.
        QVERIFY(playButton()->isEnabled());
        installStandIn(root);
        w.refreshStatus();
        QTRY_COMPARE(statusLabel()->text(), QStringLiteral("Tessarine Vandry Live: ready"));
        playButton()->click();
        const StandInRecord record = waitForStandInRecord(root + "/logs/game.log");
        QVERIFY(record.arguments.contains("--game_data_root=" + root + "/gamedata"));
    }

    void packageImportKeepsAConfiguredDataRoot()
    {
        sharedSettings().setValue(dataRootSettingsKey(), QStringLiteral("/srv/tvl"));
        const GameContent content = makeGameContent();
        const QString package = home->filePath(QStringLiteral("TVL")); // no suffix: the whole name is used
        writeContentPackage(package, content);
        const QString parent = home->filePath(QStringLiteral("Games"));
        QVERIFY(QDir().mkpath(parent));
        MainWindow& w = openWindow();
        DialogDriver driver;
        driver.click("XBLA package...").choose(package).choose(parent);
        runImport(driver, [&] { return statusLabel()->text().startsWith("Imported TVL:"); });
        QCOMPARE(w.session().gameRoot(), parent + "/TVL");
        QCOMPARE(w.session().dataRoot(), QStringLiteral("/srv/tvl"));
    }

    void packageThatIsNoPackage()
    {
        const QString notAPackage = home->filePath(QStringLiteral("notes.txt"));
        writeFile(notAPackage, QByteArray("hello, this is text\n").repeated(100));
        MainWindow& w = openWindow();
        DialogDriver driver;
        driver.click("XBLA package...").choose(notAPackage).click("OK");
        runImport(driver, [] { return true; });
        QCOMPARE(driver.messages.last(), QStringLiteral("Import XBLA package|Could not read package:\nNot an STFS package (magic \"hell\")"));
        QVERIFY(w.session().gameRoot().isEmpty());
    }

    void packageWhoseContentFailsToDecode()
    {
        GameContent content = makeGameContent();
        content.files["content/bad.bin"] = {QByteArray::fromHex("0ff512ed0100") + QByteArray(40, '\x11'), {}};
        const QString package = home->filePath(QStringLiteral("broken.pkg"));
        writeContentPackage(package, content);
        MainWindow& w = openWindow();
        DialogDriver driver;
        driver.click("XBLA package...").choose(package).choose(home->path()).click("OK");
        runImport(driver, [] { return true; });
        const QString warning = driver.messages.last();
        QCOMPARE(titleOf(warning), QStringLiteral("Import XBLA package"));
        QVERIFY2(textOf(warning).startsWith("Extraction failed:\nDecompressing content/bad.bin failed (exit "), qPrintable(warning));
        QVERIFY(w.session().gameRoot().isEmpty());
        QCOMPARE(statusLabel()->text(), QStringLiteral("Tessarine Vandry Live: not found"));
        // The file that failed keeps its original bytes.
        QFile bad(home->filePath(QStringLiteral("broken/gamedata/content/bad.bin")));
        QVERIFY(bad.open(QIODevice::ReadOnly));
        QCOMPARE(bad.readAll(), content.files["content/bad.bin"].stored);
    }

    void extractedFolderInPlace()
    {
        const GameContent content = makeGameContent();
        const QString folder = home->filePath(QStringLiteral("Extracted TVL"));
        writeContentFolder(folder, content);
        MainWindow& w = openWindow();
        DialogDriver driver;
        driver.click("Extracted folder...").choose(folder).click("Decompress here").click("OK");
        runImport(driver, [] { return true; });
        QCOMPARE(driver.messages.size(), 3);
        const QString question = textOf(driver.messages.at(1));
        QVERIFY2(question.startsWith("3 of the game's content files are compressed ("), qPrintable(question));
        for (const char* path : {"content/ui/fonts/title.xnb", "content/sound/bank.xwb", "content/levels/level1.dat"})
            QVERIFY(question.contains(QLatin1String(path)));
        QVERIFY(question.endsWith("Decompress them in this folder?"));
        QCOMPARE(driver.messages.last(), "Import game data|Game data ready in:\n" + folder);
        verifyDecoded(folder, content);
        QCOMPARE(w.session().gameRoot(), folder);
        QCOMPARE(sharedSettings().value("detection/4E3D2C71/root").toString(), folder);
    }

    void extractedFolderWithNothingToDoIsAdoptedQuietly()
    {
        const QString folder = home->filePath(QStringLiteral("ready"));
        writeFile(QDir(folder).filePath("Default.xex"), xexImage(QStringLiteral("4E3D2C71")));
        MainWindow& w = openWindow();
        DialogDriver driver;
        driver.click("Extracted folder...").choose(folder);
        runImport(driver, [&] { return w.session().gameRoot() == folder; });
        QCOMPARE(statusLabel()->text(), "Using game data in " + folder);
        QCOMPARE(driver.messages.size(), 1);
        QVERIFY2(QFile::exists(folder + "/default.xex"), "the lower-case image is made beside Default.xex");
    }

    void extractedFolderAsPreparedCopy()
    {
        const GameContent content = makeGameContent();
        const QString folder = home->filePath(QStringLiteral("original"));
        writeContentFolder(folder, content);
        const QString parent = home->filePath(QStringLiteral("Games"));
        QVERIFY(QDir().mkpath(parent));
        MainWindow& w = openWindow();
        DialogDriver driver;
        driver.click("Extracted folder...").choose(folder).click("Make a copy...").choose(parent).click("OK");
        runImport(driver, [] { return true; });
        const QString root = parent + "/TessarineVandryLive";
        QCOMPARE(driver.messages.last(), "Import game data|Game data ready in:\n" + root);
        QCOMPARE(w.session().gameRoot(), root);
        verifyDecoded(root + "/gamedata", content);
        for (auto it = content.files.cbegin(); it != content.files.cend(); ++it) { // the original is untouched
            QFile original(QDir(folder).filePath(it.key()));
            QVERIFY(original.open(QIODevice::ReadOnly));
            QCOMPARE(original.readAll(), it->stored);
        }

        // A second copy into the same place is refused before anything is written.
        DialogDriver again;
        again.click("Extracted folder...").choose(folder).click("Make a copy...").choose(parent).click("OK");
        runImport(again, [] { return true; });
        QCOMPARE(again.messages.last(),
                 "Import game data|" + root + "/gamedata already exists. Choose another location or remove it first.");
    }

    void readOnlyFolderOffersOnlyACopy()
    {
        const GameContent content = makeGameContent();
        const QString folder = home->filePath(QStringLiteral("disc"));
        writeContentFolder(folder, content);
        ReadOnlyFolder readOnly(folder);
        if (!readOnly.ok())
            QSKIP("cannot make a read-only folder here");
        MainWindow& w = openWindow();
        DialogDriver driver;
        driver.click("Extracted folder...").choose(folder).click("Make a copy...").choose(home->path()).click("OK");
        runImport(driver, [] { return true; });
        QCOMPARE(textOf(driver.messages.at(1)),
                 QStringLiteral("This folder is read-only and still needs one-time preparation (decompressing the "
                                "game's content files). Make a prepared copy somewhere else?"));
        QCOMPARE(w.session().gameRoot(), home->filePath(QStringLiteral("TessarineVandryLive")));
        verifyDecoded(w.session().gameRoot() + "/gamedata", content);
    }

    void folderOfAnotherTitleIsRefused()
    {
        const QString folder = home->filePath(QStringLiteral("other"));
        writeFile(QDir(folder).filePath("default.xex"), xexImage(QStringLiteral("41560817")));
        MainWindow& w = openWindow();
        DialogDriver driver;
        driver.click("Extracted folder...").choose(folder).click("OK");
        runImport(driver, [] { return true; });
        QCOMPARE(driver.messages.last(), QStringLiteral("Import game data|Import failed:\nthe folder does not validate as "
                                                        "Tessarine Vandry Live (title 4E3D2C71)."));
        QVERIFY(w.session().gameRoot().isEmpty());
    }

    void folderWithoutImageIsRefused()
    {
        const QString folder = home->filePath(QStringLiteral("empty"));
        QVERIFY(QDir().mkpath(folder));
        openWindow();
        DialogDriver driver;
        driver.click("Extracted folder...").choose(folder).click("OK");
        runImport(driver, [] { return true; });
        QCOMPARE(driver.messages.last(), QStringLiteral("Import game data|That folder does not hold the extracted game (no Default.xex found)."));
    }

    // Quitting and Cancel stop an import the same way: between files, never
    // killing a running decoder, so every file is wholly decoded or untouched.
    void stoppingAnImport_data()
    {
        QTest::addColumn<bool>("byCancel");
        QTest::newRow("Cancel") << true;
        QTest::newRow("closing the window") << false;
    }

    void stoppingAnImport()
    {
        QFETCH(bool, byCancel);
        GameContent content;
        content.files["default.xex"] = {xexImage(QStringLiteral("4E3D2C71")), xexImage(QStringLiteral("4E3D2C71"))};
        for (int i = 0; i < 8; ++i) {
            const QByteArray bytes = QByteArray::number(i).repeated(1000);
            content.files[QStringLiteral("content/file%1.bin").arg(i)] = {rawZorv(bytes), bytes};
        }
        const QString folder = home->filePath(QStringLiteral("slow"));
        writeContentFolder(folder, content);
        // A decoder that takes its time over each raw ZORV file: the import
        // runs for longer than the progress dialog waits before it shows.
        const FakeDecoder decoder(home->filePath(QStringLiteral("slow-bin")), "sleep 0.6\ntail -c +17 \"$1\" > \"$2\"\n");
        MainWindow& w = openWindow();
        DialogDriver driver;
        driver.click("Extracted folder...").choose(folder).click("Decompress here");
        importButton()->click();
        QTRY_VERIFY(driver.finished());

        // The bar counts files while the first ones are decoded, once the
        // dialog has shown itself.
        ImportProgressDialog* dialog = w.findChild<ImportProgressDialog*>();
        QVERIFY(dialog);
        QTRY_VERIFY(dialog->isVisible());
        QTRY_VERIFY(dialog->labelText().startsWith("Decompressing content/file"));
        auto* bar = dialog->findChild<QProgressBar*>();
        QVERIFY(bar);
        QVERIFY2(QRegularExpression(QStringLiteral("^[0-7] of 8$")).match(bar->text()).hasMatch(), qPrintable(bar->text()));

        if (byCancel) {
            auto* cancel = dialog->findChild<QPushButton*>();
            QVERIFY(cancel);
            QCOMPARE(cancel->text(), QStringLiteral("Cancel"));
            driver.click("OK");
            cancel->click();
            QVERIFY2(dialog->isVisible(), "the dialog stays until the import has stopped");
            QVERIFY(!cancel->isEnabled());
            QTRY_VERIFY_WITH_TIMEOUT(driver.finished(), 10000);
            QCOMPARE(driver.messages.last(), QStringLiteral("Import game data|Import failed:\nImport stopped before it finished."));
            QVERIFY(importButton()->isEnabled());
            QVERIFY(w.isVisible());
        } else {
            driver.click("Stop and quit");
            w.close();
            QCOMPARE(textOf(driver.messages.last()),
                     QStringLiteral("An import is still running. Stop it and quit? What has been written so far stays on disk."));
            QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), 10000);
        }
        QVERIFY(!w.findChild<ImportController*>()->isRunning());

        int decoded = 0;
        verifyUntouchedOrDecoded(folder, content, &decoded);
        QVERIFY2(decoded >= 1 && decoded < 8, qPrintable(QString::number(decoded)));
        QVERIFY(w.session().gameRoot().isEmpty());
    }
};

ORVELLO_TEST_MAIN(TestImportFlows)
#include "import_flows_test.moc"
