#include "messages/ui/ExportMessagesHtml.h"

#include "app/AppInfo.h"
#include "app/DataPaths.h"
#include "app/FileNameFit.h"
#include "app/MadeFolders.h"
#include "contacts/export/VCardThumbnail.h"
#include "messages/store/MsgAttachment.h"
#include "messages/store/MsgChat.h"
#include "messages/store/MsgHandle.h"
#include "messages/store/MsgMessage.h"
#include "messages/store/MsgText.h"
#include "messages/ui/BubbleHtml.h"
#include "messages/ui/ExportFileNames.h"
#include "messages/ui/ExportFilesFolder.h"
#include "messages/ui/MsgExportText.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>
#include <cerrno>
#include <optional>
#include <stdexcept>
#include <sys/stat.h>

namespace
{
const char kImageAttrs[] = "style=\"max-width:120px;max-height:120px\"";
const char kCardAttrs[] = "style=\"max-width:200px;max-height:200px\"";
// The bubble pictures' placeholder, copied into "files" with the style sheet.
const char kPlaceholder[] = "empty_photo.jpg";

QString linkedImage(const QString& link, const QString& src, const char* attrs)
{
    // Concatenated rather than filled by placeholders, so "%3F" in a name stays as it is.
    return QStringLiteral("<a href=\"") + link + QStringLiteral("\"><img src=\"") + src
        + QStringLiteral("\" ") + QLatin1String(attrs) + QStringLiteral("></a>");
}

QString bracketLink(const QString& link, const char* label)
{
    return QStringLiteral("<a href=\"") + link + QStringLiteral("\">") + QLatin1String(label)
        + QStringLiteral("</a>");
}

// The phone's name of the file an attachment copies, where a disk can hold it as one name; else that
// of its copy, which the store marked. A name the disk refuses is fitted as the copy is written.
QString ownName(const _MsgAttachment& a)
{
    const QString name = a.filename.section(QLatin1Char('/'), -1);
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")
        || name.contains(QChar(0)))
        return QFileInfo(a._path).fileName();
    return name;
}
} // namespace

QString g_htmlFilesLink(const QString& fileName, const QString& folder)
{
    // Percent-encoding leaves only letters, digits and "-._~", so nothing needs escaping after it.
    return QString::fromLatin1(QUrl::toPercentEncoding(folder)) + QLatin1Char('/')
        + QString::fromLatin1(QUrl::toPercentEncoding(fileName));
}

ExportMessagesHtml::ExportMessagesHtml(const HeldFolder& dir, const QString& fileName, bool labelAllSenders)
    : m_dir(dir)
    , m_file(dir, fileName)
    , m_labelAllSenders(labelAllSenders)
{
    m_file.setFitName(true);
}

void ExportMessagesHtml::useFilesFolder(const HeldFolder& folder, const QString& name)
{
    m_attaDir = folder;
    m_attaName = name;
}

QString ExportMessagesHtml::filesLink(const QString& fileName) const
{
    return g_htmlFilesLink(fileName, m_attaName);
}

void ExportMessagesHtml::init()
{
    filesFolderThrow();
    m_lastDated = 0;
    if (!m_file.open(QIODevice::WriteOnly))
        throw std::runtime_error(m_file.failure().toStdString());
    m_stream.setDevice(&m_file);
    m_stream.setEncoding(QStringConverter::Utf8);
    m_stream << "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
                "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">\n";
    m_stream << "<html xmlns=\"http://www.w3.org/1999/xhtml\">\n";
    m_stream << "<head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />\n";
    m_stream << "<title>" << g_htmlEncode(AppInfo::displayName()) << "</title>\n";
    m_stream << "<link href=\"" << filesLink(QStringLiteral("style.css"))
             << "\" type=\"text/css\" rel=\"stylesheet\"/></head><body>\n";
    checkWritten();
}

void ExportMessagesHtml::write(_MsgMessage& message)
{
    writeMessage(message);
    m_stream << '\n';
    checkWritten();
}

