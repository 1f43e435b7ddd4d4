#include "contacts/store/IOSContactsDb.h"

#include "app/StoredTime.h"
#include "app/TaskCancel.h"
#include "app/ThreadHeapReserve.h"
#include "contacts/store/ContactDate.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <future>
#include <map>
#include <memory>
#include <stdexcept>
#include <utility>

const char* const IOSContactsDb::kAddressBookName = "31bb7ba8914766d4ba40d6dfb6113c8b614be442";
const char* const IOSContactsDb::kImagesName = "cd6702cea29fe89cf280a76794405adb17f9a0ee";

namespace
{
using LabelTable = QHash<QString, int>;

const LabelTable& phoneLabels()
{
    static const LabelTable t { { "_$!<Mobile>!$_", 2 }, { "_$!<Main>!$_", 12 }, { "_$!<HomeFAX>!$_", 5 },
        { "_$!<WorkFAX>!$_", 4 }, { "_$!<Work>!$_", 3 }, { "_$!<Home>!$_", 1 }, { "_$!<Pager>!$_", 6 },
        { "_$!<OtherFAX>!$_", 13 }, { "_$!<Other>!$_", 0 } };
    return t;
}

const LabelTable& homeWorkLabels()
{
    static const LabelTable t { { "_$!<Home>!$_", 1 }, { "_$!<Work>!$_", 2 }, { "_$!<Other>!$_", 0 } };
    return t;
}

const LabelTable& dateLabels()
{
    static const LabelTable t { { "_$!<Anniversary>!$_", 1 }, { "_$!<Other>!$_", 0 } };
    return t;
}

const LabelTable& urlLabels()
{
    static const LabelTable t { { "_$!<HomePage>!$_", 1 }, { "_$!<Home>!$_", 4 }, { "_$!<Work>!$_", 5 },
        { "_$!<Other>!$_", 0 } };
    return t;
}

const LabelTable& relLabels()
{
    static const LabelTable t { { "_$!<Assistant>!$_", 1 }, { "_$!<Brother>!$_", 2 }, { "_$!<Child>!$_", 3 },
        { "_$!<Father>!$_", 5 }, { "_$!<Friend>!$_", 6 }, { "_$!<Manager>!$_", 7 }, { "_$!<Mother>!$_", 8 },
        { "_$!<Parent>!$_", 9 }, { "_$!<Partner>!$_", 10 }, { "_$!<Sister>!$_", 13 },
        { "_$!<Spouse>!$_", 14 }, { "_$!<Other>!$_", 0 } };
    return t;
}

enum LabelTableId { PhoneLabels, HomeWorkLabels, DateLabels, UrlLabels, RelLabels, LabelTableCount };

const LabelTable& labelTable(int id)
{
    switch (id) {
    case PhoneLabels:
        return phoneLabels();
    case HomeWorkLabels:
        return homeWorkLabels();
    case DateLabels:
        return dateLabels();
    case UrlLabels:
        return urlLabels();
    default:
        return relLabels();
    }
}

// An entity's values while they are read: added in ascending key order where possible, each lands
// at the end without a search, and moves into the entity without a copy.
using Values = std::map<QString, QVariant>;

void put(Values& values, const QString& key, QVariant value)
{
    values.insert_or_assign(values.end(), key, std::move(value));
}

pim::Entity entityOf(Values&& values)
{
    pim::Entity e;
    e.values = QMap<QString, QVariant>(std::move(values));
    return e;
}

// data2 from the label's code in a table (code >= 0); otherwise 0 with the label's own text in data3.
// A value without a label row (NULL label) is kept as code 0 with no label text.
void setLabel(Values& values, int code, const QString& label)
{
    if (code >= 0) {
        put(values, QStringLiteral("data2"), code);
        return;
    }
    put(values, QStringLiteral("data2"), 0);
    if (!label.isEmpty())
        put(values, QStringLiteral("data3"), label);
}

bool hasTable(Sqlite3DB& db, const char* name)
{
    return db.tableExists(QLatin1String(name));
}

// The people query's columns; one the device's schema lacks reads as NULL rather than failing the
// whole book.
QString personColumns(Sqlite3DB& db)
{
    const auto have = db.tbInfo(QStringLiteral("ABPerson"));
    QStringList cols { QStringLiteral("rowid") };
    for (const char* name : { "first", "last", "middle", "prefix", "suffix", "organization", "department",
             "jobtitle", "note", "birthday", "nickname" }) {
        const QString col = QLatin1String(name);
        bool found = false;
        for (auto it = have.cbegin(); it != have.cend() && !found; ++it)
            found = it.key().compare(col, Qt::CaseInsensitive) == 0;
        cols << (found ? col : QStringLiteral("NULL as ") + col);
    }
    return cols.join(QLatin1Char(','));
}

// Seconds from 2001 of a date column, or false when it holds no number that is a date.
bool secondsOf(const Sqlite3Cursor& c, int column, qint64& seconds)
{
    const std::optional<qint64> stored = StoredTime::seconds(c, column);
    if (!StoredTime::date(stored, ContactDate::kEpoch2001).isValid())
        return false;
    seconds = *stored;
    return true;
}

// The entity kind of a multi-value property; 0 for one the model has no kind for.
int kindOfProperty(int property)
{
    switch (property) {
    case 3:
        return pim::KindPhone;
    case 4:
        return pim::KindEmail;
    case 5:
        return pim::KindAddress;
    case 12:
        return pim::KindDate;
    case 13:
        return pim::KindIM;
    case 22:
        return pim::KindUrl;
    case 23:
        return pim::KindRelation;
    default:
        return 0;
    }
}

// The multi-values in the order they are walked alongside the people.
const char* const kMultiValuesSql
    = "select record_id,UID,property,value,label from abmultivalue order by record_id, UID";

// Calls each(person, group) for the groups (of records, by recordOf(group)) that go to the people
// of rowids, both in rowid order: groups of no person met so far are skipped, as a cursor walked
// alongside the people would skip them.
template <typename RecordOf, typename Each>
void forEachAttached(const std::vector<qint64>& rowids, std::size_t groups, RecordOf recordOf, Each each)
{
    std::size_t g = 0;
    for (std::size_t person = 0; person < rowids.size(); ++person) {
        while (g < groups && recordOf(g) < rowids[person])
            ++g;
        for (; g < groups && recordOf(g) == rowids[person]; ++g)
            each(person, g);
    }
}

// Memory the multi-values take as read, for a heap reserve: about 384 bytes per row up to the
// last rowid, at most eight times the size of the book's file; 0 when the table cannot say.
std::size_t multiValueBytes(Sqlite3DB& db)
{
    constexpr qint64 kPerValue = 384;
    try {
        Sqlite3Cursor c = db.queryThrow("select max(rowid) from abmultivalue");
        const qint64 rows = c.moveNext() ? c.getInt64(0) : 0;
        const qint64 cap = QFileInfo(db.dbPath()).size() * 8;
        return rows > 0 && cap > 0 ? std::size_t(std::min(rows, cap / kPerValue) * kPerValue) : 0;
    } catch (const std::exception&) {
        return 0; // the read itself says what is wrong with the table
    }
}
} // namespace

