// The baseline of the start-up bench: the least a Qt Widgets program does to
// put a window on the screen, one QApplication and one QWidget shown.

#include <QApplication>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("hello"));
    window.show();
    return app.exec();
}
