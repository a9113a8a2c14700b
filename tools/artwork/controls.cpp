// The arrow and tick images of the themed controls (see controls.h).
#include "controls.h"
#include "palette.h"

#include <QPainter>
#include <QPainterPath>

namespace artwork {

using namespace palette;

namespace {

// A transparent image of a logical size at a scale; the painter that draws
// on it works in logical pixels.
QImage transparentImage(int width, int height, int scale)
{
    QImage image(width * scale, height * scale, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// Strokes path (in logical pixels) onto image with round ends and joins.
void strokeLogical(QImage& image, int scale, const QPainterPath& path, const QColor& colour, qreal width)
{
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(scale, scale);
    painter.strokePath(path, QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
}

} // namespace

QImage paintArrow(ArrowDirection direction, int scale)
{
    // The stroke's half width is kept free at every edge, so the round ends
    // are not clipped.
    constexpr qreal stroke = 1.8;
    constexpr qreal inset = stroke / 2;
    const qreal top = inset;
    const qreal bottom = arrowHeight - inset;
    const qreal tipY = direction == ArrowDirection::Down ? bottom : top;
    const qreal endY = direction == ArrowDirection::Down ? top : bottom;
    QPainterPath chevron;
    chevron.moveTo(inset, endY);
    chevron.lineTo(arrowWidth / 2.0, tipY);
    chevron.lineTo(arrowWidth - inset, endY);

    QImage image = transparentImage(arrowWidth, arrowHeight, scale);
    strokeLogical(image, scale, chevron, accentPale, stroke);
    return image.convertToFormat(QImage::Format_ARGB32);
}

QImage paintTick(int scale)
{
    constexpr qreal stroke = 2.2;
    QPainterPath tick;
    tick.moveTo(tickSize * 0.14, tickSize * 0.52);
    tick.lineTo(tickSize * 0.40, tickSize * 0.78);
    tick.lineTo(tickSize * 0.86, tickSize * 0.22);

    QImage image = transparentImage(tickSize, tickSize, scale);
    strokeLogical(image, scale, tick, Qt::white, stroke);
    return image.convertToFormat(QImage::Format_ARGB32);
}

QList<ControlImage> controlImages()
{
    QList<ControlImage> images;
    for (const int scale : {1, 2}) {
        const QString suffix = scale == 1 ? QStringLiteral(".png") : QStringLiteral("@%1x.png").arg(scale);
        images.append({QStringLiteral("arrow-down") + suffix, paintArrow(ArrowDirection::Down, scale)});
        images.append({QStringLiteral("arrow-up") + suffix, paintArrow(ArrowDirection::Up, scale)});
        images.append({QStringLiteral("check") + suffix, paintTick(scale)});
    }
    return images;
}

} // namespace artwork
