// Draws the kit's pictures into the resource tree: simple flat shapes, each
// recognisable for what it stands for. Run it by hand after changing a
// picture and commit the PNG files:
//   QT_QPA_PLATFORM=offscreen drawpictures tarnwick/widgets/resources/pics

#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <cstdio>
#include <functional>

namespace {

const QColor kBlue(22, 155, 213);
const QColor kDarkBlue(14, 110, 160);
const QColor kGrey(180, 180, 180);
const QColor kDarkGrey(110, 110, 110);
const QColor kRed(220, 50, 47);
const QColor kGreen(40, 170, 90);
const QColor kAmber(245, 166, 35);

using Draw = std::function<void(QPainter&)>;

QString g_root;
int g_failures = 0;

void save(const QString& relative, QSize size, const Draw& draw)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        draw(p);
    }
    const QString path = g_root + "/" + relative;
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        ++g_failures;
    }
}

QPen pen(const QColor& c, qreal w)
{
    return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A bold glyph centred in a rectangle.
void glyph(QPainter& p, const QRectF& r, const QString& text, const QColor& c, int pixelSize)
{
    QFont f("DejaVu Sans");
    f.setBold(true);
    f.setPixelSize(pixelSize);
    p.setFont(f);
    p.setPen(c);
    p.drawText(r, Qt::AlignCenter, text);
}

// 64 x 64 icons ---------------------------------------------------------------

void info(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(kBlue);
    p.drawEllipse(QRectF(4, 4, 56, 56));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(27, 13, 10, 10));
    p.drawRoundedRect(QRectF(27.5, 27, 9, 25), 3, 3);
}

void warn(QPainter& p)
{
    QPainterPath tri;
    tri.moveTo(32, 5);
    tri.lineTo(61, 58);
    tri.lineTo(3, 58);
    tri.closeSubpath();
    p.setPen(pen(kAmber.darker(115), 3));
    p.setBrush(kAmber);
    p.drawPath(tri);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(28, 20, 8, 23), 3, 3);
    p.drawEllipse(QRectF(27.5, 46, 9, 9));
}

void ask(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    p.drawEllipse(QRectF(4, 4, 56, 56));
    glyph(p, QRectF(4, 2, 56, 58), "?", Qt::white, 44);
}

void closeCross(QPainter& p, const QColor& background, const QColor& cross)
{
    if (background.isValid()) {
        p.setPen(Qt::NoPen);
        p.setBrush(background);
        p.drawEllipse(QRectF(2, 2, 60, 60));
    }
    p.setPen(pen(cross, 7));
    p.drawLine(QPointF(19, 19), QPointF(45, 45));
    p.drawLine(QPointF(45, 19), QPointF(19, 45));
}

void eye(QPainter& p, bool open)
{
    QPainterPath lid;
    lid.moveTo(4, 32);
    lid.quadTo(32, 4, 60, 32);
    lid.quadTo(32, 60, 4, 32);
    p.setPen(pen(kDarkGrey, 4));
    p.setBrush(Qt::white);
    p.drawPath(lid);
    p.setPen(Qt::NoPen);
    p.setBrush(kDarkGrey);
    p.drawEllipse(QPointF(32, 32), 10, 10);
    if (!open) {
        p.setPen(pen(Qt::white, 9));
        p.drawLine(QPointF(12, 54), QPointF(52, 10));
        p.setPen(pen(kDarkGrey, 4));
        p.drawLine(QPointF(12, 54), QPointF(52, 10));
    }
}

void chevronDown(QPainter& p, const QColor& c)
{
    p.setPen(pen(c, 8));
    p.setBrush(Qt::NoBrush);
    QPolygonF v;
    v << QPointF(14, 24) << QPointF(32, 42) << QPointF(50, 24);
    p.drawPolyline(v);
}

