#include "contacts/export/AbsTextExport.h"

#include "contacts/export/DataKeys.h"
#include "contacts/store/PimLabelMaps.h"

#include <QHash>
#include <QSet>
#include <algorithm>
#include <vector>

namespace
{
// The column names of one typed kind, built once: code to name, and the name of an unknown code.
struct Names {
    QHash<int, QString> byCode;
    QString unknown;
    Names(const char* prefix, const QMap<int, QString>& labels, const char* ending = "")
        : unknown(QLatin1String(prefix) + QLatin1String(ending))
    {
        for (auto it = labels.cbegin(); it != labels.cend(); ++it)
            byCode.insert(it.key(), QLatin1String(prefix) + it.value() + QLatin1String(ending));
    }
    QString of(const pim::Entity& e, const QString& key) const { return byCode.value(e.code(key), unknown); }
};

const QString& kData2 = dataKey(2);

QString addrCol(const pim::Entity& e, int part)
{
    static const Names names[] = { { "Addr:", pim::addrTypeMap(), ":Country" },
        { "Addr:", pim::addrTypeMap(), ":State" }, { "Addr:", pim::addrTypeMap(), ":City" },
        { "Addr:", pim::addrTypeMap(), ":Street" }, { "Addr:", pim::addrTypeMap(), ":Postcode" } };
    return names[part].of(e, kData2);
}
} // namespace

QString AbsTextExport::telCol(const pim::Entity& e)
{
    static const Names n("Tel:", pim::phoneTypeMap());
    return n.of(e, kData2);
}

QString AbsTextExport::emailCol(const pim::Entity& e)
{
    static const Names n("Email:", pim::emailTypeMap());
    return n.of(e, kData2);
}

QString AbsTextExport::eventCol(const pim::Entity& e)
{
    static const Names n("Date:", pim::eventTypeMap());
    return n.of(e, kData2);
}

QString AbsTextExport::imCol(const pim::Entity& e)
{
    static const Names n("IM:", pim::imProtocolMap());
    return n.of(e, dataKey(5));
}

QString AbsTextExport::relCol(const pim::Entity& e)
{
    static const Names n("Rel:", pim::relTypeMap());
    return n.of(e, kData2);
}

QString AbsTextExport::urlCol(const pim::Entity& e)
{
    static const Names n("Url:", pim::urlTypeMap());
    return n.of(e, kData2);
}

QString AbsTextExport::addrCountryCol(const pim::Entity& e)
{
    return addrCol(e, 0);
}
QString AbsTextExport::addrStateCol(const pim::Entity& e)
{
    return addrCol(e, 1);
}
QString AbsTextExport::addrCityCol(const pim::Entity& e)
{
    return addrCol(e, 2);
}
QString AbsTextExport::addrStreetCol(const pim::Entity& e)
{
    return addrCol(e, 3);
}
QString AbsTextExport::addrPostcodeCol(const pim::Entity& e)
{
    return addrCol(e, 4);
}

int AbsTextExport::colPriority(const QString& name)
{
    static const QMap<QString, int> fixed { { "Prefix", 10 }, { "First Name", 20 }, { "Middle Name", 30 },
        { "Last Name", 40 }, { "Suffix", 50 }, { "Nickname", 51 }, { "Category", 60 }, { "Company", 70 },
        { "Department", 80 }, { "Job Title", 90 } };
    const auto it = fixed.constFind(name);
    if (it != fixed.cend())
        return it.value();
    if (name.startsWith(QLatin1String("Tel:")))
        return 100;
    if (name.startsWith(QLatin1String("Email:")))
        return 200;
    if (name.startsWith(QLatin1String("Date:")))
        return 300;
    if (name.startsWith(QLatin1String("Addr:"))) {
        const char* const endings[] = { ":Country", ":State", ":City", ":Street", ":Postcode" };
        for (int i = 0; i < 5; ++i)
            if (name.endsWith(QLatin1String(endings[i])))
                return 401 + i;
        return 1000;
    }
    if (name.startsWith(QLatin1String("IM:")))
        return 500;
    if (name.startsWith(QLatin1String("Rel:")))
        return 600;
    if (name.startsWith(QLatin1String("Url:")))
        return 700;
    if (name == QLatin1String("Notes"))
        return 800;
    return 1000;
}

