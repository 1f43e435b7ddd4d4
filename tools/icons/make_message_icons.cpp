// Draws the images of the message page into src/res/ (run by hand when an image changes):
//   g++ -std=c++20 -fPIC make_message_icons.cpp $(pkg-config --cflags --libs Qt6Gui) -o
//   /tmp/make_message_icons QT_QPA_PLATFORM=offscreen /tmp/make_message_icons ../../src/res
// Action icons are 64x64 like the other tool bar images; list icons are 32x32.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <functional>

namespace
{

QString g_out;

void save(const QString& name, int size, const std::function<void(QPainter&)>& draw)
{
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    draw(p);
    p.end();
    img.save(g_out + "/" + name);
}

// A speech bubble filling most of the 64x64 square, tail at the left or the right.
void bubble(QPainter& p, QColor fill, bool tailRight)
{
    QPainterPath path;
    path.addRoundedRect(QRectF(6, 10, 52, 36), 14, 14);
    QPainterPath tail;
    if (tailRight) {
        tail.moveTo(44, 40);
        tail.lineTo(56, 56);
        tail.lineTo(34, 44);
    } else {
        tail.moveTo(20, 40);
        tail.lineTo(8, 56);
        tail.lineTo(30, 44);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawPath(path.united(tail));
}

void arrow(QPainter& p, QColor color, bool out)
{
    p.setPen(QPen(color, 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    if (out) {
        p.drawLine(22, 28, 42, 28);
        p.drawPolyline(QPolygonF({ QPointF(35, 21), QPointF(42, 28), QPointF(35, 35) }));
    } else {
        p.drawLine(22, 28, 42, 28);
        p.drawPolyline(QPolygonF({ QPointF(29, 21), QPointF(22, 28), QPointF(29, 35) }));
    }
}

void person(QPainter& p, QColor color, QPointF at, double scale)
{
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawEllipse(at + QPointF(-7 * scale, -20 * scale), 7 * scale, 7 * scale);
    p.drawRoundedRect(
        QRectF(at.x() - 12 * scale, at.y() - 10 * scale, 24 * scale, 16 * scale), 8 * scale, 8 * scale);
}

void database(QPainter& p, QColor color, QRectF r)
{
    p.setPen(QPen(color.darker(130), 2));
    p.setBrush(color);
    p.drawRect(QRectF(r.left(), r.top() + 5, r.width(), r.height() - 10));
    p.drawEllipse(QRectF(r.left(), r.bottom() - 10, r.width(), 10));
    p.setBrush(color.lighter(120));
    p.drawEllipse(QRectF(r.left(), r.top(), r.width(), 10));
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    g_out = argc > 1 ? argv[1] : ".";
    const QColor green(76, 175, 80), blue(33, 150, 243), grey(120, 130, 140), orange(245, 150, 40);
    save("icon_sms-sent.png", 32, [&](QPainter& p) {
        bubble(p, green, true);
        arrow(p, Qt::white, true);
    });
    save("icon_sms-receive.png", 32, [&](QPainter& p) {
        bubble(p, grey, false);
        arrow(p, Qt::white, false);
    });
    save("imsg-send.png", 32, [&](QPainter& p) {
        bubble(p, blue, true);
        arrow(p, Qt::white, true);
    });
    save("imsg-rec.png", 32, [&](QPainter& p) {
        bubble(p, blue.lighter(130), false);
        arrow(p, Qt::white, false);
    });
    save("sms_handle.png", 32, [&](QPainter& p) { person(p, grey, QPointF(32, 46), 1.6); });
    save("group.png", 32, [&](QPainter& p) {
        person(p, grey.lighter(130), QPointF(22, 44), 1.2);
        person(p, grey, QPointF(40, 48), 1.3);
    });
    save("search.png", 32, [&](QPainter& p) {
        p.setPen(QPen(grey.darker(130), 7, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(27, 27), 15, 15);
        p.drawLine(QPointF(38, 38), QPointF(54, 54));
    });
    save("save-to-database.png", 64, [&](QPainter& p) {
        database(p, blue, QRectF(14, 6, 36, 40));
        p.setPen(QPen(green, 7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawLine(32, 34, 32, 58);
        p.drawPolyline(QPolygonF({ QPointF(22, 48), QPointF(32, 58), QPointF(42, 48) }));
    });
    save("db2i.png", 64, [&](QPainter& p) {
        p.setPen(QPen(grey.darker(150), 3));
        p.setBrush(QColor(250, 250, 250));
        p.drawRoundedRect(QRectF(34, 10, 24, 44), 5, 5);
        p.drawLine(42, 48, 50, 48);
        database(p, blue, QRectF(4, 14, 22, 34));
        p.setPen(QPen(green, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawLine(20, 31, 40, 31);
        p.drawPolyline(QPolygonF({ QPointF(34, 25), QPointF(40, 31), QPointF(34, 37) }));
    });
    save("extract_meida_files.png", 64, [&](QPainter& p) {
        p.setPen(QPen(orange.darker(130), 2));
        p.setBrush(orange);
        p.drawRoundedRect(QRectF(6, 18, 52, 38), 4, 4);
        p.drawRoundedRect(QRectF(6, 12, 22, 10), 3, 3);
        p.setBrush(QColor(255, 255, 255));
        p.setPen(Qt::NoPen);
        p.drawRect(QRectF(18, 28, 28, 20));
        p.setBrush(green);
        p.drawPolygon(QPolygonF(
            { QPointF(20, 46), QPointF(29, 34), QPointF(36, 42), QPointF(40, 38), QPointF(44, 46) }));
    });
    save("mi_print.png", 64, [&](QPainter& p) {
        p.setPen(QPen(grey.darker(150), 2));
        p.setBrush(QColor(255, 255, 255));
        p.drawRect(QRectF(18, 6, 28, 18));
        p.setBrush(grey);
        p.drawRoundedRect(QRectF(6, 22, 52, 24), 5, 5);
        p.setBrush(QColor(255, 255, 255));
        p.drawRect(QRectF(18, 38, 28, 20));
        p.setPen(QPen(grey, 2));
        p.drawLine(22, 46, 42, 46);
        p.drawLine(22, 52, 36, 52);
    });
    return 0;
}
