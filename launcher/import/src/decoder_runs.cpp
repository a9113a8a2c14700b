// DecoderRuns: parallel zorv runs driven by an event loop on the calling
// thread, each run's output checked as soon as it ends and put in place once
// it is on disk.
#include "import/decoder_runs.h"

#include "import/import_interruption.h"
#include "core/system_reason.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <csignal>

namespace {

constexpr qsizetype kMaxQuotedOutput = 600;

QString quotedDecoderOutput(QProcess& decoder)
{
    const QString output = QString::fromUtf8(decoder.readAll()).trimmed();
    return output.size() > kMaxQuotedOutput ? output.right(kMaxQuotedOutput) : output;
}

} // namespace

struct DecoderRuns::Run {
    QString file;
    QString temp;
    QString relativePath;
    qint64 bytes = 0; // the compressed file's size
    QProcess process;
    bool ended = false;
};

DecoderRuns::DecoderRuns(const QString& decoderPath, const QString& root, const QStringList& files,
                         const ProgressFn& progress, int parallelRuns, Durability durability)
    : decoderPath(decoderPath), root(root), files(files), progress(progress),
      parallelRuns(std::max(1, parallelRuns)),
      replacements(durability, [this](const DurableReplacements::Replacement& replacement, const QString& error) {
          replaced(replacement, error);
      })
{
    for (const QString& file : files)
        bytesToDecode += QFileInfo(file).size();
}

void DecoderRuns::report(const QString& text)
{
    if (progress)
        progress({ImportStep::Decompressing, succeeded, files.size(), bytesSucceeded, bytesToDecode, text});
}

DecoderRuns::~DecoderRuns() = default;

bool DecoderRuns::run(QString* error)
{
    startMoreRuns();
    if (!running.empty() || !replacements.idle())
        loop.exec();
    // A run that failed says more than the stop that may have come too.
    if (!firstError.isEmpty() || stopped) {
        if (error)
            *error = !firstError.isEmpty() ? firstError : importStoppedMessage();
        return false;
    }
    report(QString());
    return true;
}

// Fills the free slots, unless a run has failed or the thread was asked to
// stop; ends the loop once nothing runs any more.
void DecoderRuns::startMoreRuns()
{
    while (firstError.isEmpty() && !stopped && qsizetype(running.size()) < parallelRuns && nextFile < files.size()) {
        if (importInterruptionRequested()) {
            stopped = true;
            break;
        }
        startRun(files[nextFile++]);
    }
    quitWhenDone();
}

void DecoderRuns::quitWhenDone()
{
    if (!running.empty())
        return;
    replacements.flushWhatWaits(); // no run is left to bring more copies
    if (replacements.idle() && loop.isRunning())
        loop.quit();
}

// The first failure's message wins over a later one, but not over the stop
// message: a run that fails while the import stops says why it failed.
void DecoderRuns::keepFirstError(const QString& error)
{
    if (firstError.isEmpty())
        firstError = error;
}

void DecoderRuns::startRun(const QString& file)
{
    auto run = std::make_unique<Run>();
    run->file = file;
    run->temp = file + QStringLiteral(".decoding");
    run->relativePath = QDir(root).relativeFilePath(file);
    run->bytes = QFileInfo(file).size();
    report(QStringLiteral("Decompressing %1").arg(run->relativePath));
    if (QFileInfo::exists(run->temp) || QFileInfo(run->temp).isSymLink())
        QFile::remove(run->temp); // left over from an interrupted run

    Run* started = run.get();
    QProcess& process = run->process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice()); // the decoder reads no input: one pipe less per run
    // Ctrl+C in a terminal reaches the whole process group. The import then
    // stops between files, as Cancel does, and a running decoder is never
    // killed: it finishes its file.
    process.setChildProcessModifier([] { std::signal(SIGINT, SIG_IGN); });
    connect(&process, &QProcess::finished, this, [this, started] { endRun(started); });
    connect(&process, &QProcess::errorOccurred, this, [this, started](QProcess::ProcessError failure) {
        if (failure == QProcess::FailedToStart)
            endRun(started); // no finished() follows
    });
    running.push_back(std::move(run));
    process.start(decoderPath, {file, started->temp}, QIODevice::ReadWrite);
}

void DecoderRuns::endRun(Run* run)
{
    if (run->ended)
        return;
    run->ended = true;
    QProcess& process = run->process;
    const bool completed = process.error() != QProcess::FailedToStart
        && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!completed) {
        const QString output = quotedDecoderOutput(process);
        QFile::remove(run->temp);
        keepFirstError(QStringLiteral("Decompressing %1 failed (exit %2):\n%3")
                           .arg(run->relativePath)
                           .arg(process.exitCode())
                           .arg(output));
    } else {
        ++succeeded;
        bytesSucceeded += run->bytes;
        replacements.add({run->temp, run->file, run->relativePath});
    }

    // This is called from one of the process's own signals, so the run is
    // kept until the next one ends; the runs ended before it can go now.
    ended.clear();
    const auto owner = std::find_if(running.begin(), running.end(), [run](const auto& r) { return r.get() == run; });
    ended.push_back(std::move(*owner));
    running.erase(owner);
    startMoreRuns();
}

void DecoderRuns::replaced(const DurableReplacements::Replacement& replacement, const QString& error)
{
    if (error.isEmpty()) {
        ++decoded;
        replacedFiles.append(replacement.target);
    } else
        keepFirstError(error);
    quitWhenDone();
}
