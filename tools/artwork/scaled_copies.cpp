// Scaled-down copies of the icon and the banner (see scaled_copies.h).
#include "scaled_copies.h"

namespace artwork {

namespace {

// Scaling in premultiplied form keeps the transparent corners of the icon
// from bleeding dark fringes into its rounded edge.
QImage smoothlyScaled(const QImage& source, QSize size)
{
    const QImage premultiplied = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    return premultiplied.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_ARGB32);
}

} // namespace

QList<NamedImage> scaledCopies(const QImage& icon, const QImage& banner)
{
    QList<NamedImage> copies;
    for (const int size : iconCopySizes)
        copies.append({QStringLiteral("icon-%1.png").arg(size), smoothlyScaled(icon, QSize(size, size))});
    for (const int width : bannerCopyWidths) {
        const int height = qRound(qreal(banner.height()) * width / banner.width());
        copies.append({QStringLiteral("banner-%1.png").arg(width), smoothlyScaled(banner, QSize(width, height))});
    }
    return copies;
}

} // namespace artwork
