// DecoderRuns: decodes a list of compressed files with the zorv decoder, up
// to a given number of decoder processes at once. Each run writes its own
// "<file>.decoding", which one atomic rename puts over the original when the
// run succeeds, once its content is on disk (DurableReplacements flushes the
// copies in batches while the next runs go on). The first failure, or a
// stop request on the calling thread, starts no further run; the runs
// already going are waited for, never killed, and their copies put in place.
#pragma once

#include "import/durable_replacements.h"
#include "import/import_progress.h"

#include <QEventLoop>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QProcess;

class DecoderRuns : public QObject {
public:
    DecoderRuns(const QString& decoderPath, const QString& root, const QStringList& files,
                const ProgressFn& progress, int parallelRuns, Durability durability = Durability::Flushed);
    ~DecoderRuns() override;

    // Runs the decoders on the calling thread (with an event loop of its
    // own) and returns when every started run has ended and every decoded
    // copy is in place. On failure *error receives the message of the first
    // run or replacement that failed, or the stop message.
    bool run(QString* error);

    qint64 filesDecoded() const { return decoded; }
    // The files replaced by their decoded content, as listed.
    const QStringList& decodedFiles() const { return replacedFiles; }

private:
    struct Run;

    void startMoreRuns();
    void startRun(const QString& file);
    void endRun(Run* run);
    void replaced(const DurableReplacements::Replacement& replacement, const QString& error);
    void quitWhenDone();
    void keepFirstError(const QString& error);

    const QString decoderPath;
    const QString root;
    const QStringList files;
    const ProgressFn progress;
    const int parallelRuns;

    void report(const QString& text);

    qsizetype nextFile = 0;
    qint64 succeeded = 0;      // runs that ended with a complete copy
    qint64 bytesSucceeded = 0; // their compressed bytes
    qint64 bytesToDecode = 0;
    qint64 decoded = 0;        // copies put over their originals
    QStringList replacedFiles; // the originals replaced, as paths
    QString firstError;        // of the first run or replacement that failed
    bool stopped = false;      // the calling thread was asked to stop
    std::vector<std::unique_ptr<Run>> running;
    std::vector<std::unique_ptr<Run>> ended;  // whose signal may still be on the stack
    DurableReplacements replacements;
    QEventLoop loop;
};