void ExportMessagesHtml::uninit()
{
    m_stream << "</body></html>";
    checkWritten(true);
    if (!m_file.commit())
        throw std::runtime_error(m_file.failure().toStdString());
}

void ExportMessagesHtml::checkWritten(bool flush)
{
    if (flush)
        m_stream.flush();
    if (m_stream.status() != QTextStream::Ok || m_file.failed())
        throw std::runtime_error(m_file.failure().toStdString());
}

const HeldFolder& ExportMessagesHtml::filesFolderThrow()
{
    if (m_attaDir.isValid())
        return m_attaDir;
    m_attaDir = m_dir.make(QStringLiteral("files"));
    if (!m_attaDir.isValid())
        throw std::runtime_error(
            MadeFolders::failureText(m_dir.filePath(QStringLiteral("files")), errno).toStdString());
    return m_attaDir;
}

QString ExportMessagesHtml::saveAttaFile(const QString& path, QString* unread, const QString& given)
{
    filesFolderThrow();
    const QString name = given.isEmpty() ? QFileInfo(path).fileName() : given;
    QString target = copyName(name, path);
    struct stat st;
    if (m_attaDir.lstat(target, &st))
        return target; // the user's own with the very bytes
    if (target.toUtf8().size() > 255) {
        // A numbered variant of a long name: shortened within the file system's limit.
        const QFileInfo info(name);
        const QString suffix = info.suffix().isEmpty() ? QString() : "." + info.suffix();
        target = ExportFileNames(m_attaDir).take(info.completeBaseName(), suffix);
    }
    QString error;
    // An attachment the user may not read stays a broken link, as before, and so does one the disk
    // takes no name for; one whose read fails costs only its bubble when unread is given; a copy that
    // cannot be written fails the export.
    OutputFile out(m_attaDir, target);
    out.setFitName(true);
    const bool readable = QFileInfo(path).isReadable();
    const bool copied = readable && out.copyFile(path, &error);
    if (copied && m_madeFiles)
        m_madeFiles->note(m_attaDir, out.placedName()); // a free name: nothing of others stood there
    if (readable && !copied) {
        if (unread && out.sourceFailed()) {
            *unread
                = QStringLiteral("Cannot read %1. %2").arg(QDir::toNativeSeparators(path), out.errorString());
            return QString();
        }
        if (!out.nameRefused())
            throw std::runtime_error(error.toStdString());
        m_failedCopies << path + QStringLiteral(": ") + error;
    } else if (out.placedName() != target) {
        m_fitted.add(m_attaDir.filePath(target), out.placedName());
    }
    return out.placedName();
}

QString ExportMessagesHtml::copyName(const QString& name, const QString& path) const
{
    const QFileInfo source(path);
    const qint64 size = source.isFile() ? source.size() : -1;
    return FileNameFit::freeName(name, [&](const QString& candidate) {
        struct stat st;
        return m_attaDir.lstat(candidate, &st)
            && (size < 0 || !ExportFilesFolder::holdsOwn(m_attaDir, candidate, st, path, size));
    });
}

// Each bubble goes out as it is made: a message with many attachments costs the page's memory
// one bubble at a time.
void ExportMessagesHtml::writeMessage(const _MsgMessage& m)
{
    if (m.item_type != 0) {
        m_stream << QStringLiteral("<div class=\"sysif\">") << g_htmlEncode(msgExportSummary(m))
                 << QStringLiteral("</div>");
        return;
    }
    const QString sender = senderText(m);
    const bool fromMe = m.is_from_me != 0;
    m_stream << dateLine(m);
    QString body;
    if (!m.subject.isEmpty())
        body = QStringLiteral("<Subject:%1>\n").arg(m.subject);
    body += m.text();
    body = msgShownText(body.trimmed());
    const QList<_MsgAttachment*> attachments = m.attachments();
    if (!body.isEmpty() || attachments.isEmpty())
        m_stream << bubbleContent(g_htmlEncode(body), fromMe, sender);
    for (const _MsgAttachment* a : attachments) {
        if (const std::optional<QString> content = attachmentContent(*a)) {
            m_stream << bubbleContent(*content, fromMe, sender);
            checkWritten();
        }
    }
}

