#include "contacts/ui/ContactDisplayer.h"

#include "app/DataPaths.h"
#include "app/OutputFile.h"
#include "app/ShownText.h"
#include "app/WrittenDisks.h"
#include "app/ui/shared/LongTextBox.h"
#include "app/ui/shared/OffThread.h"
#include "app/ui/shared/Tips.h"
#include "contacts/export/ContactEntityFormat.h"
#include "contacts/export/ContactPhoto.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPointer>
#include <QThread>
#include <QVBoxLayout>

namespace
{
const char* const kPhotoName = "imgPhoto";

QByteArray photoBytes(const pim::_Contact& c)
{
    const QList<pim::Entity> photos = c.entities.value(pim::KindPhoto);
    return photos.isEmpty() ? QByteArray()
                            : photos.first().values.value(QStringLiteral("data15")).toByteArray();
}

QLabel* entryLabel(const QString& text, QWidget* parent, Qt::TextFormat format)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(format);
    label->setText(text);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setWordWrap(true);
    return label;
}

// A field as an opened record shows it. A label lays its text out whole, several times over for
// its height at each width; a longer one goes in a box that lays out the lines in view.
QWidget* entryWidget(const QString& opened, QWidget* parent)
{
    if (opened.size() <= ShownText::kMaxLine)
        return entryLabel(opened, parent, Qt::PlainText);
    return new LongTextBox(opened, 8, parent);
}

// The address as a long field: its label in bold over a box of its lines.
void addLongAddress(QVBoxLayout* layout, const pim::Entity& e, const QString& lines, QWidget* parent)
{
    QLabel* label = entryLabel(ShownText::line(ContactEntityFormat::addressLabel(e)), parent, Qt::PlainText);
    label->setStyleSheet(QStringLiteral("font-weight:bold;"));
    layout->addWidget(label);
    layout->addWidget(new LongTextBox(lines, 8, parent));
}
} // namespace

ContactDisplayer::ContactDisplayer(QWidget* parent)
    : QScrollArea(parent)
{
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setWidgetResizable(false);
    clear();
}

QString ContactDisplayer::g_phoneDisplay(const pim::Entity& e)
{
    return ContactEntityFormat::phone(e);
}
QString ContactDisplayer::g_emailDisplay(const pim::Entity& e)
{
    return ContactEntityFormat::email(e);
}
QString ContactDisplayer::g_eventDisplay(const pim::Entity& e)
{
    return ContactEntityFormat::event(e);
}
QString ContactDisplayer::g_imDisplay(const pim::Entity& e)
{
    return ContactEntityFormat::im(e);
}
QString ContactDisplayer::g_orgDisplay(const pim::Entity& e)
{
    return ContactEntityFormat::org(e);
}
QString ContactDisplayer::g_relDisplay(const pim::Entity& e)
{
    return ContactEntityFormat::relation(e);
}
QString ContactDisplayer::g_urlDisplay(const pim::Entity& e)
{
    return ContactEntityFormat::url(e);
}
QString ContactDisplayer::g_notesDisplay(const pim::Entity& e)
{
    return ContactEntityFormat::notes(e);
}

QString ContactDisplayer::g_addrDisplay(const pim::Entity& e)
{
    // Bounded before it is marked up, so that no cut falls inside the markup.
    QString lines = ShownText::opened(ContactEntityFormat::address(e)).toHtmlEscaped();
    lines.replace(QLatin1Char('\n'), QLatin1String("<br/>"));
    return QStringLiteral("<b>%1</b><br/>%2")
        .arg(ShownText::line(ContactEntityFormat::addressLabel(e)).toHtmlEscaped(), lines);
}

void ContactDisplayer::replaceContent(QWidget* widget)
{
    if (contentWidget)
        contentWidget->deleteLater();
    contentWidget = widget;
}

void ContactDisplayer::clear()
{
    stopPhoto();
    m_hasContact = false;
    m_shownContact = pim::_Contact();
    replaceContent(new QWidget(this));
    contentLayout = nullptr;
    setWidget(contentWidget);
}

