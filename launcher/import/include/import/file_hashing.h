// hashFiles: the SHA-256 of many files at once, one worker per core, each
// reading its file in pieces and hashing them as they come. Used to record a
// game folder's manifest and to verify it.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <functional>

struct FileHash {
    enum class Outcome { Hashed, Missing, Unreadable };
    Outcome outcome = Outcome::Missing;
    QByteArray sha256;  // 64 lower-case hexadecimal digits, when hashed
    QByteArray head;    // the file's first bytes (up to 4), when hashed
    qint64 size = 0;    // bytes hashed
    QString reason;     // why it is unreadable
};

struct HashProgress {
    qint64 filesDone = 0;
    qint64 filesTotal = 0;
    qint64 bytesDone = 0;
    qint64 bytesTotal = 0;    // of the files as they were listed
    QString currentFile;      // the file last started
};

// Called on the calling thread, every few hundredths of a second and once at
// the end.
using HashProgressFn = std::function<void(const HashProgress&)>;

// Hashes every file of paths (absolute) into (*results)[i], on
// QThread::idealThreadCount() workers. A path that does not exist is
// Missing, one that is not a regular file Unreadable. Returns false, with
// the results partly filled, when the calling thread was asked to stop
// (QThread::requestInterruption): the workers stop within one piece of
// their file.
bool hashFiles(const QStringList& paths, QList<FileHash>* results, const HashProgressFn& progress = {});
