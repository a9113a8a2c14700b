// Fitting the banner to the label's width, reading no more pixels than the
// label shows.
#include "window/banner_label.h"

#include <QImageReader>
#include <QPixmap>

#include <algorithm>

BannerLabel::BannerLabel(const QStringList& files, QWidget* parent)
    : QLabel(parent)
{
    setObjectName(QStringLiteral("bannerLabel"));
    setAlignment(Qt::AlignCenter);
    for (const QString& file : files) {
        const QSize size = QImageReader(file).size(); // reads the header only
        if (size.isValid() && !size.isEmpty())
            copies.append({file, size});
    }
    std::sort(copies.begin(), copies.end(),
              [](const Copy& a, const Copy& b) { return a.size.width() < b.size.width(); });
}

void BannerLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    fitToWidth();
}

void BannerLabel::showEvent(QShowEvent* event)
{
    QLabel::showEvent(event);
    fitToWidth();
}

void BannerLabel::fitToWidth()
{
    if (copies.isEmpty())
        return; // no readable image: the label stays empty
    const QSize full = copies.last().size;
    const int target = std::min(std::max(width(), 1), full.width()); // never enlarged
    const QSize fitted(target, std::max(1, qRound(qreal(full.height()) * target / full.width())));
    if (fitted == shown && !pixmap().isNull())
        return;
    const QImage image = imageForWidth(target);
    if (image.isNull())
        return; // the file could not be read after all: leave the label as it is
    const QPixmap pixmap = QPixmap::fromImage(
        image.size() == fitted ? image : image.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    setFixedHeight(pixmap.height());
    setPixmap(pixmap);
    shown = fitted;
}

// An image at least `width` wide (or the whole image when it is narrower).
// The first read decodes straight to that width; once the label has grown
// past what was read, the covering copy is read at its own size and kept,
// so that resizing does not read the file again and again.
QImage BannerLabel::imageForWidth(int width)
{
    if (!decoded.isNull() && decoded.width() >= width)
        return decoded;
    const auto covering = std::find_if(copies.cbegin(), copies.cend(),
                                       [width](const Copy& copy) { return copy.size.width() >= width; });
    const Copy& copy = covering != copies.cend() ? *covering : copies.last();
    QImageReader reader(copy.file);
    if (decoded.isNull() && copy.size.width() > width)
        reader.setScaledSize(
            QSize(width, std::max(1, qRound(qreal(copy.size.height()) * width / copy.size.width()))));
    decoded = reader.read();
    return decoded;
}
