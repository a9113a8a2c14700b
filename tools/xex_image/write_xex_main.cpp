// write-xex: writes a minimal XEX2 image whose execution information carries
// the given title ID.
//   write-xex TITLEID FILE
#include "xex_image.h"

#include <QFile>
#include <QRegularExpression>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fputs("usage: write-xex TITLEID FILE\n", stderr);
        return 2;
    }
    const QString title = QString::fromLocal8Bit(argv[1]);
    if (!QRegularExpression(QStringLiteral("^[0-9A-Fa-f]{8}$")).match(title).hasMatch()) {
        std::fputs("write-xex: title must be 8 hex digits\n", stderr);
        return 2;
    }
    QFile file(QFile::decodeName(argv[2]));
    const QByteArray image = xexbuild::xexImage(title);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(image) != image.size() || !file.flush()) {
        std::fprintf(stderr, "write-xex: %s: %s\n", argv[2], qPrintable(file.errorString()));
        return 1;
    }
    return 0;
}
