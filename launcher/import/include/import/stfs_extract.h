// extractAll: writes every folder and file of an opened STFS package beneath
// a destination folder, following each file's block chain.
#pragma once

#include "import/file_digests.h"
#include "import/stfs_reader.h"

#include <QSet>
#include <QString>
#include <QtGlobal>

#include <functional>

// (entries done, total named entries, relative path about to be processed;
// empty in the closing report)
using ExtractProgressFn = std::function<void(qint64, qint64, const QString&)>;

// Whether each block is checked against the SHA-1 digest of its hash entry.
// Always on in the launcher; the benchmark turns it off to measure its cost.
enum class BlockChecks { Sha1, None };

struct ExtractOptions {
    BlockChecks checks = BlockChecks::Sha1;
    FileDigests* digests = nullptr;  // when set, receives the SHA-256 of every file written
    // When set, only the files with these relative paths are written (and
    // the folders on their way); the progress then counts only them.
    const QSet<QString>* only = nullptr;
};

// Refuses, before writing anything, any package with an entry named "." or
// "..", or whose name holds "/" or a NUL character. Never follows a symbolic
// link found beneath the destination. Stops between entries when the calling
// thread has been asked to (QThread::requestInterruption). Stops at the
// first block that does not match its digest.
bool extractAll(StfsReader& reader, const QString& destination, const ExtractProgressFn& progress,
                QString* error = nullptr, const ExtractOptions& options = {});