void triangle(QPainter& p, bool up, const QColor& c)
{
    QPolygonF t;
    if (up)
        t << QPointF(32, 14) << QPointF(54, 46) << QPointF(10, 46);
    else
        t << QPointF(10, 18) << QPointF(54, 18) << QPointF(32, 50);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPolygon(t);
}

void gear(QPainter& p, const QColor& c)
{
    p.save();
    p.translate(32, 32);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    for (int i = 0; i < 8; ++i) {
        p.drawRoundedRect(QRectF(-6, -29, 12, 16), 2, 2);
        p.rotate(45);
    }
    p.drawEllipse(QPointF(0, 0), 20, 20);
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.drawEllipse(QPointF(0, 0), 8, 8);
    p.restore();
}

void magnifier(QPainter& p)
{
    p.setPen(pen(kDarkGrey, 6));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(26, 26), 16, 16);
    p.setPen(pen(kDarkGrey, 9));
    p.drawLine(QPointF(38, 38), QPointF(56, 56));
}

void person(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(kDarkGrey);
    p.drawEllipse(QPointF(32, 20), 13, 13);
    QPainterPath body;
    body.moveTo(8, 60);
    body.cubicTo(8, 34, 56, 34, 56, 60);
    body.closeSubpath();
    p.drawPath(body);
}

void padlock(QPainter& p)
{
    p.setPen(pen(kDarkGrey, 6));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(17, 6, 30, 34), 0, 180 * 16);
    p.drawLine(QPointF(17, 23), QPointF(17, 30));
    p.drawLine(QPointF(47, 23), QPointF(47, 30));
    p.setPen(Qt::NoPen);
    p.setBrush(kDarkGrey);
    p.drawRoundedRect(QRectF(10, 28, 44, 32), 5, 5);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(32, 41), 5, 5);
    p.drawRect(QRectF(30, 42, 4, 10));
}

void network(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(kBlue);
    p.drawRoundedRect(QRectF(6, 6, 52, 34), 4, 4);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(11, 11, 42, 24));
    p.setBrush(kBlue);
    p.drawRect(QRectF(28, 40, 8, 10));
    p.drawRect(QRectF(10, 50, 44, 6));
}

void check(QPainter& p, const QColor& c, qreal width)
{
    p.setPen(pen(c, width));
    p.setBrush(Qt::NoBrush);
    QPolygonF v;
    v << QPointF(14, 33) << QPointF(27, 46) << QPointF(51, 18);
    p.drawPolyline(v);
}

void document(QPainter& p)
{
    QPainterPath page;
    page.moveTo(12, 4);
    page.lineTo(40, 4);
    page.lineTo(54, 18);
    page.lineTo(54, 60);
    page.lineTo(12, 60);
    page.closeSubpath();
    p.setPen(pen(kDarkGrey, 3));
    p.setBrush(Qt::white);
    p.drawPath(page);
    p.drawLine(QPointF(40, 4), QPointF(40, 18));
    p.drawLine(QPointF(40, 18), QPointF(54, 18));
    p.setPen(pen(kBlue, 3));
    for (int y = 28; y <= 50; y += 8)
        p.drawLine(QPointF(20, y), QPointF(46, y));
}

void folderIn(QPainter& p, const QColor& c)
{
    p.setPen(Qt::NoPen);
    p.setBrush(c.darker(115));
    p.drawRoundedRect(QRectF(4, 10, 24, 12), 3, 3);
    p.drawRoundedRect(QRectF(4, 16, 56, 40), 4, 4);
    p.setBrush(c);
    p.drawRoundedRect(QRectF(4, 24, 56, 32), 4, 4);
}

void folder(QPainter& p)
{
    folderIn(p, kAmber);
}

void arrowUpToBar(QPainter& p)
{
    p.setPen(pen(kBlue, 7));
    p.drawLine(QPointF(12, 8), QPointF(52, 8));
    p.drawLine(QPointF(32, 58), QPointF(32, 22));
    QPolygonF head;
    head << QPointF(16, 34) << QPointF(32, 18) << QPointF(48, 34);
    p.drawPolyline(head);
}

