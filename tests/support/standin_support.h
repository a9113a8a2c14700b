// Using the stand-in game runtime in tests: installing its three files into
// a folder, reading the launch record it writes to its --log_file, and a
// command wrapper that records how it was started before it runs the game.
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

struct WrapperRecord {
    QStringList arguments;   // what the wrapper was given: the game's command
    QStringList environment; // "NAME=value", as the wrapper and so the game got it
};

// Writes an executable shell script at path that records its arguments and
// environment into path + ".record", then runs its arguments (exec), as
// gamemoderun or mangohud do.
void installRecordingWrapper(const QString& path);

// Waits (up to a few seconds) for the record of the wrapper at path.
WrapperRecord waitForWrapperRecord(const QString& path);

} // namespace testing_support
