#!/usr/bin/env bash
# Runs a benchmark of bench/ under Wine, built for Windows into build-win/:
#
#   scripts/bench-windows.sh bench_exit 10
#
# It runs twice: on a display without a window manager, as Wine runs on a
# test machine's X server, and in Wine's virtual desktop. The Wine prefix is
# a scratch one of its own, build-win/wine-bench.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
if [ $# -lt 1 ]; then
  echo "usage: $0 BENCHMARK [ARGUMENTS...]" >&2
  exit 2
fi
name=$1
shift

if [ -z "${CORVANE_WINE_DISPLAY:-}" ]; then
  scripts/build-windows.sh --benchmarks
  exec env CORVANE_WINE_DISPLAY=1 xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$name" "$@"
fi

qt=$(scripts/build-qt-mingw.sh --check 2>/dev/null | tail -n 1)
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
export WINEPREFIX="$root/build-win/wine-bench" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap '"$wineserver" -k 2>/dev/null || true' EXIT
if [ ! -f "$WINEPREFIX/.corvane-ready" ]; then
  echo "Preparing the Wine prefix $WINEPREFIX"
  rm -rf "$WINEPREFIX"
  "$wine" wineboot -i >/dev/null 2>&1
  cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  "$wineserver" -w
  touch "$WINEPREFIX/.corvane-ready"
fi

# The Qt and MinGW DLLs along WINEPATH, as for the tests.
dll_dirs="Z:$qt/bin"
for dll in libstdc++-6.dll libwinpthread-1.dll; do
  dll_dirs+=";Z:$(dirname "$(realpath "$(x86_64-w64-mingw32-g++-posix -print-file-name=$dll)")")"
done
exe="$root/build-win/bench/$name.exe"

echo "Under Wine, no window manager:"
WINEPATH="$dll_dirs" "$wine" "$exe" "$@"
echo "Under Wine, in its virtual desktop:"
WINEPATH="$dll_dirs" "$wine" explorer /desktop=bench,1280x1024 "$exe" "$@"