QString ContactDisplayer::nameBlock(const pim::_Contact& c)
{
    // A header: each part bounded as a list shows it, and the whole block too.
    QString text = ShownText::line(c.fullName);
    const QList<pim::Entity> nicks = c.entities.value(pim::KindNickname);
    if (!nicks.isEmpty() && !nicks.first().text(QStringLiteral("data1")).isEmpty())
        text += QStringLiteral("\n\"") + ShownText::line(nicks.first().text(QStringLiteral("data1")))
            + QLatin1Char('"');
    const QList<pim::Entity> orgs = c.entities.value(pim::KindOrg);
    if (!orgs.isEmpty()) {
        const QString title = ShownText::line(orgs.first().text(QStringLiteral("data4")));
        const QString department = ShownText::line(orgs.first().text(QStringLiteral("data5")));
        const QString company = ShownText::line(orgs.first().text(QStringLiteral("data1")));
        if (!title.isEmpty())
            text += QLatin1Char('\n') + title;
        if (!department.isEmpty())
            text += QStringLiteral(" - ") + department;
        if (!company.isEmpty())
            text += QLatin1Char('\n') + company;
    }
    return ShownText::line(text);
}

QWidget* ContactDisplayer::makeHeader(const pim::_Contact& contact)
{
    auto* header = new QWidget(contentWidget);
    auto* layout = new QHBoxLayout(header);
    auto* photo = new QLabel(header);
    photo->setAccessibleName(QLatin1String(kPhotoName));
    photo->setFixedSize(128, 128);
    photo->setStyleSheet(QStringLiteral("border:1px solid #A9A9A9;"));
    photo->setPixmap(QPixmap::fromImage(ContactPhoto::placeholder()));
    startPhoto(photoBytes(contact), photo);
    layout->addWidget(photo, 0, Qt::AlignTop);
    QLabel* name = entryLabel(nameBlock(contact), header, Qt::PlainText);
    name->setStyleSheet(QStringLiteral("font-size:21px;font-weight:bold;font-style:italic"));
    layout->addWidget(name, 0, Qt::AlignTop);
    return header;
}

void ContactDisplayer::stopPhoto()
{
    if (m_photoThread)
        m_photoThread->requestInterruption();
    m_photoThread = nullptr;
}

