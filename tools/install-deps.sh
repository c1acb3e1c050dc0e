#!/bin/sh
# Installs the Debian/Ubuntu packages Pellora needs to build and test, if any is missing.
set -eu
# PELLORA_QT=6 asks for the Qt 6 packages instead of the Qt 5 ones.
if [ "${PELLORA_QT:-5}" = "6" ]; then
    qt="qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-svg-dev libgl-dev"
else
    qt="qtbase5-dev libqt5serialport5-dev libqt5svg5-dev"
fi
packages="build-essential cmake pkg-config $qt fonts-dejavu-core"
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
