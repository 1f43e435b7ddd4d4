#include "notes_media/BookmarkHtmlWriter.h"

#include <QIODevice>

BookmarkHtmlWriter::BookmarkHtmlWriter(QIODevice* device)
    : m_device(device)
{
}

void BookmarkHtmlWriter::line(const QString& text)
{
    const QByteArray bytes = text.toUtf8() + '\n';
    if (m_ok && m_device->write(bytes) != bytes.size())
        m_ok = false;
}

void BookmarkHtmlWriter::writeHeader()
{
    line(QStringLiteral("<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">"));
    line(QStringLiteral("<TITLE>Bookmarks</TITLE>"));
    line(QStringLiteral("<DL>"));
}

void BookmarkHtmlWriter::beginFolder(const QString& title)
{
    line(QStringLiteral("<DT><H3>%1</H3>").arg(title.toHtmlEscaped()));
    line(QStringLiteral("<DL>"));
}

void BookmarkHtmlWriter::endFolder()
{
    line(QStringLiteral("</DL>"));
    line(QStringLiteral("</DT>"));
}

void BookmarkHtmlWriter::writeLink(const QString& url, const QString& title)
{
    // One substitution pass, so a URL holding "%2" is not filled with the title.
    line(QStringLiteral("<DT><A HREF=\"%1\">%2</A></DT>").arg(url.toHtmlEscaped(), title.toHtmlEscaped()));
}

void BookmarkHtmlWriter::writeFooter()
{
    line(QStringLiteral("</DL>"));
}
