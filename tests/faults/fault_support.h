// Fixtures of the fault tests: checksums of every file under a folder taken
// before a fault and compared after it, a small or read-only file system
// mounted over a scratch folder (root only), an unwritable folder tree for
// any user, a file-size limit that stands in for a full disk without root,
// and the system's text for an errno.
#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

#include <memory>

#include <sys/resource.h>

namespace fault_support {

// The SHA-256 of every file under the given folders, by absolute path.
class TreeChecksums {
public:
    explicit TreeChecksums(const QStringList& roots);

    // The pre-existing files that are now missing or hold other bytes, with
    // the reason, one per entry; empty when nothing changed. Files added
    // since do not count.
    QStringList changedSince() const;
    int fileCount() const { return sums.size(); }

private:
    QStringList roots;
    QMap<QString, QByteArray> sums;
};

// A file system mounted over an existing folder for the object's lifetime,
// unmounted again even when the test fails. Needs root; ok() tells whether
// the mount took place.
class ScratchMount {
public:
    // A tmpfs of the given size in KiB.
    static ScratchMount tmpfs(const QString& folder, int sizeKiB);
    // The folder bound onto itself read-only.
    static ScratchMount readOnlyBind(const QString& folder);
    // The file source bound over the file target.
    static ScratchMount bindFile(const QString& source, const QString& target);

    ScratchMount(ScratchMount&& other) noexcept;
    ~ScratchMount();
    ScratchMount(const ScratchMount&) = delete;
    ScratchMount& operator=(const ScratchMount&) = delete;
    ScratchMount& operator=(ScratchMount&&) = delete;

    bool ok() const { return mounted; }

private:
    ScratchMount(const QString& target, const QStringList& mountArguments);

    QString target;
    bool mounted = false;
};

// A folder tree that takes no writes for the object's lifetime: a read-only
// bind mount as root (permissions do not stop root), otherwise every folder
// and file in it made read-only for its owner. restore() ends it early.
class UnwritableTree {
public:
    explicit UnwritableTree(const QString& folder);
    ~UnwritableTree() { restore(); }
    UnwritableTree(const UnwritableTree&) = delete;
    UnwritableTree& operator=(const UnwritableTree&) = delete;

    bool ok() const;
    // The system's text for a write refused in the tree.
    QString reason() const;
    void restore();

private:
    void setWritable(bool writable);

    QString folder;
    std::unique_ptr<ScratchMount> mount;
    bool restored = false;
};

// Limits the size of every file this process and its children write, for
// the object's lifetime; a write past it fails with EFBIG instead of
// raising SIGXFSZ. The stand-in for a full disk when the tests cannot mount.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit previous{};
    void (*previousHandler)(int) = nullptr;
};

bool runningAsRoot();

// The system's text for an errno value, as the launcher and decoder show it.
QString systemReason(int errorNumber);

} // namespace fault_support
