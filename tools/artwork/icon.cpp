// Composition of the application icon: the emblem over the monogram "TV" in
// a rounded square, readable from full size down to a task-bar icon.
#include "backdrop.h"
#include "emblem.h"
#include "glow.h"
#include "lettering.h"
#include "palette.h"
#include "pictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace artwork {

using namespace palette;

namespace {

QPainterPath roundedSquare(qreal size)
{
    const qreal inset = size * 0.035;
    QPainterPath path;
    path.addRoundedRect(QRectF(inset, inset, size - 2 * inset, size - 2 * inset), size * 0.2, size * 0.2);
    return path;
}

void paintMonogram(QImage& target, const QFont& lettering, qreal size)
{
    QPainterPath monogram = fittedText(QStringLiteral("TV"), lettering, size * 0.36, 0.06);
    const QRectF ink = monogram.boundingRect();
    monogram.translate(size / 2 - ink.center().x(), size * 0.845 - ink.bottom());
    const QRectF box = monogram.boundingRect();

    addGlow(target, [&](QPainter& painter) { painter.fillPath(monogram, withAlpha(accent, 0.95)); },
            box.height() * 0.14, 0.9);
    QPainter painter(&target);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.strokePath(monogram, QPen(withAlpha(deepNight, 0.9), box.height() * 0.06));
    QLinearGradient fill(box.topLeft(), box.bottomLeft());
    fill.setColorAt(0.0, Qt::white);
    fill.setColorAt(1.0, accentPale);
    painter.fillPath(monogram, fill);
}

} // namespace

QImage paintIcon(const QFont& lettering)
{
    const qreal size = iconSize;
    QImage scene(iconSize, iconSize, QImage::Format_ARGB32_Premultiplied);
    scene.fill(night);
    BackdropLayout layout;
    layout.area = QRectF(0, 0, size, size);
    layout.horizonY = size * 0.66;
    layout.vanishingX = size * 0.5;
    layout.starCount = 260;
    layout.starScale = 0.8;
    layout.seed = 0x1c0dd5;
    paintBackdrop(scene, layout);

    EmblemStyle emblem;
    emblem.lineWidth = size * 0.011;
    emblem.glowRadius = size * 0.03;
    paintEmblem(scene, QPointF(size * 0.5, size * 0.37), size * 0.27, emblem);
    paintMonogram(scene, lettering, size);

    QImage icon(iconSize, iconSize, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPainterPath outline = roundedSquare(size);
    painter.setClipPath(outline);
    painter.drawImage(0, 0, scene);
    painter.setClipping(false);
    painter.strokePath(outline, QPen(border, size * 0.012));
    return icon.convertToFormat(QImage::Format_ARGB32);
}

} // namespace artwork
