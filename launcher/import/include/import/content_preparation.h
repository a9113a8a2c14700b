// Content preparation: finds a data folder's ZORV-compressed files, copies
// folder trees, and replaces each compressed file by its decoded content by
// running the zorv decoder on it.
#pragma once

#include "import/durable_replacements.h"
#include "import/import_progress.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// Whether a file's first bytes are the ZORV magic 0F F5 12 ED.
bool startsWithZorvMagic(const QByteArray& head);

// Paths of all non-hidden files under root whose first four bytes are the
// ZORV magic, in directory iteration order.
QStringList listCompressedFiles(const QString& root);

// Whether the file's first four bytes are the ZORV magic.
bool isCompressedFile(const QString& path);

// The sum of the files' sizes.
qint64 totalSize(const QStringList& files);

// Copies source's whole tree (hidden files included) into destination,
// reporting "Copying <path>" with the files and bytes copied out of the
// files and bytes to copy. Refuses a destination inside source. Stops
// between entries when the calling thread has been asked to.
bool copyFolder(const QString& source, const QString& destination, const ProgressFn& progress,
                QString* error = nullptr);

// Makes "default.xex" from "Default.xex" when missing, then decodes every
// compressed file in place, up to one decoder process per core at once,
// reporting "Decompressing <path>" as each starts, with the files and their
// compressed bytes done out of the compressed files found. Each decoded file
// replaces its original with one atomic rename once its content is on disk
// (unless durability says otherwise), so a failure or a power cut never
// loses the original. The first failure, or a stop request on the calling
// thread, starts no further file and waits for the running ones. When
// given, *filesDecoded receives the number of files replaced and
// *decodedFiles their paths (root joined with each file's relative path),
// also on failure.
bool prepareContent(const QString& root, const ProgressFn& progress, QString* error = nullptr,
                    qint64* filesDecoded = nullptr, QStringList* decodedFiles = nullptr,
                    Durability durability = Durability::Flushed);
