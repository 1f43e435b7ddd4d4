#include "contacts/store/IOSContactsDb.h"

#include "contacts/store/ContactDate.h"

#include <QFile>
#include <QHash>
#include <QStringList>
#include <cmath>
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

// data2 from a label of the table; otherwise 0 with the label's own text in data3. A value
// without a label row (NULL label) is kept as code 0 with no label text.
void setLabel(pim::Entity& e, const QString& label, const LabelTable& table)
{
    const auto it = table.constFind(label);
    if (it != table.constEnd()) {
        e.values[QStringLiteral("data2")] = it.value();
        return;
    }
    e.values[QStringLiteral("data2")] = 0;
    if (!label.isEmpty())
        e.values[QStringLiteral("data3")] = label;
}

bool hasTable(Sqlite3DB& db, const char* name)
{
    Sqlite3Sql sql("select count(*) from sqlite_master where type='table' and name=? COLLATE NOCASE");
    sql.addTextParam(QLatin1String(name));
    Sqlite3Cursor c = db.queryThrow(sql);
    return c.moveNext() && c.getInt64(0) > 0;
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

// Seconds from 2001 of a date column, or false when it is NULL or empty.
template <typename Column> bool secondsOf(const Sqlite3Cursor& c, Column column, qint64& seconds)
{
    if (c.isNull(column) || c.getText(column).trimmed().isEmpty())
        return false;
    seconds = qint64(std::floor(c.getDouble(column)));
    return true;
}
} // namespace

// Rows of a query ordered by a person's rowid in column 0, walked alongside the people.
class IOSContactsDb::RecordRows
{
public:
    explicit RecordRows(Sqlite3Cursor cursor)
        : m_cursor(std::move(cursor))
    {
        m_has = m_cursor.moveNext();
    }
    // True when the current row belongs to the person; rows of no person met so far are skipped.
    bool at(qint64 rowid)
    {
        while (m_has && m_cursor.getInt64(0) < rowid)
            m_has = m_cursor.moveNext();
        return m_has && m_cursor.getInt64(0) == rowid;
    }
    void next() { m_has = m_cursor.moveNext(); }
    const Sqlite3Cursor& row() const { return m_cursor; }

private:
    Sqlite3Cursor m_cursor;
    bool m_has = false;
};

IOSContactsDb::IOSContactsDb(QDir dir)
    : m_dir(std::move(dir))
{
}

void IOSContactsDb::open()
{
    const QString abPath = m_dir.absoluteFilePath(QLatin1String(kAddressBookName));
    const QString imgPath = m_dir.absoluteFilePath(QLatin1String(kImagesName));
    if (!QFile::exists(abPath))
        throw std::runtime_error("Cannot find AddressBook.sqlitedb");
    // Read-only: the reader never writes into the backup's copy.
    m_db.openReadOnlyThrow(abPath);
    if (!QFile::exists(imgPath))
        return;
    try {
        m_imgDb.openReadOnlyThrow(imgPath);
    } catch (const std::exception& e) {
        // A damaged images file costs the photos, not the contacts.
        qWarning("Contact photos not read: %s", e.what());
    }
}

