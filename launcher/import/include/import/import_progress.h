// The progress report of every import step: how many items (package entries,
// copied or decoded files) are done out of how many, and the line that names
// the item about to be worked on.
#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>

// (items done, total items, text naming the item about to be processed; empty
// when the report only moves the count). A total of 0 means "not counted".
using ProgressFn = std::function<void(qint64 done, qint64 total, const QString& text)>;
