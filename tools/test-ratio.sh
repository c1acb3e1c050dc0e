#!/bin/sh
# Prints the size of the tests against the size of the code: non-blank lines of the committed
# *.cpp and *.h files under tests/ (and the fuzz targets under fuzz/) against those under app/,
# device/, lls/, files/, ncps/ and tools/. Benchmarks count for neither. The project keeps the
# ratio at 0.40 or less, and aims for a third.
set -eu
cd "$(dirname "$0")/.."
count() {
    git ls-files -- "$@" | grep -E '\.(cpp|h)$' | while read -r f; do cat "$f"; done | grep -c -v -E '^[[:space:]]*$' || true
}
code=$(count app device lls files ncps tools)
tests=$(count tests fuzz)
awk -v t="$tests" -v c="$code" 'BEGIN { printf "tests %d / code %d = %.2f\n", t, c, t / c }'
