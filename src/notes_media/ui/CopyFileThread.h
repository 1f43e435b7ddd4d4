#pragma once

#include "app/MadeFiles.h"
#include "app/MadeFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThread>

class ProgressForm;

// Copies one local file, or one folder with everything under it, into a destination folder under
// a progress dialog. Links are followed, but a folder that leads back to one of its own ancestors
// is not entered again. The destination is held and every folder is made and entered from the one
// it is in (see MadeFolders): one another program moves or swaps for a link meanwhile gets nothing
// more, and the copy fails. After a cancel or a failure of a folder copy, what this run created is
// removed, each file and folder only while it is still the one made (see MadeFiles); what was at
// the destination before, or was put there meanwhile, stays.
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
    void copy(const QFileInfo& entry, const HeldFolder& destination);
    void copyFolder(const QFileInfo& entry, const HeldFolder& destination);
    void copyOneFile(const QFileInfo& entry, const HeldFolder& destination);
    void cleanUp();

    QString m_source;
    QDir m_destination;
    ProgressForm* m_form;
    QSet<QString> m_ancestors; // canonical paths of the folders being copied, outermost first
    MadeFolders m_made;
    MadeFiles m_created; // the files copied to names where nothing stood
};
