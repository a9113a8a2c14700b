// LogDialog: the last lines of the game's log, read-only in a monospace
// font, with the file's path, a search field (Return finds the next match,
// from the end backwards: the latest lines matter most) and a Copy button
// that puts the lines shown on the clipboard.
#pragma once

#include <QDialog>
#include <QString>

#include <optional>

class QLineEdit;
class QPlainTextEdit;

// The last count lines of the file (without a trailing line feed), read
// from its end so that a huge log costs no more than its tail; or nothing,
// with *error saying why, when it cannot be read.
std::optional<QString> readLastLines(const QString& path, int count, QString* error = nullptr);

class LogDialog : public QDialog {
    Q_OBJECT

public:
    // Lines shown from the end of the log.
    static constexpr int kShownLines = 200;

    LogDialog(const QString& logPath, QWidget* parent = nullptr);

    // Finds the next match of the search field's text, wrapping around.
    bool findNext();

private:
    QLineEdit* searchEdit = nullptr;
    QPlainTextEdit* logView = nullptr;
};
