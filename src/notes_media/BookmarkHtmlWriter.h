#pragma once

#include <QString>

class QIODevice;

// Writes the bookmark file that web browsers import: folders as headings with a nested list,
// bookmarks as links, one line each, UTF-8 without byte-order mark. Titles and URLs are
// HTML-escaped, so no text of a bookmark can break the file's structure.
class BookmarkHtmlWriter
{
public:
    explicit BookmarkHtmlWriter(QIODevice* device);

    void writeHeader();
    void beginFolder(const QString& title);
    void endFolder();
    void writeLink(const QString& url, const QString& title);
    void writeFooter();
    // False once a write has failed (a full disk, say).
    bool ok() const { return m_ok; }

private:
    void line(const QString& text);

    QIODevice* m_device;
    bool m_ok = true;
};
