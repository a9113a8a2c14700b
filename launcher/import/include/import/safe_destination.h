// SafeDestination: creates folders and checks file targets beneath one
// destination folder without ever following a symbolic link found below it,
// so that extracted paths cannot escape the destination.
#pragma once

#include <QDir>
#include <QSet>
#include <QString>

class SafeDestination {
public:
    enum class Outcome { Ready, SymbolicLink, Failed };

    explicit SafeDestination(const QDir& root);

    // Makes the "/"-separated relative folder path exist as real folders.
    // On SymbolicLink, blockingPath() names the link that is in the way; on
    // Failed, failureReason() gives the system's reason.
    Outcome makeFolder(const QString& relativePath);
    // Checks that the file at the relative path is not a symbolic link.
    Outcome checkFileTarget(const QString& relativePath);

    QString blockingPath() const { return blocking; }
    QString failureReason() const { return reason; }

private:
    QDir root;
    QSet<QString> knownFolders;  // relative folders already made or checked
    QString blocking;
    QString reason;
};
