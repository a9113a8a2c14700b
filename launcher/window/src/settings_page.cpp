// The "Settings" tab, built by walking the settings table: one group box per
// group, one row per visible setting, the hidden ones kept in their group
// without a row so that they pass through load and save unchanged.
#include "window/settings_page.h"

#include "core/launcher_session.h"
#include "core/settings_table.h"
#include "window/wheel_guard.h"

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
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QUrl>
#include <QVBoxLayout>

using namespace settings_table;

namespace {

template <typename... Handlers>
struct Overloaded : Handlers... {
    using Handlers::operator()...;
};

const QString kUserDataRootKey = QStringLiteral("user_data_root");

// Rows that are no setting, each placed under the row of the setting named.
struct ExtraRow {
    const char* afterKey;
    void (SettingsPage::*add)(QFormLayout*, QGroupBox*);
};

// Shows a stored value in a combo box; a value no item carries selects item
// 0. (The session's settings always hold a value an item carries.)
void selectItem(QComboBox* combo, const QVariant& value, const ChoiceEditor& choice)
{
    const Qt::MatchFlags exactly = Qt::MatchExactly | Qt::MatchCaseSensitive;
    const int index = choice.storesText() ? combo->findText(value.toString(), exactly)
                                          : combo->findData(value, Qt::UserRole, exactly);
    combo->setCurrentIndex(std::max(index, 0));
}

} // namespace

SettingsPage::SettingsPage(LauncherSession& session, QWidget* parent)
    : QScrollArea(parent), session(session), wheelGuard(new WheelGuard(this))
{
    setWidgetResizable(true);
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("settingsPage"));
    new QVBoxLayout(page);
    setWidget(page);
}

void SettingsPage::addRows()
{
    if (resetButton)
        return; // built already
    QWidget* page = widget();
    for (const QString& title : groups())
        buildGroup(page, title);
    buildLaunchGroup(page);

    resetButton = new QPushButton(QStringLiteral("Reset to defaults"), page);
    resetButton->setObjectName(QStringLiteral("resetButton"));
    auto* layout = static_cast<QVBoxLayout*>(page->layout());
    layout->addWidget(resetButton);
    connect(resetButton, &QPushButton::clicked, this, &SettingsPage::resetToDefaults);
    layout->addStretch(0);
}

void SettingsPage::buildGroup(QWidget* page, const QString& title)
{
    static const ExtraRow kExtraRows[] = {
        {"user_data_root", &SettingsPage::addOpenDataFolderRow},
        {"log_level", &SettingsPage::addSettingsFileRow},
    };

    auto* group = new QGroupBox(title, page);
    auto* form = new QFormLayout(group);
    page->layout()->addWidget(group);
    for (const Setting& setting : settings()) {
        if (setting.group != title)
            continue;
        QWidget* field = createEditor(setting, group);
        if (!setting.visible) {
            field->hide();
            continue;
        }
        addDescribedRow(form, setting.label, field, setting.description);
        for (const ExtraRow& extra : kExtraRows) {
            if (setting.key == QLatin1String(extra.afterKey))
                (this->*extra.add)(form, group);
        }
    }
}

