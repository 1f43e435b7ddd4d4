// Draws the conversation bubble frames and the photo placeholder into src/res/bubble (run by hand
// when they change):
//   g++ -std=c++20 -fPIC make_bubbles.cpp $(pkg-config --cflags --libs Qt6Gui) -o /tmp/make_bubbles
//   QT_QPA_PLATFORM=offscreen /tmp/make_bubbles ../../src/res/bubble
// Each bubble is nine cells (corners 12x12, edges 12 wide or high, a 12x12 middle) cut from one
// rounded rectangle, numbered 01..09 row by row: bb1 received (grey), bb2 sent (blue).
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int kCell = 12;

void bubble(const QString& dir, const QString& prefix, QColor fill, QColor edge)
{
    QImage whole(kCell * 3, kCell * 3, QImage::Format_ARGB32_Premultiplied);
    whole.fill(Qt::transparent);
    QPainter p(&whole);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(edge, 1));
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(0.5, 0.5, kCell * 3 - 1, kCell * 3 - 1), kCell - 1, kCell - 1);
    p.end();
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col) {
            const QImage cell = whole.copy(col * kCell, row * kCell, kCell, kCell);
            cell.save(QString("%1/%2_%3.png").arg(dir, prefix).arg(row * 3 + col + 1, 2, 10, QChar('0')));
        }
}

void placeholder(const QString& dir)
{
    QImage img(120, 90, QImage::Format_RGB32);
    img.fill(QColor(0xee, 0xee, 0xee));
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0xaa, 0xaa, 0xaa), 3));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(30, 20, 60, 50));
    QPainterPath hill;
    hill.moveTo(34, 66);
    hill.lineTo(55, 42);
    hill.lineTo(68, 55);
    hill.lineTo(76, 48);
    hill.lineTo(86, 66);
    p.drawPath(hill);
    p.drawEllipse(QPointF(77, 33), 5, 5);
    p.end();
    img.save(dir + "/empty_photo.jpg", "JPG", 90);
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString(".");
    bubble(dir, "bb1", QColor(0xe9, 0xe9, 0xeb), QColor(0xd0, 0xd0, 0xd4));
    bubble(dir, "bb2", QColor(0x8c, 0xd2, 0x6e), QColor(0x6f, 0xb5, 0x52));
    placeholder(dir);
    return 0;
}
