// fuzz_stfs: opens the fuzz input as an STFS package and extracts it into a
// temporary folder, which is removed afterwards. Random bytes never match the
// SHA-1 digests of their hash entries, so when the input's last byte is odd
// the true digests are written into it first: those runs get past the block
// checks to the file table and the chains behind them.
#include "import/stfs_extract.h"
#include "stfs_image.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir workspace;
    static const QString packagePath = workspace.filePath(QStringLiteral("input.stfs"));
    static const QString destination = workspace.filePath(QStringLiteral("out"));

    QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (size > 0 && (data[size - 1] & 1))
        stfsbuild::writeTrueDigests(bytes);
    QFile package(packagePath);
    if (!package.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    package.write(bytes);
    package.close();

    StfsReader reader;
    QString error;
    if (reader.open(packagePath, &error)) {
        reader.fileList();
        extractAll(reader, destination, {}, &error);
    }
    QDir(destination).removeRecursively();
    return 0;
}
