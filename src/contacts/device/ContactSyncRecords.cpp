#include "contacts/device/ContactSyncRecords.h"

#include "contacts/store/ContactDate.h"

#include <QHash>

namespace
{
const QString kEntityName = QStringLiteral("com.apple.syncservices.RecordEntityName");

void putText(PlistCFType& record, const char* key, const QString& text)
{
    if (!text.isEmpty())
        record.put(QLatin1String(key), PlistCFType::createCFString(text));
}

const pim::Entity* first(const pim::_Contact& c, int kind)
{
    const auto it = c.entities.constFind(kind);
    return it == c.entities.constEnd() || it->isEmpty() ? nullptr : &it->first();
}

// A date item of the entity's text taken as a UTC clock reading; false when the text gives no
// valid date or one a sync record's date cannot carry (left out rather than wrapped).
bool dateOf(const QString& text, PlistCFType& date)
{
    const QDateTime clock = ContactDate::clockAsUtc(text);
    if (!ContactDate::secs2001Fits32(clock))
        return false;
    date = PlistCFType::createCFDate(clock);
    return true;
}

QString typeWord(int kind, int code)
{
    static const QHash<int, QString> phone { { 1, "home" }, { 2, "mobile" }, { 3, "work" }, { 4, "work fax" },
        { 5, "home fax" }, { 6, "pager" }, { 12, "main" } };
    static const QHash<int, QString> homeWork { { 1, "home" }, { 2, "work" } };
    static const QHash<int, QString> rel { { 1, "assistant" }, { 2, "brother" }, { 3, "child" },
        { 5, "father" }, { 6, "friend" }, { 7, "manager" }, { 8, "mother" }, { 9, "parent" },
        { 10, "partner" }, { 13, "sister" }, { 14, "spouse" } };
    static const QHash<int, QString> url { { 1, "home page" }, { 4, "home" }, { 5, "work" } };
    static const QHash<int, QString> date { { 1, "anniversary" } };
    const QHash<int, QString>* table = &homeWork;
    switch (kind) {
    case pim::KindPhone:
        table = &phone;
        break;
    case pim::KindRelation:
        table = &rel;
        break;
    case pim::KindUrl:
        table = &url;
        break;
    case pim::KindDate:
        table = &date;
        break;
    default:
        break;
    }
    return table->value(code, QStringLiteral("other"));
}

void putLabel(PlistCFType& record, int kind, const pim::Entity& e)
{
    const QString label = e.text(QStringLiteral("data3"));
    if (!label.isEmpty()) {
        record.put(QStringLiteral("label"), PlistCFType::createCFString(label));
        record.put(QStringLiteral("type"), PlistCFType::createCFString(QStringLiteral("other")));
    } else {
        record.put(QStringLiteral("type"),
            PlistCFType::createCFString(typeWord(kind, e.code(QStringLiteral("data2")))));
    }
}

void putAddress(PlistCFType& record, const pim::Entity& e)
{
    putText(record, "country", e.text(QStringLiteral("data10")));
    putText(record, "country code", e.text(QStringLiteral("data11")));
    putText(record, "state", e.text(QStringLiteral("data8")));
    putText(record, "city", e.text(QStringLiteral("data7")));
    putText(record, "street", e.text(QStringLiteral("data4")));
    putText(record, "postal code", e.text(QStringLiteral("data9")));
}

QString serviceWord(int code)
{
    static const QHash<int, QString> words { { 1, "aim" }, { 2, "msn" }, { 3, "yahoo" }, { 4, "skype" },
        { 5, "qq" }, { 6, "googletalk" }, { 7, "icq" }, { 8, "jabber" }, { 10, "gadugadu" },
        { 11, "facebook" } };
    return words.value(code);
}

QString entityName(int kind)
{
    switch (kind) {
    case pim::KindPhone:
        return QStringLiteral("com.apple.contacts.Phone Number");
    case pim::KindEmail:
        return QStringLiteral("com.apple.contacts.Email Address");
    case pim::KindDate:
        return QStringLiteral("com.apple.contacts.Date");
    case pim::KindIM:
        return QStringLiteral("com.apple.contacts.IM");
    case pim::KindRelation:
        return QStringLiteral("com.apple.contacts.Related Name");
    case pim::KindAddress:
        return QStringLiteral("com.apple.contacts.Street Address");
    case pim::KindUrl:
        return QStringLiteral("com.apple.contacts.URL");
    default:
        return QString();
    }
}

// The record body of one entity; false when the entity gives no record.
bool fillEntityRecord(PlistCFType& record, int kind, const pim::Entity& e)
{
    const QString value = e.text(QStringLiteral("data1"));
    switch (kind) {
    case pim::KindPhone:
    case pim::KindEmail:
    case pim::KindRelation:
    case pim::KindUrl:
    case pim::KindIM:
        if (value.isEmpty())
            return false;
        record.put(kind == pim::KindIM ? QStringLiteral("user") : QStringLiteral("value"),
            PlistCFType::createCFString(value));
        putLabel(record, kind, e);
        if (kind == pim::KindIM && !serviceWord(e.code(QStringLiteral("data5"))).isEmpty())
            record.put(QStringLiteral("service"),
                PlistCFType::createCFString(serviceWord(e.code(QStringLiteral("data5")))));
        return true;
    case pim::KindDate: {
        PlistCFType date;
        if (!dateOf(value, date))
            return false;
        const bool labelled = !e.text(QStringLiteral("data3")).isEmpty();
        if (!labelled && e.code(QStringLiteral("data2")) == 3)
            return false; // the birthday travels in the Contact record
        record.put(QStringLiteral("value"), date);
        putLabel(record, kind, e);
        return true;
    }
    case pim::KindAddress:
        if (e.formattedAddr().isEmpty())
            return false;
        putAddress(record, e);
        putLabel(record, kind, e);
        return true;
    default:
        return false;
    }
}
} // namespace

