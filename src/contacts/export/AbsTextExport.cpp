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

namespace
{
QString valueOf(const pim::Entity& e, int n)
{
    const auto it = e.values.constFind(dataKey(n));
    return it == e.values.cend() ? QString() : it->toString();
}

// Calls f(column, key, always) for each value of the entity that has a column: key is the number of
// its "dataN" value, so a caller that needs only the column looks no value up.
template <typename F> void forEachCell(int kind, const pim::Entity& e, F&& f)
{
    static const QString prefix = QStringLiteral("Prefix"), first = QStringLiteral("First Name"),
                         middle = QStringLiteral("Middle Name"), last = QStringLiteral("Last Name"),
                         suffix = QStringLiteral("Suffix"), nickname = QStringLiteral("Nickname"),
                         category = QStringLiteral("Category"), notes = QStringLiteral("Notes"),
                         company = QStringLiteral("Company"), department = QStringLiteral("Department"),
                         jobTitle = QStringLiteral("Job Title");
    auto v = [](int n) { return n; };
    switch (kind) {
    case pim::KindName:
        f(prefix, v(5), false);
        f(first, v(2), false);
        f(middle, v(4), false);
        f(last, v(3), false);
        return f(suffix, v(6), false);
    case pim::KindPhone:
        return f(AbsTextExport::telCol(e), v(1), true);
    case pim::KindEmail:
        return f(AbsTextExport::emailCol(e), v(1), true);
    case pim::KindNickname:
        return f(nickname, v(1), true);
    case pim::KindDate:
        return f(AbsTextExport::eventCol(e), v(1), true);
    case pim::KindGroup:
        return f(category, v(2), true);
    case pim::KindIM:
        return f(AbsTextExport::imCol(e), v(1), true);
    case pim::KindNote:
        return f(notes, v(1), true);
    case pim::KindOrg:
        f(company, v(1), false);
        f(department, v(5), false);
        return f(jobTitle, v(4), false);
    case pim::KindRelation:
        return f(AbsTextExport::relCol(e), v(1), true);
    case pim::KindAddress:
        f(AbsTextExport::addrCountryCol(e), v(10), false);
        f(AbsTextExport::addrStateCol(e), v(8), false);
        f(AbsTextExport::addrCityCol(e), v(7), false);
        f(AbsTextExport::addrStreetCol(e), v(4), false);
        return f(AbsTextExport::addrPostcodeCol(e), v(9), false);
    case pim::KindUrl:
        return f(AbsTextExport::urlCol(e), v(1), true);
    default:
        return;
    }
}
} // namespace

QList<AbsTextExport::Cell> AbsTextExport::cellsOf(int kind, const pim::Entity& e)
{
    QList<Cell> cells;
    forEachCell(kind, e, [&](const QString& column, int key, bool always) {
        cells.append({ column, valueOf(e, key), always });
    });
    return cells;
}

QByteArray AbsTextExport::initialize(const QList<pim::_Contact>& contacts)
{
    QSet<QString> names;
    for (const pim::_Contact& c : contacts)
        for (auto it = c.entities.cbegin(); it != c.entities.cend(); ++it)
            for (const pim::Entity& e : it.value())
                forEachCell(it.key(), e, [&](const QString& column, int key, bool always) {
                    if (always || !valueOf(e, key).isEmpty())
                        names.insert(column);
                });
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
            forEachCell(it.key(), e, [&](const QString& column, int key, bool) {
                const QString value = valueOf(e, key);
                if (value.isEmpty())
                    return; // an empty value never erases an earlier one
                const auto col = colIndex.constFind(column);
                if (col == colIndex.cend())
                    return;
                QString& target = cells[std::size_t(col.value())];
                target = target.isEmpty() ? value : target + QLatin1String("; ") + value;
            });
    return rowData2Bytes(cells.data(), n);
}

QByteArray AbsTextExport::uninitialize()
{
    return QByteArray();
}
