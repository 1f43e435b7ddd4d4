#include "contacts/export/AbsTextExport.h"

#include "contacts/store/PimLabelMaps.h"

#include <QSet>
#include <algorithm>
#include <vector>

namespace
{
QString typed(
    const char* prefix, const QMap<int, QString>& map, const pim::Entity& e, const char* key = "data2")
{
    return QLatin1String(prefix) + map.value(e.code(QLatin1String(key)));
}

QString addrCol(const pim::Entity& e, const char* part)
{
    return QStringLiteral("Addr:") + pim::addrTypeMap().value(e.code(QStringLiteral("data2")))
        + QLatin1String(part);
}
} // namespace

QString AbsTextExport::telCol(const pim::Entity& e)
{
    return typed("Tel:", pim::phoneTypeMap(), e);
}
QString AbsTextExport::emailCol(const pim::Entity& e)
{
    return typed("Email:", pim::emailTypeMap(), e);
}
QString AbsTextExport::eventCol(const pim::Entity& e)
{
    return typed("Date:", pim::eventTypeMap(), e);
}
QString AbsTextExport::imCol(const pim::Entity& e)
{
    return typed("IM:", pim::imProtocolMap(), e, "data5");
}
QString AbsTextExport::relCol(const pim::Entity& e)
{
    return typed("Rel:", pim::relTypeMap(), e);
}
QString AbsTextExport::urlCol(const pim::Entity& e)
{
    return typed("Url:", pim::urlTypeMap(), e);
}
QString AbsTextExport::addrCountryCol(const pim::Entity& e)
{
    return addrCol(e, ":Country");
}
QString AbsTextExport::addrStateCol(const pim::Entity& e)
{
    return addrCol(e, ":State");
}
QString AbsTextExport::addrCityCol(const pim::Entity& e)
{
    return addrCol(e, ":City");
}
QString AbsTextExport::addrStreetCol(const pim::Entity& e)
{
    return addrCol(e, ":Street");
}
QString AbsTextExport::addrPostcodeCol(const pim::Entity& e)
{
    return addrCol(e, ":Postcode");
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
    auto v = [&e](const char* key) { return e.text(QLatin1String(key)); };
    switch (kind) {
    case pim::KindName:
        return { { "Prefix", v("data5"), false }, { "First Name", v("data2"), false },
            { "Middle Name", v("data4"), false }, { "Last Name", v("data3"), false },
            { "Suffix", v("data6"), false } };
    case pim::KindPhone:
        return { { telCol(e), v("data1"), true } };
    case pim::KindEmail:
        return { { emailCol(e), v("data1"), true } };
    case pim::KindNickname:
        return { { "Nickname", v("data1"), true } };
    case pim::KindDate:
        return { { eventCol(e), v("data1"), true } };
    case pim::KindGroup:
        return { { "Category", v("data2"), true } };
    case pim::KindIM:
        return { { imCol(e), v("data1"), true } };
    case pim::KindNote:
        return { { "Notes", v("data1"), true } };
    case pim::KindOrg:
        return { { "Company", v("data1"), false }, { "Department", v("data5"), false },
            { "Job Title", v("data4"), false } };
    case pim::KindRelation:
        return { { relCol(e), v("data1"), true } };
    case pim::KindAddress:
        return { { addrCountryCol(e), v("data10"), false }, { addrStateCol(e), v("data8"), false },
            { addrCityCol(e), v("data7"), false }, { addrStreetCol(e), v("data4"), false },
            { addrPostcodeCol(e), v("data9"), false } };
    case pim::KindUrl:
        return { { urlCol(e), v("data1"), true } };
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
