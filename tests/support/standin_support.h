// Using the stand-in game runtime in tests: installing its three files into
// a folder, and reading the launch record it writes to its --log_file.
#pragma once

#include <QString>
#include <QStringList>

namespace testing_support {

struct StandInRecord {
    QStringList arguments;
    QString workingFolder;
    QString audioDriver;
    qint64 pid = 0;
};

// Copies tessarine, libkynruntime.so and libkyngpu-xenos.so into folder and
// makes the stand-in exit soon after it starts.
void installStandIn(const QString& folder);

// Waits (up to a few seconds) for the record at path and parses it; fails
// the calling test when it does not appear.
StandInRecord waitForStandInRecord(const QString& path);

} // namespace testing_support
