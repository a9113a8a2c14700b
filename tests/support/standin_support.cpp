// Using the stand-in game runtime in tests.
#include "standin_support.h"

#include "test_support.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

namespace testing_support {

namespace {

// Record values escape "\" as "\\" and a line feed as "\n".
QString unescape(const QString& value)
{
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == QLatin1Char('\\') && i + 1 < value.size()) {
            ++i;
            out += value[i] == QLatin1Char('n') ? QLatin1Char('\n') : value[i];
        } else {
            out += value[i];
        }
    }
    return out;
}

} // namespace

void installStandIn(const QString& folder)
{
    QVERIFY(QDir().mkpath(folder));
    for (const char* name : {"tessarine", "libkynruntime.so", "libkyngpu-xenos.so"}) {
        const QString source = QDir(QStringLiteral(ORVELLO_STANDIN_DIR)).filePath(QLatin1String(name));
        const QString target = QDir(folder).filePath(QLatin1String(name));
        QFile::remove(target);
        QVERIFY2(QFile::copy(source, target), qPrintable(source));
    }
    qputenv("TESSARINE_STANDIN_SECONDS", "0.5");
}

StandInRecord waitForStandInRecord(const QString& path)
{
    StandInRecord record;
    QDeadlineTimer deadline(10000);
    while (!QFile::exists(path) && !deadline.hasExpired())
        QThread::msleep(10);
    QFile file(path);
    [&] { QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path + QStringLiteral(" never appeared"))); }();
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.startsWith(QStringLiteral("arg=")))
            record.arguments << unescape(line.mid(4));
        else if (line.startsWith(QStringLiteral("cwd=")))
            record.workingFolder = unescape(line.mid(4));
        else if (line.startsWith(QStringLiteral("env SDL_AUDIO_DRIVER=")))
            record.audioDriver = unescape(line.mid(21));
        else if (line.startsWith(QStringLiteral("pid=")))
            record.pid = line.mid(4).toLongLong();
    }
    return record;
}

void installRecordingWrapper(const QString& path)
{
    // Arguments one per line between markers, then the environment; the
    // record appears whole, by a rename.
    writeFile(path, "#!/bin/sh\n"
                    "record=\"$0.record\"\n"
                    "{ for a in \"$@\"; do printf 'arg=%s\\n' \"$a\"; done; echo '--'; env; } > \"$record.part\"\n"
                    "mv \"$record.part\" \"$record\"\n"
                    "exec \"$@\"\n");
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

WrapperRecord waitForWrapperRecord(const QString& path)
{
    WrapperRecord record;
    const QString recordPath = path + QStringLiteral(".record");
    QDeadlineTimer deadline(10000);
    while (!QFile::exists(recordPath) && !deadline.hasExpired())
        QThread::msleep(10);
    QFile file(recordPath);
    [&] { QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(recordPath + QStringLiteral(" never appeared"))); }();
    bool inEnvironment = false;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line == QLatin1String("--"))
            inEnvironment = true;
        else if (inEnvironment)
            record.environment << line;
        else if (line.startsWith(QStringLiteral("arg=")))
            record.arguments << line.mid(4);
    }
    return record;
}

} // namespace testing_support
