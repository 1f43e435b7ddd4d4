# Sourced by the probe scripts. hold_folders SECONDS FOLDER...: another program holds the folders
# exclusive (as a write into a backup does) for SECONDS, in the background; returns once they are
# held, its process id in $held_pid.
hold_folders() {
    local seconds=$1 ready
    shift
    ready=$(mktemp)
    /usr/bin/python3 -c 'import fcntl, os, sys, time
fds = [os.open(folder, os.O_RDONLY) for folder in sys.argv[2:]]
for fd in fds:
    fcntl.flock(fd, fcntl.LOCK_EX)
print("held", flush=True)
time.sleep(float(sys.argv[1]))' "$seconds" "$@" > "$ready" &
    held_pid=$!
    for _ in $(seq 100); do grep -q held "$ready" && break; sleep 0.05; done
    rm -f "$ready"
}
