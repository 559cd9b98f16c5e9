// Helper of the live check: shows a known picture full-screen on an X
// display ("show"), or saves a grab of the whole display ("grab FILE").

#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {

// Channel values that every usual way of cutting 8 bits down to 2, 3, 5 or
// 6 bits (shift, scale and truncate, scale and round) maps alike.
const int kSafe[] = {0, 42, 85, 127, 191, 255};

QImage knownPicture(QSize size)
{
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(qRgb(0, 0, 0));
    QPainter painter(&picture);
    int i = 0;
    for (int y = 0; y < size.height(); y += 23) {
        for (int x = 0; x < size.width(); x += 37, ++i) {
            const QRgb colour = qRgb(kSafe[i % 6], kSafe[(i / 6) % 6], kSafe[(i / 36 + i) % 6]);
            painter.fillRect(QRect(x, y, 37, 23), colour);
        }
    }
    painter.end();
    // Single-pixel detail that ends up in subrectangles and raw tiles.
    for (int x = 0; x < size.width(); ++x) {
        picture.setPixel(x, (x * 7) % size.height(), qRgb(255, 255, 255));
        picture.setPixel(x, size.height() / 2, qRgb(kSafe[x % 6], 0, kSafe[(x + 3) % 6]));
    }
    return picture;
}

class PictureWindow : public QWidget {
public:
    PictureWindow()
    {
        setWindowFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        setCursor(Qt::BlankCursor);
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        setGeometry(screen);
        m_picture = knownPicture(screen.size());
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter(this).drawImage(0, 0, m_picture);
        if (!m_announced) {
            m_announced = true;
            QTimer::singleShot(300, [] {
                std::printf("shown\n");
                std::fflush(stdout);
            });
        }
    }

private:
    QImage m_picture;
    bool m_announced = false;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 3 && args[1] == "grab") {
        const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
        return shot.toImage().convertToFormat(QImage::Format_RGB32).save(args[2], "PNG") ? 0 : 1;
    }
    if (args.size() >= 2 && args[1] == "show") {
        PictureWindow window;
        window.show();
        return app.exec();
    }
    std::fprintf(stderr, "usage: %s show | grab FILE\n", argv[0]);
    return 2;
}
