// Sky gradient, stars, horizon glow and the grid floor.
#include "backdrop.h"

#include "glow.h"
#include "palette.h"
#include "random_stream.h"

#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <cmath>

namespace artwork {

using namespace palette;

namespace {

void paintSky(QPainter& painter, const BackdropLayout& layout)
{
    const QRectF& area = layout.area;
    const qreal horizonT = (layout.horizonY - area.top()) / area.height();
    QLinearGradient sky(area.topLeft(), area.bottomLeft());
    sky.setColorAt(0.0, deepNight);
    sky.setColorAt(horizonT * 0.55, night);
    sky.setColorAt(horizonT * 0.92, navy);
    sky.setColorAt(horizonT, panel);
    sky.setColorAt(std::min(1.0, horizonT + 0.02), night);
    sky.setColorAt(1.0, deepNight);
    painter.fillRect(area, sky);
}

void paintStars(QPainter& painter, const BackdropLayout& layout)
{
    RandomStream random(layout.seed);
    const QRectF& area = layout.area;
    const qreal unit = area.height() / 1000.0 * layout.starScale;
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < layout.starCount; ++i) {
        const qreal x = random.between(area.left(), area.right());
        // Squaring the unit value crowds the stars towards the top of the sky.
        const qreal depth = random.unit();
        const qreal y = area.top() + depth * depth * (layout.horizonY - area.top()) * 0.97;
        const qreal brightness = random.between(0.25, 1.0) * (1.0 - 0.7 * depth);
        const qreal size = unit * (random.unit() < 0.06 ? random.between(2.4, 3.6) : random.between(0.8, 1.9));
        const QColor tint = mix(ice, accentLight, random.unit() * 0.6);
        painter.setBrush(withAlpha(tint, brightness));
        painter.drawEllipse(QPointF(x, y), size, size);
        if (size > 2.2 * unit) { // the brightest stars get a small cross glint
            painter.setBrush(withAlpha(tint, brightness * 0.45));
            painter.drawRect(QRectF(x - size * 5, y - unit * 0.35, size * 10, unit * 0.7));
            painter.drawRect(QRectF(x - unit * 0.35, y - size * 5, unit * 0.7, size * 10));
        }
    }
}

void paintHorizonGlow(QImage& target, const BackdropLayout& layout)
{
    const QRectF& area = layout.area;
    addGlow(target, [&](QPainter& painter) {
        QRadialGradient glow(QPointF(layout.vanishingX, layout.horizonY), area.width() * 0.45);
        glow.setColorAt(0.0, withAlpha(accent, 0.55));
        glow.setColorAt(0.5, withAlpha(accent, 0.18));
        glow.setColorAt(1.0, withAlpha(accent, 0.0));
        painter.save();
        painter.translate(layout.vanishingX, layout.horizonY);
        painter.scale(1.0, 0.16); // a flat band of light along the horizon
        painter.translate(-layout.vanishingX, -layout.horizonY);
        painter.fillRect(area, glow);
        painter.restore();
        painter.fillRect(QRectF(area.left(), layout.horizonY - area.height() * 0.002, area.width(),
                                area.height() * 0.004),
                         withAlpha(accentLight, 0.9));
    }, area.height() * 0.012, 0.9);
}

void paintGridFloor(QPainter& painter, const BackdropLayout& layout)
{
    const QRectF& area = layout.area;
    const qreal floorHeight = area.bottom() - layout.horizonY;
    if (floorHeight <= 0) return;
    painter.save();
    painter.setClipRect(QRectF(area.left(), layout.horizonY, area.width(), floorHeight));
    const qreal lineWidth = area.height() / 1000.0 * 1.6;

    // Lines across: spaced as a flat floor seen in perspective, so they
    // bunch up towards the horizon; fainter with distance.
    for (int row = 1; row < 40; ++row) {
        const qreal distance = row * 0.35;
        const qreal y = layout.horizonY + floorHeight / distance;
        if (y > area.bottom()) continue;
        const qreal nearness = (y - layout.horizonY) / floorHeight;
        painter.setPen(QPen(withAlpha(border, 0.15 + 0.6 * nearness), lineWidth));
        painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
    }
    // Lines into the distance, all through the vanishing point.
    QLinearGradient fade(0, layout.horizonY, 0, area.bottom());
    fade.setColorAt(0.0, withAlpha(border, 0.1));
    fade.setColorAt(1.0, withAlpha(border, 0.8));
    const qreal spacing = area.height() * 0.16;
    const int columns = static_cast<int>(area.width() * 3 / spacing);
    for (int i = -columns; i <= columns; ++i) {
        const QPointF bottom(layout.vanishingX + i * spacing, area.bottom());
        painter.setPen(QPen(QBrush(fade), lineWidth));
        painter.drawLine(QPointF(layout.vanishingX, layout.horizonY), bottom);
    }
    painter.restore();
}

} // namespace

void paintBackdrop(QImage& target, const BackdropLayout& layout)
{
    {
        QPainter painter(&target);
        painter.setRenderHint(QPainter::Antialiasing);
        paintSky(painter, layout);
        paintStars(painter, layout);
        paintGridFloor(painter, layout);
    }
    paintHorizonGlow(target, layout);
}

void paintEdgeFade(QImage& target, qreal fadeWidth)
{
    QPainter painter(&target);
    const QRectF bounds(QPointF(0, 0), QSizeF(target.size()));
    const auto fadeFrom = [&](QPointF edge, QPointF inside, QRectF band) {
        QLinearGradient gradient(edge, inside);
        gradient.setColorAt(0.0, night);
        gradient.setColorAt(1.0, withAlpha(night, 0.0));
        painter.fillRect(band, gradient);
    };
    const qreal w = bounds.width(), h = bounds.height(), f = fadeWidth;
    fadeFrom({0, 0}, {f, 0}, QRectF(0, 0, f, h));
    fadeFrom({w, 0}, {w - f, 0}, QRectF(w - f, 0, f, h));
    fadeFrom({0, 0}, {0, f}, QRectF(0, 0, w, f));
    fadeFrom({0, h}, {0, h - f}, QRectF(0, h - f, w, f));
}

} // namespace artwork
