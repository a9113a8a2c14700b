// Building the launcher benchmarks' scratch home.
#include "bench_home.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

// A minimal XEX2 image whose execution information carries the served
// title's ID (4E3D2C71).
QByteArray xexImage()
{
    QByteArray bytes("XEX2");
    bytes.resize(0x60, '\0');
    bytes[23] = 1;                                                     // one entry
    bytes[24] = 0x00, bytes[25] = 0x04, bytes[26] = 0x00, bytes[27] = 0x06; // execution info
    bytes[31] = 0x40;                                                  // at 0x40
    bytes[0x4c] = 0x4e, bytes[0x4d] = 0x3d, bytes[0x4e] = 0x2c, bytes[0x4f] = 0x71;
    return bytes;
}

} // namespace

void populateBenchHome(const QString& home, int folders)
{
    const QDir games(QDir(home).filePath(QStringLiteral("Games")));
    for (int i = 0; i < folders; ++i) {
        const QString folder = games.filePath(QStringLiteral("folder%1").arg(i, 5, 10, QLatin1Char('0')));
        for (const char* name : {"readme.txt", "setup.bin", "data/level.pak"})
            writeFile(QDir(folder).filePath(QLatin1String(name)), "not the game");
    }
    const QString game = games.filePath(QStringLiteral("zz-TessarineVandryLive"));
    writeFile(QDir(game).filePath(QStringLiteral("gamedata/default.xex")), xexImage());
    for (const char* name : {"tessarine", "libkynruntime.so", "libkyngpu-xenos.so"}) {
        const QString target = QDir(game).filePath(QLatin1String(name));
        if (!QFile::copy(QDir(QStringLiteral(ORVELLO_STANDIN_DIR)).filePath(QLatin1String(name)), target))
            qFatal("stand-in runtime missing in %s: build it first", ORVELLO_STANDIN_DIR);
    }
}
