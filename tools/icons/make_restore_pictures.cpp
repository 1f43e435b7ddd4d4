// Draws the picture shown beside the warning that a device's cloud backup must be off before a
// restore (run by hand when it changes):
//   g++ -std=c++20 -fPIC make_restore_pictures.cpp $(pkg-config --cflags --libs Qt6Gui) -o /tmp/mrp
//   QT_QPA_PLATFORM=offscreen /tmp/mrp ../../src/res
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString(".");
    QImage img(320, 72, QImage::Format_RGB32);
    img.fill(QColor(0xf2, 0xf2, 0xf7));
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(Qt::white);
    p.setPen(QColor(0xd1, 0xd1, 0xd6));
    p.drawRoundedRect(QRectF(8.5, 8.5, 303, 55), 10, 10);
    QFont f("DejaVu Sans");
    f.setPixelSize(18);
    p.setFont(f);
    p.setPen(Qt::black);
    p.drawText(QRect(24, 8, 200, 56), Qt::AlignVCenter | Qt::AlignLeft, "Cloud Backup");
    // The switch, turned off.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xe5, 0xe5, 0xea));
    p.drawRoundedRect(QRectF(236, 21, 60, 30), 15, 15);
    p.setBrush(Qt::white);
    p.setPen(QColor(0xc7, 0xc7, 0xcc));
    p.drawEllipse(QRectF(238, 23, 26, 26));
    p.end();
    img.save(dir + "/close_icloudbk.jpg", "JPG", 92);
    return 0;
}
