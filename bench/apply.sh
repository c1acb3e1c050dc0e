#!/bin/sh
# --apply to one simulated sensor against eight at once, for a settings file and for an FPC file:
# every sensor is worked on its own thread, so eight should cost little more than one.
#
#   bench/apply.sh [folder of pellora and pellora-sim]     (default build-release/bin)
set -eu
cd "$(dirname "$0")/.."
bin=${1:-build-release/bin}
sensor=tools/sensors/02-ils-voltage.json
tmp=$(mktemp -d)
sim=
trap '[ -n "$sim" ] && kill "$sim" 2>/dev/null; rm -rf "$tmp"' EXIT
export PELLORA_EXTRA_PORTS=
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM || true

# Starts the simulator with the given sensors; their ports end up in $ports.
simulate() {
    [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null || true
    rm -f "$tmp/sim.out"
    "$bin/pellora-sim" "$@" > "$tmp/sim.out" 2>/dev/null &
    sim=$!
    while ! grep -q '^PELLORA_EXTRA_PORTS=' "$tmp/sim.out" 2>/dev/null; do sleep 0.05; done
    ports=$(sed -n 's/^PELLORA_EXTRA_PORTS=//p' "$tmp/sim.out")
}

# Milliseconds that one --apply of the file takes; the program must report every sensor applied.
timed_apply() {
    start=$(date +%s%N)
    "$bin/pellora" --apply "$1" --ports "$ports" > "$tmp/apply.out" || { cat "$tmp/apply.out" >&2; exit 1; }
    echo $(( ($(date +%s%N) - start) / 1000000 ))
}

simulate "$sensor"
"$bin/pellora" --backup "$tmp/files" --ports "$ports" > /dev/null
conf=$(ls "$tmp"/files/*.conf)
fpc=$(ls "$tmp"/files/*.fpc)
conf1=$(timed_apply "$conf")
fpc1=$(timed_apply "$fpc")
simulate "$sensor" "$sensor" "$sensor" "$sensor" "$sensor" "$sensor" "$sensor" "$sensor"
conf8=$(timed_apply "$conf")
fpc8=$(timed_apply "$fpc")
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo "apply settings file: 1 sensor $conf1 ms, 8 sensors $conf8 ms, ratio $(ratio "$conf8" "$conf1")"
echo "apply FPC file: 1 sensor $fpc1 ms, 8 sensors $fpc8 ms, ratio $(ratio "$fpc8" "$fpc1")"
