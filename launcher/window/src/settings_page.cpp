// MainWindow's "Settings" tab: one value widget per launch setting, saved on
// every change, with folder pickers, "Open data folder" and a reset.
#include "window/main_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QSpinBox>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QComboBox* comboWithItems(QWidget* parent, const QList<std::pair<QString, QVariant>>& items)
{
    auto* combo = new QComboBox(parent);
    for (const auto& [text, data] : items)
        combo->addItem(text, data);
    return combo;
}

QSpinBox* spinBox(QWidget* parent, int minimum, int maximum, const QString& specialValueText = {})
{
    auto* spin = new QSpinBox(parent);
    spin->setRange(minimum, maximum);
    spin->setSpecialValueText(specialValueText);
    return spin;
}

// Selects the item whose data equals the stored value. A value no item
// carries selects item 0 and is replaced by item 0's data.
template <typename T>
void selectByData(QComboBox* combo, T& value)
{
    int index = combo->findData(QVariant::fromValue(value), Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0) {
        index = 0;
        value = combo->itemData(0).value<T>();
    }
    combo->setCurrentIndex(index);
}

QGroupBox* groupOnPage(QWidget* page, const QString& title, QFormLayout** form)
{
    auto* group = new QGroupBox(title, page);
    *form = new QFormLayout(group);
    page->layout()->addWidget(group);
    return group;
}

} // namespace

QWidget* MainWindow::buildSettingsTab(QWidget* parent)
{
    auto* scroll = new QScrollArea(parent);
    scroll->setWidgetResizable(true);
    auto* page = new QWidget(scroll);
    page->setObjectName(QStringLiteral("settingsPage"));
    auto* layout = new QVBoxLayout(page);

    buildGraphicsGroup(page);
    buildAudioGroup(page);
    buildStorageGroup(page);
    buildAdvancedGroup(page);

    resetButton = new QPushButton(QStringLiteral("Reset to defaults"), page);
    layout->addWidget(resetButton);
    connect(resetButton, &QPushButton::clicked, this, &MainWindow::onResetDefaultsClicked);
    layout->addStretch(0);

    scroll->setWidget(page);
    return scroll;
}

void MainWindow::buildGraphicsGroup(QWidget* page)
{
    QFormLayout* form = nullptr;
    QGroupBox* group = groupOnPage(page, QStringLiteral("Graphics"), &form);

    resolutionCombo = comboWithItems(group, {{QStringLiteral("720p (1x)"), 1}, {QStringLiteral("1440p (2x)"), 2},
                                             {QStringLiteral("2160p (3x)"), 3}});
    addDescribedRow(form, QStringLiteral("Resolution scale"), resolutionCombo,
                    QStringLiteral("Internal render resolution: 1x = 720p, 2x = 1440p, 3x = 2160p. Higher is sharper and costs GPU."));

    upscalingCombo = comboWithItems(group, {{QStringLiteral("FSR"), {}}, {QStringLiteral("Bilinear"), {}}});
    addDescribedRow(form, QStringLiteral("Upscaling"), upscalingCombo,
                    QStringLiteral("How the image is upscaled to your display. AMD FSR sharpens while upscaling; Bilinear is softer and cheaper."));

    postEffectCombo = comboWithItems(group, {{QStringLiteral("None"), QStringLiteral("none")},
                                             {QStringLiteral("FXAA"), QStringLiteral("fxaa")},
                                             {QStringLiteral("FXAA Extreme"), QStringLiteral("fxaa_extreme")}});
    addDescribedRow(form, QStringLiteral("FXAA"), postEffectCombo,
                    QStringLiteral("Post-process anti-aliasing that smooths jagged edges. FXAA Extreme is stronger and a touch softer."));

    anisotropicCombo = comboWithItems(group, {{QStringLiteral("Game's own"), 0}, {QStringLiteral("2x"), 2},
                                              {QStringLiteral("4x"), 4}, {QStringLiteral("8x"), 8},
                                              {QStringLiteral("16x"), 16}});
    addDescribedRow(form, QStringLiteral("Anisotropic filtering"), anisotropicCombo,
                    QStringLiteral("Texture filtering for surfaces at an angle (floors, roads). 16x is sharpest; Game's own leaves each texture's filtering as the game set it."));

    msaaCheck = new QCheckBox(group);
    addDescribedRow(form, QStringLiteral("Native 2x MSAA"), msaaCheck,
                    QStringLiteral("Renders with 2x multisample anti-aliasing. Cleaner edges than FXAA at a higher GPU cost."));

    asyncShaderCheck = new QCheckBox(group);
    addDescribedRow(form, QStringLiteral("Async shader compilation"), asyncShaderCheck,
                    QStringLiteral("Compile shaders in the background. On: fewer long hitches, brief pop-in possible while shaders finish. Off: everything compiles up front."));

    pipelineThreadsSpin = spinBox(group, 0, 32, QStringLiteral("Default"));
    addDescribedRow(form, QStringLiteral("Pipeline creation threads"), pipelineThreadsSpin,
                    QStringLiteral("CPU threads used to build graphics pipelines. 0 = runtime default. More can reduce load-time hitching on many-core CPUs."));

    vsyncCheck = new QCheckBox(group);
    addDescribedRow(form, QStringLiteral("VSync"), vsyncCheck,
                    QStringLiteral("Match frame output to your display's refresh. On: no tearing, slightly more input lag. Off: fastest, may tear."));

    frameLimitSpin = spinBox(group, 0, 1000, QStringLiteral("Unlimited"));
    frameLimitSpin->setSuffix(QStringLiteral(" fps"));
    addDescribedRow(form, QStringLiteral("Frame limit"), frameLimitSpin,
                    QStringLiteral("Cap the frame rate. 0 = unlimited. Matching your monitor's refresh (e.g. 75) is a good middle ground."));

    windowedCheck = new QCheckBox(group);
    addDescribedRow(form, QStringLiteral("Windowed"), windowedCheck, QStringLiteral("Run fullscreen or in a window."));
}

