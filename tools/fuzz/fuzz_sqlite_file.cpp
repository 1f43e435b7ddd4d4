// Fuzz entry point: a database file read raw for deleted rows: the freelist, every b-tree from the
// first page and each table root, cells with their overflow chains, and carving of every page with
// the message and handle shapes.
#include "messages/modern/IOS6HandleRecovery.h"
#include "messages/modern/MessageCarveLayouts.h"
#include "messages/store/Sqlite3File.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <stdexcept>

namespace
{

void walk(const Sqlite3File& f)
{
    for (quint32 t = f.firstFreeTrunkPage(), n = 0; t > 0 && n < 64; t = f.freeTrunkPage(t).nextTrunk, ++n)
        f.freeTrunkPage(t);
    static const _SqliteCarveShape shapes[] = {_SqliteCarveShape(messageCarveLayouts().last()),
        _SqliteCarveShape(IOS6HandleRecovery::layouts().first())};
    for (qint64 p = 1; p <= qMin<qint64>(f.pages(), 64); ++p) {
        const _SqliteBtreePage page = f.btreePage(p);
        for (const _SqliteBtreePage& leaf : f.leafs(page)) {
            for (const char* cell : leaf.cells)
                f.cellRowData(f.pageCellRow(leaf, cell));
        }
        for (const _SqliteCarveShape& shape : shapes) {
            if (page.isBtreePage())
                f.recoverFreeBlockRows(shape, 0, page, nullptr);
            else
                f.recoverFreeBlockRowsRaw(shape, 0, p, 0, nullptr);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("input.db"));
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    out.write(reinterpret_cast<const char*>(data), qint64(size));
    out.close();
    try {
        Sqlite3File f(path);
        f.open();
        walk(f);
    } catch (const std::runtime_error&) {
    }
    return 0;
}
