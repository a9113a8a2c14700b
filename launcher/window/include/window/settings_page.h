// The "Settings" tab: the editor of the session's settings, built from the
// settings table. Each value widget's object name is its setting's key.
// Every change makes the widgets' values the session's settings in force,
// which saves them. It also offers folder pickers, "Open data folder", the
// settings file's name (with why changes cannot be saved, when they cannot)
// and a reset; and, in the "Launch" group at its end, the launch options
// (a command wrapper, extra environment entries) with the whole command
// PLAY would run.
#pragma once

#include "core/launch_options.h"
#include "core/launcher_settings.h"

#include <QScrollArea>

class QFormLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class LauncherSession;
class WheelGuard;

namespace settings_table {
struct Setting;
}

class SettingsPage : public QScrollArea {
    Q_OBJECT

public:
    // An empty page: its rows come with addRows, so that a window can be
    // drawn before it spends time on them.
    explicit SettingsPage(LauncherSession& session, QWidget* parent = nullptr);

    // Creates the groups, their rows and "Reset to defaults"; once.
    void addRows();

    // Shows a record in the value widgets (after addRows) without reporting
    // a change. A value that matches no item of its combo box selects item 0;
    // spin boxes bring values into range.
    void showSettings(const LauncherSettings& settings);

    // A new record built from the value widgets (folders trimmed).
    LauncherSettings settingsFromWidgets() const;

    // Shows launch options (after addRows) without reporting a change.
    void showLaunchOptions(const LaunchOptions& options);
    // The launch options in the Launch group: the wrapper as typed, one
    // environment entry per non-blank line, trimmed.
    LaunchOptions launchOptionsFromWidgets() const;

    // The value widget of a setting, found by its key; null for no such key.
    QWidget* valueWidget(const QString& key) const;

    // Shows under the settings file's name why changes cannot be saved, or
    // hides that line when problem is empty.
    void showSaveProblem(const QString& problem);

signals:
    // Any value widget changed; the session holds and has saved the
    // widgets' values.
    void settingsChanged();

private:
    struct ValueEditor {
        const settings_table::Setting* setting;
        QWidget* widget;
    };

    void buildGroup(QWidget* page, const QString& title);
    QWidget* createEditor(const settings_table::Setting& setting, QGroupBox* group);
    void addBrowseButton(QWidget* row, QLineEdit* edit, const settings_table::Setting& setting);
    void addDescribedRow(QFormLayout* form, const QString& label, QWidget* field, const QString& description);
    // A description under the row above, in the field column.
    void addDescription(QFormLayout* form, QWidget* parent, const QString& description);
    void addOpenDataFolderRow(QFormLayout* form, QGroupBox* group);
    void addSettingsFileRow(QFormLayout* form, QGroupBox* group);
    void buildLaunchGroup(QWidget* page);

    void onValueChanged();
    void onLaunchOptionsChanged();
    void resetToDefaults();
    void updateCommandPreview();
    void updateOpenDataFolderButton();
    void browseForFolder(QLineEdit* edit, const QString& caption);
    void openDataFolder();

    LauncherSession& session;
    WheelGuard* wheelGuard;
    QList<ValueEditor> editors; // in table order
    QPushButton* openDataFolderButton = nullptr;
    QPushButton* resetButton = nullptr;
    QLabel* saveProblemLabel = nullptr;
    QLineEdit* wrapperEdit = nullptr;
    QLabel* wrapperProblemLabel = nullptr;
    QPlainTextEdit* environmentEdit = nullptr;
    QLabel* commandPreviewLabel = nullptr;
};
