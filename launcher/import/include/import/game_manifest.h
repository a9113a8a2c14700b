// The game folder's record of itself, kept in <root>/.orvello:
// - manifest.sha256: the SHA-256 and the path, relative to the root, of every
//   file of the game data as it was prepared, in the format of sha256sum, so
//   that `cd <root> && sha256sum -c .orvello/manifest.sha256` checks it too;
// - source: where the data came from (the package, or the folder a prepared
//   copy was made from) with its size and modification time, so that a
//   repair can tell whether it is still the same. An in-place import of a
//   folder has none.
// Both are written atomically (QSaveFile), so a reader sees the old record or
// the new one, never half of one.
#pragma once

#include "import/file_digests.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>

namespace game_manifest {

struct Entry {
    QString path;       // relative to the root, "/"-separated
    QByteArray sha256;  // 64 lower-case hexadecimal digits
    bool operator==(const Entry&) const = default;
};

struct Source {
    enum class Kind { None, Package, Folder };
    Kind kind = Kind::None;
    QString path;        // absolute
    QString dataFolder;  // the game data folder, relative to the root ("" for the root itself)
    qint64 size = 0;     // the package's bytes, or the sum over the folder's files
    QDateTime modified;  // the package's time, or the newest in the folder's tree
    bool operator==(const Source&) const = default;
};

QString recordFolder(const QString& root);  // root/.orvello
QString manifestPath(const QString& root);
QString sourcePath(const QString& root);

// sha256sum's lines, "<digest>  <path>"; a path holding a backslash or a line
// break is written escaped, its line starting with a backslash, as sha256sum
// does.
QByteArray formatManifest(const QList<Entry>& entries);
// Reads what formatManifest writes; false with the line's number for
// anything else, and for a path that is absolute or leads out of the root.
bool parseManifest(const QByteArray& text, QList<Entry>* entries, QString* error = nullptr);

// Whether root holds a manifest file.
bool hasManifest(const QString& root);
bool readManifest(const QString& root, QList<Entry>* entries, QString* error = nullptr);

// The source as it is now: its size and time, with kind, path and
// dataFolder as given. False when the path is no longer a file (package)
// or folder (folder).
bool describeSource(Source::Kind kind, const QString& path, const QString& dataFolder, Source* source);
bool readSource(const QString& root, Source* source, QString* error = nullptr);

// The files the manifest of a data folder lists: every file beneath it,
// hidden ones too, apart from the record folder; absolute paths, sorted.
QStringList manifestFiles(const QString& root, const QString& dataFolder);

// Hashes every file beneath dataFolder (inside root) on every core and
// writes the manifest. The digests of known (by path relative to dataFolder)
// are taken as they are, except for the files in stale (absolute paths:
// files replaced since). Stops when the calling thread is asked to, writing
// nothing.
bool recordManifest(const QString& root, const QString& dataFolder, const FileDigests& known = {},
                    const QSet<QString>& stale = {}, QString* error = nullptr);

// Writes the source record; for a source of kind None, removes an earlier
// one.
bool writeSource(const QString& root, const Source& source, QString* error = nullptr);

} // namespace game_manifest
