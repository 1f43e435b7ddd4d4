#pragma once

#include "app/AbsDb.h"
#include "messages/store/CountryInfo.h"

#include <QByteArray>
#include <QDir>
#include <QString>

class _MsgHandle;

// A contact found by phone number.
class _IOSContactPhoneInfo
{
public:
    // "first middle last" with empty parts left out, trimmed.
    QString displayName() const;

    QString first;
    QString middle;
    QString last;
    QByteArray photo;
};

// Phone-number-to-contact lookup of a backup's cache folder: a small database "ct-phone.db" in the
// folder, rebuilt from the copied address book whenever that is newer, then opened read-only.
class IOSContactsMemDb : public AbsDb
{
public:
    IOSContactsMemDb(const QDir& dir, const _CountryInfo& country);
    ~IOSContactsMemDb() override = default;

    // Builds (when out of date) and opens the store; stays closed when the folder has no address book.
    void openCheck() override;
    // openCheck, except that a failure only leaves the store closed: contact names are optional.
    void openQuietly();
    // The contact with this normalised number, or an empty record.
    _IOSContactPhoneInfo contactInfoByNumber(const QString& number);
    // When the store is open, gives handle the name and photo of the contact with its id. A failed
    // lookup leaves the handle as it is and is logged under caller.
    void fillHandleContact(_MsgHandle& handle, const char* caller);

private:
    void rebuild(const QString& store, const QString& book, const QString& images, qint64 sourceTime);
    // Puts the thumbnails of the images file, when there is one, on the persons; a failure there
    // is logged and leaves the persons it did not reach without a photo.
    void addPhotos(const QString& images);

    QDir dbDir;
    _CountryInfo countryInfo;
};
