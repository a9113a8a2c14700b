// The Game tab's banner: a label that shows the banner image fitted to its
// own width, never enlarged, with its height fixed to the image's. Only the
// pixels shown are decoded: the smallest copy of the image at least as wide
// as the label is read, scaled while it is read.
#pragma once

#include <QImage>
#include <QLabel>
#include <QList>
#include <QSize>

class BannerLabel : public QLabel {
    Q_OBJECT

public:
    // copies: files of one image at different sizes (missing ones are
    // skipped); the widest is the image's own size.
    explicit BannerLabel(const QStringList& copies, QWidget* parent = nullptr);

    // Fits the banner to the current width; does nothing when the fitted
    // size is the one already shown.
    void fitToWidth();

    // Size of the pixmap last put on the label; (-1, -1) before the first.
    QSize shownSize() const { return shown; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    struct Copy {
        QString file;
        QSize size;
    };

    QImage imageForWidth(int width);

    QList<Copy> copies; // readable copies, narrowest first
    QImage decoded;     // the last image read, kept for later fits
    QSize shown{-1, -1};
};
