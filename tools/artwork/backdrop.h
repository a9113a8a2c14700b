// The night scene behind the emblem and the lettering: a gradient sky with
// stars, a glowing horizon and a perspective grid floor that recedes to it.
#pragma once

#include <QImage>
#include <QRectF>
#include <cstdint>

namespace artwork {

struct BackdropLayout {
    QRectF area;            // the part of the picture the scene fills
    qreal horizonY = 0;     // where sky and floor meet
    qreal vanishingX = 0;   // where the floor's lines converge
    int starCount = 0;
    qreal starScale = 1;    // star size relative to a 1000-px-high picture
    std::uint64_t seed = 1; // star positions
};

// Paints the whole scene into target (which must already be sized).
void paintBackdrop(QImage& target, const BackdropLayout& layout);

// Darkens the picture towards the page colour at its edges, so that it sits
// on the launcher's background without a visible seam.
void paintEdgeFade(QImage& target, qreal fadeWidth);

} // namespace artwork
