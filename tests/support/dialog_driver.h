// Answers the launcher's modal dialogs the way a user would: a timer looks
// at the active modal widget and applies the next scripted step to it (click
// a message box button, pick a file or folder). Progress dialogs are left
// alone, so a script can wait through a running import.
#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

class QWidget;

namespace testing_support {

class DialogDriver : public QObject {
    Q_OBJECT

public:
    // A step returns true when it handled the widget, false to wait.
    using Step = std::function<bool(QWidget* modal)>;

    DialogDriver();

    // Clicks the button with this text in the next message box, after
    // recording the box's title and text.
    DialogDriver& click(const QString& buttonText);
    // Picks this path in the next file dialog (file or folder).
    DialogDriver& choose(const QString& path);
    // Cancels the next file dialog.
    DialogDriver& cancelFileDialog();

    bool finished() const { return steps.isEmpty(); }
    // "title|text" of every message box answered, in order.
    QStringList messages;

private:
    void poll();

    QList<Step> steps;
    QTimer timer;
};

} // namespace testing_support
