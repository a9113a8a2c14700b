// StepWeights: the steps of a job joined into one share.
#include "import/import_progress.h"

#include <algorithm>
#include <numeric>

StepWeights::StepWeights(QList<qint64> weights)
    : weights(std::move(weights))
{
}

void StepWeights::setWeight(int step, qint64 weight)
{
    weights[step] = std::max<qint64>(0, weight);
}

double StepWeights::jobShare(int step, const ImportProgress& report)
{
    if (report.bytesTotal > 0)
        setWeight(step, report.bytesTotal);
    double stepShare = 0;
    if (report.bytesTotal > 0)
        stepShare = double(report.bytesDone) / double(report.bytesTotal);
    else if (report.total > 0)
        stepShare = double(report.done) / double(report.total);
    stepShare = std::clamp(stepShare, 0.0, 1.0);
    const qint64 before = std::accumulate(weights.cbegin(), weights.cbegin() + step, qint64(0));
    const qint64 all = std::accumulate(weights.cbegin(), weights.cend(), qint64(0));
    // Steps without a byte between them share the bar equally.
    const double share = all > 0 ? (before + stepShare * weights[step]) / double(all)
                                 : (step + stepShare) / double(weights.size());
    reached = std::max(reached, share);
    return reached;
}

ProgressFn StepWeights::reporter(int step, const ProgressFn& sink)
{
    if (!sink)
        return {};
    return [this, step, sink](const ImportProgress& report) {
        ImportProgress withShare = report;
        withShare.jobShare = jobShare(step, report);
        sink(withShare);
    };
}
