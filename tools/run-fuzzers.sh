#!/bin/sh
# Builds the fuzz targets with clang (address and undefined-behaviour sanitizers) in build-fuzz
# and runs each for SECONDS (default 600), two at a time, from the seeds in fuzz/seeds. Prints
# the runs and findings of each target; a crash's input is left in build-fuzz/findings/<target>/,
# to be fixed and then kept in fuzz/regressions/<target>/.
#
#   tools/run-fuzzers.sh [SECONDS] [target ...]
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-600}
[ $# -gt 0 ] && shift
targets=${*:-identity replies catalogue settings fpc csv}
sh tools/install-deps.sh
if ! command -v clang++ >/dev/null 2>&1 || ! ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
    if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends clang libclang-rt-dev
fi
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DPELLORA_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build-fuzz -j "$(nproc)"

run() {
    t=$1
    mkdir -p "build-fuzz/corpus/$t" "build-fuzz/findings/$t"
    QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 build-fuzz/bin/fuzz_$t -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="build-fuzz/findings/$t/" \
        "build-fuzz/corpus/$t" "fuzz/seeds/$t" > "build-fuzz/fuzz_$t.log" 2>&1 || true
}
set -- $targets
while [ $# -gt 0 ]; do
    run "$1" &
    if [ $# -gt 1 ]; then run "$2" & shift; fi
    shift
    wait
done

printf '| Target | Runs | Seconds | Corpus | Findings |\n|---|---:|---:|---:|---:|\n'
for t in $targets; do
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "build-fuzz/fuzz_$t.log" | tail -n 1)
    corpus=$(ls "build-fuzz/corpus/$t" | wc -l)
    findings=$(ls "build-fuzz/findings/$t" | wc -l)
    printf '| %s | %s | %s | %s | %s |\n' "$t" "${runs:-?}" "$seconds" "$corpus" "$findings"
done