QString ExportMessagesHtml::senderText(const _MsgMessage& m) const
{
    if (m.is_from_me || !m._chat)
        return QString();
    if (!m_labelAllSenders)
        return m._chat->isGroup() && m._sender ? m._sender->displayName(false) : QString();
    if (m._chat->isGroup() && m._sender)
        return m._sender->displayName(true);
    return m._chat->displayName(true);
}

QString ExportMessagesHtml::dateLine(const _MsgMessage& m)
{
    const qint64 t = ExportLocalTime::unixTime(m.date);
    if (t - m_lastDated < 61)
        return QString();
    m_lastDated = int(t);
    return QStringLiteral("<div class=\"dt\">") + m_time.minuteText(m.date) + QStringLiteral("</div>");
}

// The bubble content of one attachment; nothing for a plain-text file that cannot be opened. One
// whose read fails costs only its bubble, which says why, and is noted.
std::optional<QString> ExportMessagesHtml::attachmentContent(const _MsgAttachment& a)
{
    const bool present = !a._path.isEmpty() && QFileInfo(a._path).isFile();
    QString why; // set by the first read of the file that fails: nothing more is read from it
    const QString copy = present ? saveAttaFile(a._path, &why, ownName(a)) : QString();
    const QString link = copy.isEmpty() ? QStringLiteral("#") : filesLink(copy);
    const QString mime = a.mime_type.toLower();
    std::optional<QString> content;
    if (mime.startsWith(QLatin1String("image/")))
        content = pictureContent(a, link, present, &why);
    else if (mime == QLatin1String("text/x-vcard") || mime == QLatin1String("text/vcard"))
        content = cardContent(a, link, present, &why);
    else if (mime == QLatin1String("text/plain"))
        content = why.isEmpty() ? textContent(a, &why) : g_htmlEncode(why);
    else
        content = bracketLink(link,
            mime.startsWith(QLatin1String("video/"))       ? "[VIDEO]"
                : mime.startsWith(QLatin1String("audio/")) ? "[AUDIO]"
                                                           : "[ATTACHMENT]");
    if (!why.isEmpty())
        m_unread.add(a, why);
    return content;
}

QString ExportMessagesHtml::pictureContent(
    const _MsgAttachment& a, const QString& link, bool present, QString* why)
{
    const QString thumb = present && why->isEmpty() ? a.thumbnail(why) : QString();
    if (QFileInfo(thumb).isFile())
        return linkedImage(link, filesLink(saveAttaFile(thumb)), kImageAttrs);
    // A picture that could not be previewed shows the placeholder instead of a broken image.
    return linkedImage(link, filesLink(QLatin1String(kPlaceholder)), kImageAttrs)
        + placeholderCaptionHtml(a, *why);
}

QString ExportMessagesHtml::cardContent(
    const _MsgAttachment& a, const QString& link, bool present, QString* why)
{
    // No card is drawn from a copy that is not what the phone wrote.
    const QString card
        = present && why->isEmpty() && a._notAsWritten.isEmpty() ? vcard_thumbnail(a._path, why) : QString();
    if (QFileInfo(card).isFile())
        return linkedImage(link, filesLink(saveAttaFile(card)), kCardAttrs);
    // A card the disk would not give whole says why.
    return why->isEmpty() ? bracketLink(link, "[VCARD]") : g_htmlEncode(*why);
}

std::optional<QString> ExportMessagesHtml::textContent(const _MsgAttachment& a, QString* why)
{
    QString text;
    if (a.plainText(&text, why))
        return g_htmlEncode(text);
    // What a failing disk gave is not the text: its bubble says why.
    return why->isEmpty() ? std::nullopt : std::optional<QString>(g_htmlEncode(*why));
}
