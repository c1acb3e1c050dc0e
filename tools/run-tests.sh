#!/bin/sh
# Installs what is missing, builds Pellora and runs the whole test suite headless.
# PELLORA_ASAN=1 builds and tests with AddressSanitizer in build-asan/ instead; PELLORA_QT=6
# builds and tests against Qt 6 in build-qt6/.
set -eu
cd "$(dirname "$0")/.."
sh tools/install-deps.sh
if [ "${PELLORA_ASAN:-0}" = "1" ]; then
    build=build-asan
    set -- -DPELLORA_ASAN=ON -DCMAKE_BUILD_TYPE=Debug
elif [ "${PELLORA_QT:-5}" = "6" ]; then
    build=build-qt6
    set -- -DPELLORA_QT=6
else
    build=build
    set --
fi
cmake -S . -B "$build" "$@"
cmake --build "$build" -j "$(nproc)"
cd "$build"
# The test programs spend most of their time waiting on the (simulated) line, so they run side by
# side; each has its own simulator, ports, files and offscreen display.
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "${PELLORA_TEST_JOBS:-6}"
