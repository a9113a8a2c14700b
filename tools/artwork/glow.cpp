// Box blur and additive glow layers.
#include "glow.h"

#include <algorithm>
#include <vector>

namespace artwork {

namespace {

// One box pass along a line of count pixels spaced stride apart, for all
// four channels of premultiplied ARGB32.
void boxPassLine(QRgb* line, int count, int stride, int radius, std::vector<QRgb>& scratch)
{
    scratch.resize(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) scratch[static_cast<size_t>(i)] = line[i * stride];
    const auto at = [&](int i) { return scratch[static_cast<size_t>(std::clamp(i, 0, count - 1))]; };
    const int window = 2 * radius + 1;
    int sumA = 0, sumR = 0, sumG = 0, sumB = 0;
    for (int i = -radius; i <= radius; ++i) {
        const QRgb p = at(i);
        sumA += qAlpha(p), sumR += qRed(p), sumG += qGreen(p), sumB += qBlue(p);
    }
    for (int i = 0; i < count; ++i) {
        line[i * stride] = qRgba(sumR / window, sumG / window, sumB / window, sumA / window);
        const QRgb leaving = at(i - radius), entering = at(i + radius + 1);
        sumA += qAlpha(entering) - qAlpha(leaving);
        sumR += qRed(entering) - qRed(leaving);
        sumG += qGreen(entering) - qGreen(leaving);
        sumB += qBlue(entering) - qBlue(leaving);
    }
}

} // namespace

void blurImage(QImage& image, int radius)
{
    if (radius < 1 || image.isNull()) return;
    image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int width = image.width(), height = image.height();
    const int stride = static_cast<int>(image.bytesPerLine() / sizeof(QRgb));
    auto* pixels = reinterpret_cast<QRgb*>(image.bits());
    std::vector<QRgb> scratch;
    for (int pass = 0; pass < 3; ++pass) {
        for (int y = 0; y < height; ++y) boxPassLine(pixels + y * stride, width, 1, radius, scratch);
        for (int x = 0; x < width; ++x) boxPassLine(pixels + x, height, stride, radius, scratch);
    }
}

void addGlow(QImage& target, const std::function<void(QPainter&)>& draw, qreal blurRadius,
             qreal strength, int reduction)
{
    QImage layer(target.size() / reduction, QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    {
        QPainter painter(&layer);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(1.0 / reduction, 1.0 / reduction);
        draw(painter);
    }
    blurImage(layer, static_cast<int>(blurRadius / reduction + 0.5));
    QPainter painter(&target);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setCompositionMode(QPainter::CompositionMode_Plus);
    painter.setOpacity(std::clamp(strength, 0.0, 1.0));
    painter.drawImage(QRectF(QPointF(0, 0), QSizeF(target.size())), layer);
}

} // namespace artwork
