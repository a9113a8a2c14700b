// The one description of every launch setting: its key, the record field it
// lives in, its default, how the settings page edits it (as data: no widget
// types here), its row label and description, and how it becomes a flag on
// the game's command line. Load, save, reset, the settings page and the
// command line builder all walk this table.
#pragma once

#include <QList>
#include <QString>
#include <QVariant>

#include <variant>

struct LauncherSettings;

namespace settings_table {

// The record field a setting lives in; its type is the setting's type.
using Field = std::variant<int LauncherSettings::*, bool LauncherSettings::*, double LauncherSettings::*,
                           QString LauncherSettings::*>;

// A combo box item: the text shown and the value stored. An item without
// data stores its text.
struct ChoiceItem {
    QString text;
    QVariant data;
};

struct ChoiceEditor {
    QList<ChoiceItem> items;

    // True when the items carry no data: the setting stores the shown text.
    bool storesText() const { return !items.isEmpty() && !items.first().data.isValid(); }
};

struct CheckEditor {};

struct IntegerEditor {
    int minimum = 0;
    int maximum = 0;
    QString specialValueText; // shown instead of the minimum
    QString suffix;
};

struct DecimalEditor {
    double minimum = 0;
    double maximum = 0;
    double step = 1;
    int decimals = 2;
};

// A folder typed or picked with "Browse..."; stored trimmed.
struct FolderEditor {
    QString placeholder;
    QString browseCaption;
};

using Editor = std::variant<ChoiceEditor, CheckEditor, IntegerEditor, DecimalEditor, FolderEditor>;

// How a stored value is written after the flag's prefix.
enum class FlagValue {
    AsStored,         // decimal integers, "true"/"false", strings unchanged
    Inverted,         // a boolean written as its opposite
    AnisotropicLevel, // a filtering factor written as the runtime's level
    PresentEffect,    // "fsr" for "FSR" in any letter case, otherwise "bilinear"
    TwoDecimals,      // fixed-point with exactly two decimals
};

struct CommandLineFlag {
    QString prefix;                         // empty: the setting is not passed to the game
    int position = 0;                       // place among the generated flags, counted from 1
    FlagValue value = FlagValue::AsStored;
    bool omittedWhenUnset = false;          // not passed while 0 or empty
};

// Places of the two generated flags that are not settings.
inline constexpr int kGameDataRootFlagPosition = 1;
inline constexpr int kLogFileFlagPosition = 3;

struct Setting {
    QString key;         // key in the group "settings" and the editor widget's object name
    Field field;
    QVariant defaultValue;
    QString group;       // settings page group box title
    QString label;       // row label; also the editor's accessible name
    QString description{}; // text under the row; none for hidden settings
    Editor editor;
    bool visible = true; // false: kept in its group without a row, so it passes through unchanged
    CommandLineFlag flag{}; // no prefix: not passed to the game

    // The field's value in a record, as int, bool, double or QString.
    QVariant valueIn(const LauncherSettings& settings) const;
    // Stores a value into the field, converting it with toInt, toBool,
    // toDouble or toString (a value that does not convert gives 0, false,
    // 0.0 or an empty text).
    void assign(LauncherSettings& settings, const QVariant& value) const;
};

// Every setting, in the order of the settings file, which is also the order
// of the rows on the settings page.
const QList<Setting>& settings();

// The setting with this key, or null.
const Setting* find(const QString& key);

// The settings page's group titles, in page order.
const QStringList& groups();

// The record with every choice setting holding a value one of its items
// carries (text for a text-storing choice, else data, compared exactly): any
// other value becomes item 0's, as the settings page shows it.
LauncherSettings withKnownChoices(LauncherSettings settings);

// The record the settings page makes from these values once it shows them:
// known choices as above, whole numbers brought into their editor's range,
// decimals rounded to its places and then into its range, folders trimmed.
// PLAY without a window launches with these, as the window would.
LauncherSettings asEdited(LauncherSettings settings);

} // namespace settings_table
