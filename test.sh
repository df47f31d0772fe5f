#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless; then the
# Windows stage (scripts/test-windows.sh) whenever a Qt for MinGW is at hand.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j 2 </dev/null)
# Pictures of the windows to look at, in build/screenshots.
QT_QPA_PLATFORM=offscreen build/tests/screenshots/corvane_screenshots build/screenshots >/dev/null

if reason=$(scripts/build-qt-mingw.sh --check 2>&1 >/dev/null); then
  scripts/test-windows.sh </dev/null
else
  echo "Windows stage skipped: ${reason##*build-qt-mingw: }"
fi
