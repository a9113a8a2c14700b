// VerifyFlow: the Game tab's "Verify game files" button and the dialogs that
// follow it. The verify runs behind the imports' progress dialog (on the
// import controller, so that it never runs beside an import) and ends in one
// message: all files match; or they do not, with "Repair" when the recorded
// source can bring them back (the repair runs behind the same dialog and
// ends in its own message), or why it cannot; or no checksums were
// recorded, with "Record them now". The button is enabled while a game root
// is known and nothing else runs.
#pragma once

#include <QObject>
#include <QPointer>
#include <QPushButton>
#include <QString>

class ImportController;
class LauncherSession;
class QWidget;
struct RepairResult;
struct VerifyReport;
struct VerifyRun;

class VerifyFlow : public QObject {
    Q_OBJECT

public:
    VerifyFlow(QPushButton* button, LauncherSession& session, ImportController& controller, QWidget* window);

    // What the button does: verifies the session's game root.
    void verify();

private:
    void updateButton();
    void showVerifyResult(const QString& root, const VerifyRun& run);
    void repair(const QString& root, const VerifyReport& before);
    void showRepairResult(const RepairResult& result);
    void recordChecksums(const QString& root);

    QPointer<QPushButton> button; // the window's, which goes first
    LauncherSession& session;
    ImportController& controller;
    QWidget* window;
};
