// The game's emblem: a faceted "tessarine" crystal held inside the glowing
// wireframe of a tesseract (a four-dimensional cube projected to the plane).
#pragma once

#include <QImage>
#include <QPointF>

namespace artwork {

struct EmblemStyle {
    qreal lineWidth = 1;  // tesseract edges, in picture pixels
    qreal glowRadius = 1; // blur of the halo around edges and crystal
    qreal glowStrength = 0.9;
};

// Paints the emblem centred on centre; radius is half the width of the
// tesseract's outline (the crystal is about half of that).
void paintEmblem(QImage& target, QPointF centre, qreal radius, const EmblemStyle& style);

} // namespace artwork