// Creates the value widget of a setting on its group box and connects its
// change signal; returns the row's field (the widget, or its browse row).
QWidget* SettingsPage::createEditor(const Setting& setting, QGroupBox* group)
{
    QWidget* field = nullptr;
    QWidget* widget = std::visit(
        Overloaded{
            [&](const ChoiceEditor& choice) -> QWidget* {
                auto* combo = new QComboBox(group);
                for (const ChoiceItem& item : choice.items)
                    combo->addItem(item.text, item.data);
                if (choice.storesText())
                    connect(combo, &QComboBox::currentTextChanged, this, &SettingsPage::onValueChanged);
                else
                    connect(combo, &QComboBox::currentIndexChanged, this, &SettingsPage::onValueChanged);
                return combo;
            },
            [&](const CheckEditor&) -> QWidget* {
                auto* check = new QCheckBox(group);
                connect(check, &QAbstractButton::toggled, this, &SettingsPage::onValueChanged);
                return check;
            },
            [&](const IntegerEditor& range) -> QWidget* {
                auto* spin = new QSpinBox(group);
                spin->setRange(range.minimum, range.maximum);
                spin->setSpecialValueText(range.specialValueText);
                spin->setSuffix(range.suffix);
                connect(spin, &QSpinBox::valueChanged, this, &SettingsPage::onValueChanged);
                return spin;
            },
            [&](const DecimalEditor& range) -> QWidget* {
                auto* spin = new QDoubleSpinBox(group);
                spin->setRange(range.minimum, range.maximum);
                spin->setSingleStep(range.step);
                spin->setDecimals(range.decimals);
                connect(spin, &QDoubleSpinBox::valueChanged, this, &SettingsPage::onValueChanged);
                return spin;
            },
            [&](const FolderEditor& folder) -> QWidget* {
                field = new QWidget(group);
                auto* edit = new QLineEdit(field);
                edit->setPlaceholderText(folder.placeholder);
                connect(edit, &QLineEdit::textChanged, this, &SettingsPage::onValueChanged);
                addBrowseButton(field, edit, setting);
                return edit;
            },
        },
        setting.editor);
    widget->setObjectName(setting.key);
    widget->setAccessibleName(setting.label); // the row label, also for hidden widgets
    wheelGuard->guard(widget); // scrolling the page changes no value on the way
    editors.append({&setting, widget});
    return field ? field : widget;
}

// Lays out a folder's row: the edit and its "Browse..." button side by
// side, created in that order so that Tab reaches them in that order.
void SettingsPage::addBrowseButton(QWidget* row, QLineEdit* edit, const Setting& setting)
{
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* browse = new QPushButton(QStringLiteral("Browse..."), row);
    browse->setAccessibleName(QStringLiteral("Browse for %1").arg(setting.label));
    layout->addWidget(edit, 1);
    layout->addWidget(browse, 0);
    const QString caption = std::get<FolderEditor>(setting.editor).browseCaption;
    connect(browse, &QPushButton::clicked, this, [this, edit, caption] { browseForFolder(edit, caption); });
}

// The launch options: how the game is run rather than what it is told.
void SettingsPage::buildLaunchGroup(QWidget* page)
{
    auto* group = new QGroupBox(QStringLiteral("Launch"), page);
    auto* form = new QFormLayout(group);
    page->layout()->addWidget(group);

    wrapperEdit = new QLineEdit(group);
    wrapperEdit->setObjectName(QStringLiteral("wrapper"));
    wrapperEdit->setAccessibleName(QStringLiteral("Command wrapper"));
    wrapperEdit->setPlaceholderText(QStringLiteral("(none)"));
    form->addRow(QStringLiteral("Command wrapper"), wrapperEdit);
    wrapperProblemLabel = new QLabel(group);
    wrapperProblemLabel->setObjectName(QStringLiteral("wrapperProblemLabel"));
    wrapperProblemLabel->setTextFormat(Qt::PlainText);
    wrapperProblemLabel->hide();
    form->addRow(QString(), wrapperProblemLabel);
    addDescription(form, group,
                   QStringLiteral("A command that runs the game, as in Steam's launch options: %command% stands for "
                                   "the game and its arguments, as in gamemoderun %command%, mangohud %command% or "
                                   "gamescope -w 1280 -h 800 -- %command%. Without %command%, the words are added "
                                  "to the game's arguments. Words with spaces go in double quotes."));

    environmentEdit = new QPlainTextEdit(group);
    environmentEdit->setObjectName(QStringLiteral("environment"));
    environmentEdit->setAccessibleName(QStringLiteral("Environment"));
    environmentEdit->setPlaceholderText(QStringLiteral("NAME=value, one per line"));
    environmentEdit->setTabChangesFocus(true); // Tab moves on, as in every other field
    environmentEdit->setLineWrapMode(QPlainTextEdit::NoWrap);
    environmentEdit->setFixedHeight(environmentEdit->fontMetrics().lineSpacing() * 4 + 14);
    addDescribedRow(form, QStringLiteral("Environment"), environmentEdit,
                    QStringLiteral("Extra environment variables for the game, one NAME=value per line, for "
                                   "example MANGOHUD=1. Yours win over the game's own; the launcher itself never "
                                   "gets them."));

    commandPreviewLabel = new QLabel(group);
    commandPreviewLabel->setObjectName(QStringLiteral("commandPreviewLabel"));
    commandPreviewLabel->setTextFormat(Qt::PlainText);
    commandPreviewLabel->setWordWrap(true);
    commandPreviewLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(QStringLiteral("PLAY runs"), commandPreviewLabel);

    connect(wrapperEdit, &QLineEdit::textChanged, this, &SettingsPage::onLaunchOptionsChanged);
    connect(environmentEdit, &QPlainTextEdit::textChanged, this, &SettingsPage::onLaunchOptionsChanged);
    // The command changes with the game root and the program files too.
    connect(&session, &LauncherSession::statusChanged, this, &SettingsPage::updateCommandPreview);
}