// A tray with an arrow going into it (import) or out of it (export).
void tray(QPainter& p, bool into, const QColor& c)
{
    p.setPen(pen(c, 6));
    p.setBrush(Qt::NoBrush);
    QPolygonF box;
    box << QPointF(8, 36) << QPointF(8, 56) << QPointF(56, 56) << QPointF(56, 36);
    p.drawPolyline(box);
    p.drawLine(QPointF(32, 6), QPointF(32, 42));
    QPolygonF head;
    if (into)
        head << QPointF(19, 30) << QPointF(32, 43) << QPointF(45, 30);
    else
        head << QPointF(19, 18) << QPointF(32, 5) << QPointF(45, 18);
    p.drawPolyline(head);
}

// Toolbar pictures (64 x 64), each with a greyed twin --------------------------

void vpnLink(QPainter& p, const QColor& c)
{
    // two chain links
    p.setPen(pen(c, 7));
    p.setBrush(Qt::NoBrush);
    p.save();
    p.translate(32, 32);
    p.rotate(-45);
    p.drawRoundedRect(QRectF(-27, -10, 30, 20), 10, 10);
    p.drawRoundedRect(QRectF(-3, -10, 30, 20), 10, 10);
    p.restore();
}

void monitor(QPainter& p, const QColor& c)
{
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRoundedRect(QRectF(4, 8, 56, 38), 4, 4);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(9, 13, 46, 28));
    p.setBrush(c);
    p.drawRect(QRectF(28, 46, 8, 6));
    p.drawRoundedRect(QRectF(16, 52, 32, 6), 2, 2);
    // a cursor on the screen: a remote view
    QPolygonF arrow;
    arrow << QPointF(26, 17) << QPointF(26, 35) << QPointF(31, 30) << QPointF(36, 38) << QPointF(39, 36)
          << QPointF(34, 29) << QPointF(40, 28);
    p.drawPolygon(arrow);
}

void passThrough(QPainter& p, const QColor& c)
{
    // two opposite arrows: data passing both ways
    p.setPen(pen(c, 6));
    p.drawLine(QPointF(8, 22), QPointF(54, 22));
    p.drawPolyline(QPolygonF() << QPointF(44, 12) << QPointF(54, 22) << QPointF(44, 32));
    p.drawLine(QPointF(56, 44), QPointF(10, 44));
    p.drawPolyline(QPolygonF() << QPointF(20, 34) << QPointF(10, 44) << QPointF(20, 54));
}

void ftp(QPainter& p, const QColor& c)
{
    folderIn(p, c == kGrey ? QColor(215, 215, 215) : kAmber);
    p.setPen(pen(c, 5));
    p.drawLine(QPointF(24, 50), QPointF(24, 30));
    p.drawPolyline(QPolygonF() << QPointF(17, 37) << QPointF(24, 30) << QPointF(31, 37));
    p.drawLine(QPointF(40, 30), QPointF(40, 50));
    p.drawPolyline(QPolygonF() << QPointF(33, 43) << QPointF(40, 50) << QPointF(47, 43));
}

void floppy(QPainter& p, const QColor& c)
{
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    QPainterPath body;
    body.moveTo(6, 6);
    body.lineTo(48, 6);
    body.lineTo(58, 16);
    body.lineTo(58, 58);
    body.lineTo(6, 58);
    body.closeSubpath();
    p.drawPath(body);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(16, 6, 26, 16));
    p.drawRoundedRect(QRectF(14, 34, 36, 20), 2, 2);
    p.setBrush(c);
    p.drawRect(QRectF(33, 9, 6, 10));
}

void refresh(QPainter& p, const QColor& c)
{
    p.setPen(pen(c, 7));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(10, 10, 44, 44), 60 * 16, 280 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    QPolygonF head;
    head << QPointF(36, 2) << QPointF(50, 14) << QPointF(33, 21);
    p.drawPolygon(head);
}