int contactSyncProperty(int kind)
{
    switch (kind) {
    case pim::KindPhone:
        return 3;
    case pim::KindEmail:
        return 4;
    case pim::KindAddress:
        return 5;
    case pim::KindDate:
        return 12;
    case pim::KindIM:
        return 13;
    case pim::KindUrl:
        return 22;
    case pim::KindRelation:
        return 23;
    default:
        return 0;
    }
}

void addPlistDataFromContact(PlistCFType& records, const pim::_Contact& contact)
{
    if (!records.isCFDictionary())
        return;
    PlistCFType r = PlistCFType::createCFDictionary();
    r.put(kEntityName, PlistCFType::createCFString(QStringLiteral("com.apple.contacts.Contact")));
    r.put(QStringLiteral("display as company"), PlistCFType::createCFString(QStringLiteral("person")));
    if (const pim::Entity* n = first(contact, pim::KindName)) {
        const char* keys[][2] = { { "data2", "first name" }, { "data7", "first name yomi" },
            { "data4", "middle name" }, { "data3", "last name" }, { "data8", "last name yomi" },
            { "data5", "title" }, { "data6", "suffix" } };
        for (const auto& k : keys)
            putText(r, k[1], n->text(QLatin1String(k[0])));
    }
    if (const pim::Entity* o = first(contact, pim::KindOrg)) {
        putText(r, "company name", o->text(QStringLiteral("data1")));
        putText(r, "department", o->text(QStringLiteral("data5")));
        putText(r, "job title", o->text(QStringLiteral("data4")));
    }
    if (const pim::Entity* nick = first(contact, pim::KindNickname))
        putText(r, "nickname", nick->text(QStringLiteral("data1")));
    for (const pim::Entity& d : contact.entities.value(pim::KindDate)) {
        PlistCFType date;
        if (d.code(QStringLiteral("data2")) == 3 && dateOf(d.text(QStringLiteral("data1")), date))
            r.put(QStringLiteral("birthday"), date);
    }
    if (const pim::Entity* p = first(contact, pim::KindPhoto)) {
        const QByteArray bytes = p->values.value(QStringLiteral("data15")).toByteArray();
        if (!bytes.isEmpty())
            r.put(QStringLiteral("image"), PlistCFType::createCFData(bytes));
    }
    if (const pim::Entity* note = first(contact, pim::KindNote))
        putText(r, "notes", note->text(QStringLiteral("data1")));
    records.put(contact.srcId.isEmpty() ? QStringLiteral("-%1").arg(contact.id) : contact.srcId, r);
}

void addPlistDataFromEntity(PlistCFType& records, QString contactRecordId, int kind, long long entityNumber,
    const pim::Entity& entity)
{
    const QString name = entityName(kind);
    if (name.isEmpty() || !records.isCFDictionary())
        return;
    PlistCFType r = PlistCFType::createCFDictionary();
    r.put(kEntityName, PlistCFType::createCFString(name));
    if (!fillEntityRecord(r, kind, entity))
        return;
    PlistCFType parents = PlistCFType::createCFArray();
    parents.append(PlistCFType::createCFString(contactRecordId));
    r.put(QStringLiteral("contact"), parents);
    const QString id = entity.srcId.isEmpty()
        ? QStringLiteral("%1/%2/%3").arg(contactSyncProperty(kind)).arg(contactRecordId).arg(entityNumber)
        : entity.srcId;
    records.put(id, r);
}
