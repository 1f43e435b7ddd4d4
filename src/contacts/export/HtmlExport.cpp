#include "contacts/export/HtmlExport.h"

#include "app/AppInfo.h"
#include "app/OutputFile.h"
#include "app/PathWalk.h"
#include "contacts/export/ContactEntityFormat.h"
#include "contacts/export/ContactPhoto.h"

#include <QFile>
#include <cerrno>
#include <stdexcept>

namespace
{
using Format = QString (*)(const pim::Entity&);

QString entitiesHtml(const QString& title, const QList<pim::Entity>& entities, Format format)
{
    QString s = QStringLiteral("<div style=\"margin-bottom:20px;\">\r\n<h2 class=\"ent_group\">") + title
        + QStringLiteral("</h2>\r\n<ul class=\"ent_list\">\r\n");
    for (const pim::Entity& e : entities)
        s += QStringLiteral("<li>%1</li>\r\n").arg(format(e));
    return s + QStringLiteral("</ul>\r\n</div>\r\n");
}

QString multiline(const QString& text)
{
    QString s = HtmlExport::escape(text);
    s.replace(QLatin1String("\r\n"), QLatin1String("<br/>"));
    s.replace(QLatin1Char('\n'), QLatin1String("<br/>"));
    s.replace(QLatin1Char('\r'), QLatin1String("<br/>"));
    return s;
}

QString escPhone(const pim::Entity& e)
{
    return HtmlExport::escape(ContactEntityFormat::phone(e));
}
QString escEmail(const pim::Entity& e)
{
    return HtmlExport::escape(ContactEntityFormat::email(e));
}
QString escEvent(const pim::Entity& e)
{
    return HtmlExport::escape(ContactEntityFormat::event(e));
}
QString escIm(const pim::Entity& e)
{
    return HtmlExport::escape(ContactEntityFormat::im(e));
}
QString escOrg(const pim::Entity& e)
{
    return HtmlExport::escape(ContactEntityFormat::org(e));
}
QString escRel(const pim::Entity& e)
{
    return HtmlExport::escape(ContactEntityFormat::relation(e));
}
QString escUrl(const pim::Entity& e)
{
    return HtmlExport::escape(ContactEntityFormat::url(e));
}
QString escNotes(const pim::Entity& e)
{
    return multiline(ContactEntityFormat::notes(e));
}
QString escAddr(const pim::Entity& e)
{
    return QStringLiteral("<b>%1</b><br/>%2")
        .arg(HtmlExport::escape(ContactEntityFormat::addressLabel(e)),
            multiline(ContactEntityFormat::address(e)));
}

QString nameBlock(const pim::_Contact& c)
{
    const QString name = c.shownName();
    QString text = HtmlExport::escape(name);
    const QList<pim::Entity> nicks = c.entities.value(pim::KindNickname);
    if (!nicks.isEmpty() && !nicks.first().text(QStringLiteral("data1")).isEmpty())
        text += QStringLiteral("<br/>\"") + HtmlExport::escape(nicks.first().text(QStringLiteral("data1")))
            + '"';
    const QList<pim::Entity> orgs = c.entities.value(pim::KindOrg);
    if (!orgs.isEmpty()) {
        const pim::Entity& o = orgs.first();
        if (!o.text(QStringLiteral("data4")).isEmpty())
            text += QStringLiteral("<br/>") + HtmlExport::escape(o.text(QStringLiteral("data4")));
        if (!o.text(QStringLiteral("data5")).isEmpty())
            text += QStringLiteral(" - ") + HtmlExport::escape(o.text(QStringLiteral("data5")));
        // The company of a contact named after it is not repeated under the name.
        if (!o.text(QStringLiteral("data1")).isEmpty() && name == c.fullName)
            text += QStringLiteral("<br/>") + HtmlExport::escape(o.text(QStringLiteral("data1")));
    }
    return QStringLiteral("<div class=\"ct_name\">\r\n") + text
        + QStringLiteral("\r\n</div><div style=\"clear:both\"></div>\r\n");
}

} // namespace

HtmlExport::HtmlExport(const QDir& folder)
    : m_path(PathWalk::absolute(folder.path()))
{
}

void HtmlExport::makeFoldersThrow()
{
    if (m_photos.isValid())
        return;
    QString why;
    if (!m_madeFolders.makeDestination(m_path, &why))
        throw std::runtime_error(why.toStdString());
    m_folder = m_madeFolders.destination();
    const QString photos = QStringLiteral("photos");
    m_photos = m_madeFolders.make(m_folder, photos);
    if (!m_photos.isValid())
        throw std::runtime_error(MadeFolders::failureText(m_folder.filePath(photos), errno).toStdString());
}