void quit(QPainter& p, const QColor& c)
{
    // power symbol
    p.setPen(pen(c, 7));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(10, 12, 44, 44), 125 * 16, -250 * 16);
    p.drawLine(QPointF(32, 6), QPointF(32, 32));
}

void stop(QPainter& p, const QColor& c)
{
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    QPolygonF oct;
    for (int i = 0; i < 8; ++i) {
        const qreal a = (22.5 + 45.0 * i) * M_PI / 180.0;
        oct << QPointF(32 + 29 * std::cos(a), 32 + 29 * std::sin(a));
    }
    p.drawPolygon(oct);
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(16, 27, 32, 10), 3, 3);
}

void help(QPainter& p, const QColor& c)
{
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(QRectF(4, 4, 56, 56));
    glyph(p, QRectF(4, 2, 56, 58), "?", Qt::white, 42);
}

// Title bar pictures: white glyphs on transparent ground, 16 x 16 --------------

void minGlyph(QPainter& p)
{
    p.setPen(pen(Qt::white, 2));
    p.drawLine(QPointF(3, 12), QPointF(13, 12));
}

void maxGlyph(QPainter& p)
{
    p.setPen(QPen(Qt::white, 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(3, 3, 10, 10));
    p.drawLine(QPointF(3, 4), QPointF(13, 4));
}

void normalGlyph(QPainter& p)
{
    p.setPen(QPen(Qt::white, 1.4));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(2.5, 5.5, 8, 8));
    p.drawPolyline(QPolygonF() << QPointF(5.5, 5.5) << QPointF(5.5, 2.5) << QPointF(13.5, 2.5) << QPointF(13.5, 10.5)
                               << QPointF(10.5, 10.5));
}

void closeGlyph(QPainter& p)
{
    p.setPen(pen(Qt::white, 1.8));
    p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
    p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
}

// Check box indicators, 36 x 36 ------------------------------------------------

void checkBox(QPainter& p, bool checked)
{
    p.setPen(QPen(checked ? kBlue : QColor(150, 155, 180), 3));
    p.setBrush(checked ? kBlue : Qt::white);
    p.drawRoundedRect(QRectF(3, 3, 30, 30), 5, 5);
    if (checked) {
        p.setPen(pen(Qt::white, 4.5));
        p.drawPolyline(QPolygonF() << QPointF(9, 18.5) << QPointF(15.5, 25) << QPointF(27, 11));
    }
}

// Brand pictures -----------------------------------------------------------------

void logo(QPainter& p, qreal size)
{
    p.save();
    p.scale(size / 64.0, size / 64.0);
    QLinearGradient g(0, 0, 64, 64);
    g.setColorAt(0, QColor(255, 255, 255));
    g.setColorAt(1, QColor(205, 235, 250));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
    // a panel screen with a signal: the product's mark
    p.setBrush(kDarkBlue);
    p.drawRoundedRect(QRectF(12, 16, 40, 28), 3, 3);
    p.setBrush(QColor(120, 210, 245));
    p.drawRect(QRectF(16, 20, 32, 20));
    p.setBrush(kDarkBlue);
    p.drawRect(QRectF(29, 44, 6, 6));
    p.drawRoundedRect(QRectF(20, 49, 24, 5), 2, 2);
    p.setPen(pen(Qt::white, 3.5));
    p.drawPolyline(QPolygonF() << QPointF(19, 33) << QPointF(26, 26) << QPointF(32, 32) << QPointF(39, 24)
                               << QPointF(45, 29));
    p.restore();
}

