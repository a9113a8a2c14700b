// Title lettering as painter paths: the text laid out at a size that fills a
// given width, so it can be filled with gradients, outlined and given a glow.
#pragma once

#include <QFont>
#include <QPainterPath>
#include <QString>

namespace artwork {

// The font the artwork is lettered in. Fails (returns false and fills
// *error) when the system would substitute another family, since the
// pictures must come out the same wherever they are regenerated.
bool letteringFont(QFont* font, QString* error);

// text as a path whose left end of the baseline is at the origin, scaled so
// that its ink is exactly width wide; letterSpacing is in em.
QPainterPath fittedText(const QString& text, QFont font, qreal width, qreal letterSpacing);

} // namespace artwork
