// stfs-build: packs a folder tree into an STFS package, for benchmarks and
// end-to-end tests of the import.
#include "stfs_package_builder.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace {

constexpr qsizetype kMaxNameBytes = 40;

bool addTree(stfsbuild::PackageBuilder& builder, const QDir& folder, int parent, QString* error)
{
    const QFileInfoList children =
        folder.entryInfoList(QDir::Dirs | QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& child : children) {
        const QByteArray name = child.fileName().toUtf8();
        if (name.size() > kMaxNameBytes) {
            *error = QStringLiteral("Name longer than 40 bytes: %1").arg(child.filePath());
            return false;
        }
        if (child.isDir()) {
            const int index = builder.addFolder(name, parent);
            if (!addTree(builder, QDir(child.filePath()), index, error))
                return false;
            continue;
        }
        if (child.size() > 0xFFFFFFFFLL) {
            *error = QStringLiteral("File larger than 4 GiB: %1").arg(child.filePath());
            return false;
        }
        const QString path = child.filePath();
        builder.addFile(name, quint32(child.size()), [path] {
            QFile file(path);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        }, parent);
    }
    return true;
}

bool parseOrder(const QString& text, stfsbuild::BlockOrder* order)
{
    if (text == QLatin1String("consecutive"))
        *order = stfsbuild::BlockOrder::Consecutive;
    else if (text == QLatin1String("interleaved"))
        *order = stfsbuild::BlockOrder::Interleaved;
    else if (text == QLatin1String("reversed"))
        *order = stfsbuild::BlockOrder::Reversed;
    else
        return false;
    return true;
}

int failWith(const QString& message)
{
    std::fprintf(stderr, "stfs-build: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Packs a folder tree into an STFS package."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("magic"), QStringLiteral("CON, LIVE or PIRS (default CON)."),
                      QStringLiteral("magic"), QStringLiteral("CON")});
    parser.addOption({QStringLiteral("order"),
                      QStringLiteral("Block placement: consecutive, interleaved or reversed."),
                      QStringLiteral("order"), QStringLiteral("consecutive")});
    parser.addOption({QStringLiteral("folders-last"), QStringLiteral("List folders after all files.")});
    parser.addOption({QStringLiteral("first-block"), QStringLiteral("Number of the first data block used."),
                      QStringLiteral("block"), QStringLiteral("0")});
    parser.addOption({QStringLiteral("header-size"),
                      QStringLiteral("Header size in bytes; the data area starts at the next multiple of 4096."),
                      QStringLiteral("bytes"), QStringLiteral("38682")});
    parser.addPositionalArgument(QStringLiteral("folder"), QStringLiteral("Folder to pack."));
    parser.addPositionalArgument(QStringLiteral("package"), QStringLiteral("Package file to write."));
    parser.process(app);

    const QStringList arguments = parser.positionalArguments();
    if (arguments.size() != 2)
        return failWith(QStringLiteral("expected a folder and a package path (see --help)"));
    const QString magic = parser.value(QStringLiteral("magic"));
    if (magic != QLatin1String("CON") && magic != QLatin1String("LIVE") && magic != QLatin1String("PIRS"))
        return failWith(QStringLiteral("unknown magic %1").arg(magic));

    stfsbuild::PackageOptions options;
    options.magic = magic.toLatin1().leftJustified(4, ' ');
    options.foldersAfterFiles = parser.isSet(QStringLiteral("folders-last"));
    bool numberOk = false;
    options.firstBlock = parser.value(QStringLiteral("first-block")).toUInt(&numberOk);
    if (!numberOk)
        return failWith(QStringLiteral("bad --first-block"));
    options.headerSize = parser.value(QStringLiteral("header-size")).toUInt(&numberOk);
    if (!numberOk || options.headerSize == 0)
        return failWith(QStringLiteral("bad --header-size"));
    if (!parseOrder(parser.value(QStringLiteral("order")), &options.order))
        return failWith(QStringLiteral("unknown order %1").arg(parser.value(QStringLiteral("order"))));

    const QDir folder(arguments[0]);
    if (!folder.exists())
        return failWith(QStringLiteral("no such folder %1").arg(arguments[0]));
    stfsbuild::PackageBuilder builder(options);
    QString error;
    if (!addTree(builder, folder, stfsbuild::PackageBuilder::kRoot, &error)
        || !stfsbuild::writeStfsImage(builder.build(), arguments[1], &error))
        return failWith(error);
    return 0;
}
