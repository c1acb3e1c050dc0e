#!/bin/sh
# Installs what is missing, builds Pellora, starts simulated sensors on pseudo-terminals and
# opens the program on them. The simulator stops when the program closes.
set -eu
cd "$(dirname "$0")/.."
sh tools/install-deps.sh
cmake -S . -B build
cmake --build build -j "$(nproc)"

log=$(mktemp)
build/bin/pellora-sim "$@" > "$log" &
sim=$!
trap 'kill $sim 2>/dev/null; rm -f "$log"' EXIT INT TERM
ports=""
for _ in $(seq 100); do
    ports=$(sed -n 's/^PELLORA_EXTRA_PORTS=//p' "$log")
    [ -n "$ports" ] && break
    sleep 0.1
done
if [ -z "$ports" ]; then
    echo "pellora-sim did not start" >&2
    exit 1
fi
grep -v '^PELLORA_EXTRA_PORTS=' "$log"
# The program opens Pellora_Help.pdf from its working folder: start it beside the PDF.
cd build/bin
PELLORA_EXTRA_PORTS="$ports" ./pellora
