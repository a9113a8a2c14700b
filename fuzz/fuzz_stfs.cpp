// fuzz_stfs: opens the fuzz input as an STFS package and extracts it into a
// temporary folder, which is removed afterwards.
#include "import/stfs_extract.h"

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

    QFile package(packagePath);
    if (!package.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    package.write(reinterpret_cast<const char*>(data), qint64(size));
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
