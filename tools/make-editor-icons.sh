#!/bin/sh
# Renders the tank profile editor's pictures (tools/editor-icons/*.svg) into the PNG files
# under resources/resources/ that resources/llsui.qrc bundles. Run after editing a source.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
c++ -std=c++17 -fPIC -Wall -Wextra "$here/make-editor-icons.cpp" -o "$work/make-editor-icons" \
    $(pkg-config --cflags --libs Qt5Svg Qt5Gui)
QT_QPA_PLATFORM=offscreen "$work/make-editor-icons" "$here/editor-icons" "$here/../resources/resources"
