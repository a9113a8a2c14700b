// The game-root layout.
#include "core/game_root.h"

#include <QDir>
#include <QFileInfo>

namespace game_root {

namespace {

const QString kDataSubfolder = QStringLiteral("gamedata");
const QString kImageName = QStringLiteral("default.xex");
const QString kUpperCaseImageName = QStringLiteral("Default.xex");

} // namespace

QString dataSubfolder(const QString& root)
{
    return QDir(root).filePath(kDataSubfolder);
}

QString imagePath(const QString& root)
{
    const QString nested = QDir(dataSubfolder(root)).filePath(kImageName);
    if (QFileInfo::exists(nested))
        return nested;
    const QString direct = extractedImagePath(root);
    return QFileInfo::exists(direct) ? direct : QString();
}

bool holdsImage(const QString& root)
{
    return !imagePath(root).isEmpty();
}

QString dataFolder(const QString& root)
{
    const QString nested = dataSubfolder(root);
    return QFileInfo::exists(QDir(nested).filePath(kImageName)) ? nested : root;
}

QString extractedImagePath(const QString& folder)
{
    return QDir(folder).filePath(kImageName);
}

QString upperCaseImagePath(const QString& folder)
{
    return QDir(folder).filePath(kUpperCaseImageName);
}

bool holdsExtractedImage(const QString& folder)
{
    return QFileInfo::exists(extractedImagePath(folder)) || QFileInfo::exists(upperCaseImagePath(folder));
}

} // namespace game_root