void SettingsPage::showLaunchOptions(const LaunchOptions& options)
{
    const bool wrapperBlocked = wrapperEdit->blockSignals(true);
    const bool environmentBlocked = environmentEdit->blockSignals(true);
    wrapperEdit->setText(options.wrapper);
    environmentEdit->setPlainText(options.environment.join(QLatin1Char('\n')));
    wrapperEdit->blockSignals(wrapperBlocked);
    environmentEdit->blockSignals(environmentBlocked);
    updateCommandPreview();
}

LaunchOptions SettingsPage::launchOptionsFromWidgets() const
{
    LaunchOptions options;
    options.wrapper = wrapperEdit->text();
    for (const QString& line : environmentEdit->toPlainText().split(QLatin1Char('\n'))) {
        if (!line.trimmed().isEmpty())
            options.environment << line.trimmed();
    }
    return options;
}

void SettingsPage::onLaunchOptionsChanged()
{
    session.changeLaunchOptions(launchOptionsFromWidgets());
    updateCommandPreview();
}

// The whole command PLAY would run now, or why PLAY would refuse it (shown
// under the wrapper, where it can be mended).
void SettingsPage::updateCommandPreview()
{
    if (!commandPreviewLabel)
        return; // no rows yet
    const LaunchPlan plan = session.previewPlan(settingsFromWidgets(), launchOptionsFromWidgets());
    wrapperProblemLabel->setText(plan.commandProblem);
    wrapperProblemLabel->setVisible(!plan.commandProblem.isEmpty());
    if (session.gameRoot().isEmpty())
        commandPreviewLabel->setText(QStringLiteral("(the game's command, once its data is found)"));
    else
        commandPreviewLabel->setText(plan.commandProblem.isEmpty() ? plan.commandLine : QString());
}

void SettingsPage::addDescribedRow(QFormLayout* form, const QString& label, QWidget* field, const QString& description)
{
    form->addRow(label, field);
    addDescription(form, field->parentWidget(), description);
}

void SettingsPage::addDescription(QFormLayout* form, QWidget* parent, const QString& description)
{
    if (description.isEmpty())
        return;
    auto* descLabel = new QLabel(description, parent);
    descLabel->setWordWrap(true);
    descLabel->setObjectName(QStringLiteral("descLabel"));
    form->addRow(QString(), descLabel);
}

void SettingsPage::addOpenDataFolderRow(QFormLayout* form, QGroupBox* group)
{
    openDataFolderButton = new QPushButton(QStringLiteral("Open data folder"), group);
    openDataFolderButton->setObjectName(QStringLiteral("openDataFolderButton"));
    form->addRow(QString(), openDataFolderButton);
    connect(openDataFolderButton, &QPushButton::clicked, this, &SettingsPage::openDataFolder);
}

void SettingsPage::addSettingsFileRow(QFormLayout* form, QGroupBox* group)
{
    // One row: the file's name, and under it, when changes cannot be saved,
    // why; the launcher then goes on with the values in memory.
    auto* row = new QWidget(group);
    auto* lines = new QVBoxLayout(row);
    lines->setContentsMargins(0, 0, 0, 0);

    auto* label = new QLabel(QStringLiteral("Settings file: %1").arg(session.settingsFileName()), row);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setStyleSheet(QStringLiteral("color: #7f7f7f;"));
    lines->addWidget(label);

    saveProblemLabel = new QLabel(row);
    saveProblemLabel->setObjectName(QStringLiteral("settingsSaveProblemLabel"));
    saveProblemLabel->setTextFormat(Qt::PlainText);
    saveProblemLabel->setWordWrap(true);
    saveProblemLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lines->addWidget(saveProblemLabel);
    showSaveProblem(session.saveProblem());
    connect(&session, &LauncherSession::settingsSaved, this, &SettingsPage::showSaveProblem);

    form->addRow(QString(), row);
}

