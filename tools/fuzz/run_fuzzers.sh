#!/usr/bin/env bash
# Builds the fuzz targets (tools/fuzz/fuzz_*.cpp) with clang, libFuzzer, ASan and UBSan, and runs
# each for a given time on a copy of its seed corpus (tests/fuzz/corpus/<name>/).
#
#   tools/fuzz/run_fuzzers.sh [-t SECONDS] [-j PARALLEL] [-b BUILD_DIR] [-o OUT_DIR] [TARGET...]
#
# Defaults: 600 seconds per target, 3 targets at a time, build in build-fuzz/, results in
# fuzz-out/<target>/ (grown corpus, crash-* inputs, log). Without TARGET every target runs.
# A crash input found is kept there; copy it into tests/fuzz/corpus/<target>/ once fixed so the
# normal build's replay test keeps it. Ends non-zero when any target found a crash.
set -euo pipefail

seconds=600
parallel=3
root=$(cd "$(dirname "$0")/../.." && pwd)
build="$root/build-fuzz"
out="$root/fuzz-out"
while getopts "t:j:b:o:" opt; do
    case $opt in
    t) seconds=$OPTARG ;;
    j) parallel=$OPTARG ;;
    b) build=$OPTARG ;;
    o) out=$OPTARG ;;
    *) sed -n '2,11p' "$0"; exit 2 ;;
    esac
done
shift $((OPTIND - 1))

# clang with its libFuzzer runtime (Debian 12: clang 14).
if ! command -v clang++ >/dev/null || ! compgen -G "/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" >/dev/null; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get install -y clang libclang-rt-14-dev
fi

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for f in "$root"/tools/fuzz/fuzz_*.cpp; do
        t=$(basename "$f" .cpp)
        targets+=("${t#fuzz_}")
    done
fi

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DQM_BUILD_TESTS=OFF -DQM_FUZZ=ON >/dev/null
nice cmake --build "$build" -j"$parallel" --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

run_one() {
    local t=$1 dir="$out/$1"
    mkdir -p "$dir/corpus"
    cp -n "$root/tests/fuzz/corpus/$t/"* "$dir/corpus/" 2>/dev/null || true
    (cd "$dir" && nice "$build/tools/fuzz/fuzz_$t" -max_total_time="$seconds" -max_len=65536 \
        -timeout=25 -rss_limit_mb=2048 -print_final_stats=1 corpus >"$dir/log.txt" 2>&1) || true
    local execs crashes
    execs=$(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$dir/log.txt" | grep -o '[0-9]*$' || echo "?")
    crashes=$(find "$dir" -maxdepth 1 -name 'crash-*' -o -maxdepth 1 -name 'leak-*' -o -maxdepth 1 -name 'timeout-*' \
        -o -maxdepth 1 -name 'oom-*' | wc -l)
    echo "$t: ${execs} execs, ${crashes} findings, corpus $(ls "$dir/corpus" | wc -l) inputs"
}

mkdir -p "$out"
for t in "${targets[@]}"; do
    run_one "$t" >"$out/$t.summary" 2>&1 &
    while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do
        wait -n || true
    done
done
wait
status=0
for t in "${targets[@]}"; do
    cat "$out/$t.summary"
    if compgen -G "$out/$t/crash-*" >/dev/null || compgen -G "$out/$t/leak-*" >/dev/null; then
        status=1
    fi
done
exit $status
