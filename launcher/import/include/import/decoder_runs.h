// DecoderRuns: decodes a list of compressed files with the zorv decoder, up
// to a given number of decoder processes at once. Each run writes its own
// "<file>.decoding", which one atomic rename puts over the original when the
// run succeeds. The first failure, or a stop request on the calling thread,
// starts no further run; the runs already going are waited for, never
// killed.
#pragma once

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
                const ProgressFn& progress, int parallelRuns);
    ~DecoderRuns() override;

    // Runs the decoders on the calling thread (with an event loop of its
    // own) and returns when every started run has ended. On failure *error
    // receives the message of the first run that failed, or the stop
    // message.
    bool run(QString* error);

    qint64 filesDecoded() const { return decoded; }

private:
    struct Run;

    void startMoreRuns();
    void startRun(const QString& file);
    void endRun(Run* run);
    bool replaceOriginal(const Run& run);

    const QString decoderPath;
    const QString root;
    const QStringList files;
    const ProgressFn progress;
    const int parallelRuns;

    qsizetype nextFile = 0;
    qint64 decoded = 0;
    QString firstError;   // of the first run that failed
    bool stopped = false; // the calling thread was asked to stop
    std::vector<std::unique_ptr<Run>> running;
    std::vector<std::unique_ptr<Run>> ended;  // whose signal may still be on the stack
    QEventLoop loop;
};
