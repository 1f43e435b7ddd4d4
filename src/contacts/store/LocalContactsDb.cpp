#include "contacts/store/LocalContactsDb.h"

#include "app/sqlite/Sqlite3Script.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <utility>

namespace
{
[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toUtf8().toStdString());
}

QString num(unsigned long long n)
{
    return QString::number(n);
}

bool _contactSortCompare(const pim::_Contact& a, const pim::_Contact& b)
{
    return QString::compare(a.fullName, b.fullName) < 0;
}
} // namespace

LocalContactsDb::LocalContactsDb(QString path, QSharedPointer<AbsContactCombineRule> rule)
    : AbsLocalDb(std::move(path))
    , combineRule(std::move(rule))
{
}

LocalContactsDb::~LocalContactsDb()
{
    dropStatements(); // before the connection they belong to
}

void LocalContactsDb::dropStatements()
{
    m_statements.clear();
}

void LocalContactsDb::open()
{
    // One thread uses a store at a time: SQLite's own per-call locking is not needed.
    if (!openStoreThrow(6 | SQLITE_OPEN_NOMUTEX) || holdsNoTable())
        makeSchema();
    // Each merge is a savepoint inside the caller's edit: keep its journal in memory, not in a
    // temporary file per contact.
    QString err;
    db.exec(QStringLiteral("PRAGMA temp_store=MEMORY"), err);
}

void LocalContactsDb::create()
{
    openStoreThrow(6 | SQLITE_OPEN_NOMUTEX);
    makeSchema();
}

void LocalContactsDb::makeSchema()
{
    QFile script(QStringLiteral(":/res/local_contacts_db.sql"));
    QString err;
    bool ok = script.open(QIODevice::ReadOnly);
    if (!ok)
        err = script.errorString();
    else if (sqlite3ExecScript(db, QString::fromUtf8(script.readAll()), err) != 0)
        ok = false;
    if (!ok) {
        // A half-built store is never left behind to be taken for a good one later.
        db.close();
        removeStoreFile();
        fail(err);
    }
}

void LocalContactsDb::open_check()
{
    if (!isOpened())
        open();
}

void LocalContactsDb::deleteDbFile()
{
    dropStatements();
    db.close();
    if (!removeStoreFile())
        fail(qt_error_string(errno));
}

bool LocalContactsDb::removeDB()
{
    dropStatements();
    if (isOpened())
        db.close();
    try {
        return removeStoreFile();
    } catch (const std::exception& e) {
        qWarning("Store %s not removed: %s", qUtf8Printable(path), e.what());
        return false;
    }
}

// ---- reading

QStringList LocalContactsDb::kindColumns(int kind)
{
    static const QList<QStringList> table = [] {
        auto cols = [](std::initializer_list<int> n) {
            QStringList list;
            for (int i : n)
                list << QStringLiteral("data%1").arg(i);
            return list;
        };
        QList<QStringList> t(14);
        t[1] = cols({ 1, 2, 3, 4, 5, 6, 7, 8 });
        t[2] = cols({ 4, 15 });
        for (int k : { 3, 4, 5, 6, 11, 13 })
            t[k] = cols({ 1, 2, 3 });
        t[7] = cols({ 1, 2 });
        t[8] = cols({ 1, 2, 3, 5, 6 });
        t[9] = cols({ 1 });
        t[10] = cols({ 1, 2, 3, 4, 5, 6, 7, 9 });
        t[12] = cols({ 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11 });
        return t;
    }();
    return kind >= 0 && kind < table.size() ? table.at(kind) : QStringList();
}

namespace
{
// The insert and update statements of each kind, built once.
const QString& kindStatement(int kind, bool insert)
{
    static const QList<QPair<QString, QString>> table = [] {
        QList<QPair<QString, QString>> t(14);
        for (int kind = 1; kind <= 13; ++kind) {
            const QStringList cols = LocalContactsDb::kindColumns(kind);
            QStringList marks(cols.size() + 3, QStringLiteral("?"));
            t[kind].first = QStringLiteral("insert into data(contact_id,type,src_id,%1) values(%2)")
                                .arg(cols.join(QLatin1Char(',')), marks.join(QLatin1Char(',')));
            t[kind].second = QStringLiteral("update data set src_id=?,") + cols.join(QStringLiteral("=?,"))
                + QStringLiteral("=? where _id=?");
        }
        return t;
    }();
    return insert ? table.at(kind).first : table.at(kind).second;
}
} // namespace

