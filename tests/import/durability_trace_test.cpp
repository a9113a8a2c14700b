// Durability, read off the system calls of a whole package import: strace
// follows the import process, its flusher threads and every decoder, and
// the trace must show each rename of a decoded file after a flush that began
// once that file's decoder had ended, and the tree flushed once more after
// the last rename, before the import process ends. The same import without
// flushing shows what the check catches. Skips when strace is missing or
// may not trace here.
#include "import_fixture.h"
#include "test_support.h"

#include <QFile>
#include <QHash>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>

using namespace testing_support;

namespace {

constexpr int kCompressedFiles = 40;
constexpr int kTraceTimeoutMs = 120000;

// What a trace says about flushes and renames, in the order strace saw
// the calls begin and end (one line each, or an "unfinished" line and a
// "resumed" one).
struct TraceFindings {
    QStringList violations; // one line per rename or ending not covered by a flush
    int renames = 0;
    int flushes = 0;
};

struct Flush {
    qsizetype began;
    qsizetype ended;
};

TraceFindings readTrace(const QList<QByteArray>& lines)
{
    static const QRegularExpression linePattern(QStringLiteral("^(\\d+)\\s+(.*)$"));
    static const QRegularExpression quoted(QStringLiteral("\"((?:[^\"\\\\]|\\\\.)*)\""));
    static const QRegularExpression flushCall(QStringLiteral("^(fsync|fdatasync|syncfs)\\("));
    static const QRegularExpression flushResumed(QStringLiteral("^<\\.\\.\\. (fsync|fdatasync|syncfs) resumed>.*= (-?\\d+)"));
    static const QRegularExpression result(QStringLiteral("= (-?\\d+)(?: [A-Z]+.*)?$"));

    TraceFindings findings;
    QHash<QString, QString> decoderOf;    // "<file>.decoding" -> pid of the decoder that wrote it
    QHash<QString, qsizetype> endedAt;    // pid -> line of its exit
    QHash<QString, qsizetype> flushBegan; // pid -> line of its unfinished flush
    QList<Flush> flushes;
    struct Rename {
        qsizetype at;
        QString from;
    };
    QList<Rename> renames;
    QString importProcess;

    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QRegularExpressionMatch line = linePattern.match(QString::fromUtf8(lines[i]));
        if (!line.hasMatch())
            continue;
        const QString pid = line.captured(1);
        const QString call = line.captured(2);
        if (importProcess.isEmpty())
            importProcess = pid;
        if (call.startsWith(QLatin1String("+++ exited")) || call.startsWith(QLatin1String("+++ killed"))) {
            endedAt[pid] = i;
        } else if (call.startsWith(QLatin1String("execve("))) {
            for (auto it = quoted.globalMatch(call); it.hasNext();) {
                const QString argument = it.next().captured(1);
                if (argument.endsWith(QLatin1String(".decoding")))
                    decoderOf[argument] = pid;
            }
        } else if (flushCall.match(call).hasMatch()) {
            if (call.contains(QLatin1String("<unfinished ...>")))
                flushBegan[pid] = i;
            else if (result.match(call).captured(1) == QLatin1String("0"))
                flushes.append({i, i});
        } else if (const QRegularExpressionMatch resumed = flushResumed.match(call); resumed.hasMatch()) {
            if (resumed.captured(2) == QLatin1String("0") && flushBegan.contains(pid))
                flushes.append({flushBegan.take(pid), i});
        } else if (call.startsWith(QLatin1String("rename(")) || call.startsWith(QLatin1String("renameat2("))) {
            renames.append({i, quoted.match(call).captured(1)});
        }
    }

