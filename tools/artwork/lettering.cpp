// Font choice and fitted text paths.
#include "lettering.h"

#include <QFontInfo>
#include <QTransform>

namespace artwork {

namespace {

const char* const letteringFamily = "DejaVu Sans";
constexpr int layoutPixelSize = 400; // large, so hinting does not skew the fit

} // namespace

bool letteringFont(QFont* font, QString* error)
{
    QFont candidate(letteringFamily);
    candidate.setPixelSize(layoutPixelSize);
    candidate.setWeight(QFont::Bold);
    candidate.setHintingPreference(QFont::PreferNoHinting);
    candidate.setKerning(true);
    const QString found = QFontInfo(candidate).family();
    if (found != QLatin1String(letteringFamily)) {
        *error = QStringLiteral("font \"%1\" not available (got \"%2\"); install fonts-dejavu-core")
                     .arg(QLatin1String(letteringFamily), found);
        return false;
    }
    *font = candidate;
    return true;
}

QPainterPath fittedText(const QString& text, QFont font, qreal width, qreal letterSpacing)
{
    font.setPixelSize(layoutPixelSize);
    font.setLetterSpacing(QFont::AbsoluteSpacing, letterSpacing * layoutPixelSize);
    QPainterPath path;
    path.addText(0, 0, font, text);
    const QRectF ink = path.boundingRect();
    if (ink.width() <= 0) return path;
    const qreal scale = width / ink.width();
    QTransform transform;
    transform.scale(scale, scale);
    transform.translate(-ink.left(), 0);
    return transform.map(path);
}

} // namespace artwork