void LocalContactsDb::fill_entity(Sqlite3Cursor& cursor, int kind, pim::Entity& entity)
{
    // The address's country code (data11) is read back as well as written.
    for (const QString& col : kindColumns(kind)) {
        if (col == QLatin1String("data15"))
            entity.values.insert(col, cursor.getBlob(col));
        else
            entity.values.insert(col, cursor.getText(col));
    }
}

QList<pim::_Contact> LocalContactsDb::contacts()
{
    open_check();
    Sqlite3Sql sql("select d.*,c.full_name,c.src_id as csrc_id from data as d inner join contact as c "
                   "on d.contact_id=c._id");
    sql.appendSql(QStringLiteral(" order by contact_id asc, d._id asc"));
    Sqlite3Cursor cursor = db.queryThrow(sql);
    QList<pim::_Contact> result;
    pim::_Contact current;
    while (cursor.moveNext()) {
        const auto contactId = static_cast<unsigned long long>(cursor.getInt64(QStringLiteral("contact_id")));
        if (contactId != current.id) {
            if (current.id != 0)
                result.append(current);
            current = pim::_Contact(contactId, cursor.getText(QStringLiteral("csrc_id")),
                cursor.getText(QStringLiteral("full_name")));
        }
        const int kind = cursor.getInt(QStringLiteral("type"));
        pim::Entity entity(static_cast<unsigned long long>(cursor.getInt64(QStringLiteral("_id"))),
            cursor.getText(QStringLiteral("src_id")));
        fill_entity(cursor, kind, entity);
        current.entities[kind].append(entity);
    }
    if (current.id != 0)
        result.append(current);
    std::stable_sort(result.begin(), result.end(), _contactSortCompare);
    return result;
}

pim::_Contact LocalContactsDb::contact(unsigned long long id)
{
    open_check();
    Sqlite3Cursor c = db.queryThrow(QStringLiteral("select * from contact where _id=%1").arg(num(id)));
    if (!c.moveNext())
        return pim::_Contact();
    pim::_Contact contact(static_cast<unsigned long long>(c.getInt64(QStringLiteral("_id"))),
        c.getText(QStringLiteral("src_id")), c.getText(QStringLiteral("full_name")));
    Sqlite3Cursor d
        = db.queryThrow(QStringLiteral("select * from data where contact_id=%1 order by _id").arg(num(id)));
    while (d.moveNext()) {
        const int kind = d.getInt(QStringLiteral("type"));
        pim::Entity entity(static_cast<unsigned long long>(d.getInt64(QStringLiteral("_id"))),
            d.getText(QStringLiteral("src_id")));
        fill_entity(d, kind, entity);
        contact.entities[kind].append(entity);
    }
    return contact;
}

QList<pim::_Group> LocalContactsDb::groups()
{
    open_check();
    Sqlite3Cursor c = db.queryThrow("select * from contact_group order by name asc");
    QList<pim::_Group> list;
    while (c.moveNext())
        list.append(pim::_Group(static_cast<unsigned long long>(c.getInt64(QStringLiteral("_id"))),
            c.getText(QStringLiteral("name"))));
    return list;
}

qint64 LocalContactsDb::total()
{
    open_check();
    Sqlite3Cursor c = db.queryThrow("select count(*) from contact");
    return c.moveNext() ? c.getInt64(0) : 0;
}

// ---- rows

