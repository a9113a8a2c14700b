// Soft light: shapes drawn into a reduced-size layer, blurred and added onto
// a picture, which gives glows and halos without any per-pixel painting in
// the drawing code itself.
#pragma once

#include <QImage>
#include <QPainter>
#include <functional>

namespace artwork {

// Blurs a premultiplied ARGB image in place with three box passes (close to
// a Gaussian of about the given radius, in pixels).
void blurImage(QImage& image, int radius);

// Calls draw on a layer the size of target / reduction (the painter is
// scaled so draw works in target coordinates), blurs the layer by
// blurRadius target pixels and adds it onto target with the given strength.
void addGlow(QImage& target, const std::function<void(QPainter&)>& draw, qreal blurRadius,
             qreal strength = 1.0, int reduction = 4);

} // namespace artwork
