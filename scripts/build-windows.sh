#!/usr/bin/env bash
# Cross-builds Corvane for 64-bit Windows with MinGW into build-win/ and packs
# dist/Corvane-<version>-win64.zip. With --tests it builds the test programs
# too, warnings as errors (the Windows stage of ./test.sh runs them under Wine);
# with --benchmarks, the benchmarks of bench/ as well (scripts/bench-windows.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --windows
qt=$(scripts/build-qt-mingw.sh | tail -n 1)

options=(-DCORVANE_BENCHMARKS=OFF)
case "${1:-}" in
  --tests) options+=(-DCORVANE_WERROR=ON) ;;
  --benchmarks) options=(-DCORVANE_BENCHMARKS=ON -DCORVANE_WERROR=ON) ;;
esac
cmake -S . -B build-win -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
  -DQT_CHAINLOAD_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
  "${options[@]}" >/dev/null
if [ -n "${1:-}" ]; then
  cmake --build build-win
fi
# Names the zip it packs.
cmake --build build-win --target windows_zip