namespace
{
// Binds one value as its text. An integer is bound as a number: the data columns hold text, so
// SQLite stores the same decimal text that the number's QString would give.
void bindValue(Sqlite3Stmt& stmt, int index, const pim::Entity& entity, const QString& key)
{
    const auto it = entity.values.constFind(key);
    if (it == entity.values.cend()) {
        stmt.bindTextThrow(index, QString());
        return;
    }
    switch (it->typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
        stmt.bindInt64Throw(index, it->toLongLong());
        break;
    case QMetaType::QString:
        stmt.bindTextThrow(index, *static_cast<const QString*>(it->constData()));
        break;
    default:
        stmt.bindTextThrow(index, it->toString());
        break;
    }
}

// Binds the kind's value columns from parameter `index` on; returns the next parameter's index.
int bindKindValues(Sqlite3Stmt& stmt, int index, int kind, const QStringList& cols, const pim::Entity& entity)
{
    for (const QString& col : cols) {
        if (kind == pim::KindPhoto && col == QLatin1String("data15"))
            stmt.bindBlobThrow(index, entity.values.value(col).toByteArray());
        else if (kind == pim::KindPhoto && col == QLatin1String("data4"))
            stmt.bindTextThrow(index, entity.photoHash()); // the photo hash, always computed anew
        else
            bindValue(stmt, index, entity, col);
        ++index;
    }
    return index;
}
} // namespace

void LocalContactsDb::insertEntity(unsigned long long contactId, int kind, pim::Entity& entity)
{
    const QStringList cols = kindColumns(kind);
    if (cols.isEmpty())
        fail(QStringLiteral("Unknown contact field kind %1").arg(kind));
    open_check();
    Sqlite3Stmt& stmt = m_statements.prepared(kindStatement(kind, true));
    stmt.bindInt64Throw(1, static_cast<qint64>(contactId));
    stmt.bindInt64Throw(2, kind);
    stmt.bindTextThrow(3, entity.srcId);
    bindKindValues(stmt, 4, kind, cols, entity);
    m_statements.execute(stmt);
    entity.id = static_cast<unsigned long long>(db.lastInsertId());
}

void LocalContactsDb::updateEntity(int kind, const pim::Entity& entity)
{
    const QStringList cols = kindColumns(kind);
    if (cols.isEmpty())
        fail(QStringLiteral("Unknown contact field kind %1").arg(kind));
    open_check();
    Sqlite3Stmt& stmt = m_statements.prepared(kindStatement(kind, false));
    stmt.bindTextThrow(1, entity.srcId);
    const int next = bindKindValues(stmt, 2, kind, cols, entity);
    stmt.bindInt64Throw(next, static_cast<qint64>(entity.id));
    m_statements.execute(stmt);
}

void LocalContactsDb::insertContactBase(pim::_Contact& c)
{
    static const QString sql = QStringLiteral("insert into contact(src_id,full_name) values(?,?)");
    open_check();
    Sqlite3Stmt& stmt = m_statements.prepared(sql);
    stmt.bindTextThrow(1, c.srcId);
    stmt.bindTextThrow(2, c.fullName);
    m_statements.execute(stmt);
    c.id = static_cast<unsigned long long>(db.lastInsertId());
}

void LocalContactsDb::updateContactBase(const pim::_Contact& c)
{
    open_check();
    Sqlite3Sql sql("update contact set src_id=?, full_name=? where _id=?");
    sql.addTextParam(c.srcId).addTextParam(c.fullName).addInt64Param(static_cast<long long>(c.id));
    db.executeThrow(sql);
}

void LocalContactsDb::updateContactBaseSrcId(unsigned long long id, const QString& srcId)
{
    open_check();
    Sqlite3Sql sql("update contact set src_id=? where _id=?");
    sql.addTextParam(srcId).addInt64Param(static_cast<long long>(id));
    db.executeThrow(sql);
}

void LocalContactsDb::updateContactBaseSrcId(const QString& oldSrcId, const QString& newSrcId)
{
    open_check();
    Sqlite3Sql sql("update contact set src_id=? where src_id=?");
    sql.addTextParam(newSrcId).addTextParam(oldSrcId);
    db.executeThrow(sql);
}

void LocalContactsDb::updateEntitySrcId(unsigned long long id, const QString& srcId)
{
    open_check();
    Sqlite3Sql sql("update data set src_id=? where _id=?");
    sql.addTextParam(srcId).addInt64Param(static_cast<long long>(id));
    db.executeThrow(sql);
}

