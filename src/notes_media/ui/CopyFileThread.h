#pragma once

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThread>

class ProgressForm;

// Copies one local file, or one folder with everything under it, into a destination folder under
// a progress dialog. Links are followed, but a folder that leads back to one of its own ancestors
// is not entered again. After a cancel or a failure of a folder copy, what this run created is
// removed; what was at the destination before stays.
class CopyFileThread : public QThread
{
    Q_OBJECT
public:
    CopyFileThread(QString source, QDir destination, ProgressForm* form, QObject* parent = nullptr);

    qint64 totalFiles = 0;
    qint64 copiedFiles = 0;

protected:
    void run() override;

private:
    void copy(const QFileInfo& entry, const QDir& destination);
    void copyFolder(const QFileInfo& entry, const QDir& destination);
    void copyOneFile(const QFileInfo& entry, const QDir& destination);
    void cleanUp();

    QString m_source;
    QDir m_destination;
    ProgressForm* m_form;
    QSet<QString> m_ancestors; // canonical paths of the folders being copied, outermost first
    QStringList m_createdFolders;
    QStringList m_createdFiles;
};