void MainWindow::buildAudioGroup(QWidget* page)
{
    QFormLayout* form = nullptr;
    QGroupBox* group = groupOnPage(page, QStringLiteral("Audio"), &form);

    audioGainSpin = new QDoubleSpinBox(group);
    audioGainSpin->setRange(0.0, 2.0);
    audioGainSpin->setSingleStep(0.05);
    audioGainSpin->setDecimals(2);
    addDescribedRow(form, QStringLiteral("Audio gain"), audioGainSpin,
                    QStringLiteral("Master volume. 1.00 is the game's original level."));

    // Settings without a visible widget: kept in the group so that they take
    // part in loading and saving and pass through unchanged.
    highpassSpin = spinBox(group, 0, 500);
    highpassSpin->setSuffix(QStringLiteral(" Hz"));
    frontOnlyCheck = new QCheckBox(group);
    xmaWorkerCheck = new QCheckBox(group);
    for (QWidget* hidden : {static_cast<QWidget*>(highpassSpin), static_cast<QWidget*>(frontOnlyCheck),
                            static_cast<QWidget*>(xmaWorkerCheck)})
        hidden->hide();

    forceStereoCheck = new QCheckBox(group);
    addDescribedRow(form, QStringLiteral("Force stereo"), forceStereoCheck,
                    QStringLiteral("Downmix surround to stereo. Useful on stereo speakers/headphones with odd channel mapping."));

    queueFramesSpin = spinBox(group, 0, 1024, QStringLiteral("Default"));
    addDescribedRow(form, QStringLiteral("Audio queue frames"), queueFramesSpin,
                    QStringLiteral("Audio buffering depth. 0 = runtime default. Raise it if you hear crackling or dropouts."));
}

void MainWindow::buildStorageGroup(QWidget* page)
{
    QFormLayout* form = nullptr;
    QGroupBox* group = groupOnPage(page, QStringLiteral("Storage & Logs"), &form);

    userDataRootEdit = new QLineEdit(group);
    userDataRootEdit->setPlaceholderText(QStringLiteral("(game default)"));
    auto* browseUserDataRoot = new QPushButton(QStringLiteral("Browse..."), group);
    addDescribedRow(form, QStringLiteral("Save data folder"), makeBrowseRow(group, userDataRootEdit, browseUserDataRoot),
                    QStringLiteral("Where saves and profile data live. Empty = the game's default (~/.local/share). Changing this starts with a fresh profile - your old saves stay in the previous folder, untouched."));

    openDataFolderButton = new QPushButton(QStringLiteral("Open data folder"), group);
    form->addRow(QString(), openDataFolderButton);

    logDirEdit = new QLineEdit(group);
    logDirEdit->setPlaceholderText(QStringLiteral("(logs folder next to the game data)"));
    auto* browseLogDir = new QPushButton(QStringLiteral("Browse..."), group);
    addDescribedRow(form, QStringLiteral("Log folder"), makeBrowseRow(group, logDirEdit, browseLogDir),
                    QStringLiteral("Where the game's log file goes. Empty = a logs folder next to the game data."));

    logLevelCombo = comboWithItems(group, {{QStringLiteral("Info"), QStringLiteral("info")},
                                           {QStringLiteral("Off"), QStringLiteral("off")},
                                           {QStringLiteral("Debug"), QStringLiteral("debug")}});
    addDescribedRow(form, QStringLiteral("Log level"), logLevelCombo,
                    QStringLiteral("How much the game writes to its log. Debug is very verbose and can slow the game; use it when diagnosing."));

    auto* settingsFileLabel = new QLabel(QStringLiteral("Settings file: %1").arg(sharedSettings().fileName()), group);
    settingsFileLabel->setTextFormat(Qt::PlainText);
    settingsFileLabel->setWordWrap(true);
    settingsFileLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    settingsFileLabel->setStyleSheet(QStringLiteral("color: #7f7f7f;"));
    form->addRow(QString(), settingsFileLabel);

    connect(browseUserDataRoot, &QPushButton::clicked, this, &MainWindow::onBrowseUserDataRoot);
    connect(browseLogDir, &QPushButton::clicked, this, &MainWindow::onBrowseLogDir);
    connect(openDataFolderButton, &QPushButton::clicked, this, &MainWindow::onOpenDataFolder);
}