// Rows of a query ordered by a person's rowid in column 0, walked alongside the people.
class IOSContactsDb::RecordRows
{
public:
    explicit RecordRows(Sqlite3Cursor cursor)
        : m_cursor(std::move(cursor))
    {
        next();
    }
    // True when the current row belongs to the person; rows of no person met so far are skipped.
    bool at(qint64 rowid)
    {
        while (m_has && m_rowid < rowid)
            next();
        return m_has && m_rowid == rowid;
    }
    void next()
    {
        m_has = m_cursor.moveNext();
        m_rowid = m_has ? m_cursor.getInt64(0) : 0;
    }
    const Sqlite3Cursor& row() const { return m_cursor; }

private:
    Sqlite3Cursor m_cursor;
    bool m_has = false;
    qint64 m_rowid = 0;
};

IOSContactsDb::IOSContactsDb(QDir dir)
    : m_dir(std::move(dir))
{
}

void IOSContactsDb::open()
{
    openBook();
    openImages();
}

void IOSContactsDb::openBook()
{
    const QString abPath = m_dir.absoluteFilePath(QLatin1String(kAddressBookName));
    if (!QFile::exists(abPath))
        throw std::runtime_error("Cannot find AddressBook.sqlitedb");
    // Read-only: the reader never writes into the backup's copy. One thread reads at a time, so
    // SQLite's per-call locking is not needed.
    m_db.setForeign(true);
    m_db.openThrow(abPath, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX);
}

