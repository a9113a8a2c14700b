// Smaller copies of the icon and the banner, scaled down from the full-size
// paintings: the window icon's sizes, the desktop icon theme's sizes, and the
// banner at the widths the launcher window shows it.
#pragma once

#include <QImage>
#include <QList>
#include <QString>

namespace artwork {

// Window icon: 16 to 256 px (compiled into the launcher). Icon theme
// ("hicolor", installed with the package): 48 to 512 px.
inline constexpr int iconCopySizes[] = {16, 32, 48, 64, 128, 256, 512};

// The banner label is a little narrower than the 640 px default window:
// one copy at least that wide for ordinary screens, one at twice the width
// for screens scaled by 2.
inline constexpr int bannerCopyWidths[] = {640, 1280};

struct NamedImage {
    QString fileName; // e.g. "icon-48.png", "banner-640.png"
    QImage image;
};

// Every copy, scaled with smooth (area-averaging) filtering; the banner
// copies keep its aspect ratio.
QList<NamedImage> scaledCopies(const QImage& icon, const QImage& banner);

} // namespace artwork
