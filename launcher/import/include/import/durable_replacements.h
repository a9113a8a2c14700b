// Durable replacement of decoded files: a file that replaces another by
// rename must have its content on disk before the rename, or a power cut can
// leave the name on an empty file with the old content gone. Flushing each
// file on its own costs a disk round trip per file; syncfs flushes a whole
// file system at once, so DurableReplacements flushes in batches, a few
// times a second, on a thread of its own, while the decoders go on
// producing the next copies.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

class QThread;

// Whether data is flushed to disk before it is made visible. Unflushed is
// only there to measure what flushing costs.
enum class Durability { Flushed, Unflushed };

// Flushes the file system that holds path to disk (syncfs). On failure
// *reason receives the system's reason (for example a disk's write error).
bool flushFileSystem(const QString& path, QString* reason);

// Puts everything written under folder on disk, so that the folder can be
// remembered (nothing to do when Unflushed); on failure *error receives
// "Cannot write <folder> to disk: <reason>".
bool flushFolderToDisk(const QString& folder, Durability durability, QString* error);

class DurableReplacements : public QObject {
public:
    struct Replacement {
        QString copy;         // the new content, complete
        QString target;       // the file it replaces
        QString relativePath; // target as the messages name it
    };
    // Called on the owner's thread once a replacement is done (error empty)
    // or has failed; on failure the copy is removed and the target kept.
    using Finished = std::function<void(const Replacement&, const QString& error)>;

    DurableReplacements(Durability durability, Finished finished);
    // Waits for a running flush; replacements still waiting are dropped,
    // their copies left in place.
    ~DurableReplacements() override;

    // A flush starts at most this often; the copies handed in meanwhile
    // wait for it together.
    static constexpr int kFlushIntervalMs = 250;

    // Renames the copy over its target once its content is on disk: a
    // flush takes every copy that waits for one, and the renames run in the
    // event loop of the owner's thread, in the order the copies came.
    void add(const Replacement& replacement);

    // No more copies are coming: what waits is flushed without waiting for
    // the interval.
    void flushWhatWaits();

    // Nothing waits and nothing is being flushed.
    bool idle() const { return waiting.empty() && !flusher; }

private:
    void scheduleFlush();
    void startFlush();
    void flushEnded();
    void replace(const Replacement& replacement, const QString& flushFailure);

    const Durability durability;
    const Finished finished;
    std::vector<Replacement> waiting;  // for the next flush
    std::vector<Replacement> flushing; // covered by the running flush
    std::unique_ptr<QThread> flusher;
    QString flushFailure;              // set by the flusher thread before it ends
    QTimer nextFlush;                  // the interval since the last flush began
    QElapsedTimer sinceLastFlush;
    bool hurry = false;
};
