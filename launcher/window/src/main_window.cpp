// MainWindow: construction, the Game tab, the status rows and PLAY, each a
// view of the session. The banner (banner_label.cpp) and the Settings tab
// (settings_page.cpp) are widgets of their own; the import flows live in
// package_import.cpp and folder_import.cpp.
#include "window/main_window.h"

#include "window/banner_label.h"
#include "window/play_line.h"
#include "window/settings_page.h"
#include "window/verify_flow.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <utility>

namespace {

// The banner and the smaller copies of it that the resources may carry
// (every ":/assets/banner*.png" is the same picture).
QStringList bannerCopies()
{
    const QDir assets(QStringLiteral(":/assets"));
    QStringList files;
    for (const QString& name : assets.entryList({QStringLiteral("banner*.png")}, QDir::Files))
        files << assets.filePath(name);
    return files;
}

} // namespace

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent)
{
    setWindowTitle(session_.profile().windowTitle);
    resize(640, 540);

    auto* tabs = new QTabWidget(this);
    setCentralWidget(tabs);
    tabs->addTab(buildGameTab(tabs), QStringLiteral("Game"));
    settingsPage = new SettingsPage(session_, tabs);
    tabs->addTab(settingsPage, QStringLiteral("Settings"));
    playButton->setEnabled(false); // until the status is known
    new VerifyFlow(verifyButton, session_, importController(), this);
    connect(&session_, &LauncherSession::statusChanged, this, &MainWindow::showStatus);
    connect(&session_, &LauncherSession::lookupStarted, this, &MainWindow::showLookingForGameData);

    // A shown window finishes when it has been drawn (see eventFilter).
    QTimer::singleShot(0, this, [this] {
        if (!isVisible())
            finishStartup();
    });
}

void MainWindow::finishStartup()
{
    if (startupFinished)
        return;
    startupFinished = true;
    // The search runs while the rows are made; it takes no game root when an import came first.
    session_.lookUpGameData();

    settingsPage->addRows();
    // Shown without reporting changes, so that starting writes no settings.
    settingsPage->showSettings(session_.settings());
    settingsPage->showLaunchOptions(session_.launchOptions());
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!startupFinished && windowHandle())
        windowHandle()->installEventFilter(this);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == windowHandle() && event->type() == QEvent::Expose && windowHandle()->isExposed()) {
        windowHandle()->removeEventFilter(this);
        // Qt draws the window while it handles this event; the search and
        // the settings rows come on the next turn, after the first frame.
        QTimer::singleShot(0, this, &MainWindow::finishStartup);
    }
    return QMainWindow::eventFilter(watched, event);
}

// The pages view the session, which as a member goes before the window's
// children would: they go first.
MainWindow::~MainWindow()
{
    delete takeCentralWidget();
}

QWidget* MainWindow::buildGameTab(QWidget* parent)
{
    auto* page = new QWidget(parent);
    page->setObjectName(QStringLiteral("gameTab"));
    auto* layout = new QVBoxLayout(page);

    bannerLabel = new BannerLabel(bannerCopies(), page);
    layout->addWidget(bannerLabel);

    statusLabel = new QLabel(page);
    statusLabel->setObjectName(QStringLiteral("statusLabel"));
    playLine = new PlayLine(session_, page);
    pathLabel = new QLabel(page);
    pathLabel->setObjectName(QStringLiteral("pathLabel"));
    pathLabel->setWordWrap(true);
    playButton = new QPushButton(QStringLiteral("PLAY"), page);
    playButton->setObjectName(QStringLiteral("playButton"));
    importButton = new QPushButton(QStringLiteral("Import game data (XBLA package / folder)..."), page);
    importButton->setObjectName(QStringLiteral("importButton"));
    verifyButton = new QPushButton(QStringLiteral("Verify game files"), page);
    verifyButton->setObjectName(QStringLiteral("verifyButton"));
    // A focused PLAY, import or verify button is pressed by Return as well as Space.
    for (QPushButton* button : {playButton, importButton, verifyButton})
        button->setAutoDefault(true);
    commandLabel = new QLabel(page);
    commandLabel->setObjectName(QStringLiteral("commandLabel"));
    commandLabel->setWordWrap(true);
    commandLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    // Paths and commands are shown as they are, never read as markup.
    for (QLabel* label : {statusLabel, pathLabel, commandLabel})
        label->setTextFormat(Qt::PlainText);

    for (QWidget* widget : {static_cast<QWidget*>(statusLabel), static_cast<QWidget*>(playLine),
                            static_cast<QWidget*>(pathLabel),
                            static_cast<QWidget*>(playButton), static_cast<QWidget*>(importButton),
                            static_cast<QWidget*>(verifyButton),
                            static_cast<QWidget*>(commandLabel)})
        layout->addWidget(widget);
    layout->addStretch(0);

    connect(playButton, &QPushButton::clicked, this, &MainWindow::onPlayClicked);
    connect(importButton, &QPushButton::clicked, this, &MainWindow::onImportClicked);
    return page;
}

void MainWindow::refreshStatus(const QString& message)
{
    messageAfterStatus = message;
    session_.lookUpStatus(); // statusChanged shows it
}

void MainWindow::showLookingForGameData()
{
    statusLabel->setText(QStringLiteral("Looking for the game data\u2026"));
    playButton->setEnabled(false);
}

void MainWindow::showStatus(const ReadinessStatus& status)
{
    const QString& name = session_.profile().displayName;
    // PLAY stays enabled without the program files: the launch says what is missing.
    playButton->setEnabled(status.readiness != ReadinessStatus::Readiness::NotFound);
    switch (status.readiness) {
    case ReadinessStatus::Readiness::NotFound:
        statusLabel->setText(QStringLiteral("%1: not found").arg(name));
        pathLabel->clear();
        break;
    case ReadinessStatus::Readiness::ProgramFilesNotFound:
        statusLabel->setText(QStringLiteral("%1: program files not found").arg(name));
        pathLabel->setText(QStringLiteral("%1\nSearched for the program set in: %2")
                               .arg(status.gameRoot, status.programFiles.searched.join(QStringLiteral(", "))));
        break;
    case ReadinessStatus::Readiness::Ready:
        if (status.programFilesInGameRoot())
            statusLabel->setText(QStringLiteral("%1: ready").arg(name));
        else
            statusLabel->setText(QStringLiteral("%1: ready \u2014 data %2, program %3")
                                     .arg(name, status.gameRoot, status.programFiles.programDir));
        pathLabel->setText(status.gameRoot);
        break;
    }
    if (!messageAfterStatus.isEmpty())
        statusLabel->setText(std::exchange(messageAfterStatus, QString()));
}

void MainWindow::onPlayClicked()
{
    const LaunchOutcome outcome = session_.play(settingsPage->settingsFromWidgets());
    if (outcome.result != LaunchOutcome::Result::NotAttempted)
        commandLabel->setText(outcome.text());
}
