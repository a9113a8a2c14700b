// orvello-screenshot: saves what the X display shows (the whole screen) as a
// PNG, for looking at the launcher as a user sees it, e.g. under Xvfb:
//   orvello-screenshot OUT.png [DELAY_MS]
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QThread>

#include <cstdio>

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUT.png [DELAY_MS]\n", argv[0]);
        return 2;
    }
    if (argc > 2)
        QThread::msleep(QByteArray(argv[2]).toULong());
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
    if (shot.isNull() || !shot.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "%s: could not grab or save the screen\n", argv[0]);
        return 1;
    }
    return 0;
}
