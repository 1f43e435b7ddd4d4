#include "contacts/device/IOSContactsLoader.h"

#include "contacts/store/LocalContactsDb.h"
#include "device/mobiledevice_sync.h"

#include <QDateTime>
#include <QHash>
#include <stdexcept>

namespace
{
QString textOf(const PlistCFType& record, const char* key)
{
    return record.get(QLatin1String(key)).CFStringQString();
}

bool has(const PlistCFType& record, const char* key)
{
    return record.get(QLatin1String(key)).ref() != nullptr;
}

void setCode(pim::Entity& e, const char* key, const QHash<QString, int>& words, const QString& word)
{
    const auto it = words.constFind(word);
    if (it != words.constEnd())
        e.values[QLatin1String(key)] = it.value();
}

const QHash<QString, int>& typeWords(int kind)
{
    static const QHash<QString, int> phone { { "other", 0 }, { "mobile", 2 }, { "home fax", 5 },
        { "work", 3 }, { "work fax", 4 }, { "pager", 6 }, { "home", 1 }, { "main", 12 } };
    static const QHash<QString, int> homeWork { { "other", 0 }, { "work", 2 }, { "home", 1 } };
    static const QHash<QString, int> url { { "work", 5 }, { "home", 4 }, { "home page", 1 }, { "other", 0 } };
    static const QHash<QString, int> date { { "anniversary", 1 }, { "other", 0 } };
    static const QHash<QString, int> rel { { "assistant", 1 }, { "mother", 8 }, { "father", 5 },
        { "friend", 6 }, { "parent", 9 }, { "partner", 10 }, { "child", 3 }, { "manager", 7 },
        { "brother", 2 }, { "sister", 13 }, { "spouse", 14 }, { "other", 0 } };
    switch (kind) {
    case pim::KindPhone:
        return phone;
    case pim::KindUrl:
        return url;
    case pim::KindDate:
        return date;
    case pim::KindRelation:
        return rel;
    default:
        return homeWork;
    }
}

int childKind(const QString& name)
{
    static const QHash<QString, int> kinds { { "com.apple.contacts.Phone Number", pim::KindPhone },
        { "com.apple.contacts.Email Address", pim::KindEmail },
        { "com.apple.contacts.Street Address", pim::KindAddress }, { "com.apple.contacts.URL", pim::KindUrl },
        { "com.apple.contacts.IM", pim::KindIM }, { "com.apple.contacts.Date", pim::KindDate },
        { "com.apple.contacts.Related Name", pim::KindRelation } };
    return kinds.value(name, 0);
}

QString dateText(const PlistCFType& node)
{
    const QDateTime dt = node.CFDateToDateTime(0);
    return dt.isValid() ? dt.toString(Qt::ISODate) : QString();
}
} // namespace

IOSContactsLoader::IOSContactsLoader(LocalContactsDb& db)
    : m_db(db)
{
}

void IOSContactsLoader::walkBatch(const PlistCFType& batch)
{
    for (const PlistCFType& key : batch.dict_keys())
        handleRecord(key.CFStringQString(), batch.get(key));
}

void IOSContactsLoader::handleRecord(const QString& id, const PlistCFType& record)
{
    const QString name = textOf(record, "com.apple.syncservices.RecordEntityName");
    if (name == QLatin1String("com.apple.contacts.Contact")) {
        handleContact(id, record);
        return;
    }
    const int kind = childKind(name);
    if (kind != 0) // an unknown or missing entity name skips the record
        link(kind, childEntity(kind, id, record), record);
}

void IOSContactsLoader::handleContact(const QString& id, const PlistCFType& r)
{
    pim::Entity name(0, id);
    const char* keys[][2] = { { "data2", "first name" }, { "data7", "first name yomi" },
        { "data4", "middle name" }, { "data3", "last name" }, { "data8", "last name yomi" },
        { "data5", "title" }, { "data6", "suffix" } };
    for (const auto& k : keys)
        name.values[QLatin1String(k[0])] = textOf(r, k[1]);
    name.values[QStringLiteral("data1")] = name.fullName();
    pim::_Contact contact(0, id, name.fullName());
    m_db.insertContactBase(contact);
    m_contactIds[id] = static_cast<long long>(contact.id);
    m_db.insertEntity(contact.id, pim::KindName, name);
    addContactFields(contact.id, id, r);
}

