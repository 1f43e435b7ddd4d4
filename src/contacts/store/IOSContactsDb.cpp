#include "contacts/store/IOSContactsDb.h"

#include "contacts/store/ContactDate.h"

#include <QFile>
#include <QHash>
#include <QStringList>
#include <cmath>
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

// Seconds from 2001 of a date column, or false when it is NULL or empty.
bool secondsOf(const Sqlite3Cursor& c, const QString& column, qint64& seconds)
{
    if (c.isNull(column) || c.getText(column).trimmed().isEmpty())
        return false;
    seconds = qint64(std::floor(c.getDouble(column)));
    return true;
}
} // namespace

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
    if (QFile::exists(imgPath))
        m_imgDb.openReadOnlyThrow(imgPath);
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
    // A column the device's schema lacks reads as NULL rather than failing the whole book.
    const auto have = m_db.tbInfo(QStringLiteral("ABPerson"));
    QStringList cols { QStringLiteral("rowid") };
    for (const char* name : { "first", "last", "middle", "prefix", "suffix", "organization", "department",
             "jobtitle", "note", "birthday", "nickname" }) {
        const QString col = QLatin1String(name);
        bool found = false;
        for (auto it = have.cbegin(); it != have.cend() && !found; ++it)
            found = it.key().compare(col, Qt::CaseInsensitive) == 0;
        cols << (found ? col : QStringLiteral("NULL as ") + col);
    }
    m_hasMultiValues = hasTable(m_db, "ABMultiValue");
    m_hasEntries = hasTable(m_db, "ABMultiValueEntry") && hasTable(m_db, "ABMultiValueEntryKey");
    m_hasLabels = hasTable(m_db, "ABMultiValueLabel");
    m_hasImages = m_imgDb.isOpen() && hasTable(m_imgDb, "ABFullSizeImage");
    Sqlite3Cursor people = m_db.queryThrow(
        QStringLiteral("select %1 from Abperson order by rowid asc").arg(cols.join(QLatin1Char(','))));
    QList<pim::_Contact> list;
    while (people.moveNext()) {
        const qint64 rowid = people.getInt64(QStringLiteral("rowid"));
        pim::_Contact contact = readPerson(people);
        readPhoto(rowid, contact);
        readMultiValues(rowid, contact);
        list.append(contact);
    }
    return list;
}

pim::_Contact IOSContactsDb::readPerson(const Sqlite3Cursor& p)
{
    auto text = [&p](const char* col) { return p.getText(QLatin1String(col)); };
    pim::_Contact contact;
    pim::Entity name;
    name.values[QStringLiteral("data2")] = text("first");
    name.values[QStringLiteral("data3")] = text("last");
    name.values[QStringLiteral("data4")] = text("middle");
    name.values[QStringLiteral("data5")] = text("prefix");
    name.values[QStringLiteral("data6")] = text("suffix");
    contact.fullName = name.fullName();
    name.values[QStringLiteral("data1")] = contact.fullName;
    contact.entities[pim::KindName].append(name);
    const QString org = text("organization"), dept = text("department"), job = text("jobtitle");
    if (!org.isEmpty() || !dept.isEmpty() || !job.isEmpty()) {
        pim::Entity e;
        e.values[QStringLiteral("data1")] = org;
        e.values[QStringLiteral("data5")] = dept;
        e.values[QStringLiteral("data4")] = job;
        contact.entities[pim::KindOrg].append(e);
    }
    for (auto [col, kind] :
        { std::pair { "note", pim::KindNote }, std::pair { "nickname", pim::KindNickname } }) {
        if (!text(col).isEmpty()) {
            pim::Entity e;
            e.values[QStringLiteral("data1")] = text(col);
            contact.entities[kind].append(e);
        }
    }
    // Every stored birthday counts, also those before 2001 (negative seconds).
    qint64 seconds = 0;
    if (secondsOf(p, QStringLiteral("birthday"), seconds)) {
        pim::Entity e;
        e.values[QStringLiteral("data1")] = ContactDate::textFromSecs2001(seconds);
        e.values[QStringLiteral("data2")] = 3;
        contact.entities[pim::KindDate].append(e);
    }
    return contact;
}

void IOSContactsDb::readPhoto(qint64 rowid, pim::_Contact& contact)
{
    if (!m_hasImages)
        return;
    Sqlite3Cursor c = m_imgDb.queryThrow(
        QStringLiteral("select data from ABFullSizeImage where record_id=%1 limit 1").arg(rowid));
    if (!c.moveNext())
        return;
    const QByteArray bytes = c.getBlob(QStringLiteral("data"));
    if (bytes.isEmpty())
        return;
    pim::Entity e;
    e.values[QStringLiteral("data15")] = bytes;
    contact.entities[pim::KindPhoto].append(e);
}

void IOSContactsDb::readMultiValues(qint64 rowid, pim::_Contact& contact)
{
    if (!m_hasMultiValues)
        return;
    // A left join: values whose label row is missing are kept.
    Sqlite3Sql sql(m_hasLabels ? "select v.UID,v.property,v.value,l.value as subType"
                               : "select v.UID,v.property,v.value,NULL as subType");
    sql.appendSql(m_hasLabels
            ? QStringLiteral(" from abmultivalue as v left join abmultivaluelabel as l on v.label=l.rowid")
            : QStringLiteral(" from abmultivalue as v"));
    sql.appendSql(QStringLiteral(" where v.record_id=%1 order by v.UID").arg(rowid));
    Sqlite3Cursor c = m_db.queryThrow(sql);
    while (c.moveNext()) {
        const int property = c.getInt(QStringLiteral("property"));
        const QString label = c.getText(QStringLiteral("subType"));
        const auto uid = static_cast<unsigned long long>(c.getInt64(QStringLiteral("UID")));
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
            if (!secondsOf(c, QStringLiteral("value"), seconds))
                continue;
            e.values[QStringLiteral("data1")] = ContactDate::textFromSecs2001(seconds);
            setLabel(e, label, dateLabels());
        } else if (kind != pim::KindAddress && kind != pim::KindIM) {
            e.values[QStringLiteral("data1")] = c.getText(QStringLiteral("value"));
        }
        contact.entities[kind].append(e);
    }
}
