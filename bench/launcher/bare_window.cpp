// bare_window: the yardstick for the launcher's first window — an empty
// Qt Widgets window of the launcher's size, without style sheet or icon.
#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare window"));
    window.resize(640, 540);
    window.show();
    return app.exec();
}
