#!/bin/sh
# Builds Pellora in release mode (build-release/) and prints one table of its performance
# figures, each with its goal. Everything runs headless against pellora-sim.
#
#   bench/run-benchmarks.sh [--no-build]
set -eu
cd "$(dirname "$0")/.."
if [ "${1:-}" != "--no-build" ]; then
    sh tools/install-deps.sh
    cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF > /dev/null
    cmake --build build-release -j "$(nproc)" > /dev/null
fi
bin=build-release/bin
export QT_QPA_PLATFORM=offscreen
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

"$bin/bench_transport" 3 > "$tmp/transport" 2>/dev/null
"$bin/bench_lls_load" > "$tmp/load" 2>/dev/null || true
"$bin/bench_lls_load" 5 --trace "$tmp/trace.txt" > "$tmp/load-traced" 2>/dev/null || true
"$bin/bench_shell_responsiveness" --poll-seconds 10 > "$tmp/shell" 2>/dev/null
"$bin/bench_minimal_widgets" > "$tmp/minimal" 2>/dev/null
# The whole scan with 1 and with 27 silent ports beside the 8 simulated sensors: probed at once.
"$bin/bench_shell_responsiveness" --silent 1 --poll-seconds 1 > "$tmp/scan1" 2>/dev/null
"$bin/bench_shell_responsiveness" --silent 27 --poll-seconds 1 > "$tmp/scan27" 2>/dev/null
sh bench/apply.sh "$bin" > "$tmp/apply"
"$bin/bench_benchview" > "$tmp/benchview" 2>/dev/null

# The value after a label in a benchmark's output: field N of the first matching line.
pick() { grep -m1 "$2" "$tmp/$1" | awk -v n="$3" '{ print $n }'; }

silent=$(grep '^silent port' "$tmp/transport" | awk '{ s += $3; n++ } END { printf "%.0f", s / n }')
hungup=$(grep '^hung-up port' "$tmp/transport" | awk '{ s += $3; n++ } END { printf "%.0f", s / n }')

echo "| Measure | Figure | Goal |"
echo "|---|---:|---|"
echo "| Scan time per silent port | $silent ms | (three 500 ms waits) |"
echo "| Request to a hung-up port | $hungup ms | no spinning |"
echo "| Whole scan of 35 ports (27 silent) against 9 ports (1 silent) | $(pick scan27 'scan finished after' 4) ms / $(pick scan1 'scan finished after' 4) ms | under 2.5 s; about one silent port |"
for kind in "settings file" "FPC file"; do
    echo "| --apply of $([ "$kind" = "FPC file" ] && echo an || echo a) $kind to 8 sensors against 1 | $(pick apply "$kind" 10) ms / $(pick apply "$kind" 6) ms (ratio $(pick apply "$kind" 13)) | at most 1.3 |"
done
for kind in "settings file" "FPC file"; do
    echo "| The bench view applying $([ "$kind" = "FPC file" ] && echo an || echo a) $kind to 8 sensors against 1 | $(pick benchview "$kind" 12) ms / $(pick benchview "$kind" 8) ms (ratio $(pick benchview "$kind" 15 | tr -d ';')) | at most 1.3 |"
    echo "| Longest GUI stall while the bench view works 1 and 8 sensors ($kind) | $(pick benchview "$kind" 19) ms / $(pick benchview "$kind" 22) ms | under 16 ms |"
done
echo "| Longest GUI stall during the scan of 35 ports | $(pick scan27 'stall during the scan' 8) ms | under 16 ms |"
grep '^| ' "$tmp/load" | grep -v -e '^| Sensor' | while IFS='|' read -r _ sensor exchanges waits wall floor ratio strict simulator program _; do
    echo "| Load of $(echo $sensor) ($(echo $exchanges) exchanges, $(echo $waits) quiet waits) | $(echo $wall) ms; ratio to the floor $(echo $strict); the simulator's own $(echo $simulator) ms, the program's $(echo $program) ms an exchange | under 1.05 |"
done
untraced=$(grep '^| ' "$tmp/load" | grep -v '^| Sensor' | awk -F'|' '{ s += $5 } END { print s }')
traced=$(grep '^| ' "$tmp/load-traced" | grep -v '^| Sensor' | awk -F'|' '{ s += $5 } END { print s }')
echo "| All loads with --trace against without | $traced ms / $untraced ms ($(awk -v a="$traced" -v b="$untraced" 'BEGIN { printf "%+.1f", 100 * (a - b) / b }') %) | under 2 % |"
echo "| Level sensor measurement period | $(pick shell 'level sensor measurement period' 5) ms | 200 ms + the exchange |"
echo "| Position sensor measurement period | $(pick shell 'position sensor measurement period' 5) ms | one exchange |"
echo "| Longest GUI stall during a scan | $(pick shell 'stall during the scan' 8) ms | under 16 ms |"
echo "| Opening a level sensor's page, first and again (the page built ahead, then its first layout and paint) | $(pick shell 'form opened in' 6) ms / $(pick shell 'form opened again in' 7) ms | under 16 ms |"
echo "| Longest GUI stall at the list while the next level sensor page is built ahead | $(pick shell 'while the next page is built ahead' 13) ms | (what an opening cost before; at a quiet moment) |"
echo "| Longest GUI stall while a level sensor loads | $(grep -m1 'stall during the load' "$tmp/shell" | sed 's/.*load: //') | under 16 ms |"
echo "| Longest GUI stall while polling a level sensor | $(pick shell 'level sensor polling' 6) ms | under 16 ms |"
echo "| Longest GUI stall while polling a position sensor | $(pick shell 'position sensor polling' 6) ms | under 16 ms |"
echo "| CPU while polling a level sensor | $(grep -m1 'level sensor polling' "$tmp/shell" | sed 's/.*CPU //; s/ of one core//') of one core | under 3 % |"
echo "| CPU while polling a position sensor | $(grep -m1 'position sensor polling' "$tmp/shell" | sed 's/.*CPU //; s/ of one core//') of one core | under 3 % |"
echo "| Start-up to the first painted window | $(pick shell 'from process start' 5) ms | under 150 ms |"
pellora=$(grep -m1 'position sensor measurement period' "$tmp/shell" | sed 's/.*memory //; s/ MB//')
minimal=$(pick minimal 'minimal widgets' 7)
echo "| Peak memory while polling, against a one-label Qt program | $pellora MB / $minimal MB (+$(awk -v a="$pellora" -v b="$minimal" 'BEGIN { printf "%.1f", a - b }') MB) | at most 15 MB more |"
