#include "contacts/ui/ContactsPrinter.h"

#include "app/OutputFile.h"
#include "app/WrittenDisks.h"
#include "contacts/export/CardText.h"
#include "contacts/export/ContactEntityFormat.h"
#include "contacts/export/ContactPhoto.h"
#include "contacts/store/PimLabelMaps.h"

#include <QApplication>
#include <QFileInfo>
#include <QFontMetrics>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <algorithm>
#include <stdexcept>

namespace
{
struct Measures {
    int fontSize, lineSep, pattern, borderW;
    explicit Measures(int w)
        : fontSize(qMax(1, 12 * w / 339))
        , lineSep(w / 113)
        , pattern(10 * w / 399)
        , borderW(qMax(1, 2 * w / 399))
    {
    }
};

void drawPhoto(QPainter& painter, const pim::_Contact& c, int side, int at)
{
    QImage photo;
    const QList<pim::Entity> photos = c.entities.value(pim::KindPhoto);
    if (!photos.isEmpty())
        photo = ContactPhoto::decode(photos.first().values.value(QStringLiteral("data15")).toByteArray());
    if (photo.isNull())
        photo = ContactPhoto::placeholder();
    if (!photo.isNull() && side > 0)
        painter.drawImage(
            QPoint(at, at), photo.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

void drawLines(QPainter& painter, const Measures& m, int x, int width, const pim::_Contact& c)
{
    QFont font = QApplication::font();
    font.setPixelSize(m.fontSize + m.fontSize / 7);
    int y = m.pattern;
    const QString name = c.shownName();
    y += CardText::drawEntityVal(painter, font, x, y, width, name, QString(), true) + m.lineSep;
    font.setPixelSize(m.fontSize);
    const QList<pim::Entity> orgs = c.entities.value(pim::KindOrg);
    const QString orgLine = orgs.isEmpty() ? QString() : ContactEntityFormat::orgLine(orgs.first());
    // A contact named after its company does not show that company twice.
    if (!orgs.isEmpty() && (orgLine != name || name == c.fullName))
        y += CardText::drawEntityVal(painter, font, x, y, width, orgLine, QString(), true) + m.lineSep;
    for (const pim::Entity& d : c.entities.value(pim::KindDate))
        if (d.code(QStringLiteral("data2")) == 3) {
            y += CardText::drawEntityVal(painter, font, x, y, width, QStringLiteral("Birthday:"),
                     ContactEntityFormat::shortDate(d.text(QStringLiteral("data1"))), false)
                + m.lineSep;
            break;
        }
    QList<pim::Entity> phones = c.entities.value(pim::KindPhone);
    std::stable_sort(phones.begin(), phones.end(), pim::comparePhoneLess);
    const QMap<int, QString> phoneLabels = pim::phoneTypeMap();
    for (const pim::Entity& p : phones.mid(0, 4))
        y += CardText::drawEntityVal(painter, font, x, y, width,
                 phoneLabels.value(p.code(QStringLiteral("data2"))) + ':', p.text(QStringLiteral("data1")),
                 true)
            + m.lineSep;
    const QList<pim::Entity> emails = c.entities.value(pim::KindEmail);
    if (!emails.isEmpty())
        y += CardText::drawEntityVal(painter, font, x, y, width, QStringLiteral("E-Mail:"),
                 emails.first().text(QStringLiteral("data1")), true)
            + m.lineSep;
    const QList<pim::Entity> addrs = c.entities.value(pim::KindAddress);
    if (!addrs.isEmpty())
        CardText::drawEntityVal(
            painter, font, x, y, width, QStringLiteral("Address:"), addrs.first().formattedAddr(), false);
}
} // namespace

ContactsPrinter::ContactsPrinter(QObject* parent)
    : QObject(parent)
{
}

void ContactsPrinter::printContact(QPainter& painter, int w, int h, const pim::_Contact& contact)
{
    const Measures m(w);
    painter.save();
    painter.setClipRect(QRect(0, 0, w, h));
    painter.fillRect(QRect(0, 0, w, h), Qt::white);
    painter.setPen(
        QPen(QBrush(QColor(185, 185, 187)), m.borderW, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(
        QRect(QPoint(m.borderW / 2, m.borderW / 2), QPoint(w - 1 - m.borderW, h - 1 - m.borderW)));
    drawPhoto(painter, contact, w / 3, m.pattern);
    painter.setPen(Qt::black);
    const int x = w / 3 + m.pattern + m.lineSep;
    drawLines(painter, m, x, w - x - 10, contact);
    painter.restore();
}

bool ContactsPrinter::onPaintRequested(QPrinter* printer)
{
    m_count = 0;
    const QMarginsF margins = printer->pageLayout().margins(QPageLayout::Point);
    const double P = printer->pageRect(QPrinter::DevicePixel).width();
    const int W = int(P - margins.left() - margins.right());
    const int G = W / 41, CW = (W - G) / 2, CH = CW * 10 / 16, V = W * 45 / 570, S = V + CH;
    const int leftX = int(margins.left()), rightX = leftX + CW + G, firstY = int(margins.top());
    QPainter painter;
    if (!painter.begin(printer))
        return false;
    int y = firstY;
    for (const pim::_Contact& contact : std::as_const(m_contacts)) {
        if (m_count > 0 && m_count % 8 == 0) {
            printer->newPage();
            y = firstY;
        }
        painter.save();
        painter.translate(m_count % 2 == 0 ? leftX : rightX, y);
        printContact(painter, CW, CH, contact);
        painter.restore();
        if (m_count % 2 == 1)
            y += S;
        ++m_count;
    }
    return painter.end();
}

void ContactsPrinter::printContacts(const QList<pim::_Contact>& contacts)
{
    m_contacts = contacts;
    QPrinter printer(QPrinter::ScreenResolution);
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setOutputFormat(QPrinter::NativeFormat);
    if (!printer.isValid())
        printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Point);
    QPrintPreviewDialog dialog(&printer, nullptr);
    dialog.setFixedSize(900, 700);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setWindowTitle(tr("IDS_PRINT_CONTACTS"));
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, &ContactsPrinter::onPaintRequested);
    dialog.exec();
}

int ContactsPrinter::printToPDF(const QList<pim::_Contact>& contacts, const QString& path)
{
    m_contacts = contacts;
    QPrinter printer(QPrinter::ScreenResolution);
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Point);
    OutputFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        throw std::runtime_error(out.failure().toStdString());
    printer.setOutputFileName(out.openedPath()); // the temporary itself, found by no name again
    const bool painted = onPaintRequested(&printer);
    if (!out.commitWritten([&](const QString& p) { return painted && OutputFile::endsWith(p, "%%EOF\n"); })) {
        WrittenDisks::forgetThisThread();
        throw std::runtime_error(
            (out.failed() ? out.failure() : QStringLiteral("Cannot write the PDF file %1.").arg(path))
                .toStdString());
    }
    // Told as written once it is on the disk.
    QString unsynced;
    if (!WrittenDisks::syncThisThread(&unsynced))
        throw std::runtime_error(unsynced.toStdString());
    return m_count;
}