void LocalContactsDb::updateEntitySrcId(const QString& oldSrcId, const QString& newSrcId)
{
    open_check();
    Sqlite3Sql sql("update data set src_id=? where src_id=?");
    sql.addTextParam(newSrcId).addTextParam(oldSrcId);
    db.executeThrow(sql);
}

void LocalContactsDb::removeEntity(unsigned long long id)
{
    open_check();
    db.executeThrow(QStringLiteral("delete from data where _id=%1").arg(num(id)));
}

void LocalContactsDb::removeContact(unsigned long long id)
{
    open_check();
    db.executeThrow(QStringLiteral("delete from data where contact_id=%1").arg(num(id)));
    db.executeThrow(QStringLiteral("delete from contact where _id=%1").arg(num(id)));
}

void LocalContactsDb::removeGroupOnly(unsigned long long id)
{
    open_check();
    db.executeThrow(QStringLiteral("delete from contact_group where _id=%1").arg(num(id)));
}

pim::Entity LocalContactsDb::setGroup(
    unsigned long long contactId, unsigned long long groupId, const QString& name)
{
    ungroup(contactId);
    Sqlite3Sql sql(QStringLiteral("insert into data(type,contact_id,%1,%2) values(?,?,?,?)")
                       .arg(QStringLiteral("data1"), QStringLiteral("data2")));
    sql.addIntParam(pim::KindGroup).addInt64Param(static_cast<long long>(contactId));
    sql.addTextParam(num(groupId)).addTextParam(name);
    db.executeThrow(sql);
    pim::Entity e(static_cast<unsigned long long>(db.lastInsertId()), QString());
    e.values.insert(QStringLiteral("data1"), QVariant::fromValue<qulonglong>(groupId));
    e.values.insert(QStringLiteral("data2"), name);
    return e;
}

void LocalContactsDb::ungroup(unsigned long long contactId)
{
    db.executeThrow(QStringLiteral("delete from data where type=%1 and contact_id=%2")
                        .arg(pim::KindGroup)
                        .arg(num(contactId)));
}

bool LocalContactsDb::isStoreFile(const QString& path)
{
    try {
        Sqlite3DB file;
        file.setForeign(true);
        file.openReadOnlyThrow(path);
        Sqlite3Cursor c = file.queryThrow("select count(*) from sqlite_master where type='table' and "
                                          "lower(name) in ('contact','data')");
        return c.moveNext() && c.getInt64(0) == 2;
    } catch (const std::exception&) {
        return false;
    }
}

// ---- merging

unsigned long long LocalContactsDb::isContactBaseExist(const QString& fullName)
{
    // Equal but for ASCII case; "%" and "_" are letters like any other.
    static const QString sql
        = QStringLiteral("select _id,src_id from contact where full_name = ? COLLATE NOCASE limit 1");
    open_check();
    Sqlite3Stmt& stmt = m_statements.prepared(sql);
    stmt.bindTextThrow(1, fullName);
    return static_cast<unsigned long long>(m_statements.firstInt64(stmt));
}

unsigned long long LocalContactsDb::namelessContactWithOrg(const QString& org)
{
    static const QString sql
        = QStringLiteral("select c._id from contact as c inner join data as d on d.contact_id=c._id and "
                         "d.type=10 where ifnull(c.full_name,'')='' and d.data1=? order by c._id limit 1");
    open_check();
    Sqlite3Stmt& stmt = m_statements.prepared(sql);
    stmt.bindTextThrow(1, org);
    return static_cast<unsigned long long>(m_statements.firstInt64(stmt));
}

