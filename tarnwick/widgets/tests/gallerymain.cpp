// Shows the widget kit's gallery picture in a window, or writes it to the
// file named by the first argument.

#include "tarnwick/widgets/tests/gallery.h"

#include <QApplication>
#include <QLabel>
#include <QScrollArea>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const GalleryShot shot = renderGallery();
    if (argc > 1) {
        if (!shot.image.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", argv[1]);
            return 1;
        }
        return 0;
    }
    QScrollArea area;
    auto* label = new QLabel;
    label->setPixmap(QPixmap::fromImage(shot.image));
    area.setWidget(label);
    area.resize(1280, 900);
    area.setWindowTitle("Tarnwick widget kit");
    area.show();
    return app.exec();
}
