// The progress dialog of a running import: a window-modal dialog whose bar
// shows the whole job's share done (every step of the job is part of one
// bar, so it never moves back) with the step's "N of M" on it (package
// entries, copied or decoded files), whose label names the item being
// worked on and, under it, the step's bytes done out of its bytes to do,
// the speed and the time left, and whose Cancel button asks the import to
// stop. Small imports end before it shows: it appears after a second of
// work, and stays open until the import has ended, also after Cancel.
#pragma once

#include "import/import_progress.h"
#include "import/transfer_rate.h"

#include <QElapsedTimer>
#include <QProgressDialog>
#include <QString>

class QProgressBar;
class QPushButton;

class ImportProgressDialog : public QProgressDialog {
    Q_OBJECT

public:
    // How long an import works before the dialog shows itself.
    static constexpr int kShowAfterMs = 1000;

    // A busy indicator until the first report that tells a share.
    ImportProgressDialog(const QString& title, const QString& label, QWidget* window);

    void showProgress(const ImportProgress& report);

    // Called when the import has ended: closes the dialog for good.
    void finish();

    // Cancel, Escape and the window's close button all emit canceled(); the
    // Cancel button is then disabled, as the import stops at its next item.

protected:
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

private:
    void showShare(const ImportProgress& report);
    void showTransfer(const ImportProgress& report);
    void requestStop();

    QProgressBar* bar = nullptr;
    QPushButton* cancelButton = nullptr;
    bool finished = false;

    QString itemText;     // the label's first line
    QString transferLine; // its second line
    ImportStep step = ImportStep::Extracting;
    bool reported = false;
    TransferRate rate;
    QElapsedTimer clock;           // since the dialog was made
    qint64 transferShownAt = -1;   // when transferLine was last written
};
