// The launcher theme's colours, shared by every picture the generator paints,
// so that the artwork blends with the style sheet around it.
#pragma once

#include <QColor>

namespace artwork::palette {

inline const QColor night{0x0b, 0x12, 0x26};     // page background
inline const QColor deepNight{0x07, 0x0c, 0x1a}; // input fields, darkest sky
inline const QColor navy{0x11, 0x1d, 0x3a};      // tabs
inline const QColor panel{0x16, 0x26, 0x4a};     // group boxes
inline const QColor border{0x2a, 0x4f, 0x8a};    // frames and grid lines
inline const QColor accent{0x2f, 0x8c, 0xff};    // highlights
inline const QColor accentLight{0x6c, 0xb0, 0xff};
inline const QColor accentPale{0xb9, 0xd7, 0xff}; // group box titles
inline const QColor ice{0xee, 0xf4, 0xff};        // text

// c with its alpha channel set to alpha (0..1).
inline QColor withAlpha(QColor c, qreal alpha)
{
    c.setAlphaF(static_cast<float>(alpha));
    return c;
}

// Linear mix of two colours, t = 0 gives a, t = 1 gives b.
inline QColor mix(const QColor& a, const QColor& b, qreal t)
{
    const auto lerp = [t](float x, float y) { return static_cast<float>(x + (y - x) * t); };
    return QColor::fromRgbF(lerp(a.redF(), b.redF()), lerp(a.greenF(), b.greenF()),
                            lerp(a.blueF(), b.blueF()), lerp(a.alphaF(), b.alphaF()));
}

} // namespace artwork::palette
