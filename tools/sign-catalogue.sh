#!/bin/sh
# Signs a device catalogue in place: line 2 becomes "checksum=" and the SHA-1 of line 3 to the end.
# Usage: tools/sign-catalogue.sh [data/DeviceCatalogue.ini]
set -eu
file=${1:-"$(dirname "$0")/../data/DeviceCatalogue.ini"}
if grep -q "$(printf '\r')" "$file"; then
    echo "sign-catalogue: $file has CR line ends; save it with LF line ends" >&2
    exit 1
fi
digest=$(tail -n +3 "$file" | sha1sum | cut -d' ' -f1)
tmp=$(mktemp)
{ head -n 1 "$file"; echo "checksum=$digest"; tail -n +3 "$file"; } > "$tmp"
size=$(wc -c < "$tmp")
if [ "$size" -ge 2000 ]; then
    echo "sign-catalogue: $file would be $size bytes; the program refuses 2000 or more" >&2
    rm -f "$tmp"
    exit 1
fi
cat "$tmp" > "$file"
rm -f "$tmp"
echo "signed $file ($size bytes, checksum=$digest)"
