#pragma once

// A file layer for databases that are only read, and read through (a whole manifest): SQLite gets
// its pages in place from blocks of 64 KB that the layer reads with one system call each, instead
// of one system call and one copy into its page cache per page. The blocks are ordinary memory
// filled by reads, never a mapping of the file, so a read error on a removable drive is reported as
// by SQLite's own layer (a page the layer cannot serve is read by that layer). Everything else goes
// to SQLite's own layer unchanged.
//
// Use: open with vfs name() (read-only), then "pragma mmap_size" to any positive value, which is
// what makes SQLite ask a file layer for pages in place.
class BlockReadVfs
{
public:
    // Registers the layer on first use; null when SQLite has no default layer to wrap.
    static const char* name();
};