    // A flush that began after `after` and ended before `before`.
    const auto flushedBetween = [&flushes](qsizetype after, qsizetype before) {
        return std::any_of(flushes.cbegin(), flushes.cend(),
                           [&](const Flush& flush) { return flush.began > after && flush.ended < before; });
    };
    qsizetype lastRename = -1;
    for (const Rename& rename : renames) {
        lastRename = std::max(lastRename, rename.at);
        const QString decoder = decoderOf.value(rename.from);
        if (decoder.isEmpty() || !endedAt.contains(decoder)) {
            findings.violations << QStringLiteral("no decoder wrote %1").arg(rename.from);
            continue;
        }
        if (!flushedBetween(endedAt[decoder], rename.at))
            findings.violations << QStringLiteral("%1 renamed without a flush since its decoder ended").arg(rename.from);
    }
    if (!flushedBetween(lastRename, endedAt.value(importProcess, lines.size())))
        findings.violations << QStringLiteral("the import ended without flushing after its last rename");
    findings.renames = renames.size();
    findings.flushes = flushes.size();
    return findings;
}

} // namespace

class TestDurabilityTrace : public QObject {
    Q_OBJECT

private slots:
    void renamesComeAfterFlushes_data()
    {
        QTest::addColumn<bool>("flushed");
        QTest::newRow("flushed") << true;
        QTest::newRow("unflushed: what the check catches") << false;
    }

    void renamesComeAfterFlushes()
    {
        QFETCH(bool, flushed);
        const QString strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
        if (strace.isEmpty())
            QSKIP("strace is not installed (Debian package strace)");

        ScratchHome home;
        GameContent content;
        content.files[QStringLiteral("default.xex")] = {xexImage(QStringLiteral("4E3D2C71")), xexImage(QStringLiteral("4E3D2C71"))};
        for (int i = 0; i < kCompressedFiles; ++i) {
            const QByteArray bytes = patternBytes(20000 + 997 * i, quint32(i));
            content.files[QStringLiteral("content/%1/file%2.bin").arg(i % 4).arg(i)] = {rawZorv(bytes), bytes};
        }
        content.files[QStringLiteral("content/plain.txt")] = {"plain", "plain"};
        const QString package = home.filePath(QStringLiteral("Game.pkg"));
        writeContentPackage(package, content);
        const QString root = home.filePath(QStringLiteral("Games/Game"));
        const QString trace = home.filePath(QStringLiteral("import.trace"));

        QStringList arguments{QStringLiteral("-f"), QStringLiteral("-s"), QStringLiteral("4096"),
                              QStringLiteral("-o"), trace,
                              QStringLiteral("-e"), QStringLiteral("trace=execve,fsync,fdatasync,syncfs,rename,renameat2"),
                              QStringLiteral(IMPORT_JOB_RUNNER), QStringLiteral("package"), package, root};
        if (!flushed)
            arguments << QStringLiteral("--unflushed");
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PATH"), QStringLiteral(ORVELLO_BIN_DIR ":/usr/bin:/bin"));
        // LeakSanitizer cannot run under ptrace and reports that as a
        // finding; the sanitized build keeps every other check here.
        if (environment.contains(QStringLiteral("ASAN_OPTIONS")))
            environment.insert(QStringLiteral("ASAN_OPTIONS"),
                               environment.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0"));
        QProcess traced;
        traced.setProcessEnvironment(environment);
        traced.start(strace, arguments);
        QVERIFY(traced.waitForFinished(kTraceTimeoutMs));
        const QByteArray errors = traced.readAllStandardError();
        if (errors.contains("Operation not permitted") || errors.contains("ptrace"))
            QSKIP(qPrintable("strace may not trace here: " + QString::fromUtf8(errors.trimmed())));
        QVERIFY2(traced.exitCode() == 0, errors.constData());
        verifyDecoded(root + QStringLiteral("/gamedata"), content);

        QFile file(trace);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const TraceFindings findings = readTrace(file.readAll().split('\n'));
        QCOMPARE(findings.renames, kCompressedFiles);
        if (flushed) {
            QVERIFY2(findings.violations.isEmpty(), qPrintable(findings.violations.join('\n')));
            // Batches: fewer flushes than files, which is what keeps the cost small.
            QVERIFY2(findings.flushes < kCompressedFiles, qPrintable(QString::number(findings.flushes)));
            qInfo("%d renames after %d flushes", findings.renames, findings.flushes);
        } else {
            QVERIFY(findings.violations.size() >= kCompressedFiles);
        }
    }
};

ORVELLO_CORE_TEST_MAIN(TestDurabilityTrace)
#include "durability_trace_test.moc"
