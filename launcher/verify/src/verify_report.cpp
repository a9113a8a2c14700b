// The verify message, put together from the report's parts.
#include "verify/verify_report.h"

namespace {

QString mismatchLine(const FileMismatch& mismatch)
{
    switch (mismatch.kind) {
    case FileMismatch::Kind::Missing:
        return QStringLiteral("  %1 (missing)").arg(mismatch.path);
    case FileMismatch::Kind::StillCompressed:
        return QStringLiteral("  %1 (still compressed)").arg(mismatch.path);
    case FileMismatch::Kind::Damaged:
        break;
    }
    return QStringLiteral("  %1 (damaged)").arg(mismatch.path);
}

QStringList fileLines(const VerifyReport& report)
{
    if (report.stopped)
        return {QStringLiteral("Verification stopped before it finished.")};
    if (!report.hasManifest)
        return {QStringLiteral("No checksums were recorded for this game folder.")};
    if (!report.manifestError.isEmpty())
        return {QStringLiteral("The checksums of this game folder cannot be read: %1").arg(report.manifestError)};
    if (report.mismatches.isEmpty())
        return {QStringLiteral("All %1 files match.").arg(report.filesChecked)};

    QStringList lines{QStringLiteral("%1 of %2 files do not match:").arg(report.mismatches.size()).arg(report.filesChecked)};
    for (qsizetype i = 0; i < report.mismatches.size() && i < kListedMismatches; ++i)
        lines << mismatchLine(report.mismatches[i]);
    if (report.mismatches.size() > kListedMismatches)
        lines << QStringLiteral("…and %1 more.").arg(report.mismatches.size() - kListedMismatches);
    return lines;
}

} // namespace

bool VerifyReport::allGood() const
{
    return !stopped && hasManifest && manifestError.isEmpty() && mismatches.isEmpty() && otherProblems.isEmpty();
}

QString VerifyReport::text() const
{
    QStringList lines = fileLines(*this);
    if (!stopped && !otherProblems.isEmpty())
        lines << QString() << otherProblems;
    return lines.join(QLatin1Char('\n'));
}
