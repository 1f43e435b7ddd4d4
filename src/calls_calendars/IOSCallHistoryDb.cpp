#include "calls_calendars/IOSCallHistoryDb.h"

#include "calls_calendars/IOS5CallsDbCore.h"
#include "calls_calendars/IOS8CallsDbCore.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <stdexcept>

namespace
{

QString argText(sqlite3_value* value)
{
    const unsigned char* text = sqlite3_value_text(value);
    return text ? QString::fromUtf8(reinterpret_cast<const char*>(text)) : QString();
}

void resultText(sqlite3_context* ctx, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_result_text(ctx, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

void sqlPersonName(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    const QString middle = argText(argv[1]);
    QString name = argText(argv[0]);
    if (!middle.isEmpty())
        name += QLatin1Char(' ') + middle;
    name += QLatin1Char(' ') + argText(argv[2]);
    resultText(ctx, name.trimmed());
}

void sqlNumberSuffix(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    resultText(ctx, message_numberSuffix(argText(argv[0])));
}

} // namespace

QString message_numberSuffix(const QString& text)
{
    // One pass, no regular expressions: it runs for every call read.
    QString digits;
    for (const QChar ch : text) {
        const char16_t u = ch.unicode();
        if ((u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z'))
            return text; // an address with letters (an e-mail, say) is kept whole
        if (u >= u'0' && u <= u'9')
            digits.append(ch);
    }
    return digits.size() > 9 ? digits.right(9) : digits;
}

IOSCallHistoryDb::IOSCallHistoryDb(const QDir& folder, bool encrypted)
    : m_folder(folder)
    , m_encrypted(encrypted)
{
}

IOSCallHistoryDb::~IOSCallHistoryDb() = default;

void IOSCallHistoryDb::openCheck()
{
    if (m_core) {
        // A store that failed to open keeps failing with its first error rather than being used
        // through a closed connection.
        if (!m_core->isOpen())
            throw std::runtime_error(m_openError.toStdString());
        return;
    }
    if (m_folder.exists(QLatin1String(kStoreFile))) {
        m_dbFileName = QLatin1String(kStoreFile);
        m_core = QSharedPointer<AbsCallsDbCore>(new IOS8CallsDbCore());
    } else if (m_folder.exists(QLatin1String(kOldDbFile))) {
        m_dbFileName = QLatin1String(kOldDbFile);
        m_core = QSharedPointer<AbsCallsDbCore>(new IOS5CallsDbCore());
    } else if (m_encrypted) {
        // The backup is encrypted already: it simply holds no call history.
        throw std::runtime_error(
            QCoreApplication::translate("IOSCallHistoryDb", "IDS_NO_CALL_HISTORY_IN_BACKUP").toStdString());
    } else {
        throw std::runtime_error(QCoreApplication::translate(
            "IOSCallHistoryDb", "This data is only available when backup encryption is enabled.")
                                     .toStdString());
    }
    try {
        m_core->openCheck(m_folder.absoluteFilePath(m_dbFileName));
    } catch (const std::exception& e) {
        m_openError = QString::fromUtf8(e.what());
        throw;
    }
}

bool IOSCallHistoryDb::openContactsDbCheck()
{
    if (m_contacts.isOpen())
        return true;
    const QString path = m_folder.absoluteFilePath(QLatin1String(kAddressBookFile));
    if (!QFileInfo::exists(path))
        return false;
    m_contacts.setForeign(true);
    m_contacts.openThrow(path, 2);
    sqlite3_create_function_v2(
        m_contacts.handle, "person_name", 3, SQLITE_ANY, nullptr, sqlPersonName, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(m_contacts.handle, "number_suffix", 1, SQLITE_ANY, nullptr, sqlNumberSuffix,
        nullptr, nullptr, nullptr);
    return true;
}

QList<_CallHistory> IOSCallHistoryDb::callHistories()
{
    openCheck();
    if (m_numberToName.isEmpty())
        loadNames();
    return m_core->callHistories(this);
}

void IOSCallHistoryDb::loadNames()
{
    // The names are extras: an address book that cannot be read leaves the calls without names
    // rather than hiding the calls.
    try {
        if (!openContactsDbCheck())
            return;
        Sqlite3Sql sql(
            "select number_suffix(a.value) as suffix, person_name(b.first, b.middle, b.last) as name");
        sql.appendSql(" from ABMultiValue as a inner join abperson as b on a.record_id = b.rowid");
        Sqlite3Cursor c = m_contacts.queryThrow(sql);
        while (c.moveNext()) {
            const QString suffix = c.getText("suffix");
            // A value without digits or letters (an empty one) names nobody's number.
            if (!suffix.isEmpty())
                m_numberToName.insert(suffix, c.getText("name"));
        }
    } catch (const std::exception& e) {
        qWarning("Contact names for the call history not read: %s", e.what());
        m_contactsUnreadable = true;
    }
}

QString IOSCallHistoryDb::personFor(const QString& address) const
{
    if (m_numberToName.isEmpty())
        return QString();
    const QString suffix = message_numberSuffix(address);
    // A withheld or empty number belongs to no contact.
    return suffix.isEmpty() ? QString() : m_numberToName.value(suffix);
}

qint64 IOSCallHistoryDb::total()
{
    openCheck();
    return m_core->total(this);
}

qint64 IOSCallHistoryDb::contactIdByNumber(const QString& number, qint64 def)
{
    const QString suffix = message_numberSuffix(number);
    if (suffix.isEmpty() || m_contactsUnreadable)
        return def;
    // As when reading names: an address book that cannot be read leaves the saved calls without a
    // contact, and the save goes on.
    try {
        if (!openContactsDbCheck())
            return def;
        Sqlite3Sql sql("select b.rowid from ABMultiValue as a inner join abperson as b on a.record_id = "
                       "b.rowid and a.property=3 and number_suffix(a.value)=?");
        sql.addTextParam(suffix);
        Sqlite3Cursor c = m_contacts.queryThrow(sql);
        return c.moveNext() ? c.getInt64(0) : def;
    } catch (const std::exception& e) {
        qWarning("Contacts of the saved calls not looked up: %s", e.what());
        m_contactsUnreadable = true;
        return def;
    }
}

void IOSCallHistoryDb::beginSave()
{
    openCheck();
    m_core->beginTran();
}

qint64 IOSCallHistoryDb::saveCall(const _CallHistory& call)
{
    openCheck();
    return m_core->saveCall(this, call);
}

void IOSCallHistoryDb::endSaveCommit()
{
    m_core->endSaveThrow();
    m_core->commitTran();
}

void IOSCallHistoryDb::cancelSave()
{
    if (m_core && m_core->isOpen())
        m_core->rollbackTran();
}

bool IOSCallHistoryDb::inSave() const
{
    return m_core && m_core->isOpen() && m_core->tranDepth() > 0;
}

void IOSCallHistoryDb::close()
{
    if (m_contacts.isOpen())
        m_contacts.close();
    if (m_core) {
        m_core->close();
        m_openError = QStringLiteral("The call history database is closed.");
    }
}
