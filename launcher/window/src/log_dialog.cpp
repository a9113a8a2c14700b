// The game log's last lines in a dialog.
#include "window/log_dialog.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QFile>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QVBoxLayout>

namespace {

// How much of the file's end is read: 200 lines of a log rarely take a
// tenth of it, and a log without line feeds still shows its end.
constexpr qint64 kTailBytes = 256 * 1024;

} // namespace

std::optional<QString> readLastLines(const QString& path, int count, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return std::nullopt;
    }
    const qint64 start = std::max<qint64>(0, file.size() - kTailBytes);
    file.seek(start);
    QByteArray tail = file.readAll();
    if (start > 0) // the first line read is only the end of one
        tail.remove(0, tail.indexOf('\n') + 1);
    if (tail.endsWith('\n'))
        tail.chop(1);
    qsizetype from = tail.size();
    for (int lines = 0; lines < count && from > 0; ++lines)
        from = tail.lastIndexOf('\n', from - 1);
    return QString::fromUtf8(tail.mid(from < 0 ? 0 : from + 1));
}

LogDialog::LogDialog(const QString& logPath, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("logDialog"));
    setWindowTitle(QStringLiteral("Game log"));
    resize(720, 480);
    auto* layout = new QVBoxLayout(this);

    auto* pathLabel = new QLabel(logPath, this);
    pathLabel->setObjectName(QStringLiteral("logPathLabel"));
    pathLabel->setTextFormat(Qt::PlainText);
    pathLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    pathLabel->setWordWrap(true);
    layout->addWidget(pathLabel);

    searchEdit = new QLineEdit(this);
    searchEdit->setObjectName(QStringLiteral("logSearch"));
    searchEdit->setPlaceholderText(QStringLiteral("Find in the log (Return for the next match)"));
    searchEdit->setClearButtonEnabled(true);
    layout->addWidget(searchEdit);

    logView = new QPlainTextEdit(this);
    logView->setObjectName(QStringLiteral("logView"));
    logView->setReadOnly(true);
    logView->setLineWrapMode(QPlainTextEdit::NoWrap);
    logView->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    QString error;
    const std::optional<QString> lines = readLastLines(logPath, kShownLines, &error);
    if (lines) {
        logView->setPlainText(*lines);
    } else {
        logView->setPlainText(QStringLiteral("The log cannot be read: %1").arg(error));
    }
    logView->moveCursor(QTextCursor::End);
    layout->addWidget(logView, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* copy = buttons->addButton(QStringLiteral("Copy"), QDialogButtonBox::ActionRole);
    copy->setObjectName(QStringLiteral("copyLogButton"));
    copy->setEnabled(lines.has_value());
    // Return in the search field finds; it must not press a button.
    for (QAbstractButton* button : buttons->buttons())
        if (auto* push = qobject_cast<QPushButton*>(button))
            push->setAutoDefault(false);
    layout->addWidget(buttons);

    connect(searchEdit, &QLineEdit::returnPressed, this, &LogDialog::findNext);
    connect(copy, &QPushButton::clicked, this, [this] { QApplication::clipboard()->setText(logView->toPlainText()); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    searchEdit->setFocus();
}

bool LogDialog::findNext()
{
    const QString text = searchEdit->text();
    if (text.isEmpty())
        return false;
    if (logView->find(text, QTextDocument::FindBackward))
        return true;
    // Wrap around: from the end again.
    logView->moveCursor(QTextCursor::End);
    return logView->find(text, QTextDocument::FindBackward);
}
