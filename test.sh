#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors, and runs every
# test headless; then the same tests built for debugging with the address
# and undefined-behaviour sanitizers; then the Windows stage
# (scripts/test-windows.sh) whenever a Qt for MinGW is at hand.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh -DCORVANE_WERROR=ON
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j 2 </dev/null)
# corvane-copy killed at random moments on a changing tree, a few runs (the
# soak itself is 50: see README.md).
SOAK_FILES=1000 bench/copy-soak.sh 4 </dev/null
# Pictures of the windows to look at, in build/screenshots; then the same
# windows as Qt draws them on a KDE desktop with a dark colour scheme, read
# from tests/screenshots/kde-dark/ (kde_dark_*.png).
QT_QPA_PLATFORM=offscreen build/tests/screenshots/corvane_screenshots build/screenshots >/dev/null
xvfb-run -a env QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$PWD/tests/screenshots/kde-dark" XDG_CURRENT_DESKTOP=KDE \
  KDE_FULL_SESSION=true KDE_SESSION_VERSION=5 \
  build/tests/screenshots/corvane_screenshots --system-theme kde_dark build/screenshots >/dev/null

# Assertions on, AddressSanitizer and UndefinedBehaviorSanitizer, in build-asan/,
# built with clang: a second compiler's warnings and checks at no extra time.
# -O1, as the sanitizers advise: the tests run in a quarter of the time.
# Installing and the Win32 compile checks are the same code, and stay out.
cmake -S . -B build-asan -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
  -DCORVANE_SANITIZE=ON -DCORVANE_WERROR=ON -DCORVANE_BENCHMARKS=OFF >/dev/null
cmake --build build-asan -j "$(nproc)"
(cd build-asan && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j 2 -E '^(packaging|run_win32_.*)$' </dev/null)

if reason=$(scripts/build-qt-mingw.sh --check 2>&1 >/dev/null); then
  scripts/test-windows.sh </dev/null
else
  echo "Windows stage skipped: ${reason##*build-qt-mingw: }"
fi
