// The progress dialog of a running import: a window-modal dialog whose bar
// counts "N of M" (package entries, copied or decoded files), whose label
// names the item being worked on, and whose Cancel button asks the import to
// stop. It stays open until the import has ended, also after Cancel.
#pragma once

#include <QProgressDialog>
#include <QString>

class QPushButton;

class ImportProgressDialog : public QProgressDialog {
    Q_OBJECT

public:
    // Shown at once, as a busy indicator until the first counted report.
    ImportProgressDialog(const QString& title, const QString& label, QWidget* window);

    // A count out of a total of 0 shows the busy indicator; an empty text
    // keeps the label.
    void showProgress(qint64 done, qint64 total, const QString& text);

    // Called when the import has ended: closes the dialog for good.
    void finish();

    // Cancel, Escape and the window's close button all emit canceled(); the
    // Cancel button is then disabled, as the import stops at its next item.

protected:
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

private:
    void requestStop();

    QPushButton* cancelButton = nullptr;
    bool finished = false;
};