void IOSContactsLoader::addContactFields(
    unsigned long long contactId, const QString& id, const PlistCFType& r)
{
    auto add = [&](int kind, const pim::Entity& e) {
        pim::Entity copy = e;
        m_db.insertEntity(contactId, kind, copy);
    };
    if (has(r, "nickname")) {
        pim::Entity e(0, id);
        e.values[QStringLiteral("data3")] = 1;
        e.values[QStringLiteral("data1")] = textOf(r, "nickname");
        add(pim::KindNickname, e);
    }
    if (has(r, "company name") || has(r, "department") || has(r, "job title")) {
        pim::Entity e(0, id);
        e.values[QStringLiteral("data2")] = 1;
        e.values[QStringLiteral("data1")] = textOf(r, "company name");
        e.values[QStringLiteral("data5")] = textOf(r, "department");
        e.values[QStringLiteral("data4")] = textOf(r, "job title");
        add(pim::KindOrg, e);
    }
    if (has(r, "birthday")) {
        pim::Entity e(0, id);
        e.values[QStringLiteral("data2")] = 3;
        e.values[QStringLiteral("data1")] = dateText(r.get(QStringLiteral("birthday")));
        add(pim::KindDate, e);
    }
    if (has(r, "image")) {
        pim::Entity e(0, id);
        e.values[QStringLiteral("data15")] = r.get(QStringLiteral("image")).CFDataBytes();
        add(pim::KindPhoto, e);
    }
    if (has(r, "notes")) {
        pim::Entity e(0, id);
        e.values[QStringLiteral("data1")] = textOf(r, "notes");
        add(pim::KindNote, e);
    }
}

pim::Entity IOSContactsLoader::childEntity(int kind, const QString& id, const PlistCFType& r)
{
    pim::Entity e(0, id);
    const QString type = textOf(r, "type");
    if (kind == pim::KindAddress) {
        const char* keys[][2] = { { "data9", "postal code" }, { "data7", "city" }, { "data8", "state" },
            { "data10", "country" }, { "data11", "country code" }, { "data4", "street" },
            { "data3", "label" } };
        for (const auto& k : keys)
            e.values[QLatin1String(k[0])] = textOf(r, k[1]);
        e.values[QStringLiteral("data1")] = e.formattedAddr();
    } else if (kind == pim::KindDate) {
        e.values[QStringLiteral("data1")] = dateText(r.get(QStringLiteral("value")));
        e.values[QStringLiteral("data3")] = textOf(r, "label");
    } else {
        e.values[QStringLiteral("data1")] = textOf(r, kind == pim::KindIM ? "user" : "value");
        e.values[QStringLiteral("data3")] = textOf(r, "label");
    }
    setCode(e, "data2", typeWords(kind), type);
    if (kind == pim::KindIM) {
        static const QHash<QString, int> services { { "msn", 2 }, { "yahoo", 3 }, { "skype", 4 },
            { "aim", 1 }, { "gadugadu", 10 }, { "qq", 5 }, { "facebook", 11 }, { "jabber", 8 },
            { "googletalk", 6 }, { "icq", 7 } };
        setCode(e, "data5", services, textOf(r, "service"));
    }
    return e;
}

void IOSContactsLoader::link(int kind, const pim::Entity& entity, const PlistCFType& record)
{
    const PlistCFType parents = record.get(QStringLiteral("contact"));
    QStringList later;
    for (int i = 0; i < parents.array_size(); ++i) {
        const QString parent = parents.at(i).CFStringQString();
        const long long id = m_contactIds.value(parent, 0);
        if (id > 0) {
            pim::Entity copy = entity;
            m_db.insertEntity(static_cast<unsigned long long>(id), kind, copy);
        } else if (!parent.isEmpty()) {
            later << parent;
        }
    }
    if (!later.isEmpty())
        m_pending.append(Pending { kind, entity, later });
}

void IOSContactsLoader::finish()
{
    // Children that came before their parent are linked once every batch is in.
    for (Pending& p : m_pending) {
        for (const QString& parent : std::as_const(p.parents)) {
            const long long id = m_contactIds.value(parent, 0);
            if (id > 0) {
                pim::Entity copy = p.entity;
                m_db.insertEntity(static_cast<unsigned long long>(id), p.kind, copy);
            }
        }
    }
    m_pending.clear();
}

void loadIOSContacts(const QString& udid, LocalContactsDb& db)
{
    try {
        IOSContactsLoader loader(db);
        mobiledevice_sync_read_all_throw(udid, QStringLiteral("com.apple.Contacts"),
            QStringLiteral("Contacts"), [&loader](const PlistCFType& batch) { loader.walkBatch(batch); });
        loader.finish();
    } catch (const std::runtime_error&) {
        throw;
    } catch (const std::exception& e) {
        throw std::runtime_error(e.what());
    }
}
