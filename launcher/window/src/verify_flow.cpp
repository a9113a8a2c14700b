// VerifyFlow: the verify, its message, and the repair or the recording of
// checksums it offers, each a job of the import controller.
#include "window/verify_flow.h"

#include "core/launcher_session.h"
#include "import/game_manifest.h"
#include "verify/verify_jobs.h"
#include "window/import_controller.h"

#include <QMessageBox>
#include <QPushButton>

#include <memory>

namespace {

const QString kTitle = QStringLiteral("Verify game files");

// A message box whose buttons are the choice offered (accept; none: only
// OK) and Close.
enum class Answer { Accepted, Closed };

Answer showMessage(QWidget* window, QMessageBox::Icon icon, const QString& text, const QString& accept = {})
{
    QMessageBox box(icon, kTitle, text, QMessageBox::NoButton, window);
    box.setTextFormat(Qt::PlainText); // file names are shown as they are
    QPushButton* offered = nullptr;
    if (accept.isEmpty()) {
        box.addButton(QMessageBox::Ok);
    } else {
        offered = box.addButton(accept, QMessageBox::AcceptRole);
        box.addButton(QMessageBox::Close);
        box.setDefaultButton(offered);
    }
    box.exec();
    return offered && box.clickedButton() == offered ? Answer::Accepted : Answer::Closed;
}

QMessageBox::Icon iconFor(bool allGood)
{
    return allGood ? QMessageBox::Information : QMessageBox::Warning;
}

// No checksums to compare with, and nothing else that reading the folder
// could not record them over.
bool offersRecording(const VerifyRun& run)
{
    return run.refusal.isEmpty() && !run.report.stopped && !run.report.hasManifest;
}

} // namespace

VerifyFlow::VerifyFlow(QPushButton* button, LauncherSession& session, ImportController& controller, QWidget* window)
    : QObject(window), button(button), session(session), controller(controller), window(window)
{
    connect(button, &QPushButton::clicked, this, &VerifyFlow::verify);
    connect(&session, &LauncherSession::gameRootChanged, this, &VerifyFlow::updateButton);
    connect(&controller, &ImportController::runningChanged, this, &VerifyFlow::updateButton);
    updateButton();
}

void VerifyFlow::updateButton()
{
    if (button)
        button->setEnabled(!session.gameRoot().isEmpty() && !controller.isRunning());
}

void VerifyFlow::verify()
{
    const QString root = session.gameRoot();
    if (root.isEmpty() || controller.isRunning())
        return;
    auto run = std::make_shared<VerifyRun>();
    controller.run(
        kTitle, QStringLiteral("Checking..."), QStringLiteral("A verification is still running. Stop it and quit?"),
        [run, root, profile = session.profile()](const ProgressFn& progress) {
            *run = runVerification(root, profile, progress);
        },
        [this, run, root] { showVerifyResult(root, *run); });
}

void VerifyFlow::showVerifyResult(const QString& root, const VerifyRun& run)
{
    const bool allGood = run.refusal.isEmpty() && run.report.allGood();
    QString offer;
    if (run.canRepair())
        offer = QStringLiteral("Repair");
    else if (offersRecording(run))
        offer = QStringLiteral("Record them now");
    if (showMessage(window, iconFor(allGood), run.text(), offer) != Answer::Accepted)
        return;
    if (run.canRepair())
        repair(root, run.report);
    else
        recordChecksums(root);
}

void VerifyFlow::repair(const QString& root, const VerifyReport& before)
{
    auto result = std::make_shared<RepairResult>();
    controller.run(
        kTitle, QStringLiteral("Repairing..."),
        QStringLiteral("A repair is still running. Stop it and quit? The files repaired so far stay repaired."),
        [result, root, before, profile = session.profile()](const ProgressFn& progress) {
            *result = runRepair(root, profile, before, progress);
        },
        [this, result] { showRepairResult(*result); });
}

void VerifyFlow::showRepairResult(const RepairResult& result)
{
    session.lookUpStatus(); // a repaired default.xex or program set changes it
    showMessage(window, iconFor(result.allGood()), result.text());
}

void VerifyFlow::recordChecksums(const QString& root)
{
    struct Recorded {
        bool done = false;
        QString error;
        qsizetype files = 0;
    };
    auto recorded = std::make_shared<Recorded>();
    controller.run(
        kTitle, QStringLiteral("Recording checksums..."),
        QStringLiteral("The checksums are still being recorded. Stop and quit?"),
        [recorded, root](const ProgressFn&) {
            QList<game_manifest::Entry> entries;
            recorded->done = runRecordChecksums(root, &recorded->error)
                && game_manifest::readManifest(root, &entries, &recorded->error);
            recorded->files = entries.size();
        },
        [this, recorded] {
            if (recorded->done)
                showMessage(window, QMessageBox::Information,
                            QStringLiteral("Recorded the checksums of %1 files.").arg(recorded->files));
            else
                showMessage(window, QMessageBox::Warning,
                            QStringLiteral("The checksums could not be recorded:\n%1").arg(recorded->error));
        });
}
