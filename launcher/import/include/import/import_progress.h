// The progress report of every import step (and of the verification that
// will share the import's dialog): how many items are done out of how many
// ("N of M": package entries, copied or decoded files), how many of the
// step's bytes out of how many, the line that names the item about to be
// worked on, and the whole job's share done, which one bar shows across all
// the steps of a job.
#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

#include <functional>

enum class ImportStep {
    Copying,       // bytes: the files copied
    Extracting,    // bytes: the package's files written
    Decompressing, // bytes: the compressed files decoded
    Checking,      // bytes: the files hashed by a verification
};

struct ImportProgress {
    ImportStep step = ImportStep::Extracting;
    qint64 done = 0;       // items done
    qint64 total = 0;      // items to do; 0: not counted
    qint64 bytesDone = 0;  // the step's bytes done
    qint64 bytesTotal = 0; // the step's bytes to do; 0: not measured
    QString text;          // names the item about to be processed; empty: keeps the last one
    double jobShare = -1;  // the whole job's share done, 0 to 1, never less than before; < 0: not known
};

using ProgressFn = std::function<void(const ImportProgress&)>;

// The steps of one job as parts of one bar, each as wide as its weight (its
// bytes, so that no step jumps the bar ahead of the work): a step's own
// share is its bytes done out of its bytes to do (its items, when it counts
// no bytes). A step's weight may start as an estimate; the first report
// that gives the step's bytes replaces it. The job's share never decreases,
// also while an estimate changes.
class StepWeights {
public:
    explicit StepWeights(QList<qint64> weights);

    void setWeight(int step, qint64 weight);

    // The job's share after a report of one step.
    double jobShare(int step, const ImportProgress& report);

    // A reporter for one step: passes every report on to sink with the
    // job's share filled in. Empty when sink is.
    ProgressFn reporter(int step, const ProgressFn& sink);

private:
    QList<qint64> weights;
    double reached = 0;
};
