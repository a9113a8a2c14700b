// The small images the style sheet puts on the themed controls: the arrows
// of combo boxes and spin boxes and the tick of a checked box. Qt draws no
// arrow or tick on a sub-control the style sheet restyles, so these carry
// them, in the theme's colours, at the screen's scale and at twice it (the
// "@2x" files, which Qt picks on scaled screens).
#pragma once

#include <QImage>
#include <QList>
#include <QString>

namespace artwork {

// Logical sizes, in device-independent pixels: an arrow fits the combo
// box's 20 px drop-down and a spin box's 16 px buttons; the tick fits the
// 14 px inside a check box indicator's border.
inline constexpr int arrowWidth = 10;
inline constexpr int arrowHeight = 6;
inline constexpr int tickSize = 12;

enum class ArrowDirection { Up, Down };

// A chevron in the theme's pale accent on a transparent ground.
QImage paintArrow(ArrowDirection direction, int scale);

// A white tick on a transparent ground (the indicator's accent shows
// through).
QImage paintTick(int scale);

struct ControlImage {
    QString fileName; // e.g. "arrow-down.png", "arrow-down@2x.png"
    QImage image;
};

// Every control image at scales 1 and 2.
QList<ControlImage> controlImages();

} // namespace artwork
