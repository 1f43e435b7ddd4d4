# Sourced by the probe scripts. failing_reads DIR: builds into DIR a library under which the reads of
# the file $FAIL_READS fail as a failing disk's do, from its byte $FAIL_READS_AT on (EIO; a read that
# begins before is cut short there); sets $failing_reads to it, for LD_PRELOAD. Fails without a compiler.
failing_reads() {
    failing_reads="$1/failing_reads.so"
    cat > "$1/failing_reads.c" << 'CODE'
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
static ssize_t allowed(int fd, off_t off, size_t n)
{
    struct stat bad, st;
    if (!getenv("FAIL_READS") || stat(getenv("FAIL_READS"), &bad) != 0 || fstat(fd, &st) != 0
        || st.st_dev != bad.st_dev || st.st_ino != bad.st_ino)
        return (ssize_t)n;
    const off_t left = atoll(getenv("FAIL_READS_AT")) - off;
    errno = EIO;
    return left <= 0 ? -1 : (ssize_t)((size_t)left < n ? (size_t)left : n);
}
#define PASS(call, fd, off, n, ...) \
    ssize_t ok = allowed(fd, off, n); \
    return ok < 0 ? -1 : ((__typeof__(&call))dlsym(RTLD_NEXT, #call))(__VA_ARGS__)
ssize_t read(int fd, void* b, size_t n) { PASS(read, fd, lseek(fd, 0, SEEK_CUR), n, fd, b, (size_t)ok); }
ssize_t pread(int fd, void* b, size_t n, off_t o) { PASS(pread, fd, o, n, fd, b, (size_t)ok, o); }
ssize_t pread64(int fd, void* b, size_t n, off_t o) { PASS(pread64, fd, o, n, fd, b, (size_t)ok, o); }
ssize_t copy_file_range(int in, loff_t* io, int out, loff_t* oo, size_t n, unsigned f)
{
    PASS(copy_file_range, in, io ? *io : lseek(in, 0, SEEK_CUR), n, in, io, out, oo, (size_t)ok, f);
}
CODE
    "${CC:-cc}" -shared -fPIC -o "$failing_reads" "$1/failing_reads.c" -ldl
}
