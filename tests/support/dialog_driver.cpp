// Scripted answers to modal dialogs.
#include "dialog_driver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>

namespace testing_support {

DialogDriver::DialogDriver()
{
    connect(&timer, &QTimer::timeout, this, &DialogDriver::poll);
    timer.start(20);
}

DialogDriver& DialogDriver::click(const QString& buttonText)
{
    steps << [this, buttonText](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box || !box->isVisible())
            return false;
        for (QAbstractButton* button : box->buttons()) {
            if (button->text() == buttonText) {
                messages << box->windowTitle() + QLatin1Char('|') + box->text();
                button->click();
                return true;
            }
        }
        return false;
    };
    return *this;
}

DialogDriver& DialogDriver::choose(const QString& path)
{
    steps << [path](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (!dialog || !dialog->isVisible())
            return false;
        // Typed into the file name field, as a user would; selectFile() alone
        // is lost when the folder's listing has not been read yet.
        auto* nameEdit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (!nameEdit)
            return false;
        nameEdit->setText(path);
        QMetaObject::invokeMethod(dialog, "accept"); // what the Open/Choose button does
        return true;
    };
    return *this;
}

DialogDriver& DialogDriver::cancelFileDialog()
{
    steps << [](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (!dialog || !dialog->isVisible())
            return false;
        dialog->reject();
        return true;
    };
    return *this;
}

void DialogDriver::poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && !steps.isEmpty() && steps.first()(modal))
        steps.removeFirst();
}

} // namespace testing_support
