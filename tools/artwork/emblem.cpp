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
#include <QVector3D>
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
    constexpr qreal turnXW = 0.0, turnYZ = 0.0;
    constexpr qreal viewDistance4 = 3.0;
    constexpr qreal yaw = 30.0 * std::numbers::pi / 180.0;   // about the vertical axis
    constexpr qreal pitch = 22.0 * std::numbers::pi / 180.0; // about the horizontal axis
    std::array<ProjectedVertex, 16> vertices{};
    qreal extent = 0;
    for (int i = 0; i < 16; ++i) {
        qreal x = (i & 1) ? 1 : -1, y = (i & 2) ? 1 : -1, z = (i & 4) ? 1 : -1, w = (i & 8) ? 1 : -1;
        const qreal xw = x * std::cos(turnXW) - w * std::sin(turnXW);
        w = x * std::sin(turnXW) + w * std::cos(turnXW);
        x = xw;
        const qreal yz = y * std::cos(turnYZ) - z * std::sin(turnYZ);
        z = y * std::sin(turnYZ) + z * std::cos(turnYZ);
        y = yz;
        const qreal perspective = viewDistance4 / (viewDistance4 - w);
        QVector3D p(float(x * perspective), float(y * perspective), float(z * perspective));
        const qreal px = p.x() * std::cos(yaw) + p.z() * std::sin(yaw);
        const qreal pz = -p.x() * std::sin(yaw) + p.z() * std::cos(yaw);
        const qreal py = p.y() * std::cos(pitch) - pz * std::sin(pitch);
        const qreal depth = p.y() * std::sin(pitch) + pz * std::cos(pitch);
        vertices[size_t(i)] = {QPointF(px, py), depth, w};
        extent = std::max({extent, std::abs(px), std::abs(py)});
    }
    for (auto& v : vertices) { // fit the outline into the unit radius
        v.point /= extent;
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

void paintTesseractEdges(QPainter& painter, QPointF centre, qreal radius, qreal lineWidth, qreal alphaScale)
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
        const QColor colour = outer ? mix(accent, accentPale, nearness * 0.8) : mix(border, accentLight, nearness);
        painter.setPen(QPen(withAlpha(colour, (0.35 + 0.65 * nearness) * alphaScale),
                            lineWidth * (outer ? 1.0 : 0.75) * (0.7 + 0.5 * nearness), Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(centre + a.point * radius, centre + b.point * radius);
    }
    // Corner nodes.
    painter.setPen(Qt::NoPen);
    for (const auto& v : vertices) {
        const qreal nearness = std::clamp(0.5 + v.depth * 0.7, 0.0, 1.0);
        painter.setBrush(withAlpha(mix(accentLight, ice, nearness), (0.4 + 0.6 * nearness) * alphaScale));
        const qreal r = lineWidth * (v.w > 0 ? 1.6 : 1.1) * (0.7 + 0.5 * nearness);
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
        const QColor base = facet.light < 0.5 ? mix(panel, accent, facet.light * 2)
                                              : mix(accent, accentPale, (facet.light - 0.5) * 2);
        fill.setColorAt(0.0, base.lighter(112));
        fill.setColorAt(1.0, base.darker(118));
        painter.setBrush(fill);
        painter.setPen(QPen(withAlpha(accentPale, 0.55), lineWidth * 0.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPolygon(facet.shape);
    }
    painter.restore();
}

} // namespace

void paintEmblem(QImage& target, QPointF centre, qreal radius, const EmblemStyle& style)
{
    const qreal crystalSize = radius * 0.52;
    // Halo first, so the crisp shapes sit on top of their own light.
    addGlow(target, [&](QPainter& painter) {
        QRadialGradient core(centre, crystalSize * 1.6);
        core.setColorAt(0.0, withAlpha(accent, 0.75));
        core.setColorAt(1.0, withAlpha(accent, 0.0));
        painter.setPen(Qt::NoPen);
        painter.setBrush(core);
        painter.drawEllipse(centre, crystalSize * 1.6, crystalSize * 1.6);
        paintTesseractEdges(painter, centre, radius, style.lineWidth * 3, 1.0);
    }, style.glowRadius, style.glowStrength);

    QPainter painter(&target);
    painter.setRenderHint(QPainter::Antialiasing);
    paintTesseractEdges(painter, centre, radius, style.lineWidth, 1.0);
    paintCrystal(painter, centre, crystalSize, style.lineWidth);
}

} // namespace artwork