bool AbsTextExport::compareColNameLess(const QString& a, const QString& b)
{
    return colPriority(a) < colPriority(b);
}

QList<AbsTextExport::Cell> AbsTextExport::cellsOf(int kind, const pim::Entity& e)
{
    auto v = [&e](int n) { return e.text(dataKey(n)); };
    static const QString prefix = QStringLiteral("Prefix"), first = QStringLiteral("First Name"),
                         middle = QStringLiteral("Middle Name"), last = QStringLiteral("Last Name"),
                         suffix = QStringLiteral("Suffix"), nickname = QStringLiteral("Nickname"),
                         category = QStringLiteral("Category"), notes = QStringLiteral("Notes"),
                         company = QStringLiteral("Company"), department = QStringLiteral("Department"),
                         jobTitle = QStringLiteral("Job Title");
    switch (kind) {
    case pim::KindName:
        return { { prefix, v(5), false }, { first, v(2), false }, { middle, v(4), false },
            { last, v(3), false }, { suffix, v(6), false } };
    case pim::KindPhone:
        return { { telCol(e), v(1), true } };
    case pim::KindEmail:
        return { { emailCol(e), v(1), true } };
    case pim::KindNickname:
        return { { nickname, v(1), true } };
    case pim::KindDate:
        return { { eventCol(e), v(1), true } };
    case pim::KindGroup:
        return { { category, v(2), true } };
    case pim::KindIM:
        return { { imCol(e), v(1), true } };
    case pim::KindNote:
        return { { notes, v(1), true } };
    case pim::KindOrg:
        return { { company, v(1), false }, { department, v(5), false }, { jobTitle, v(4), false } };
    case pim::KindRelation:
        return { { relCol(e), v(1), true } };
    case pim::KindAddress:
        return { { addrCountryCol(e), v(10), false }, { addrStateCol(e), v(8), false },
            { addrCityCol(e), v(7), false }, { addrStreetCol(e), v(4), false },
            { addrPostcodeCol(e), v(9), false } };
    case pim::KindUrl:
        return { { urlCol(e), v(1), true } };
    default:
        return {};
    }
}

QByteArray AbsTextExport::initialize(const QList<pim::_Contact>& contacts)
{
    QSet<QString> names;
    for (const pim::_Contact& c : contacts)
        for (auto it = c.entities.cbegin(); it != c.entities.cend(); ++it)
            for (const pim::Entity& e : it.value())
                for (const Cell& cell : cellsOf(it.key(), e))
                    if (cell.always || !cell.value.isEmpty())
                        names.insert(cell.column);
    QStringList columns(names.cbegin(), names.cend());
    // Within one priority by name, so that the header does not depend on hashing.
    std::sort(columns.begin(), columns.end(), [](const QString& a, const QString& b) {
        const int pa = colPriority(a), pb = colPriority(b);
        return pa != pb ? pa < pb : a < b;
    });
    colIndex.clear();
    for (int i = 0; i < columns.size(); ++i)
        colIndex.insert(columns.at(i), i);
    return cols2Bytes(columns);
}

QByteArray AbsTextExport::ct2Bytes(const pim::_Contact& contact)
{
    const int n = int(colIndex.size());
    std::vector<QString> cells(std::size_t(qMax(n, 1)));
    for (auto it = contact.entities.cbegin(); it != contact.entities.cend(); ++it)
        for (const pim::Entity& e : it.value())
            for (const Cell& cell : cellsOf(it.key(), e)) {
                const auto col = colIndex.constFind(cell.column);
                if (cell.value.isEmpty() || col == colIndex.cend())
                    continue; // an empty value never erases an earlier one
                QString& target = cells[std::size_t(col.value())];
                target = target.isEmpty() ? cell.value : target + QLatin1String("; ") + cell.value;
            }
    return rowData2Bytes(cells.data(), n);
}

QByteArray AbsTextExport::uninitialize()
{
    return QByteArray();
}