void MainWindow::buildAdvancedGroup(QWidget* page)
{
    QFormLayout* form = nullptr;
    QGroupBox* group = groupOnPage(page, QStringLiteral("Advanced"), &form);

    sparseMemoryCheck = new QCheckBox(group);
    addDescribedRow(form, QStringLiteral("Sparse shared memory"), sparseMemoryCheck,
                    QStringLiteral("Vulkan sparse shared memory. Leave OFF: it can black-screen on AMD/RADV. Only for experimenting."));

    skipIncompleteCheck = new QCheckBox(group);
    addDescribedRow(form, QStringLiteral("Skip incomplete frames"), skipIncompleteCheck,
                    QStringLiteral("Present frames before their shaders finish compiling. Can stall this engine family at the title screen - leave OFF unless testing."));

    userLanguageSpin = spinBox(group, 0, 99999, QStringLiteral("Default"));
    addDescribedRow(form, QStringLiteral("User language"), userLanguageSpin,
                    QStringLiteral("Locale ID the game sees for its profile language. 0 = runtime default."));

    userCountrySpin = spinBox(group, 0, 999, QStringLiteral("Default"));
    addDescribedRow(form, QStringLiteral("User country"), userCountrySpin,
                    QStringLiteral("Country ID the game sees. 0 = runtime default."));
}

void MainWindow::addDescribedRow(QFormLayout* form, const QString& label, QWidget* field, const QString& description)
{
    form->addRow(label, field);
    if (description.isEmpty())
        return;
    auto* descLabel = new QLabel(description, field->parentWidget());
    descLabel->setWordWrap(true);
    descLabel->setObjectName(QStringLiteral("descLabel"));
    form->addRow(QString(), descLabel);
}

QWidget* MainWindow::makeBrowseRow(QWidget* parent, QLineEdit* edit, QPushButton* button)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(edit, 1);
    layout->addWidget(button, 0);
    return row;
}

QList<QWidget*> MainWindow::valueWidgets() const
{
    return {resolutionCombo, upscalingCombo, postEffectCombo, anisotropicCombo, msaaCheck, asyncShaderCheck,
            pipelineThreadsSpin, vsyncCheck, frameLimitSpin, windowedCheck, audioGainSpin, highpassSpin,
            forceStereoCheck, frontOnlyCheck, queueFramesSpin, xmaWorkerCheck, userDataRootEdit, logDirEdit,
            logLevelCombo, sparseMemoryCheck, skipIncompleteCheck, userLanguageSpin, userCountrySpin};
}

void MainWindow::connectSettingsWidgets()
{
    // Every value widget reports its changes here; the argument is ignored.
    const auto changed = [this] { onSettingsChanged(); };
    for (QComboBox* combo : {resolutionCombo, upscalingCombo})
        connect(combo, &QComboBox::currentTextChanged, this, changed);
    for (QComboBox* combo : {postEffectCombo, anisotropicCombo, logLevelCombo})
        connect(combo, &QComboBox::currentIndexChanged, this, changed);
    for (QCheckBox* check : {msaaCheck, asyncShaderCheck, vsyncCheck, windowedCheck, forceStereoCheck, frontOnlyCheck,
                             xmaWorkerCheck, sparseMemoryCheck, skipIncompleteCheck})
        connect(check, &QAbstractButton::toggled, this, changed);
    for (QSpinBox* spin : {pipelineThreadsSpin, frameLimitSpin, highpassSpin, queueFramesSpin, userLanguageSpin,
                           userCountrySpin})
        connect(spin, &QSpinBox::valueChanged, this, changed);
    connect(audioGainSpin, &QDoubleSpinBox::valueChanged, this, changed);
    for (QLineEdit* edit : {userDataRootEdit, logDirEdit})
        connect(edit, &QLineEdit::textChanged, this, changed);
}