bool IOSContactsDb::hasImagesTable()
{
    try {
        return hasTable(m_imgDb, "ABFullSizeImage");
    } catch (const std::exception& e) {
        qWarning("Contact photos not read: %s", e.what());
        return false;
    }
}

void IOSContactsDb::openImages()
{
    m_imagesTried = true;
    const QString imgPath = m_dir.absoluteFilePath(QLatin1String(kImagesName));
    if (!QFile::exists(imgPath))
        return;
    try {
        m_imgDb.setForeign(true);
        m_imgDb.openThrow(imgPath, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX);
    } catch (const std::exception& e) {
        // A damaged images file costs the photos, not the contacts.
        qWarning("Contact photos not read: %s", e.what());
    }
}

qint64 IOSContactsDb::total()
{
    // The people only: the images file, whole or not, is no part of the count. They are counted by
    // the page's own reading of them and of their phones, addresses and other values, so that one
    // it cannot read (a value larger than a phone keeps) leaves the book uncounted, as it leaves
    // the page without it.
    if (!isOpened())
        openBook();
    findTables();
    std::vector<qint64> rowids;
    {
        Sqlite3Cursor people = m_db.queryThrow(
            QStringLiteral("select %1 from Abperson order by rowid asc").arg(personColumns(m_db)));
        while (people.moveNext())
            rowids.push_back(people.getInt64(0));
    }
    readLabels();
    if (m_hasMultiValues)
        readMultiValuesOf(rowids);
    return qint64(rowids.size());
}

void IOSContactsDb::findTables()
{
    m_hasMultiValues = hasTable(m_db, "ABMultiValue");
    m_hasEntries = hasTable(m_db, "ABMultiValueEntry") && hasTable(m_db, "ABMultiValueEntryKey");
    m_hasLabels = hasTable(m_db, "ABMultiValueLabel");
}

qint64 IOSContactsDb::lastPersonRowid()
{
    Sqlite3Cursor last = m_db.queryThrow("select max(rowid) from Abperson");
    return last.moveNext() ? last.getInt64(0) : 0;
}

void IOSContactsDb::readMultiValuesOf(const std::vector<qint64>& rowids)
{
    // The rows contacts() steps, each record's address and instant-message values kept by the uid
    // of their entries; nothing is made of them.
    const qint64 lastRowid = lastPersonRowid();
    std::vector<qint64> records; // each record's id, in the order of its rows
    std::vector<std::pair<std::size_t, unsigned long long>> withEntries; // record, uid
    Sqlite3Cursor c = m_db.queryThrow(kMultiValuesSql);
    while (c.moveNext()) {
        const qint64 id = c.getInt64(0);
        if (id > lastRowid)
            break;
        if (records.empty() || id != records.back())
            records.push_back(id);
        const int kind = kindOfProperty(c.getInt(2));
        if (kind == pim::KindAddress || kind == pim::KindIM)
            withEntries.emplace_back(records.size() - 1, static_cast<unsigned long long>(c.getInt64(1)));
    }
    if (!m_hasEntries)
        return;
    std::vector<bool> attached(records.size());
    forEachAttached(
        rowids, records.size(), [&](std::size_t g) { return records[g]; },
        [&](std::size_t, std::size_t g) { attached[g] = true; });
    for (const auto& [record, uid] : withEntries)
        if (attached[record])
            for (Sqlite3Cursor e = entries(uid); e.moveNext();) { }
}

Sqlite3Cursor IOSContactsDb::entries(unsigned long long uid)
{
    Sqlite3Sql sql("select v.value,l.value as key from abmultivalueentry as v");
    sql.appendSql(QStringLiteral(" inner join abmultivalueentrykey as l on v.parent_id=%1 and v.key=l.rowid")
                      .arg(QString::number(uid)));
    return m_db.queryThrow(sql);
}

