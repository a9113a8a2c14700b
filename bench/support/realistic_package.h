// The realistic game package of the benchmarks: what the game's own package
// holds, in kind, count and size, so that figures measured on it say how the
// import, the checks and the verify behave on the real thing.
//
//   default.xex                            the executable image, at the top
//   content/ui/NN/asset-NNNN.xnb           1,200 small ZORV files of the real
//                                          corpus (decoded 24 to 63 KB each)
//   content/textures/texture-NN.xnb        40 textures of 4 MiB, LZX-packed by
//                                          the test encoder
//   content/data/N/record-NNN.dat          400 small data files, as they are
//   content/audio/bank-NN.xwb              24 incompressible 8 MiB audio banks
//
// 1,665 files in 21 folders: some 300 MB in the package, 427 MB once
// prepared. The same content always gives the same bytes.
//
// Usage:
//   bench_support::RealisticPackage package;
//   QString error;
//   if (!bench_support::makeRealisticPackage(scratch + "/realistic.pkg", &package, &error))
//       ... error says why (the real corpus is missing, the disk is full)
//   // package.path is an STFS package; import it like any other.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <functional>

namespace bench_support {

struct RealisticFile {
    QString path;            // relative to the game data folder, "/"-separated
    qint64 storedSize = 0;   // bytes as shipped (in the package)
    qint64 decodedSize = 0;  // bytes once prepared
    bool compressed = false; // a ZORV file that preparation decodes
    std::function<QByteArray()> stored;  // makes the shipped bytes on demand
};

struct RealisticContent {
    QList<RealisticFile> files;  // default.xex first

    qint64 storedBytes() const;
    qint64 decodedBytes() const;
    int compressedCount() const;
};

// The folder of the real-world LZX corpus this build was configured with.
QString realCorpusFolder();

// The content described above; fails when the small files of the real
// corpus cannot be read.
bool realisticContent(RealisticContent* content, QString* error);

struct RealisticPackage {
    QString path;
    qint64 packageBytes = 0;  // size of the package file
    int files = 0;            // files (folders not counted)
    int folders = 0;
    int compressedFiles = 0;
    qint64 storedBytes = 0;   // the files' bytes as shipped
    qint64 decodedBytes = 0;  // the files' bytes once prepared
};

// Writes the package to path, or keeps the one already there when an
// earlier call wrote it with this same recipe (a stamp file beside it,
// path + ".recipe", says so), since encoding the textures takes a while.
bool makeRealisticPackage(const QString& path, RealisticPackage* package, QString* error);

// Writes the same files, as shipped (still compressed), beneath folder: an
// extracted game folder for the folder import.
bool writeRealisticFolder(const QString& folder, QString* error);

} // namespace bench_support
