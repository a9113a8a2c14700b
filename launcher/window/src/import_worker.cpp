// The progress dialog shared by the import flows.
#include "window/import_worker.h"

QProgressDialog* showImportProgressDialog(QWidget* window, const QString& title, const QString& label)
{
    auto* dialog = new QProgressDialog(label, QString(), 0, 0, window);
    dialog->setWindowTitle(title);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setCancelButton(nullptr);
    dialog->setAutoReset(false);
    dialog->setAutoClose(false);
    dialog->setMinimumDuration(0);
    dialog->show();
    return dialog;
}
