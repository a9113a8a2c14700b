// Stopping a running import: the import loops ask this between entries or
// files, and fail with one shared message when the user has quit.
#pragma once

#include <QString>
#include <QThread>

inline bool importInterruptionRequested()
{
    return QThread::currentThread()->isInterruptionRequested();
}

inline QString importStoppedMessage()
{
    return QStringLiteral("Import stopped before it finished.");
}
