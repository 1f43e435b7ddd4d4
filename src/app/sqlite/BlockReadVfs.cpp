#include "app/sqlite/BlockReadVfs.h"

#include <algorithm>
#include <memory>
#include <new>
#include <sqlite3.h>

namespace
{

constexpr sqlite3_int64 kBlock = 64 * 1024;
// Blocks per file. SQLite holds a few pages at once (a cursor's path from the root, the first
// page); a page it asks for while every block is held is read the ordinary way.
constexpr int kBlocks = 8;

struct Block {
    sqlite3_int64 start = -1; // file offset; -1 when empty
    int length = 0; // bytes read
    int refs = 0; // pages handed out and not yet given back
    std::unique_ptr<char[]> bytes;
};

struct File {
    sqlite3_file base; // first: SQLite sees a File as a sqlite3_file
    sqlite3_file* real; // SQLite's own file, in the same allocation after this struct
    sqlite3_int64 size;
    Block blocks[kBlocks];
    int nextVictim;

    const sqlite3_io_methods* realMethods() const { return real->pMethods; }
};

sqlite3_vfs* g_realVfs = nullptr;

File* fileOf(sqlite3_file* f)
{
    return reinterpret_cast<File*>(f);
}

// The block holding [off, off + amount), read now when no block holds it; null when it cannot.
Block* blockFor(File* f, sqlite3_int64 off, int amount)
{
    const sqlite3_int64 start = off / kBlock * kBlock;
    if (amount <= 0 || off + amount > start + kBlock || off + amount > f->size)
        return nullptr;
    Block* victim = nullptr;
    for (int i = 0; i < kBlocks; ++i) {
        Block& b = f->blocks[(f->nextVictim + i) % kBlocks];
        if (b.start == start)
            return &b;
        if (!victim && b.refs == 0)
            victim = &b;
    }
    if (!victim)
        return nullptr;
    f->nextVictim = int(victim - f->blocks + 1) % kBlocks;
    if (!victim->bytes)
        victim->bytes.reset(new (std::nothrow) char[kBlock]);
    victim->start = -1;
    const int length = int(std::min(kBlock, f->size - start));
    if (!victim->bytes || f->realMethods()->xRead(f->real, victim->bytes.get(), length, start) != SQLITE_OK)
        return nullptr; // SQLite's own read reports the error
    victim->start = start;
    victim->length = length;
    return victim;
}

int xFetch(sqlite3_file* file, sqlite3_int64 off, int amount, void** pp)
{
    *pp = nullptr;
    if (Block* b = blockFor(fileOf(file), off, amount)) {
        ++b->refs;
        *pp = b->bytes.get() + (off - b->start);
    }
    return SQLITE_OK;
}

int xUnfetch(sqlite3_file* file, sqlite3_int64, void* page)
{
    if (!page)
        return SQLITE_OK;
    for (Block& b : fileOf(file)->blocks)
        if (b.bytes && page >= b.bytes.get() && page < b.bytes.get() + kBlock) {
            --b.refs;
            break;
        }
    return SQLITE_OK;
}

int xClose(sqlite3_file* file)
{
    File* f = fileOf(file);
    const int rc = f->realMethods()->xClose(f->real);
    f->~File();
    return rc;
}

int xFileControl(sqlite3_file* file, int op, void* arg)
{
    // The pages-in-place limit is this layer's business: SQLite's own layer would map the file.
    if (op == SQLITE_FCNTL_MMAP_SIZE)
        return SQLITE_OK;
    return fileOf(file)->realMethods()->xFileControl(fileOf(file)->real, op, arg);
}

// The rest is SQLite's own layer.
int xRead(sqlite3_file* f, void* buf, int n, sqlite3_int64 off)
{
    return fileOf(f)->realMethods()->xRead(fileOf(f)->real, buf, n, off);
}
int xWrite(sqlite3_file* f, const void* buf, int n, sqlite3_int64 off)
{
    return fileOf(f)->realMethods()->xWrite(fileOf(f)->real, buf, n, off);
}
int xTruncate(sqlite3_file* f, sqlite3_int64 size)
{
    return fileOf(f)->realMethods()->xTruncate(fileOf(f)->real, size);
}
int xSync(sqlite3_file* f, int flags)
{
    return fileOf(f)->realMethods()->xSync(fileOf(f)->real, flags);
}
int xFileSize(sqlite3_file* f, sqlite3_int64* size)
{
    return fileOf(f)->realMethods()->xFileSize(fileOf(f)->real, size);
}
int xLock(sqlite3_file* f, int level)
{
    return fileOf(f)->realMethods()->xLock(fileOf(f)->real, level);
}
int xUnlock(sqlite3_file* f, int level)
{
    return fileOf(f)->realMethods()->xUnlock(fileOf(f)->real, level);
}
int xCheckReservedLock(sqlite3_file* f, int* out)
{
    return fileOf(f)->realMethods()->xCheckReservedLock(fileOf(f)->real, out);
}
int xSectorSize(sqlite3_file* f)
{
    return fileOf(f)->realMethods()->xSectorSize(fileOf(f)->real);
}
int xDeviceCharacteristics(sqlite3_file* f)
{
    return fileOf(f)->realMethods()->xDeviceCharacteristics(fileOf(f)->real);
}

int xShmMap(sqlite3_file* f, int region, int size, int extend, void volatile** out)
{
    return fileOf(f)->realMethods()->xShmMap(fileOf(f)->real, region, size, extend, out);
}
int xShmLock(sqlite3_file* f, int offset, int n, int flags)
{
    return fileOf(f)->realMethods()->xShmLock(fileOf(f)->real, offset, n, flags);
}
void xShmBarrier(sqlite3_file* f)
{
    fileOf(f)->realMethods()->xShmBarrier(fileOf(f)->real);
}
int xShmUnmap(sqlite3_file* f, int deleteFlag)
{
    return fileOf(f)->realMethods()->xShmUnmap(fileOf(f)->real, deleteFlag);
}

const sqlite3_io_methods kMethods = {
    3,
    xClose,
    xRead,
    xWrite,
    xTruncate,
    xSync,
    xFileSize,
    xLock,
    xUnlock,
    xCheckReservedLock,
    xFileControl,
    xSectorSize,
    xDeviceCharacteristics,
    xShmMap,
    xShmLock,
    xShmBarrier,
    xShmUnmap,
    xFetch,
    xUnfetch,
};

int xOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags)
{
    file->pMethods = nullptr;
    if (!(flags & SQLITE_OPEN_READONLY))
        return SQLITE_CANTOPEN;
    auto* real = reinterpret_cast<sqlite3_file*>(reinterpret_cast<char*>(file) + sizeof(File));
    int rc = g_realVfs->xOpen(g_realVfs, name, real, flags, outFlags);
    if (rc != SQLITE_OK)
        return rc;
    sqlite3_int64 size = 0;
    if (real->pMethods->xFileSize(real, &size) != SQLITE_OK)
        size = 0; // pages are then all read the ordinary way
    new (file) File { { &kMethods }, real, size, {}, 0 };
    return SQLITE_OK;
}

