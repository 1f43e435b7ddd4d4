#pragma once

#include "app/MadeFolders.h"
#include "contacts/export/AbsExport.h"

#include <QDir>
#include <QSet>
#include <QStringList>

// One XHTML page of contact blocks, with the photos as JPEG files in the folder "photos" beside
// it. Every contact text is escaped, so names holding markup show as text. The exporter remembers
// what it created, so a failed or cancelled export can remove exactly that (removeCreated).
class HtmlExport : public AbsExport
{
public:
    // The export folder; nothing is made yet.
    explicit HtmlExport(const QDir& folder);
    // Makes the export folder and "photos" inside it, with all missing parents, once (initialize()
    // does it too); throws std::runtime_error naming the folder that could not be made and why.
    void makeFoldersThrow();

    QByteArray initialize(const QList<pim::_Contact>& contacts) override;
    QByteArray ct2Bytes(const pim::_Contact& contact) override;
    QByteArray uninitialize() override;

    // Removes the photo files written and the folders made by this exporter (never others).
    void removeCreated();

    static QString escape(const QString& text);

private:
    QDir m_photoDir;
    MadeFolders m_madeFolders;
    bool m_foldersMade = false;
    QStringList m_createdFiles;
    QSet<QString> m_photoNames;

    QString photoTag(const pim::_Contact& contact);
    QString photoFileName(const pim::_Contact& contact);
};
