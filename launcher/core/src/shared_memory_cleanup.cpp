// Stale shared-memory cleanup.
#include "core/shared_memory_cleanup.h"

#include "core/game_profile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QString kSharedMemoryDir = QStringLiteral("/dev/shm");
constexpr int kMinimumAgeSeconds = 60;

QStringList numericProcessIds()
{
    QStringList pids;
    for (const QString& name : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Unsorted)) {
        bool isNumber = false;
        name.toInt(&isNumber);
        if (isNumber)
            pids << name;
    }
    return pids;
}

// The candidates that some process maps. A name counts as mapped when it
// occurs anywhere in a process's memory map.
QStringList namesInUse(const QStringList& candidates)
{
    QStringList inUse;
    for (const QString& pid : numericProcessIds()) {
        QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
        if (!maps.open(QIODevice::ReadOnly | QIODevice::Text))
            continue; // the process ended, or its map is not ours to read
        const QString text = QString::fromUtf8(maps.readAll());
        for (const QString& name : candidates) {
            if (text.contains(name))
                inUse << name;
        }
    }
    return inUse;
}

} // namespace

void removeStaleSharedMemory(const GameProfile& profile)
{
    const QDir shm(kSharedMemoryDir);
    const QDateTime cutOff = QDateTime::currentDateTime().addSecs(-kMinimumAgeSeconds);
    // A file modified within the last minute is never removed, mapped or
    // not, so only the older ones need the pass over every process's map.
    QStringList oldEnough;
    for (const QString& name : shm.entryList({profile.sharedMemoryPrefix + QLatin1Char('*')}, QDir::Files, QDir::Unsorted)) {
        if (QFileInfo(shm.absoluteFilePath(name)).lastModified() <= cutOff)
            oldEnough << name;
    }
    if (oldEnough.isEmpty())
        return;
    const QStringList inUse = namesInUse(oldEnough);
    for (const QString& name : oldEnough) {
        if (!inUse.contains(name))
            QFile::remove(shm.absoluteFilePath(name));
    }
}