QString HtmlExport::escape(const QString& text)
{
    return text.toHtmlEscaped();
}

QByteArray HtmlExport::initialize(const QList<pim::_Contact>&)
{
    makeFoldersThrow();
    QString s
        = QStringLiteral("<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
                         "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">\r\n"
                         "<html xmlns=\"http://www.w3.org/1999/xhtml\">\r\n<head>\r\n"
                         "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />\r\n");
    s += QStringLiteral("<title>%1</title>\r\n").arg(escape(AppInfo::displayName()));
    s += QStringLiteral(
        "<style type=\"text/css\">\r\n"
        ".photo{float:left;margin:5px;border:1px solid #A9A9A9;}\r\n"
        ".ct_name{font-size:24px;font-weight:bold;font-style:italic;margin-bottom:20px;}\r\n"
        ".ent_group{padding:0;margin:0;font-size:20px; font-weight:bold; font-style:italic}\r\n"
        ".ent_list{margin:0; padding:0; list-style:none; font-size:18px}\r\n"
        "</style></head>\r\n<body style=\"background-color:#F1F5FB\">\r\n");
    const QString placeholder = QStringLiteral("contact.png");
    if (!m_photos.has(placeholder)) {
        QFile res(QStringLiteral(":/res/empty_contact.png"));
        writePhoto(placeholder, res.open(QIODevice::ReadOnly) ? res.readAll() : QByteArray());
    }
    return s.toUtf8();
}

QString HtmlExport::photoFileName(const pim::_Contact& contact)
{
    QString name = QStringLiteral("%1.jpg").arg(contact.id);
    for (int n = 2; m_photoNames.contains(name); ++n)
        name = QStringLiteral("%1-%2.jpg").arg(contact.id).arg(n);
    m_photoNames.insert(name);
    return name;
}

bool HtmlExport::writePhoto(const QString& name, const QByteArray& bytes, const QImage* image)
{
    makeFoldersThrow();
    const bool existed = m_photos.has(name);
    OutputFile out(m_photos, name);
    const bool saved = out.open(QIODevice::WriteOnly)
        && (image ? image->save(&out, "JPEG") : out.write(bytes) == bytes.size()) && out.commit();
    if (out.failed() || (!image && !saved))
        throw std::runtime_error(out.failure().toStdString());
    // Kept by what it is: a file put in its place later is never removed for it.
    if (saved && !existed)
        m_createdFiles.note(m_photos, name);
    return saved;
}

QString HtmlExport::photoTag(const pim::_Contact& contact)
{
    const QList<pim::Entity> photos = contact.entities.value(pim::KindPhoto);
    if (!photos.isEmpty()) {
        const QImage image
            = ContactPhoto::decode(photos.first().values.value(QStringLiteral("data15")).toByteArray());
        const QString name = image.isNull() ? QString() : photoFileName(contact);
        if (!name.isEmpty() && writePhoto(name, QByteArray(), &image))
            return QStringLiteral("<img class=\"photo\" src=\"photos/%1\" width=\"128\" alt=\"\" />\r\n")
                .arg(name);
    }
    return QStringLiteral("<img class=\"photo\" src=\"photos/contact.png\" width=\"128\" alt=\"\" />\r\n");
}

QByteArray HtmlExport::ct2Bytes(const pim::_Contact& c)
{
    QString s = QStringLiteral("<div style=\"margin-bottom:50px;\">\r\n") + photoTag(c) + nameBlock(c);
    struct Section {
        int kind;
        const char* title;
        Format format;
    };
    static const Section sections[] = { { pim::KindPhone, "Phone:", escPhone },
        { pim::KindEmail, "E-Mail:", escEmail }, { pim::KindDate, "Date:", escEvent },
        { pim::KindIM, "IM:", escIm }, { pim::KindOrg, "Organization:", escOrg },
        { pim::KindRelation, "Relationship:", escRel }, { pim::KindAddress, "Address:", escAddr },
        { pim::KindUrl, "Website:", escUrl }, { pim::KindNote, "Notes:", escNotes } };
    for (const Section& sec : sections) {
        QList<pim::Entity> list = c.entities.value(sec.kind);
        if (sec.kind == pim::KindOrg)
            list = list.mid(1);
        if (!list.isEmpty())
            s += entitiesHtml(QLatin1String(sec.title), list, sec.format);
    }
    s += QStringLiteral("</div>\r\n");
    return s.toUtf8();
}

QByteArray HtmlExport::uninitialize()
{
    return QByteArrayLiteral("</body></html>");
}

void HtmlExport::removeCreated()
{
    m_createdFiles.takeBack();
    m_madeFolders.removeEmpty(); // only those that hold nothing: nothing of others goes
}
