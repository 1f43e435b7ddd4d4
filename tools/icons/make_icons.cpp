// Draws the application's images into src/res/ (run by hand when an image changes):
//   g++ -std=c++20 -fPIC make_icons.cpp $(pkg-config --cflags --libs Qt6Gui) -o /tmp/make_icons
//   QT_QPA_PLATFORM=offscreen /tmp/make_icons ../../src/res
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <functional>

namespace {

QString g_out;

void save(const QString& name, int w, int h, const std::function<void(QPainter&)>& draw)
{
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    draw(p);
    p.end();
    img.save(g_out + "/" + name);
}

// A rounded tile of 64x64 in the colour, the glyph drawn by `glyph` in white on it.
void tile(const QString& name, QColor color, const std::function<void(QPainter&)>& glyph)
{
    save(name, 64, 64, [&](QPainter& p) {
        QLinearGradient g(0, 0, 0, 64);
        g.setColorAt(0, color.lighter(118));
        g.setColorAt(1, color.darker(108));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawRoundedRect(QRectF(2, 2, 60, 60), 13, 13);
        p.setPen(QPen(Qt::white, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        glyph(p);
    });
}

void glyphText(QPainter& p, const QString& text, int size, QRectF r = QRectF(0, 0, 64, 64))
{
    QFont f("DejaVu Sans");
    f.setPixelSize(size);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(r, Qt::AlignCenter, text);
}

void cylinder(QPainter& p, QRectF r, int bands)
{
    const qreal eh = r.height() / (bands + 2.5);
    p.drawLine(QPointF(r.left(), r.top() + eh / 2), QPointF(r.left(), r.bottom() - eh / 2));
    p.drawLine(QPointF(r.right(), r.top() + eh / 2), QPointF(r.right(), r.bottom() - eh / 2));
    p.drawEllipse(QRectF(r.left(), r.top(), r.width(), eh));
    for (int i = 1; i <= bands; ++i) {
        const qreal y = r.top() + i * (r.height() - eh) / bands;
        p.drawArc(QRectF(r.left(), y, r.width(), eh), 180 * 16, 180 * 16);
    }
}

void folder(QPainter& p, QRectF r)
{
    QPainterPath path;
    path.moveTo(r.left(), r.top() + 6);
    path.lineTo(r.left() + r.width() * 0.38, r.top() + 6);
    path.lineTo(r.left() + r.width() * 0.46, r.top() + 12);
    path.lineTo(r.right(), r.top() + 12);
    path.lineTo(r.right(), r.bottom());
    path.lineTo(r.left(), r.bottom());
    path.closeSubpath();
    p.drawPath(path);
}

void phone(QPainter& p, QRectF r)
{
    p.drawRoundedRect(r, 6, 6);
    p.drawLine(QPointF(r.center().x() - 3, r.bottom() - 5), QPointF(r.center().x() + 3, r.bottom() - 5));
}

void bubble(QPainter& p, QRectF r)
{
    QPainterPath path;
    path.addRoundedRect(r, 10, 10);
    QPainterPath tail;
    tail.moveTo(r.left() + 10, r.bottom() - 4);
    tail.lineTo(r.left() + 4, r.bottom() + 9);
    tail.lineTo(r.left() + 22, r.bottom() - 2);
    p.drawPath(path.united(tail));
}

void arrowDown(QPainter& p, QPointF top, qreal len)
{
    p.drawLine(top, top + QPointF(0, len));
    p.drawLine(top + QPointF(-9, len - 9), top + QPointF(0, len));
    p.drawLine(top + QPointF(9, len - 9), top + QPointF(0, len));
}

void quill(QPainter& p, QRectF r, QColor vane, QColor shaft)
{
    // A feather leaning to the right, tip at the bottom left.
    QPainterPath f;
    const QPointF tip(r.left() + r.width() * 0.18, r.bottom() - r.height() * 0.06);
    const QPointF top(r.right() - r.width() * 0.08, r.top() + r.height() * 0.04);
    f.moveTo(tip);
    f.cubicTo(QPointF(r.left() + r.width() * 0.20, r.top() + r.height() * 0.45),
              QPointF(r.left() + r.width() * 0.55, r.top() + r.height() * 0.08), top);
    f.cubicTo(QPointF(r.right() - r.width() * 0.10, r.top() + r.height() * 0.45),
              QPointF(r.left() + r.width() * 0.60, r.bottom() - r.height() * 0.25), tip);
    p.setPen(Qt::NoPen);
    p.setBrush(vane);
    p.drawPath(f);
    p.setPen(QPen(shaft, qMax(1.5, r.width() / 40), Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    QPainterPath s;
    s.moveTo(tip - QPointF(r.width() * 0.06, -r.height() * 0.04));
    s.quadTo(QPointF(r.left() + r.width() * 0.45, r.top() + r.height() * 0.45), top);
    p.drawPath(s);
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    g_out = argc > 1 ? argv[1] : ".";
    QDir().mkpath(g_out);

    const QColor blue(0x2f, 0x7d, 0xd1), teal(0x17, 0x9c, 0x8f), green(0x3a, 0xb5, 0x4a), orange(0xf0, 0x8a, 0x24),
        purple(0x8e, 0x5a, 0xc8), red(0xe0, 0x4b, 0x3c), yellow(0xe8, 0xb9, 0x1c), grey(0x5d, 0x67, 0x73),
        brown(0xc4, 0x8a, 0x3a), indigo(0x4b, 0x5c, 0xc4), pink(0xd8, 0x4a, 0x87);

    // Tree of data sources.
    tile("bk.png", blue, [](QPainter& p) {
        p.drawArc(QRectF(16, 16, 32, 32), 60 * 16, 290 * 16);
        p.drawLine(QPointF(40, 12), QPointF(42, 21));
        p.drawLine(QPointF(42, 21), QPointF(33, 23));
        p.drawLine(QPointF(32, 24), QPointF(32, 33));
        p.drawLine(QPointF(32, 33), QPointF(39, 38));
    });
    tile("databases.png", teal, [](QPainter& p) { cylinder(p, QRectF(16, 12, 32, 40), 3); });
    tile("database.png", teal.lighter(112), [](QPainter& p) { cylinder(p, QRectF(18, 14, 28, 36), 2); });
    tile("iphone.png", grey, [](QPainter& p) { phone(p, QRectF(20, 10, 24, 44)); });
    tile("ipad.png", grey, [](QPainter& p) { phone(p, QRectF(13, 12, 38, 40)); });
    tile("sms.png", green, [](QPainter& p) { bubble(p, QRectF(12, 14, 40, 28)); });
    tile("contacts.png", orange, [](QPainter& p) {
        p.setBrush(Qt::white);
        p.setPen(Qt::NoPen);
        p.drawEllipse(QRectF(24, 12, 16, 16));
        p.drawPie(QRectF(14, 32, 36, 36), 0, 180 * 16);
    });
    tile("voicemail.png", purple, [](QPainter& p) {
        p.drawEllipse(QRectF(10, 24, 16, 16));
        p.drawEllipse(QRectF(38, 24, 16, 16));
        p.drawLine(QPointF(18, 40), QPointF(46, 40));
    });
    save("calendar.png", 64, 64, [&](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xf7, 0xf7, 0xf7));
        p.drawRoundedRect(QRectF(2, 2, 60, 60), 13, 13);
        p.setBrush(red);
        QPainterPath top;
        top.addRoundedRect(QRectF(2, 2, 60, 60), 13, 13);
        QPainterPath band;
        band.addRect(QRectF(0, 0, 64, 20));
        p.drawPath(top.intersected(band));
        QFont f("DejaVu Sans");
        f.setPixelSize(30);
        f.setBold(true);
        p.setFont(f);
        p.setPen(QColor(0x33, 0x33, 0x33));
        p.drawText(QRectF(0, 20, 64, 40), Qt::AlignCenter, "31");
    });
    tile("notes.png", yellow, [](QPainter& p) {
        p.drawRoundedRect(QRectF(16, 10, 32, 44), 4, 4);
        p.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap));
        for (int y = 22; y <= 44; y += 8)
            p.drawLine(QPointF(22, y), QPointF(42, y));
    });
    tile("call.png", green.darker(110), [](QPainter& p) { glyphText(p, QString(QChar(0x260E)), 40); });
    tile("recording.png", red, [](QPainter& p) {
        p.drawRoundedRect(QRectF(25, 10, 14, 26), 7, 7);
        p.drawArc(QRectF(17, 20, 30, 24), 180 * 16, 180 * 16);
        p.drawLine(QPointF(32, 44), QPointF(32, 53));
        p.drawLine(QPointF(24, 53), QPointF(40, 53));
    });
    tile("bookmark.png", indigo, [](QPainter& p) {
        QPainterPath b;
        b.moveTo(20, 10);
        b.lineTo(44, 10);
        b.lineTo(44, 54);
        b.lineTo(32, 43);
        b.lineTo(20, 54);
        b.closeSubpath();
        p.drawPath(b);
    });
    tile("filesys.png", brown, [](QPainter& p) { folder(p, QRectF(10, 12, 44, 38)); });
    tile("photo.png", pink, [](QPainter& p) {
        p.drawRoundedRect(QRectF(10, 14, 44, 36), 5, 5);
        p.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(14, 46), QPointF(26, 30), QPointF(34, 40), QPointF(40, 33), QPointF(50, 46)}));
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(38, 19, 7, 7));
    });
    tile("video.png", purple.darker(115), [](QPainter& p) {
        p.drawRoundedRect(QRectF(9, 20, 32, 24), 5, 5);
        QPainterPath t;
        t.moveTo(43, 32);
        t.lineTo(55, 22);
        t.lineTo(55, 42);
        t.closeSubpath();
        p.setBrush(Qt::white);
        p.drawPath(t);
    });

    // Menu and tool bar.
    tile("load_itunes.png", blue, [](QPainter& p) {
        arrowDown(p, QPointF(32, 10), 28);
        p.drawPolyline(QPolygonF({QPointF(12, 38), QPointF(12, 52), QPointF(52, 52), QPointF(52, 38)}));
    });
    tile("home.png", orange, [](QPainter& p) {
        p.drawPolyline(QPolygonF({QPointF(10, 32), QPointF(32, 12), QPointF(54, 32)}));
        p.drawPolyline(QPolygonF({QPointF(18, 28), QPointF(18, 52), QPointF(46, 52), QPointF(46, 28)}));
        p.drawLine(QPointF(32, 52), QPointF(32, 40));
    });
    tile("mi_open_local_db_folder.png", teal, [](QPainter& p) {
        folder(p, QRectF(8, 12, 48, 40));
        p.setPen(QPen(Qt::white, 3));
        cylinder(p, QRectF(24, 28, 16, 20), 1);
    });
    tile("exit.png", grey, [](QPainter& p) {
        p.drawPolyline(QPolygonF({QPointF(34, 12), QPointF(14, 12), QPointF(14, 52), QPointF(34, 52)}));
        p.drawLine(QPointF(26, 32), QPointF(54, 32));
        p.drawLine(QPointF(44, 22), QPointF(54, 32));
        p.drawLine(QPointF(44, 42), QPointF(54, 32));
    });
    tile("help.png", blue.darker(110), [](QPainter& p) { glyphText(p, "?", 42); });
    tile("unmount.png", grey, [](QPainter& p) {
        QPainterPath t;
        t.moveTo(32, 12);
        t.lineTo(52, 36);
        t.lineTo(12, 36);
        t.closeSubpath();
        p.setBrush(Qt::white);
        p.drawPath(t);
        p.drawLine(QPointF(14, 48), QPointF(50, 48));
    });
    tile("mi_delete.png", red, [](QPainter& p) {
        p.drawLine(QPointF(14, 18), QPointF(50, 18));
        p.drawLine(QPointF(26, 12), QPointF(38, 12));
        p.drawPolyline(QPolygonF({QPointF(18, 18), QPointF(21, 54), QPointF(43, 54), QPointF(46, 18)}));
        p.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(28, 26), QPointF(28, 46));
        p.drawLine(QPointF(36, 26), QPointF(36, 46));
    });
    tile("mi_export-sms.png", green, [](QPainter& p) {
        bubble(p, QRectF(8, 10, 32, 24));
        p.drawLine(QPointF(30, 46), QPointF(54, 46));
        p.drawLine(QPointF(46, 38), QPointF(54, 46));
        p.drawLine(QPointF(46, 54), QPointF(54, 46));
    });

    // Big pictures.
    save("main_icon.png", 128, 128, [&](QPainter& p) {
        QLinearGradient g(0, 0, 128, 128);
        g.setColorAt(0, QColor(0x3b, 0x8e, 0xe6));
        g.setColorAt(1, QColor(0x1d, 0x4f, 0x9c));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawRoundedRect(QRectF(4, 4, 120, 120), 26, 26);
        quill(p, QRectF(18, 14, 92, 100), QColor(255, 255, 255, 235), QColor(0x1d, 0x4f, 0x9c));
    });
    save("bk_big.png", 128, 128, [&](QPainter& p) {
        QLinearGradient g(0, 0, 0, 128);
        g.setColorAt(0, blue.lighter(120));
        g.setColorAt(1, blue.darker(110));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawRoundedRect(QRectF(4, 4, 120, 120), 26, 26);
        p.setPen(QPen(Qt::white, 8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(44, 22, 40, 76), 9, 9);
        p.drawLine(QPointF(58, 88), QPointF(70, 88));
        p.setPen(QPen(Qt::white, 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawArc(QRectF(20, 30, 88, 88), 200 * 16, 60 * 16);
        p.drawArc(QRectF(20, 10, 88, 88), 20 * 16, 60 * 16);
    });
    save("banner.png", 360, 52, [&](QPainter& p) {
        quill(p, QRectF(4, 4, 40, 44), blue, QColor(0x1d, 0x4f, 0x9c));
        QFont f("DejaVu Serif");
        f.setPixelSize(26);
        f.setItalic(true);
        f.setBold(true);
        p.setFont(f);
        p.setPen(QColor(0x24, 0x3b, 0x55));
        p.drawText(QRectF(52, 2, 300, 32), Qt::AlignLeft | Qt::AlignVCenter, "Quillmarrow");
        QFont s("DejaVu Sans");
        s.setPixelSize(12);
        p.setFont(s);
        p.setPen(QColor(0x6a, 0x78, 0x88));
        p.drawText(QRectF(54, 32, 300, 18), Qt::AlignLeft | Qt::AlignVCenter, "iPhone and iPad backup reader");
    });
    save("getstart.png", 260, 182, [&](QPainter& p) {
        // A sketch of the main window: tree on the left, a page on the right.
        p.scale(260.0 / 300.0, 182.0 / 210.0);
        p.setPen(QPen(QColor(0x9a, 0xa5, 0xb1), 2));
        p.setBrush(Qt::white);
        p.drawRoundedRect(QRectF(6, 6, 288, 198), 10, 10);
        p.setBrush(QColor(0xe9, 0xee, 0xf3));
        p.setPen(Qt::NoPen);
        p.drawRect(QRectF(7, 30, 80, 173));
        p.setBrush(QColor(0xd3, 0xdb, 0xe4));
        p.drawRect(QRectF(7, 7, 286, 23));
        for (int i = 0; i < 3; ++i) {
            p.setBrush(QList<QColor>{red, yellow, green}[i]);
            p.drawEllipse(QRectF(14 + i * 14, 13, 9, 9));
        }
        const QList<QColor> colors{blue, green, orange, red, yellow, indigo};
        for (int i = 0; i < 6; ++i) {
            p.setBrush(colors[i]);
            p.drawRoundedRect(QRectF(16 + (i ? 10 : 0), 40 + i * 24, 12, 12), 3, 3);
            p.setBrush(QColor(0xb8, 0xc3, 0xcf));
            p.drawRoundedRect(QRectF(32 + (i ? 10 : 0), 43 + i * 24, 38 - (i ? 10 : 0), 6), 3, 3);
        }
        for (int i = 0; i < 4; ++i) {
            p.setBrush(i % 2 ? QColor(0xdf, 0xf3, 0xe2) : QColor(0xdd, 0xea, 0xfa));
            const qreal x = i % 2 ? 160 : 104;
            p.drawRoundedRect(QRectF(x, 44 + i * 38, 120, 28), 12, 12);
        }
    });
    return 0;
}
