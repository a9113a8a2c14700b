// extractAll: writes every folder and file of an opened STFS package beneath
// a destination folder, following each file's block chain.
#pragma once

#include "import/stfs_reader.h"

#include <QString>
#include <QtGlobal>

#include <functional>

// (entries done, total named entries, relative path about to be processed;
// empty in the closing report)
using ExtractProgressFn = std::function<void(qint64, qint64, const QString&)>;

// Refuses, before writing anything, any package with an entry named "." or
// "..", or whose name holds "/" or a NUL character. Never follows a symbolic
// link found beneath the destination. Stops between entries when the calling
// thread has been asked to (QThread::requestInterruption).
bool extractAll(StfsReader& reader, const QString& destination, const ExtractProgressFn& progress,
                QString* error = nullptr);
