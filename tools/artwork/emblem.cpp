// Geometry and painting of the emblem: the projected tesseract and the
// faceted crystal at its core.
#include "emblem.h"

#include "glow.h"
#include "palette.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>
#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <vector>

namespace artwork {

using namespace palette;

namespace {

struct ProjectedVertex {
    QPointF point; // in units of the emblem radius
    qreal depth;   // larger is nearer the viewer
    qreal w;       // fourth coordinate after rotation: inner (-) or outer (+) cube
};

struct Edge {
    int from, to;
};

// The 16 corners of the cube (+-1)^4, turned in four-space, seen in
// perspective along the fourth axis, then turned in three-space and laid flat.
std::array<ProjectedVertex, 16> projectTesseract()
{
    constexpr qreal turnXW = 0.32; // skews the inner cube off the centre
    constexpr qreal viewDistance4 = 3.0;
    constexpr qreal yaw = 30.0 * std::numbers::pi / 180.0;   // about the vertical axis
    constexpr qreal pitch = 22.0 * std::numbers::pi / 180.0; // about the horizontal axis
    std::array<ProjectedVertex, 16> vertices{};
    for (int i = 0; i < 16; ++i) {
        const qreal x4 = (i & 1) ? 1 : -1, y4 = (i & 2) ? 1 : -1, z4 = (i & 4) ? 1 : -1, w4 = (i & 8) ? 1 : -1;
        const qreal w = x4 * std::sin(turnXW) + w4 * std::cos(turnXW);
        const qreal perspective = viewDistance4 / (viewDistance4 - w);
        const qreal x = (x4 * std::cos(turnXW) - w4 * std::sin(turnXW)) * perspective;
        const qreal y = y4 * perspective, z = z4 * perspective;
        const qreal px = x * std::cos(yaw) + z * std::sin(yaw);
        const qreal pz = -x * std::sin(yaw) + z * std::cos(yaw);
        const qreal py = y * std::cos(pitch) - pz * std::sin(pitch);
        const qreal depth = y * std::sin(pitch) + pz * std::cos(pitch);
        vertices[size_t(i)] = {QPointF(px, py), depth, w};
    }
    // Centre the drawing on its bounding box (the perspective makes it
    // lopsided) and fit the larger side into the unit radius.
    qreal left = 0, right = 0, top = 0, bottom = 0;
    for (const auto& v : vertices) {
        left = std::min(left, v.point.x()), right = std::max(right, v.point.x());
        top = std::min(top, v.point.y()), bottom = std::max(bottom, v.point.y());
    }
    const QPointF middle((left + right) / 2, (top + bottom) / 2);
    const qreal extent = std::max(right - left, bottom - top) / 2;
    for (auto& v : vertices) {
        v.point = (v.point - middle) / extent;
        v.depth /= extent;
    }
    return vertices;
}

// Corners that differ in exactly one coordinate are joined: 32 edges.
std::vector<Edge> tesseractEdges()
{
    std::vector<Edge> edges;
    for (int i = 0; i < 16; ++i)
        for (int bit = 1; bit < 16; bit <<= 1)
            if (!(i & bit)) edges.push_back({i, i | bit});
    return edges;
}

void paintTesseractEdges(QPainter& painter, QPointF centre, qreal radius, qreal lineWidth, qreal nodeWidth)
{
    const auto vertices = projectTesseract();
    auto edges = tesseractEdges();
    // Far edges first, so near ones cross over them.
    const auto edgeDepth = [&](const Edge& e) { return vertices[size_t(e.from)].depth + vertices[size_t(e.to)].depth; };
    std::sort(edges.begin(), edges.end(), [&](const Edge& a, const Edge& b) { return edgeDepth(a) < edgeDepth(b); });
    painter.save();
    for (const Edge& edge : edges) {
        const auto& a = vertices[size_t(edge.from)];
        const auto& b = vertices[size_t(edge.to)];
        const qreal nearness = std::clamp(0.5 + (a.depth + b.depth) * 0.35, 0.0, 1.0);
        const bool outer = a.w > 0 && b.w > 0;
        // The outer cube is drawn brighter and bolder than the inner one and
        // the edges that join them, which gives the wireframe its depth.
        const QColor colour = outer ? mix(accent, accentPale, nearness * 0.8) : mix(border, accentLight, nearness);
        painter.setPen(QPen(withAlpha(colour, (outer ? 0.45 : 0.3) + 0.55 * nearness),
                            lineWidth * (outer ? 1.0 : 0.75) * (0.7 + 0.5 * nearness), Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(centre + a.point * radius, centre + b.point * radius);
    }
    // Corner nodes.
    painter.setPen(Qt::NoPen);
    for (const auto& v : vertices) {
        const qreal nearness = std::clamp(0.5 + v.depth * 0.7, 0.0, 1.0);
        painter.setBrush(withAlpha(mix(accentLight, ice, nearness), 0.4 + 0.6 * nearness));
        const qreal r = nodeWidth * (v.w > 0 ? 1.6 : 1.1) * (0.7 + 0.5 * nearness);
        painter.drawEllipse(centre + v.point * radius, r, r);
    }
    painter.restore();
}

// The crystal: an upright hexagonal outline with an inner hexagon and a
// peak, cut into 18 facets that are shaded by how they face a light from the
// upper left.
struct Facet {
    QPolygonF shape;
    qreal light; // 0 dark .. 1 lit
};

std::vector<Facet> crystalFacets(QPointF centre, qreal size)
{
    const std::array<QPointF, 6> outline{QPointF(0, -1.0), QPointF(0.6, -0.42), QPointF(0.6, 0.42),
                                         QPointF(0, 1.0),  QPointF(-0.6, 0.42), QPointF(-0.6, -0.42)};
    const QPointF peak(-0.06, -0.12);
    std::array<QPointF, 6> inner{};
    for (size_t i = 0; i < 6; ++i) inner[i] = peak + (outline[i] - peak) * 0.48;
    const QPointF lightDirection(-0.6, -0.8);
    const auto shade = [&](const QPolygonF& shape, qreal bias) {
        QPointF middle;
        for (const QPointF& p : shape) middle += p;
        middle /= shape.size();
        const QPointF away = middle - peak;
        const qreal length = std::hypot(away.x(), away.y());
        const qreal facing = length > 0 ? (away.x() * lightDirection.x() + away.y() * lightDirection.y()) / length : 0;
        return std::clamp(0.5 + 0.45 * facing + bias, 0.0, 1.0);
    };
    const auto place = [&](QPolygonF shape) {
        for (QPointF& p : shape) p = centre + p * size;
        return shape;
    };
    std::vector<Facet> facets;
    for (size_t i = 0; i < 6; ++i) {
        const size_t j = (i + 1) % 6;
        const QPolygonF outerA{outline[i], outline[j], inner[i]};
        const QPolygonF outerB{outline[j], inner[j], inner[i]};
        const QPolygonF core{inner[i], inner[j], peak};
        facets.push_back({place(outerA), shade(outerA, -0.08)});
        facets.push_back({place(outerB), shade(outerB, 0.06)});
        facets.push_back({place(core), shade(core, 0.18)});
    }
    return facets;
}

void paintCrystal(QPainter& painter, QPointF centre, qreal size, qreal lineWidth)
{
    painter.save();
    for (const Facet& facet : crystalFacets(centre, size)) {
        const QRectF box = facet.shape.boundingRect();
        QLinearGradient fill(box.topLeft(), box.bottomRight());
        const QColor base = facet.light < 0.5 ? mix(mix(panel, accent, 0.12), accent, facet.light * 2)
                                              : mix(accent, accentPale, (facet.light - 0.5) * 2);
        fill.setColorAt(0.0, base.lighter(112));
        fill.setColorAt(1.0, base.darker(118));
        painter.setBrush(fill);
        painter.setPen(QPen(withAlpha(accentPale, 0.55), lineWidth * 0.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPolygon(facet.shape);
    }
    painter.restore();
}

// A four-pointed glint: two thin crossed diamonds.
void paintSparkle(QPainter& painter, QPointF at, qreal reach, const QColor& colour)
{
    const qreal waist = reach * 0.12;
    QPainterPath star;
    star.addPolygon(QPolygonF{at + QPointF(0, -reach), at + QPointF(waist, 0), at + QPointF(0, reach),
                              at + QPointF(-waist, 0), at + QPointF(0, -reach)});
    star.addPolygon(QPolygonF{at + QPointF(-reach, 0), at + QPointF(0, waist), at + QPointF(reach, 0),
                              at + QPointF(0, -waist), at + QPointF(-reach, 0)});
    star.setFillRule(Qt::WindingFill);
    painter.fillPath(star, colour);
}

} // namespace

void paintEmblem(QImage& target, QPointF centre, qreal radius, const EmblemStyle& style)
{
    const qreal crystalSize = radius * 0.46;
    const QPointF sparkleAt = centre + QPointF(-0.3, -0.5) * crystalSize; // on the lit upper left
    // Halo first, so the crisp shapes sit on top of their own light.
    addGlow(target, [&](QPainter& painter) {
        QRadialGradient core(centre, crystalSize * 1.6);
        core.setColorAt(0.0, withAlpha(accent, 0.75));
        core.setColorAt(1.0, withAlpha(accent, 0.0));
        painter.setPen(Qt::NoPen);
        painter.setBrush(core);
        painter.drawEllipse(centre, crystalSize * 1.6, crystalSize * 1.6);
        paintTesseractEdges(painter, centre, radius, style.lineWidth * 3, style.lineWidth);
        paintSparkle(painter, sparkleAt, crystalSize * 0.5, accentPale);
    }, style.glowRadius, style.glowStrength);

    QPainter painter(&target);
    painter.setRenderHint(QPainter::Antialiasing);
    paintTesseractEdges(painter, centre, radius, style.lineWidth, style.lineWidth);
    paintCrystal(painter, centre, crystalSize, style.lineWidth);
    paintSparkle(painter, sparkleAt, crystalSize * 0.32, Qt::white);
}

} // namespace artwork
