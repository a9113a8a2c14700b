// The readiness lines of --status, in order: one "Key: value" line each,
// for people and for scripts. A line whose value is empty is left out.
// Adding a line is adding a row. The play lines follow them, all from one
// reading of the play journal (playStatusLines in core/play_texts.h).
#pragma once

#include <QList>
#include <QString>

#include <functional>

class LauncherSession;
struct ReadinessStatus;

namespace cli {

struct StatusLine {
    QString key;
    std::function<QString(const LauncherSession&, const ReadinessStatus&)> value;
};

const QList<StatusLine>& statusLines();

} // namespace cli
