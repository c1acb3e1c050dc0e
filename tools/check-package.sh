#!/bin/sh
# Builds the Debian package in a build folder (default build/), unpacks it into a scratch root,
# and checks it as a user would find it: it depends on no -dev package, and its program starts
# from the installed place and answers --version and --list with no display.
#
#   sh tools/check-package.sh [build folder]
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
(cd "$build" && cpack -G DEB > /dev/null)
deb=$(ls -t "$build"/pellora_*.deb | head -n 1)
depends=$(dpkg-deb -f "$deb" Depends)
echo "$deb: Depends: $depends"
case "$depends" in
*-dev*) echo "the package depends on a development package" >&2; exit 1 ;;
esac
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"
program="$root/usr/bin/pellora"
[ -x "$program" ] || { echo "no program at /usr/bin/pellora in the package" >&2; exit 1; }
for file in usr/lib/pellora/DeviceCatalogue.ini usr/lib/pellora/Pellora_Help.pdf usr/share/applications/pellora.desktop; do
    [ -f "$root/$file" ] || { echo "$file is missing from the package" >&2; exit 1; }
done
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM PELLORA_EXTRA_PORTS= "$program" --version
# No port to search: the list is empty (exit code 1), but the program ran and read its catalogue.
status=0
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM PELLORA_EXTRA_PORTS= "$program" --list --ports /dev/pellora-no-such-port || status=$?
[ "$status" -eq 1 ] || { echo "--list ended with $status" >&2; exit 1; }
echo "package ok"