// The photo is decoded beside the window (a crafted one may take all of the decoder's bounds); the
// placeholder stands until then. The thread holds a copy of the bytes and nothing of the card, which
// may go meanwhile: another contact shown asks it to stop, and it deletes itself once ended.
void ContactDisplayer::startPhoto(const QByteArray& bytes, QLabel* photo)
{
    stopPhoto();
    if (bytes.isEmpty())
        return;
    const QPointer<QLabel> target(photo);
    const QPointer<ContactDisplayer> card(this);
    QThread* thread = QThread::create([bytes, target, card] {
        const QImage image = ContactPhoto::decode(bytes);
        if (image.isNull() || QThread::currentThread()->isInterruptionRequested())
            return;
        // Scaled to fit the frame whole, so a tall picture is not cut.
        const QImage shown = image.scaled(126, 126, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        QMetaObject::invokeMethod(qApp, [target, card, shown] {
            if (!target || !card)
                return;
            target->setPixmap(QPixmap::fromImage(shown));
            target->setAlignment(Qt::AlignCenter);
            target->installEventFilter(card);
            target->setCursor(Qt::PointingHandCursor);
        });
    });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    m_photoThread = thread;
    thread->start();
}

void ContactDisplayer::showContact(const pim::_Contact* contact)
{
    if (!contact) {
        clear();
        return;
    }
    m_shownContact = *contact; // a copy: the caller's row may be freed by a reload
    m_hasContact = true;
    replaceContent(new QWidget(this));
    contentLayout = new QVBoxLayout(contentWidget);
    contentLayout->setContentsMargins(15, 0, 15, 15);
    contentLayout->addWidget(makeHeader(m_shownContact), 0, Qt::AlignTop);
    struct Section {
        int kind;
        const char* title;
        Format format;
    };
    static const Section sections[] = { { pim::KindPhone, "Phone:", g_phoneDisplay },
        { pim::KindEmail, "E-Mail:", g_emailDisplay }, { pim::KindDate, "Date:", g_eventDisplay },
        { pim::KindIM, "IM:", g_imDisplay }, { pim::KindOrg, "Organization:", g_orgDisplay },
        { pim::KindRelation, "Relationship:", g_relDisplay }, { pim::KindAddress, "Address:", g_addrDisplay },
        { pim::KindUrl, "Website:", g_urlDisplay }, { pim::KindNote, "Notes:", g_notesDisplay } };
    for (const Section& s : sections) {
        QList<pim::Entity> list = m_shownContact.entities.value(s.kind);
        if (s.kind == pim::KindOrg)
            list = list.mid(1);
        if (!list.isEmpty())
            showEntities(QLatin1String(s.title), list, s.format, s.kind == pim::KindAddress);
    }
    contentLayout->addStretch(1);
    setWidget(contentWidget);
    fitContent();
}

void ContactDisplayer::fitContent()
{
    // As wide as the visible area, as high as the wrapped texts need at that width.
    const int w = viewport()->width();
    const int h = contentWidget->hasHeightForWidth() ? contentWidget->heightForWidth(w) : -1;
    contentWidget->resize(w, h > 0 ? h : contentWidget->sizeHint().height());
}

void ContactDisplayer::showEntities(
    const QString& title, const QList<pim::Entity>& entities, Format format, bool richText)
{
    auto* section = new QWidget(contentWidget);
    section->setStyleSheet(QStringLiteral("font-size:16px;"));
    auto* layout = new QVBoxLayout(section);
    auto* titleLabel = new QLabel(title, section);
    titleLabel->setTextFormat(Qt::PlainText);
    titleLabel->setStyleSheet(QStringLiteral("font-size:18px;font-style:italic;font-weight:bold;"));
    layout->addWidget(titleLabel);
    // An opened card shows each field as the conversation view shows a message's text. The rich
    // text is the address's: a long one shows as plain text, its label apart.
    for (const pim::Entity& e : entities) {
        if (!richText) {
            layout->addWidget(entryWidget(ShownText::opened(format(e)), section));
            continue;
        }
        const QString lines = ShownText::opened(ContactEntityFormat::address(e));
        if (lines.size() <= ShownText::kMaxLine)
            layout->addWidget(entryLabel(format(e), section, Qt::RichText));
        else
            addLongAddress(layout, e, lines, section);
    }
    if (contentLayout)
        contentLayout->addWidget(section, 0, Qt::AlignTop);
}

QString ContactDisplayer::photoFileName(const pim::_Contact& contact)
{
    QString name = g_formatFileName(contact.fullName);
    while (name.startsWith(QLatin1Char('.')))
        name.remove(0, 1);
    name.replace(QLatin1String(".."), QLatin1String("."));
    if (name.isEmpty())
        name = QStringLiteral("photo");
    return name + QLatin1Char('.') + ContactPhoto::suffixOf(photoBytes(contact));
}

bool ContactDisplayer::savePhoto(const QByteArray& bytes, const QString& path, QString* error)
{
    OutputFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return WrittenDisks::syncThisThread(error); // saved once it is on the disk
    WrittenDisks::forgetThisThread();
    if (error)
        *error = file.failure();
    return false;
}

bool ContactDisplayer::eventFilter(QObject* watched, QEvent* event)
{
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w || w->accessibleName() != QLatin1String(kPhotoName) || event->type() != QEvent::MouseButtonPress)
        return QScrollArea::eventFilter(watched, event);
    if (static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton || !m_hasContact)
        return true;
    const pim::_Contact contact = m_shownContact;
    const QString proposed = QDir(QDir::homePath()).absoluteFilePath(photoFileName(contact));
    const QString path = QFileDialog::getSaveFileName(nullptr, QString(), proposed, QString());
    if (path.isEmpty())
        return true;
    QString error;
    bool saved = false;
    const QByteArray bytes = photoBytes(contact);
    // Written and synced beside the window: the disk chosen may be slow or stop answering.
    try {
        OffThread::run([&] { saved = savePhoto(bytes, path, &error); }, QString(), this);
    } catch (const std::exception& e) {
        error = QString::fromUtf8(e.what());
    }
    if (!saved)
        Tips::warning(error.toHtmlEscaped());
    return true;
}

void ContactDisplayer::resizeEvent(QResizeEvent*)
{
    if (contentWidget && contentLayout)
        fitContent();
}