unsigned long long LocalContactsDb::namelessContactWithValues(const pim::_Contact& in)
{
    // Candidates: nameless contacts without organisation that hold the incoming contact's first
    // phone, e-mail or address (found through the data index), or, for a contact without any,
    // none of them. Each candidate is then compared whole.
    int kind = 0;
    QString value;
    bool any = false;
    for (int k : { pim::KindPhone, pim::KindEmail, pim::KindAddress }) {
        for (const pim::Entity& e : in.entities.value(k)) {
            any = true;
            if (kind == 0 && !e.text(QStringLiteral("data1")).isEmpty()) {
                kind = k;
                value = e.text(QStringLiteral("data1"));
            }
        }
    }
    Sqlite3Sql sql(kind == 0
            ? QStringLiteral("select c._id from contact as c")
            : QStringLiteral("select distinct c._id from data as v inner join contact as c on "
                             "c._id=v.contact_id and v.type=%1 and v.data1=?")
                  .arg(kind));
    if (kind != 0)
        sql.addTextParam(value);
    sql.appendSql(" where ifnull(c.full_name,'')='' and not exists (select 1 from data as d where "
                  "d.contact_id=c._id and d.type=10 and ifnull(d.data1,'')<>'')");
    if (!any)
        sql.appendSql(
            " and not exists (select 1 from data as d where d.contact_id=c._id and d.type in (3,4,12))");
    sql.appendSql(" order by c._id");
    open_check();
    QList<unsigned long long> ids;
    for (Sqlite3Cursor c = db.queryThrow(sql); c.moveNext();)
        ids.append(static_cast<unsigned long long>(c.getInt64(0)));
    for (unsigned long long id : std::as_const(ids)) {
        if (sameContactValues(contact(id), in))
            return id;
    }
    return 0;
}

bool LocalContactsDb::sameContactValues(const pim::_Contact& stored, const pim::_Contact& in)
{
    for (int kind : { pim::KindPhone, pim::KindEmail, pim::KindAddress }) {
        if (!sameEntities(kind, stored.entities.value(kind), in.entities.value(kind)))
            return false;
    }
    return true;
}

bool LocalContactsDb::sameEntities(int kind, QList<pim::Entity> stored, const QList<pim::Entity>& in)
{
    QStringList keys = combineRule->checkEqualFieldsMin(kind) + combineRule->checkEqualFieldsFull(kind);
    keys.removeDuplicates();
    // An absent value reads back from the store as an empty text: both are "no value".
    auto same = [&keys](const pim::Entity& a, const pim::Entity& b) {
        for (const QString& key : keys) {
            const QVariant x = a.values.value(key), y = b.values.value(key);
            const bool bothEmpty
                = AbsContactCombineRule::isValueEmpty(x) && AbsContactCombineRule::isValueEmpty(y);
            if (!bothEmpty && !AbsContactCombineRule::isValueEqual(x, y))
                return false;
        }
        return true;
    };
    if (stored.size() != in.size())
        return false;
    for (const pim::Entity& e : in) {
        const auto it
            = std::find_if(stored.begin(), stored.end(), [&](const pim::Entity& s) { return same(s, e); });
        if (it == stored.end())
            return false;
        stored.erase(it);
    }
    return true;
}

unsigned long long LocalContactsDb::getGroupIdOrAdd(const QString& name)
{
    Sqlite3Sql query("select _id from contact_group where name = ? COLLATE NOCASE");
    query.addTextParam(name);
    Sqlite3Cursor c = db.queryThrow(query);
    if (c.moveNext())
        return static_cast<unsigned long long>(c.getInt64(0));
    Sqlite3Sql insert("insert into contact_group(name) values(?)");
    insert.addTextParam(name);
    db.executeThrow(insert);
    return static_cast<unsigned long long>(db.lastInsertId());
}

unsigned long long LocalContactsDb::findCounterpart(const pim::_Contact& in)
{
    if (!in.fullName.isEmpty())
        return isContactBaseExist(in.fullName);
    // A nameless contact joins only a nameless one of the same organisation; without one, a
    // nameless contact whose phones, e-mails and addresses are all the same.
    const QList<pim::Entity> orgs = in.entities.value(pim::KindOrg);
    const QString org = orgs.isEmpty() ? QString() : orgs.first().text(QStringLiteral("data1"));
    return org.isEmpty() ? namelessContactWithValues(in) : namelessContactWithOrg(org);
}