void IOSContactsDb::readAddr(unsigned long long uid, pim::Entity& entity)
{
    if (!m_hasEntries)
        return;
    static const QHash<QString, QString> keys { { "Country", "data10" }, { "State", "data8" },
        { "City", "data7" }, { "Street", "data4" }, { "ZIP", "data9" } };
    Sqlite3Cursor c = entries(uid);
    while (c.moveNext()) {
        const auto it = keys.constFind(c.getText(QStringLiteral("key")));
        if (it != keys.constEnd())
            entity.values[it.value()] = c.getText(QStringLiteral("value"));
        entity.values[QStringLiteral("data1")] = entity.formattedAddr();
    }
}

void IOSContactsDb::readIM(unsigned long long uid, pim::Entity& entity)
{
    if (!m_hasEntries)
        return;
    static const QHash<QString, int> services { { "AIM", 1 }, { "MSN", 2 }, { "Yahoo", 3 }, { "Skype", 4 },
        { "QQ", 5 }, { "GoogleTalk", 6 }, { "ICQ", 7 }, { "Jabber", 8 }, { "GaduGadu", 10 },
        { "Facebook", 11 } };
    Sqlite3Cursor c = entries(uid);
    while (c.moveNext()) {
        const QString key = c.getText(QStringLiteral("key"));
        const QString value = c.getText(QStringLiteral("value"));
        if (key == QLatin1String("service")) {
            const auto it = services.constFind(value);
            if (it != services.constEnd())
                entity.values[QStringLiteral("data5")] = it.value();
        } else if (key == QLatin1String("username")) {
            entity.values[QStringLiteral("data1")] = value;
        }
    }
}

void IOSContactsDb::readLabels()
{
    // Each label's codes are looked up once here rather than once per value.
    m_labels.clear();
    if (!m_hasLabels)
        return;
    Sqlite3Cursor labels = m_db.queryThrow("select rowid, value as subType from abmultivaluelabel");
    while (labels.moveNext()) {
        Label label { labels.getText(QStringLiteral("subType")), {} };
        for (int t = 0; t < LabelTableCount; ++t)
            label.codes[t] = labelTable(t).value(label.text, -1);
        m_labels.insert(labels.getInt64(0), label);
    }
}

QList<pim::_Contact> IOSContactsDb::contacts()
{
    if (!isOpened())
        openBook();
    if (!m_imagesTried)
        openImages();
    if (!hasTable(m_db, "ABPerson"))
        throw std::runtime_error("The address book holds no table of people (ABPerson).");
    const QString cols = personColumns(m_db);
    findTables();
    m_hasImages = m_imgDb.isOpen() && hasImagesTable();
    Sqlite3Cursor people
        = m_db.queryThrow(QStringLiteral("select %1 from Abperson order by rowid asc").arg(cols));
    // One query per table, walked in rowid order, rather than one per person; the labels are read
    // once (a value whose label row is missing keeps no label, as with a left join). The
    // multi-values, the bulk of a book, are read on a second connection and thread meanwhile.
    readLabels();
    std::future<ValueRows> values;
    if (m_hasMultiValues) {
        const qint64 lastRowid = lastPersonRowid();
        values = std::async(
            std::launch::async, [this, path = m_db.dbPath(), lastRowid, task = TaskCancel::ofThisThread()] {
                const TaskCancel::Scope scope(task); // stops on this reader's cancel too
                return readAllMultiValues(path, lastRowid);
            });
    }
    std::unique_ptr<RecordRows> photos;
    if (m_hasImages)
        photos = openPhotoWalk();
    QList<pim::_Contact> list;
    std::vector<qint64> rowids;
    while (people.moveNext()) {
        const qint64 rowid = people.getInt64(0);
        pim::_Contact contact = readPerson(people);
        if (m_hasImages)
            readPhoto(rowid, photos, contact);
        list.append(std::move(contact));
        rowids.push_back(rowid);
    }
    if (values.valid()) {
        ValueRows rows = values.get();
        attachMultiValues(list, rowids, rows);
    }
    return list;
}