int xDelete(sqlite3_vfs*, const char* name, int syncDir)
{
    return g_realVfs->xDelete(g_realVfs, name, syncDir);
}
int xAccess(sqlite3_vfs*, const char* name, int flags, int* out)
{
    return g_realVfs->xAccess(g_realVfs, name, flags, out);
}
int xFullPathname(sqlite3_vfs*, const char* name, int n, char* out)
{
    return g_realVfs->xFullPathname(g_realVfs, name, n, out);
}
int xRandomness(sqlite3_vfs*, int n, char* out)
{
    return g_realVfs->xRandomness(g_realVfs, n, out);
}
int xSleep(sqlite3_vfs*, int us)
{
    return g_realVfs->xSleep(g_realVfs, us);
}
int xCurrentTime(sqlite3_vfs*, double* out)
{
    return g_realVfs->xCurrentTime(g_realVfs, out);
}
int xGetLastError(sqlite3_vfs*, int n, char* out)
{
    return g_realVfs->xGetLastError ? g_realVfs->xGetLastError(g_realVfs, n, out) : 0;
}
int xCurrentTimeInt64(sqlite3_vfs*, sqlite3_int64* out)
{
    return g_realVfs->xCurrentTimeInt64(g_realVfs, out);
}

const char* registerVfs()
{
    static sqlite3_vfs vfs;
    sqlite3_initialize();
    g_realVfs = sqlite3_vfs_find(nullptr);
    if (!g_realVfs || g_realVfs->iVersion < 2)
        return nullptr;
    vfs = *g_realVfs; // loading extensions and the like as SQLite's own layer does
    vfs.iVersion = 2;
    vfs.pNext = nullptr;
    vfs.szOsFile = int(sizeof(File)) + g_realVfs->szOsFile;
    vfs.zName = "qm-blockread";
    vfs.xOpen = xOpen;
    vfs.xDelete = xDelete;
    vfs.xAccess = xAccess;
    vfs.xFullPathname = xFullPathname;
    vfs.xRandomness = xRandomness;
    vfs.xSleep = xSleep;
    vfs.xCurrentTime = xCurrentTime;
    vfs.xGetLastError = xGetLastError;
    vfs.xCurrentTimeInt64 = xCurrentTimeInt64;
    return sqlite3_vfs_register(&vfs, 0) == SQLITE_OK ? vfs.zName : nullptr;
}

} // namespace

const char* BlockReadVfs::name()
{
    static const char* const registered = registerVfs();
    return registered;
}
