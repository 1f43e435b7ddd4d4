#pragma once

#include <QString>

class BackupManifest;

// Whether a data page holds its data. A page whose reader failed, or whose backup's load could not
// read the file it shows (BackupLoadFaults::unread), shows nothing of that data: an export from it
// says why, in place of a count of nothing.
class PageLoad
{
public:
    // kind: the page's ItemModelBK::Kind...; manifest null for a page over a local database.
    PageLoad(const BackupManifest* manifest, int kind);

    // The page's reader started: until it ends, no count is made.
    void startReading() { m_reading = true; }
    // The page's reader failed with why; an empty why: it read its data.
    void setReadFailure(const QString& why)
    {
        m_readFailure = why;
        m_reading = false;
    }
    // Why the page holds nothing of its data; empty when it was loaded.
    QString failure() const;
    // The number the page's count line shows for count: "?" while the page reads, or while failure()
    // says why the page holds nothing of its data, whose count was then not made.
    QString shownCount(qint64 count) const;
    // For an export from the page: true when its data was loaded; else false, once an error box
    // has said why nothing is exported.
    bool exportable() const;

private:
    const BackupManifest* m_manifest;
    int m_kind;
    QString m_readFailure;
    bool m_reading = false;
};