void SettingsPage::showSaveProblem(const QString& problem)
{
    saveProblemLabel->setText(QStringLiteral("Changes cannot be saved: %1").arg(problem));
    saveProblemLabel->setVisible(!problem.isEmpty());
}

void SettingsPage::showSettings(const LauncherSettings& settings)
{
    QList<bool> wasBlocked;
    for (const ValueEditor& editor : editors)
        wasBlocked << editor.widget->blockSignals(true);

    for (const ValueEditor& editor : editors) {
        const Setting& setting = *editor.setting;
        const QVariant value = setting.valueIn(settings);
        std::visit(Overloaded{
                       [&](const ChoiceEditor& choice) {
                           selectItem(static_cast<QComboBox*>(editor.widget), value, choice);
                       },
                       [&](const CheckEditor&) { static_cast<QCheckBox*>(editor.widget)->setChecked(value.toBool()); },
                       [&](const IntegerEditor&) { static_cast<QSpinBox*>(editor.widget)->setValue(value.toInt()); },
                       [&](const DecimalEditor&) {
                           static_cast<QDoubleSpinBox*>(editor.widget)->setValue(value.toDouble());
                       },
                       [&](const FolderEditor&) { static_cast<QLineEdit*>(editor.widget)->setText(value.toString()); },
                   },
                   setting.editor);
    }

    updateOpenDataFolderButton();
    for (qsizetype i = 0; i < editors.size(); ++i)
        editors[i].widget->blockSignals(wasBlocked[i]);
}

LauncherSettings SettingsPage::settingsFromWidgets() const
{
    LauncherSettings settings;
    for (const ValueEditor& editor : editors) {
        QWidget* widget = editor.widget;
        const QVariant value = std::visit(
            Overloaded{
                [&](const ChoiceEditor& choice) {
                    auto* combo = static_cast<QComboBox*>(widget);
                    return choice.storesText() ? QVariant(combo->currentText()) : combo->currentData();
                },
                [&](const CheckEditor&) { return QVariant(static_cast<QCheckBox*>(widget)->isChecked()); },
                [&](const IntegerEditor&) { return QVariant(static_cast<QSpinBox*>(widget)->value()); },
                [&](const DecimalEditor&) { return QVariant(static_cast<QDoubleSpinBox*>(widget)->value()); },
                [&](const FolderEditor&) { return QVariant(static_cast<QLineEdit*>(widget)->text().trimmed()); },
            },
            editor.setting->editor);
        editor.setting->assign(settings, value);
    }
    return settings;
}

QWidget* SettingsPage::valueWidget(const QString& key) const
{
    for (const ValueEditor& editor : editors) {
        if (editor.setting->key == key)
            return editor.widget;
    }
    return nullptr;
}

void SettingsPage::onValueChanged()
{
    session.changeSettings(settingsFromWidgets());
    updateOpenDataFolderButton();
    updateCommandPreview();
    emit settingsChanged();
}

// Without asking: the defaults become the settings in force and are saved,
// then shown without reporting a change.
void SettingsPage::resetToDefaults()
{
    session.resetSettings();
    showSettings(session.settings());
    updateCommandPreview();
}

void SettingsPage::updateOpenDataFolderButton()
{
    auto* edit = static_cast<QLineEdit*>(valueWidget(kUserDataRootKey));
    openDataFolderButton->setEnabled(!edit->text().trimmed().isEmpty());
}

void SettingsPage::browseForFolder(QLineEdit* edit, const QString& caption)
{
    const QString start = edit->text().isEmpty() ? QDir::homePath() : edit->text();
    const QString chosen = QFileDialog::getExistingDirectory(window(), caption, start, QFileDialog::ShowDirsOnly);
    if (!chosen.isEmpty())
        edit->setText(chosen); // textChanged reports the change
}

void SettingsPage::openDataFolder()
{
    const QString path = static_cast<QLineEdit*>(valueWidget(kUserDataRootKey))->text().trimmed();
    if (path.isEmpty())
        return;
    QDir().mkpath(path);
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}
