#!/bin/sh
# Installs the Debian/Ubuntu packages Pellora needs to build and test, if any is missing.
set -eu
packages="build-essential cmake pkg-config qtbase5-dev libqt5serialport5-dev libqt5svg5-dev fonts-dejavu-core"
missing=""
for p in $packages; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends $missing
