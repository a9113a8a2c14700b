// DecoderRuns: parallel zorv runs driven by an event loop on the calling
// thread, each run's output checked and put in place as soon as it ends.
#include "import/decoder_runs.h"

#include "import/import_interruption.h"
#include "core/system_reason.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <system_error>

namespace {

constexpr qsizetype kMaxQuotedOutput = 600;

std::filesystem::path nativePath(const QString& path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

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
    QProcess process;
    bool ended = false;
};

DecoderRuns::DecoderRuns(const QString& decoderPath, const QString& root, const QStringList& files,
                         const ProgressFn& progress, int parallelRuns)
    : decoderPath(decoderPath), root(root), files(files), progress(progress),
      parallelRuns(std::max(1, parallelRuns))
{
}

DecoderRuns::~DecoderRuns() = default;

bool DecoderRuns::run(QString* error)
{
    startMoreRuns();
    if (!running.empty())
        loop.exec();
    // A run that failed says more than the stop that may have come too.
    if (!firstError.isEmpty() || stopped) {
        if (error)
            *error = !firstError.isEmpty() ? firstError : importStoppedMessage();
        return false;
    }
    if (progress)
        progress(decoded, files.size(), QString());
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
    if (running.empty() && loop.isRunning())
        loop.quit();
}

void DecoderRuns::startRun(const QString& file)
{
    auto run = std::make_unique<Run>();
    run->file = file;
    run->temp = file + QStringLiteral(".decoding");
    run->relativePath = QDir(root).relativeFilePath(file);
    if (progress)
        progress(decoded, files.size(), QStringLiteral("Decompressing %1").arg(run->relativePath));
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
    const bool succeeded = process.error() != QProcess::FailedToStart
        && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!succeeded) {
        const QString output = quotedDecoderOutput(process);
        QFile::remove(run->temp);
        if (firstError.isEmpty())
            firstError = QStringLiteral("Decompressing %1 failed (exit %2):\n%3")
                             .arg(run->relativePath)
                             .arg(process.exitCode())
                             .arg(output);
    } else if (replaceOriginal(*run)) {
        ++decoded;
    }

    // This is called from one of the process's own signals, so the run is
    // kept until the next one ends; the runs ended before it can go now.
    ended.clear();
    const auto owner = std::find_if(running.begin(), running.end(), [run](const auto& r) { return r.get() == run; });
    ended.push_back(std::move(*owner));
    running.erase(owner);
    startMoreRuns();
}

// One rename over the original: at no moment is neither copy present.
bool DecoderRuns::replaceOriginal(const Run& run)
{
    std::error_code renameError;
    std::filesystem::rename(nativePath(run.temp), nativePath(run.file), renameError);
    if (!renameError)
        return true;
    std::error_code ignored;
    std::filesystem::remove(nativePath(run.temp), ignored);
    if (firstError.isEmpty())
        firstError = withReason(QStringLiteral("Cannot replace %1 with its decoded copy").arg(run.relativePath),
                                reasonText(renameError));
    return false;
}
