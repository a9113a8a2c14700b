// TransferRate and the texts of a transfer.
#include "import/transfer_rate.h"

#include <QLocale>

#include <cmath>

void TransferRate::restart()
{
    samples.clear();
}

void TransferRate::add(qint64 msecs, qint64 bytesDone)
{
    samples.push_back({msecs, bytesDone});
    // One sample older than the window stays, so that the measured span
    // is the whole window.
    while (samples.size() > 2 && msecs - samples[1].msecs >= kWindowMs)
        samples.pop_front();
}

double TransferRate::bytesPerSecond() const
{
    if (samples.size() < 2)
        return -1;
    const qint64 span = samples.back().msecs - samples.front().msecs;
    const qint64 bytes = samples.back().bytesDone - samples.front().bytesDone;
    if (span < kShortestSpanMs || bytes <= 0)
        return -1;
    return bytes * 1000.0 / span;
}

qint64 TransferRate::secondsLeft(qint64 bytesLeft) const
{
    const double rate = bytesPerSecond();
    if (rate <= 0 || bytesLeft < 0)
        return -1;
    return qint64(std::ceil(bytesLeft / rate));
}

QString byteCountText(qint64 bytes)
{
    return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

QString timeLeftText(qint64 seconds)
{
    if (seconds < 60)
        return QStringLiteral("about %1 s left").arg(std::max<qint64>(1, seconds));
    return QStringLiteral("about %1 min left").arg(std::llround(seconds / 60.0));
}

QString transferText(qint64 bytesDone, qint64 bytesTotal, double bytesPerSecond, qint64 secondsLeft)
{
    QString text = QStringLiteral("%1 of %2").arg(byteCountText(bytesDone), byteCountText(bytesTotal));
    if (bytesPerSecond >= 0)
        text += QStringLiteral(", %1/s").arg(byteCountText(qint64(bytesPerSecond)));
    if (secondsLeft >= 0)
        text += QStringLiteral(", ") + timeLeftText(secondsLeft);
    return text;
}
