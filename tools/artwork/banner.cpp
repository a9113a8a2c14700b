// Composition of the banner: emblem on the left, the game's name on the
// right, in letters large enough to read when the banner is shown at a
// quarter of its size.
#include "backdrop.h"
#include "emblem.h"
#include "glow.h"
#include "lettering.h"
#include "palette.h"
#include "pictures.h"

#include <QLinearGradient>
#include <QPainter>

namespace artwork {

using namespace palette;

namespace {

struct TitleBlock {
    QPainterPath name;     // "TESSARINE"
    QPainterPath subtitle; // "VANDRY LIVE"
    QRectF rule;           // thin bar between the two lines
};

TitleBlock layOutTitle(const QFont& lettering, QRectF box)
{
    TitleBlock block;
    block.name = fittedText(QStringLiteral("TESSARINE"), lettering, box.width(), 0.02);
    block.subtitle = fittedText(QStringLiteral("VANDRY LIVE"), lettering, box.width() * 0.8, 0.32);
    const QRectF nameInk = block.name.boundingRect();
    const QRectF subtitleInk = block.subtitle.boundingRect();
    const qreal gap = nameInk.height() * 0.42;
    const qreal total = nameInk.height() + gap + subtitleInk.height();
    const qreal top = box.center().y() - total / 2;
    block.name.translate(box.left(), top - nameInk.top());
    // The subtitle is centred under the name.
    block.subtitle.translate(box.left() + (box.width() - subtitleInk.width()) / 2,
                             top + nameInk.height() + gap - subtitleInk.top());
    const qreal ruleY = top + nameInk.height() + gap / 2;
    block.rule = QRectF(box.left() + box.width() * 0.04, ruleY - gap * 0.035, box.width() * 0.92, gap * 0.07);
    return block;
}

void paintTitle(QImage& target, const TitleBlock& block)
{
    const QRectF nameBox = block.name.boundingRect();
    addGlow(target, [&](QPainter& painter) {
        painter.fillPath(block.name, withAlpha(accent, 0.9));
        painter.fillPath(block.subtitle, withAlpha(accent, 0.7));
        painter.fillRect(block.rule, accentLight);
    }, nameBox.height() * 0.16, 0.85);

    QPainter painter(&target);
    painter.setRenderHint(QPainter::Antialiasing);
    // A dark edge keeps the letters crisp against their own glow.
    painter.strokePath(block.name, QPen(withAlpha(deepNight, 0.85), nameBox.height() * 0.05));
    painter.strokePath(block.subtitle, QPen(withAlpha(deepNight, 0.85), nameBox.height() * 0.04));

    QLinearGradient nameFill(nameBox.topLeft(), nameBox.bottomLeft());
    nameFill.setColorAt(0.0, Qt::white);
    nameFill.setColorAt(0.55, ice);
    nameFill.setColorAt(1.0, accentPale);
    painter.fillPath(block.name, nameFill);
    painter.fillPath(block.subtitle, accentLight);

    QLinearGradient ruleFill(block.rule.topLeft(), block.rule.topRight());
    ruleFill.setColorAt(0.0, withAlpha(accent, 0.0));
    ruleFill.setColorAt(0.5, accentPale);
    ruleFill.setColorAt(1.0, withAlpha(accent, 0.0));
    painter.fillRect(block.rule, ruleFill);
}

} // namespace

QImage paintBanner(const QFont& lettering)
{
    QImage banner(bannerWidth, bannerHeight, QImage::Format_ARGB32_Premultiplied);
    banner.fill(night);
    const qreal h = bannerHeight;

    BackdropLayout scene;
    scene.area = QRectF(0, 0, bannerWidth, bannerHeight);
    scene.horizonY = h * 0.74;
    scene.vanishingX = bannerWidth * 0.5;
    scene.starCount = 1100;
    scene.starScale = 1.0;
    scene.seed = 0x7e55a41e;
    paintBackdrop(banner, scene);

    EmblemStyle emblem;
    emblem.lineWidth = h * 0.007;
    emblem.glowRadius = h * 0.03;
    paintEmblem(banner, QPointF(h * 0.64, h * 0.49), h * 0.37, emblem);

    paintTitle(banner, layOutTitle(lettering, QRectF(h * 1.18, h * 0.1, bannerWidth - h * 1.18 - h * 0.2, h * 0.72)));

    paintEdgeFade(banner, h * 0.08);
    return banner.convertToFormat(QImage::Format_RGB888);
}

} // namespace artwork
