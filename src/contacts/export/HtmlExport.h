#pragma once

#include "app/HeldFolder.h"
#include "app/MadeFiles.h"
#include "app/MadeFolders.h"
#include "contacts/export/AbsExport.h"

#include <QDir>
#include <QList>
#include <QSet>

class QImage;

// One XHTML page of contact blocks, with the photos as JPEG files in the folder "photos" beside
// it. Every contact text is escaped, so names holding markup show as text. Both folders are held
// (see HeldFolder): one another program swaps for a link meanwhile gets no photo. The exporter
// remembers what it created, so a failed or cancelled export can remove exactly that (removeCreated).
class HtmlExport : public AbsExport
{
public:
    // The export folder; nothing is made yet.
    explicit HtmlExport(const QDir& folder);
    // Makes the export folder and "photos" inside it, with all missing parents, once (initialize()
    // does it too); throws std::runtime_error naming the folder that could not be made and why.
    void makeFoldersThrow();
    // The export folder, held once makeFoldersThrow() made it: the page goes there.
    const HeldFolder& folder() const { return m_folder; }

    QByteArray initialize(const QList<pim::_Contact>& contacts) override;
    QByteArray ct2Bytes(const pim::_Contact& contact) override;
    QByteArray uninitialize() override;

    // Removes the photo files written and the folders made by this exporter (never others).
    void removeCreated();

    static QString escape(const QString& text);

private:
    QString m_path; // of the export folder
    HeldFolder m_folder;
    HeldFolder m_photos;
    MadeFolders m_madeFolders;
    MadeFiles m_createdFiles; // the photos written where nothing stood
    QSet<QString> m_photoNames;

    QString photoTag(const pim::_Contact& contact);
    QString photoFileName(const pim::_Contact& contact);
    // Writes bytes (or image as JPEG) as name in the photos folder; false when image cannot be
    // encoded. Throws when the file cannot be written.
    bool writePhoto(const QString& name, const QByteArray& bytes, const QImage* image = nullptr);
};
