// What both import flows share: a window-modal busy progress dialog, and
// forwarding progress from a worker thread to it as queued calls, so that the
// GUI thread never waits on the worker.
#pragma once

#include <QMetaObject>
#include <QProgressDialog>
#include <QString>

// A window-modal progress dialog without a cancel button, shown at once as a
// busy indicator. It stays open until the import's completion closes it (an
// extraction that reaches its last entry must not close it while the content
// is still being prepared).
QProgressDialog* showImportProgressDialog(QWidget* window, const QString& title, const QString& label);

// Runs `update` on the dialog's thread, later; dropped if the dialog is gone.
template <typename Update>
void postToDialog(QProgressDialog* dialog, Update&& update)
{
    QMetaObject::invokeMethod(dialog, std::forward<Update>(update), Qt::QueuedConnection);
}
