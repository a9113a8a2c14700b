// GameFolderLock: one writer per game folder. An import, a verification or
// a repair holds <root>/.orvello/writer.lock (a QLockFile) for as long as it
// runs, so that two of them never write the same files at once; a second
// one, from this process or any other, is refused. The lock of a process
// that has died is taken over.
#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

class GameFolderLock {
public:
    enum class Outcome {
        Held,        // this object holds the lock until it goes
        Busy,        // another import, verification or repair holds it
        Unavailable, // the lock cannot be made (a folder that takes no writes)
    };

    explicit GameFolderLock(const QString& root);
    ~GameFolderLock();
    GameFolderLock(const GameFolderLock&) = delete;
    GameFolderLock& operator=(const GameFolderLock&) = delete;

    // Takes the lock without waiting, creating <root>/.orvello (and root)
    // when needed. On Unavailable callers go on without the lock: nothing
    // can write that folder then, and their own steps say why.
    Outcome acquire();

    // "Another import or verification is using <root>."
    QString busyMessage() const;
    // The lock file's path.
    QString lockPath() const;

private:
    QString root;
    std::unique_ptr<QLockFile> lock;
};