pim::_Contact IOSContactsDb::readPerson(const Sqlite3Cursor& p)
{
    // Columns in the order of the people query: rowid, first, last, middle, prefix, suffix,
    // organization, department, jobtitle, note, birthday, nickname.
    enum { First = 1, Last, Middle, Prefix, Suffix, Org, Dept, Job, Note, Birthday, Nickname };
    auto text = [&p](int col) { return p.getText(col); };
    pim::_Contact contact;
    const QString first = text(First), last = text(Last), middle = text(Middle), prefix = text(Prefix),
                  suffix = text(Suffix);
    contact.fullName = pim::joinFullName(prefix, first, middle, last, suffix);
    Values name;
    put(name, QStringLiteral("data1"), contact.fullName);
    put(name, QStringLiteral("data2"), first);
    put(name, QStringLiteral("data3"), last);
    put(name, QStringLiteral("data4"), middle);
    put(name, QStringLiteral("data5"), prefix);
    put(name, QStringLiteral("data6"), suffix);
    contact.entities[pim::KindName].append(entityOf(std::move(name)));
    const QString org = text(Org), dept = text(Dept), job = text(Job);
    if (!org.isEmpty() || !dept.isEmpty() || !job.isEmpty()) {
        Values e;
        put(e, QStringLiteral("data1"), org);
        put(e, QStringLiteral("data4"), job);
        put(e, QStringLiteral("data5"), dept);
        contact.entities[pim::KindOrg].append(entityOf(std::move(e)));
    }
    for (auto [col, kind] :
        { std::pair { int(Note), pim::KindNote }, std::pair { int(Nickname), pim::KindNickname } }) {
        QString value = text(col);
        if (!value.isEmpty()) {
            Values e;
            put(e, QStringLiteral("data1"), std::move(value));
            contact.entities[kind].append(entityOf(std::move(e)));
        }
    }
    // Every stored birthday counts, also those before 2001 (negative seconds).
    qint64 seconds = 0;
    if (secondsOf(p, int(Birthday), seconds)) {
        Values e;
        put(e, QStringLiteral("data1"), ContactDate::textFromSecs2001(seconds));
        put(e, QStringLiteral("data2"), 3);
        contact.entities[pim::KindDate].append(entityOf(std::move(e)));
    }
    return contact;
}

std::unique_ptr<IOSContactsDb::RecordRows> IOSContactsDb::openPhotoWalk()
{
    try {
        return std::make_unique<RecordRows>(
            m_imgDb.queryThrow("select record_id, data from ABFullSizeImage order by record_id, rowid"));
    } catch (const std::exception& e) {
        qWarning("Contact photos read one by one: %s", e.what());
        return nullptr;
    }
}

void IOSContactsDb::readPhoto(qint64 rowid, std::unique_ptr<RecordRows>& walk, pim::_Contact& contact)
{
    // The first image row of the person; empty bytes make no photo. A damaged page of the images
    // file costs the photos on it, never the contacts: the walk stops at the first error and each
    // later photo is looked up by itself.
    QByteArray bytes;
    try {
        if (walk && walk->at(rowid)) {
            bytes = walk->row().getBlob(1);
            walk->next();
        } else if (!walk) {
            bytes = photoOf(rowid);
        }
    } catch (const std::exception& e) {
        qWarning("Photo of contact %lld not read: %s", static_cast<long long>(rowid), e.what());
        if (!walk)
            return;
        walk.reset();
        return readPhoto(rowid, walk, contact);
    }
    if (bytes.isEmpty())
        return;
    Values e;
    put(e, QStringLiteral("data15"), bytes);
    contact.entities[pim::KindPhoto].append(entityOf(std::move(e)));
}

QByteArray IOSContactsDb::photoOf(qint64 rowid)
{
    Sqlite3Sql sql("select data from ABFullSizeImage where record_id=? order by rowid limit 1");
    sql.addInt64Param(rowid);
    Sqlite3Cursor c = m_imgDb.queryThrow(sql);
    return c.moveNext() ? c.getBlob(0) : QByteArray();
}

IOSContactsDb::ValueRows IOSContactsDb::readAllMultiValues(const QString& path, qint64 lastRowid) const
{
    // A connection of this thread's own; the rows are stepped as far as the people's walk would
    // step them: up to the first row of a record after the last person.
    Sqlite3DB db;
    db.setForeign(true);
    db.openThrow(path, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX);
    const ThreadHeapReserve reserve(multiValueBytes(db));
    Sqlite3Cursor c = db.queryThrow(kMultiValuesSql);
    ValueRows rows;
    std::vector<PendingValue> record;
    bool inRecord = false;
    qint64 recordId = 0;
    while (c.moveNext()) {
        const qint64 id = c.getInt64(0);
        if (inRecord && id != recordId)
            groupRecord(recordId, record, rows);
        if (id > lastRowid)
            return rows;
        inRecord = true;
        recordId = id;
        PendingValue value;
        value.kind = readMultiValue(c, value.entity, value.uid);
        if (value.kind != 0)
            record.push_back(std::move(value));
    }
    if (inRecord)
        groupRecord(recordId, record, rows);
    return rows;
}