bool LocalContactsDb::combine_entity(
    int kind, QList<pim::Entity>& existing, const pim::Entity& incoming, pim::Entity& out)
{
    bool single = false;
    const QStringList minFields = combineRule->checkEqualFieldsMin(kind);
    const QStringList valid = combineRule->validFields(kind, single);
    if (valid.isEmpty())
        return false;
    pim::Entity in = incoming;
    const QString hashKey = QStringLiteral("data4");
    if (kind == pim::KindPhoto && !in.values.value(QStringLiteral("data15")).toByteArray().isEmpty())
        in.values[hashKey] = in.photoHash(); // compared as stored, so an unchanged photo is no change
    int found = -1;
    if (single)
        found = existing.isEmpty() ? -1 : 0;
    for (int i = 0; !single && i < existing.size(); ++i) {
        if (AbsContactCombineRule::isEntityEqual(existing.at(i), in, minFields)) {
            found = i;
            break;
        }
    }
    if (found >= 0)
        out = existing.at(found);
    if (AbsContactCombineRule::isEntityEqual(out, in, valid))
        return false;
    bool changed = found < 0;
    for (const QString& key : valid) {
        const QVariant v = in.values.value(key);
        if (AbsContactCombineRule::isValueEmpty(v))
            continue;
        if (!AbsContactCombineRule::isValueEqual(out.values.value(key), v))
            changed = true;
        out.values[key] = v;
    }
    // Copying that changes no value (an absent label against a stored empty one) writes nothing.
    if (!changed)
        return false;
    if (found < 0)
        existing.append(out);
    return true;
}

QMap<int, QList<pim::Entity>> LocalContactsDb::combineContact(
    const pim::_Contact& in, pim::_Contact& stored, bool& merged)
{
    open_check();
    const unsigned long long id = findCounterpart(in);
    QMap<int, QList<pim::Entity>> result;
    const bool ownTransaction = m_mergeSavepoints || db.tranDepth() == 0;
    if (ownTransaction)
        db.beginTran();
    try {
        merged = id != 0;
        if (merged)
            stored = contact(id);
        else
            addContact(in, stored, result);
        for (auto it = in.entities.cbegin(); it != in.entities.cend(); ++it)
            mergeKind(it.key(), it.value(), stored, result);
        if (ownTransaction)
            db.commitTran();
    } catch (...) {
        // Undoes this merge only; an enclosing edit is its caller's to end (and without a
        // savepoint of this merge, the caller's rollback undoes it with the rest).
        if (ownTransaction)
            db.rollbackTran();
        throw;
    }
    return result;
}

void LocalContactsDb::addContact(
    const pim::_Contact& in, pim::_Contact& stored, QMap<int, QList<pim::Entity>>& result)
{
    stored = pim::_Contact(0, QString(QLatin1String("")), in.fullName);
    insertContactBase(stored);
    const auto names = in.entities.constFind(pim::KindName);
    if (names == in.entities.cend() || names->isEmpty())
        return;
    pim::Entity name = names->first();
    name.srcId = QString(QLatin1String(""));
    insertEntity(stored.id, pim::KindName, name);
    stored.entities[pim::KindName].append(name);
    result[pim::KindName].append(name);
}

void LocalContactsDb::mergeKind(int kind, const QList<pim::Entity>& incoming, pim::_Contact& stored,
    QMap<int, QList<pim::Entity>>& result)
{
    bool single = false;
    combineRule->validFields(kind, single);
    QList<pim::Entity>& list = stored.entities[kind];
    for (const pim::Entity& entity : incoming) {
        pim::Entity out(0, QString(QLatin1String("")));
        const int before = list.size();
        if (!combine_entity(kind, list, entity, out))
            continue;
        if (kind == pim::KindGroup)
            out.values[QStringLiteral("data1")]
                = QVariant::fromValue<qulonglong>(getGroupIdOrAdd(out.text(QStringLiteral("data2"))));
        if (out.id != 0)
            updateEntity(kind, out);
        else
            insertEntity(stored.id, kind, out);
        // A one-entity kind keeps one row: a second incoming entity updates the row just added.
        if (single && list.size() > before)
            list.last() = out;
        result[kind].append(out);
    }
}
