#include "notes_media/NotePageWriter.h"

namespace
{

const QString kRemoved = QStringLiteral("\\/:*?\"<>|\n\r\t") + QChar(0);

QString removeForbidden(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text)
        if (!kRemoved.contains(c))
            out.append(c);
    return out;
}

// Cuts text so that its UTF-8 form has at most max bytes, on a character boundary.
QString cutUtf8(const QString& text, int max)
{
    QString out = text;
    while (out.toUtf8().size() > max)
        out = NotePageWriter::cutUnits(out, int(out.size()) - 1);
    return out;
}

} // namespace

QString NotePageWriter::cutUnits(const QString& text, int max)
{
    if (text.size() <= max)
        return text;
    int n = max;
    if (n > 0 && text.at(n - 1).isHighSurrogate())
        --n;
    return text.left(n);
}

QString NotePageWriter::fileName(const _Notes& note, QSet<QString>& used)
{
    const QString part = cutUnits(removeForbidden(note.summary), 20);
    // 255 bytes is the usual limit of one name; leave room for the part, " (n)" and ".html".
    const QString id = cutUtf8(removeForbidden(note.srcId), 255 - part.toUtf8().size() - 20);
    const QString stem = id + QLatin1Char('-') + part;
    QString name = stem + QStringLiteral(".html");
    for (int n = 2; used.contains(name); ++n)
        name = QStringLiteral("%1 (%2).html").arg(stem, QString::number(n));
    used.insert(name);
    return name;
}

QByteArray NotePageWriter::page(const _Notes& note)
{
    QString s;
    s += QStringLiteral("<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
                        "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">\n");
    s += QStringLiteral("<html xmlns=\"http://www.w3.org/1999/xhtml\">\n");
    s += QStringLiteral("<head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />\n");
    s += QStringLiteral("<title>%1</title></head><body>\n").arg(note.title.toHtmlEscaped());
    s += note.content;
    s += QStringLiteral("</body></html>");
    return s.toUtf8();
}
