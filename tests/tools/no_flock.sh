# Sourced by the probe scripts. no_flock DIR: builds into DIR a library that makes every flock of a
# process fail as on a file system that cannot lock (a network mount without locks: ENOLCK); sets
# $no_flock to it, for LD_PRELOAD of the commands that are to run there. Fails without a compiler.
no_flock() {
    no_flock="$1/no_flock.so"
    printf '%s\n' '#include <errno.h>' \
        'int flock(int fd, int operation) { (void)fd; (void)operation; errno = ENOLCK; return -1; }' \
        > "$1/no_flock.c"
    "${CC:-cc}" -shared -fPIC -o "$no_flock" "$1/no_flock.c"
}