void MainWindow::loadSettingsIntoWidgets()
{
    const QList<QWidget*> widgets = valueWidgets();
    QList<bool> wasBlocked;
    for (QWidget* widget : widgets)
        wasBlocked << widget->blockSignals(true);

    LauncherSettings& s = launchSettings;
    selectByData(resolutionCombo, s.resolution_scale);
    if (upscalingCombo->findText(s.upscaling, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0)
        s.upscaling = upscalingCombo->itemText(0);
    upscalingCombo->setCurrentText(s.upscaling);
    selectByData(postEffectCombo, s.swap_post_effect);
    selectByData(anisotropicCombo, s.anisotropic_override);

    msaaCheck->setChecked(s.native_2x_msaa);
    asyncShaderCheck->setChecked(s.async_shader_compilation);
    pipelineThreadsSpin->setValue(s.vulkan_pipeline_creation_threads);
    vsyncCheck->setChecked(s.vsync);
    frameLimitSpin->setValue(s.frame_limit);
    windowedCheck->setChecked(s.windowed);
    audioGainSpin->setValue(s.audio_gain);
    highpassSpin->setValue(s.audio_highpass_hz);
    forceStereoCheck->setChecked(s.audio_force_stereo);
    frontOnlyCheck->setChecked(s.audio_front_only);
    queueFramesSpin->setValue(s.audio_maxqframes);
    xmaWorkerCheck->setChecked(s.xma_worker);
    userDataRootEdit->setText(s.user_data_root);
    logDirEdit->setText(s.log_dir);
    sparseMemoryCheck->setChecked(s.vulkan_sparse_shared_memory);
    skipIncompleteCheck->setChecked(s.vulkan_async_skip_incomplete_frames);
    userLanguageSpin->setValue(s.user_language);
    userCountrySpin->setValue(s.user_country);
    selectByData(logLevelCombo, s.log_level);

    updateOpenDataFolderButton();
    for (qsizetype i = 0; i < widgets.size(); ++i)
        widgets[i]->blockSignals(wasBlocked[i]);
}

LauncherSettings MainWindow::settingsFromWidgets() const
{
    LauncherSettings s;
    s.resolution_scale = resolutionCombo->currentData().toInt();
    s.upscaling = upscalingCombo->currentText();
    s.swap_post_effect = postEffectCombo->currentData().toString();
    s.anisotropic_override = anisotropicCombo->currentData().toInt();
    s.native_2x_msaa = msaaCheck->isChecked();
    s.async_shader_compilation = asyncShaderCheck->isChecked();
    s.vulkan_pipeline_creation_threads = pipelineThreadsSpin->value();
    s.vsync = vsyncCheck->isChecked();
    s.frame_limit = frameLimitSpin->value();
    s.windowed = windowedCheck->isChecked();
    s.audio_gain = audioGainSpin->value();
    s.audio_highpass_hz = highpassSpin->value();
    s.audio_force_stereo = forceStereoCheck->isChecked();
    s.audio_front_only = frontOnlyCheck->isChecked();
    s.audio_maxqframes = queueFramesSpin->value();
    s.xma_worker = xmaWorkerCheck->isChecked();
    s.user_data_root = userDataRootEdit->text().trimmed();
    s.log_dir = logDirEdit->text().trimmed();
    s.log_level = logLevelCombo->currentData().toString();
    s.vulkan_sparse_shared_memory = sparseMemoryCheck->isChecked();
    s.vulkan_async_skip_incomplete_frames = skipIncompleteCheck->isChecked();
    s.user_language = userLanguageSpin->value();
    s.user_country = userCountrySpin->value();
    return s;
}

void MainWindow::updateOpenDataFolderButton()
{
    openDataFolderButton->setEnabled(!userDataRootEdit->text().trimmed().isEmpty());
}

void MainWindow::onSettingsChanged()
{
    launchSettings = settingsFromWidgets();
    saveLauncherSettings(launchSettings);
    updateOpenDataFolderButton();
}

void MainWindow::onResetDefaultsClicked()
{
    launchSettings = LauncherSettings();
    saveLauncherSettings(launchSettings);
    loadSettingsIntoWidgets();
}

void MainWindow::browseForFolder(QLineEdit* edit, const QString& caption)
{
    const QString start = edit->text().isEmpty() ? QDir::homePath() : edit->text();
    const QString chosen = QFileDialog::getExistingDirectory(this, caption, start, QFileDialog::ShowDirsOnly);
    if (!chosen.isEmpty())
        edit->setText(chosen); // textChanged saves it
}

void MainWindow::onBrowseUserDataRoot()
{
    browseForFolder(userDataRootEdit, QStringLiteral("Save data folder"));
}

void MainWindow::onBrowseLogDir()
{
    browseForFolder(logDirEdit, QStringLiteral("Log folder"));
}

void MainWindow::onOpenDataFolder()
{
    const QString path = userDataRootEdit->text().trimmed();
    if (path.isEmpty())
        return;
    QDir().mkpath(path);
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}