void banner(QPainter& p)
{
    QLinearGradient g(0, 0, 420, 0);
    g.setColorAt(0, kBlue);
    g.setColorAt(1, kDarkBlue);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(QRectF(0, 0, 420, 110), 10, 10);
    p.save();
    p.translate(20, 19);
    logo(p, 72);
    p.restore();
    QFont f("WenQuanYi Micro Hei");
    f.setPixelSize(34);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(110, 14, 300, 48), Qt::AlignLeft | Qt::AlignVCenter, QString::fromUtf8("调试助手"));
    f.setPixelSize(17);
    f.setBold(false);
    p.setFont(f);
    p.setPen(QColor(225, 240, 250));
    p.drawText(QRectF(112, 60, 300, 30), Qt::AlignLeft | Qt::AlignVCenter, "Tarnwick HMI");
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder: the pics root>\n", argv[0]);
        return 2;
    }
    g_root = QString::fromLocal8Bit(argv[1]);
    const QSize icon(64, 64);
    const QSize glyphSize(16, 16);

    save("icon/info.png", icon, info);
    save("icon/warn.png", icon, warn);
    save("icon/ask2.png", icon, ask);
    save("icon/close1.png", icon, [](QPainter& p) { closeCross(p, QColor(), Qt::white); });
    save("icon/close.png", icon, [](QPainter& p) { closeCross(p, kRed, Qt::white); });
    save("icon/eye_open.png", icon, [](QPainter& p) { eye(p, true); });
    save("icon/eye_close.png", icon, [](QPainter& p) { eye(p, false); });
    save("icon/down.png", icon, [](QPainter& p) { chevronDown(p, kDarkGrey); });
    save("icon/arrow-down.png", icon, [](QPainter& p) { triangle(p, false, kDarkGrey); });
    save("icon/arrow-up.png", icon, [](QPainter& p) { triangle(p, true, kDarkGrey); });
    save("icon/setting.png", icon, [](QPainter& p) { gear(p, Qt::white); });
    save("icon/search2.png", icon, magnifier);
    save("icon/my.png", icon, person);
    save("icon/lock.png", icon, padlock);
    save("icon/networkinterface.png", icon, network);
    save("icon/selected.png", icon, [](QPainter& p) { check(p, kGreen, 9); });
    save("icon/file.png", icon, document);
    save("icon/toup.png", icon, arrowUpToBar);
    save("icon/import.png", icon, [](QPainter& p) { tray(p, true, kBlue); });
    save("icon/import_down.png", icon, [](QPainter& p) { tray(p, true, kDarkBlue.darker(130)); });
    save("icon/export.png", icon, [](QPainter& p) { tray(p, false, kBlue); });
    save("icon/export_down.png", icon, [](QPainter& p) { tray(p, false, kDarkBlue.darker(130)); });

    save("img/min.png", glyphSize, minGlyph);
    save("img/max.png", glyphSize, maxGlyph);
    save("img/normal.png", glyphSize, normalGlyph);
    save("img/closehover.png", glyphSize, closeGlyph);
    save("img/checked.png", QSize(36, 36), [](QPainter& p) { checkBox(p, true); });
    save("img/unchecked.png", QSize(36, 36), [](QPainter& p) { checkBox(p, false); });
    save("img/filebrowser.png", icon, folder);

    const struct {
        const char* name;
        void (*draw)(QPainter&, const QColor&);
        bool greyed;
    } toolbar[] = {
        {"vpn", vpnLink, true}, {"vnc", monitor, true}, {"pass", passThrough, true},
        {"ftp", ftp, true},     {"save", floppy, true}, {"refresh", refresh, false},
        {"quit", quit, false},  {"stop", stop, false},  {"help", help, false},
    };
    for (const auto& t : toolbar) {
        const QColor colour = QString(t.name) == "stop" ? kRed : kBlue;
        const auto draw = t.draw;
        save(QString("pic/%1.png").arg(t.name), icon, [draw, colour](QPainter& p) { draw(p, colour); });
        if (t.greyed)
            save(QString("pic/%1_disable.png").arg(t.name), icon, [draw](QPainter& p) { draw(p, kGrey); });
    }

    save("vexa_img/logo.png", icon, [](QPainter& p) { logo(p, 64); });
    save("vexa_img/banner.png", QSize(420, 110), banner);
    return g_failures == 0 ? 0 : 1;
}