qint64 IOSContactsDb::total()
{
    if (!isOpened())
        open();
    Sqlite3Cursor c = m_db.queryThrow("select count(rowid) from Abperson");
    return c.moveNext() ? c.getInt64(0) : 0;
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

QList<pim::_Contact> IOSContactsDb::contacts()
{
    if (!isOpened())
        open();
    if (!hasTable(m_db, "ABPerson"))
        throw std::runtime_error("The address book holds no table of people (ABPerson).");
    const QString cols = personColumns(m_db);
    m_hasMultiValues = hasTable(m_db, "ABMultiValue");
    m_hasEntries = hasTable(m_db, "ABMultiValueEntry") && hasTable(m_db, "ABMultiValueEntryKey");
    m_hasLabels = hasTable(m_db, "ABMultiValueLabel");
    m_hasImages = m_imgDb.isOpen() && hasTable(m_imgDb, "ABFullSizeImage");
    Sqlite3Cursor people
        = m_db.queryThrow(QStringLiteral("select %1 from Abperson order by rowid asc").arg(cols));
    // One query per table, walked in rowid order, rather than one per person; the labels are read
    // once (a value whose label row is missing keeps no label, as with a left join).
    std::unique_ptr<RecordRows> values, photos;
    m_labels.clear();
    if (m_hasLabels) {
        Sqlite3Cursor labels = m_db.queryThrow("select rowid, value from abmultivaluelabel");
        while (labels.moveNext())
            m_labels.insert(labels.getInt64(0), labels.getText(1));
    }
    if (m_hasMultiValues)
        values = std::make_unique<RecordRows>(m_db.queryThrow(
            "select record_id,UID,property,value,label from abmultivalue order by record_id, UID"));
    if (m_hasImages)
        photos = std::make_unique<RecordRows>(
            m_imgDb.queryThrow("select record_id, data from ABFullSizeImage order by record_id, rowid"));
    QList<pim::_Contact> list;
    while (people.moveNext()) {
        const qint64 rowid = people.getInt64(0);
        pim::_Contact contact = readPerson(people);
        if (photos)
            readPhoto(rowid, *photos, contact);
        if (values)
            readMultiValues(rowid, *values, contact);
        list.append(contact);
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
    pim::Entity name;
    name.values[QStringLiteral("data2")] = text(First);
    name.values[QStringLiteral("data3")] = text(Last);
    name.values[QStringLiteral("data4")] = text(Middle);
    name.values[QStringLiteral("data5")] = text(Prefix);
    name.values[QStringLiteral("data6")] = text(Suffix);
    contact.fullName = name.fullName();
    name.values[QStringLiteral("data1")] = contact.fullName;
    contact.entities[pim::KindName].append(name);
    const QString org = text(Org), dept = text(Dept), job = text(Job);
    if (!org.isEmpty() || !dept.isEmpty() || !job.isEmpty()) {
        pim::Entity e;
        e.values[QStringLiteral("data1")] = org;
        e.values[QStringLiteral("data5")] = dept;
        e.values[QStringLiteral("data4")] = job;
        contact.entities[pim::KindOrg].append(e);
    }
    for (auto [col, kind] :
        { std::pair { int(Note), pim::KindNote }, std::pair { int(Nickname), pim::KindNickname } }) {
        const QString value = text(col);
        if (!value.isEmpty()) {
            pim::Entity e;
            e.values[QStringLiteral("data1")] = value;
            contact.entities[kind].append(e);
        }
    }
    // Every stored birthday counts, also those before 2001 (negative seconds).
    qint64 seconds = 0;
    if (secondsOf(p, int(Birthday), seconds)) {
        pim::Entity e;
        e.values[QStringLiteral("data1")] = ContactDate::textFromSecs2001(seconds);
        e.values[QStringLiteral("data2")] = 3;
        contact.entities[pim::KindDate].append(e);
    }
    return contact;
}

void IOSContactsDb::readPhoto(qint64 rowid, RecordRows& photos, pim::_Contact& contact)
{
    // The first image row of the person; empty bytes make no photo.
    if (!photos.at(rowid))
        return;
    const QByteArray bytes = photos.row().getBlob(1);
    photos.next();
    if (bytes.isEmpty())
        return;
    pim::Entity e;
    e.values[QStringLiteral("data15")] = bytes;
    contact.entities[pim::KindPhoto].append(e);
}

void IOSContactsDb::readMultiValues(qint64 rowid, RecordRows& values, pim::_Contact& contact)
{
    // Values whose label row is missing are kept (the query's join is a left join).
    for (; values.at(rowid); values.next()) {
        const Sqlite3Cursor& c = values.row();
        const int property = c.getInt(2);
        const QString label = c.isNull(4) ? QString() : m_labels.value(c.getInt64(4));
        const auto uid = static_cast<unsigned long long>(c.getInt64(1));
        pim::Entity e;
        int kind = 0;
        switch (property) {
        case 3:
            kind = pim::KindPhone;
            setLabel(e, label, phoneLabels());
            break;
        case 4:
            kind = pim::KindEmail;
            setLabel(e, label, homeWorkLabels());
            break;
        case 5:
            kind = pim::KindAddress;
            setLabel(e, label, homeWorkLabels());
            readAddr(uid, e);
            break;
        case 12:
            kind = pim::KindDate;
            break;
        case 13:
            kind = pim::KindIM;
            setLabel(e, label, homeWorkLabels());
            readIM(uid, e);
            break;
        case 22:
            kind = pim::KindUrl;
            setLabel(e, label, urlLabels());
            break;
        case 23:
            kind = pim::KindRelation;
            setLabel(e, label, relLabels());
            break;
        default:
            continue;
        }
        if (kind == pim::KindDate) {
            qint64 seconds = 0;
            if (!secondsOf(c, 3, seconds))
                continue;
            e.values[QStringLiteral("data1")] = ContactDate::textFromSecs2001(seconds);
            setLabel(e, label, dateLabels());
        } else if (kind != pim::KindAddress && kind != pim::KindIM) {
            e.values[QStringLiteral("data1")] = c.getText(3);
        }
        contact.entities[kind].append(e);
    }
}
