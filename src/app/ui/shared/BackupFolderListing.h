#pragma once

#include <QString>
#include <QStringList>
#include <QThread>

// Lists a folder of backups off the window's thread: the folder itself may be on a disk that
// stopped answering. Only the names are read, none of the entries is looked into (a link there may
// lead to such a disk): each is then read on its own (ManifestInfoThread's entry). Files and
// other entries that cannot be folders are left out.
class BackupFolderListing : public QThread
{
    Q_OBJECT
public:
    explicit BackupFolderListing(const QString& folder, QObject* parent = nullptr);

    const QString& folder() const { return m_folder; }
    // Read once the thread has ended: the entries' paths in name order; why the folder could not
    // be listed (empty when it was, or when it is not there).
    const QStringList& entries() const { return m_entries; }
    const QString& why() const { return m_why; }

protected:
    void run() override;

private:
    const QString m_folder;
    QStringList m_entries;
    QString m_why;
};
