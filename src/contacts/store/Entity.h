#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QVariant>

namespace pim
{

// Entity kinds: the key under which a contact groups its entities, and the `type` of a store row.
enum EntityKind {
    KindName = 1,
    KindPhoto = 2,
    KindPhone = 3,
    KindEmail = 4,
    KindNickname = 5,
    KindDate = 6,
    KindGroup = 7,
    KindIM = 8,
    KindNote = 9,
    KindOrg = 10,
    KindRelation = 11,
    KindAddress = 12,
    KindUrl = 13,
};

// One typed field of a contact: values keyed "data1" to "data15" (data15 bytes), the row id in the
// local store (0 while not stored) and the id of the record it came from. The kind is not held
// here: the contact files the entity under it.
class Entity
{
public:
    Entity() = default;
    Entity(unsigned long long id, QString srcId);

    // Prefix, first, middle, last and suffix joined by single blanks, trimmed at both ends.
    QString fullName() const;
    // Street; city, state and postcode on a second line; country on a third; trimmed.
    QString formattedAddr() const;
    // Base64 of the MD5 digest of data15 (24 characters; zero bytes when absent).
    QString photoHash() const;
    static QString photoHash(const QByteArray& bytes);

    // The value under key as text (absent: empty), as an integer (absent or no number: 0) or bytes.
    QString text(const QString& key) const { return values.value(key).toString(); }
    int code(const QString& key) const;

    QMap<QString, QVariant> values;
    unsigned long long id = 0;
    QString srcId;
};

// Prefix, first, middle, last and suffix joined as Entity::fullName() joins them.
QString joinFullName(const QString& prefix, const QString& first, const QString& middle, const QString& last,
    const QString& suffix);

// Rank of a phone by its type code: mobile 10, main 20, home 30, work 40, anything else 100.
int phonePriority(const Entity& phone);
// True when the first phone ranks before the second.
bool comparePhoneLess(const Entity& a, const Entity& b);

} // namespace pim
