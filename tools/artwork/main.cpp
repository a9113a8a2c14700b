// orvello-artwork: paints the launcher's icon, banner and control images
// into a folder.
//   orvello-artwork OUTPUT_FOLDER
// writes OUTPUT_FOLDER/icon.png (1600 x 1600) and OUTPUT_FOLDER/banner.png
// (2736 x 912), the smaller copies scaled down from them: icon-16.png to
// icon-512.png, banner-640.png and banner-1280.png (see scaled_copies.h),
// and the style sheet's arrow and tick images, arrow-down.png, arrow-up.png
// and check.png, each with its @2x copy (see controls.h). Needs no display (it selects the offscreen platform unless
// QT_QPA_PLATFORM says otherwise) and gives the same pictures on every run;
// the lettering needs the font "DejaVu Sans" (Debian fonts-dejavu-core).
#include "controls.h"
#include "lettering.h"
#include "pictures.h"
#include "scaled_copies.h"

#include <QDir>
#include <QGuiApplication>
#include <QTextStream>
#include <cstdio>

namespace {

bool save(const QImage& image, const QDir& folder, const QString& name, QTextStream& err)
{
    const QString path = folder.filePath(name);
    // Quality 0 asks for the strongest PNG compression.
    if (!image.save(path, "PNG", 0)) {
        err << "orvello-artwork: cannot write " << path << "\n";
        return false;
    }
    QTextStream(stdout) << "wrote " << path << " (" << image.width() << " x " << image.height() << ")\n";
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList arguments = app.arguments();
    if (arguments.size() != 2) {
        err << "usage: orvello-artwork OUTPUT_FOLDER\n";
        return 2;
    }
    const QDir folder(arguments.at(1));
    if (!QDir().mkpath(folder.path())) {
        err << "orvello-artwork: cannot create " << folder.path() << "\n";
        return 1;
    }
    QFont lettering;
    QString error;
    if (!artwork::letteringFont(&lettering, &error)) {
        err << "orvello-artwork: " << error << "\n";
        return 1;
    }
    const QImage icon = artwork::paintIcon(lettering);
    const QImage banner = artwork::paintBanner(lettering);
    if (!save(icon, folder, QStringLiteral("icon.png"), err) || !save(banner, folder, QStringLiteral("banner.png"), err))
        return 1;
    for (const artwork::NamedImage& copy : artwork::scaledCopies(icon, banner)) {
        if (!save(copy.image, folder, copy.fileName, err))
            return 1;
    }
    for (const artwork::ControlImage& control : artwork::controlImages()) {
        if (!save(control.image, folder, control.fileName, err))
            return 1;
    }
    return 0;
}
