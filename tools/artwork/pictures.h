// The two pictures the launcher compiles in: the application icon and the
// Game tab's banner, both painted from the theme's colours.
#pragma once

#include <QFont>
#include <QImage>

namespace artwork {

inline constexpr int iconSize = 1600;
inline constexpr int bannerWidth = 2736;
inline constexpr int bannerHeight = 912;

// A rounded-square night scene with the emblem and the monogram "TV";
// transparent outside the rounded square.
QImage paintIcon(const QFont& lettering);

// The emblem beside the title "TESSARINE / VANDRY LIVE" over a night scene
// whose edges fade into the launcher's page colour.
QImage paintBanner(const QFont& lettering);

} // namespace artwork
