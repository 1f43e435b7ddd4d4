#pragma once

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
    // made: destination is a folder this run made (what it makes inside goes with it).
    void copy(const QFileInfo& entry, const HeldFolder& destination, bool made);
    void copyFolder(const QFileInfo& entry, const HeldFolder& destination, bool made);
    void copyOneFile(const QFileInfo& entry, const HeldFolder& destination, bool made);
    void cleanUp();

    // An entry this run created in a folder that stood before, kept by what it is.
    struct Created {
        HeldFolder folder;
        QString name;
        dev_t dev;
        ino_t ino;
    };
    void noteCreated(const HeldFolder& folder, const QString& name);

    QString m_source;
    QDir m_destination;
    ProgressForm* m_form;
    QSet<QString> m_ancestors; // canonical paths of the folders being copied, outermost first
    MadeFolders m_made;
    QList<Created> m_created;
};