void IOSContactsDb::groupRecord(qint64 recordId, std::vector<PendingValue>& record, ValueRows& rows)
{
    // Each kind's list is allocated once, at its final size. A record whose rows all have no kind
    // still gets a group of its own, so that the people's walk meets the records it would meet.
    int counts[pim::KindUrl + 1] = {};
    for (const PendingValue& value : record)
        ++counts[value.kind];
    if (record.empty())
        rows.groups.push_back(ValueGroup { recordId, 0, {}, 0 });
    for (int kind = 1; kind <= pim::KindUrl; ++kind) {
        if (counts[kind] == 0)
            continue;
        ValueGroup& group = rows.groups.emplace_back(ValueGroup { recordId, kind, {}, rows.uids.size() });
        group.entities.reserve(counts[kind]);
        const bool withEntries = kind == pim::KindAddress || kind == pim::KindIM;
        for (PendingValue& value : record) {
            if (value.kind != kind)
                continue;
            group.entities.append(std::move(value.entity));
            if (withEntries)
                rows.uids.push_back(value.uid);
        }
    }
    record.clear();
}

void IOSContactsDb::attachMultiValues(
    QList<pim::_Contact>& list, const std::vector<qint64>& rowids, ValueRows& rows)
{
    std::deque<ValueGroup>& groups = rows.groups;
    forEachAttached(
        rowids, groups.size(), [&](std::size_t g) { return groups[g].recordId; },
        [&](std::size_t person, std::size_t g) {
            attachGroup(list[qsizetype(person)], groups[g], rows.uids);
        });
}

void IOSContactsDb::attachGroup(
    pim::_Contact& contact, ValueGroup& group, const std::vector<unsigned long long>& uids)
{
    // Within a kind the values keep the order of their rows, after what the person's own row gave.
    if (group.kind == 0)
        return;
    for (qsizetype i = 0; group.kind == pim::KindAddress && i < group.entities.size(); ++i)
        readAddr(uids[group.firstUid + std::size_t(i)], group.entities[i]);
    for (qsizetype i = 0; group.kind == pim::KindIM && i < group.entities.size(); ++i)
        readIM(uids[group.firstUid + std::size_t(i)], group.entities[i]);
    QList<pim::Entity>& list = contact.entities[group.kind];
    if (list.isEmpty())
        list = std::move(group.entities);
    else
        list.append(std::move(group.entities));
}

int IOSContactsDb::readMultiValue(const Sqlite3Cursor& c, pim::Entity& e, unsigned long long& uid) const
{
    // Values whose label row is missing are kept (the query's join is a left join).
    static const Label noLabel { QString(), { -1, -1, -1, -1, -1 } };
    const int kind = kindOfProperty(c.getInt(2));
    if (kind == 0)
        return 0;
    const auto found = c.isNull(4) ? m_labels.cend() : m_labels.constFind(c.getInt64(4));
    const Label& label = found == m_labels.cend() ? noLabel : found.value();
    auto labelFrom = [&label](Values& v, int table) { setLabel(v, label.codes[table], label.text); };
    Values v;
    if (kind == pim::KindDate) {
        qint64 seconds = 0;
        if (!secondsOf(c, 3, seconds))
            return 0;
        put(v, QStringLiteral("data1"), ContactDate::textFromSecs2001(seconds));
        labelFrom(v, DateLabels);
    } else if (kind == pim::KindAddress || kind == pim::KindIM) {
        labelFrom(v, HomeWorkLabels); // the rest from the value's entries
        uid = static_cast<unsigned long long>(c.getInt64(1));
    } else {
        put(v, QStringLiteral("data1"), c.getText(3));
        labelFrom(v,
            kind == pim::KindPhone       ? PhoneLabels
                : kind == pim::KindEmail ? HomeWorkLabels
                : kind == pim::KindUrl   ? UrlLabels
                                         : RelLabels);
    }
    e = entityOf(std::move(v));
    return kind;
}
