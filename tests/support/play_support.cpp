// Following the game's runs from a test.
#include "play_support.h"

#include "supervisor/process_identity.h"
#include "test_support.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

namespace testing_support {

PlayHistory waitForRuns(const QString& journal, qint64 count, bool ended)
{
    const auto reached = [&](const PlayHistory& history) {
        return history.runs == count && history.lastRun
            && (history.lastRun->end != PlayRun::End::Running) == ended;
    };
    PlayHistory history = readPlayHistory(journal);
    QDeadlineTimer deadline(20000);
    while (!reached(history) && !deadline.hasExpired()) {
        QThread::msleep(20);
        history = readPlayHistory(journal);
    }
    [&] {
        QVERIFY2(reached(history), qPrintable(QStringLiteral("%1 holds %2 runs, the last %3")
                                                  .arg(journal)
                                                  .arg(history.runs)
                                                  .arg(history.running.isEmpty() ? "ended" : "running")));
    }();
    return history;
}

QList<QByteArray> procStrings(qint64 pid, const char* file)
{
    QList<QByteArray> strings = readBytes(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(file))).split('\0');
    if (!strings.isEmpty() && strings.last().isEmpty())
        strings.removeLast();
    return strings;
}

QString procWorkingFolder(qint64 pid)
{
    return QFile::symLinkTarget(QStringLiteral("/proc/%1/cwd").arg(pid));
}

bool processExists(qint64 pid)
{
    const auto status = supervisor::readProcessStatus(long(pid));
    return status && status->state != 'Z';
}

qint64 parentProcess(qint64 pid)
{
    const QByteArray text = readBytes(QStringLiteral("/proc/%1/stat").arg(pid));
    return text.mid(text.lastIndexOf(')') + 2).split(' ').value(1).toLongLong();
}

void installFakeSupervisor(const QString& path, int exitStatus)
{
    writeFile(path, "#!/bin/sh\nexit " + QByteArray::number(exitStatus) + "\n");
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace testing_support
