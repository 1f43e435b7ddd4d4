#pragma once

#include <QString>
#include <QStringList>
#include <QThread>
#include <functional>

// Lists a folder of backups off the window's thread: the folder itself may be on a disk that
// stopped answering. Only the names are read, none of the entries is looked into (a link there may
// lead to such a disk): each is then read on its own (ManifestInfoThread's entry). Files and
// other entries that cannot be folders are left out. A folder the user added may itself be a backup:
// then it is not listed.
class BackupFolderListing : public QThread
{
    Q_OBJECT
public:
    explicit BackupFolderListing(const QString& folder, bool added = false, QObject* parent = nullptr);

    const QString& folder() const { return m_folder; }
    bool added() const { return m_added; }
    // Read once the thread has ended: whether the folder added holds a Manifest.plist.
    bool isBackup() const { return m_backup; }
    // Read once the thread has ended: the entries' paths in name order; why the folder could not
    // be listed (empty when it was, or when it is not there).
    const QStringList& entries() const { return m_entries; }
    const QString& why() const { return m_why; }

    // For tests: called on the listing thread before the folder is looked at, with its path.
    static void setBeforeList(std::function<void(const QString& path)> hook);

protected:
    void run() override;

private:
    const QString m_folder;
    const bool m_added;
    bool m_backup = false;
    QStringList m_entries;
    QString m_why;
};
