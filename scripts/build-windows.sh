#!/usr/bin/env bash
# Cross-builds Corvane for 64-bit Windows with MinGW into build-win/ and packs
# dist/Corvane-<version>-win64.zip. With --tests it builds the test programs
# too, warnings as errors (the Windows stage of ./test.sh runs them under Wine).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --windows
qt=$(scripts/build-qt-mingw.sh | tail -n 1)

tests=()
[ "${1:-}" = "--tests" ] && tests=(-DCORVANE_WERROR=ON)
cmake -S . -B build-win -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
  -DQT_CHAINLOAD_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
  -DCORVANE_BENCHMARKS=OFF "${tests[@]}" >/dev/null
if [ "${1:-}" = "--tests" ]; then
  cmake --build build-win
fi
# Names the zip it packs.
cmake --build build-win --target windows_zip
