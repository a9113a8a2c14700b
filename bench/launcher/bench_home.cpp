// Building the launcher benchmarks' scratch home.
#include "bench_home.h"

#include "xex_image.h"

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
    writeFile(QDir(game).filePath(QStringLiteral("gamedata/default.xex")), xexbuild::xexImage(QStringLiteral("4E3D2C71")));
    for (const char* name : {"tessarine", "libkynruntime.so", "libkyngpu-xenos.so"}) {
        const QString target = QDir(game).filePath(QLatin1String(name));
        if (!QFile::copy(QDir(QStringLiteral(ORVELLO_STANDIN_DIR)).filePath(QLatin1String(name)), target))
            qFatal("stand-in runtime missing in %s: build it first", ORVELLO_STANDIN_DIR);
    }
}
