#!/usr/bin/env bash
# Provides Qt 6.4.2 for 64-bit Windows (MinGW-w64, POSIX threads) in a cache
# folder outside the repository, and prints its prefix on the last line.
#
#   scripts/build-qt-mingw.sh          use the shared prebuilt copy, or else
#                                      build Qt once from Debian's qt6-base
#                                      source (about 45 minutes on two cores)
#   scripts/build-qt-mingw.sh --check  never build: print the prefix when a
#                                      Qt is ready or the shared copy can be
#                                      unpacked, else say why and exit 1
#
# The shared copy is ../shared/qt6-mingw/qt6.4.2-mingw-x86_64.tar.xz beside
# the repository; it is used only when its sha256 matches. The cache is
# ${XDG_CACHE_HOME:-$HOME/.cache}/corvane/.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
qt_version=6.4.2
shared_sha256=763393ccd1bea210c0de6c115fc4b108235e7d844f6f4e621fc71cce9c9c92cb
shared_tarball="$repo/../shared/qt6-mingw/qt$qt_version-mingw-x86_64.tar.xz"
cache="${XDG_CACHE_HOME:-$HOME/.cache}/corvane"
prefix="$cache/qt$qt_version-mingw"
# Written last, so a prefix without it is an interrupted attempt.
stamp="$prefix/.corvane-ready"

mode=build
case "${1:-}" in
  "") ;;
  --check) mode=check ;;
  *) echo "usage: $0 [--check]" >&2; exit 2 ;;
esac

say() { echo "build-qt-mingw: $*" >&2; }

ready() { [ -f "$stamp" ] && [ -f "$prefix/lib/cmake/Qt6/qt.toolchain.cmake" ]; }

mkdir -p "$cache"
# One unpacking or build at a time (CI and a developer may share the cache).
exec 9>"$cache/.qt-mingw.lock"
flock 9

if ready; then
  echo "$prefix"
  exit 0
fi

unpack_shared() {
  say "checking $shared_tarball"
  local sum
  sum=$(sha256sum "$shared_tarball" | cut -d' ' -f1)
  if [ "$sum" != "$shared_sha256" ]; then
    say "the shared copy's sha256 is $sum, not $shared_sha256: not used"
    return 1
  fi
  local tmp
  tmp=$(mktemp -d "$cache/unpack.XXXXXX")
  tar -xJf "$shared_tarball" -C "$tmp"
  rm -rf "$prefix"
  mv "$tmp/qt6-mingw" "$prefix"
  rmdir "$tmp"
  echo "shared copy, sha256 $sum" >"$stamp"
  say "unpacked into $prefix"
}

if [ -f "$shared_tarball" ] && unpack_shared; then
  echo "$prefix"
  exit 0
fi

if [ "$mode" = check ]; then
  if [ -f "$shared_tarball" ]; then
    say "no usable Qt for MinGW: the shared copy failed its checksum and $prefix holds none"
  else
    say "no Qt for MinGW: neither ../shared/qt6-mingw nor $prefix has one (scripts/build-qt-mingw.sh builds it, about 45 minutes)"
  fi
  exit 1
fi

# ---- Building from Debian's source

say "building Qt $qt_version for MinGW from Debian's qt6-base source into $prefix (about 45 minutes on two cores)"

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"

# Host tools (moc, rcc, uic) come from Debian's own Qt of the same version.
packages=(cmake ninja-build perl xz-utils dpkg-dev qt6-base-dev qt6-base-dev-tools g++-mingw-w64-x86-64-posix)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
fi
host_version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
case "$host_version" in
  "$qt_version"+*|"$qt_version"-*) ;;
  *) say "Debian's qt6-base-dev is $host_version; the host tools must be Qt $qt_version"; exit 1 ;;
esac

# Source entries for the Debian archive that is already configured, once.
if ! apt-cache showsrc qt6-base 2>/dev/null | grep -q '^Package: qt6-base'; then
  list=/etc/apt/sources.list.d/corvane-deb-src
  tmp=$(mktemp)
  # deb822 files: every stanza of a Debian archive of type "deb", as "deb-src".
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk 'BEGIN { RS = ""; ORS = "\n\n" }
         /(^|\n)Types:[ \t]*deb[ \t]*(\n|$)/ && /(^|\n)URIs:[^\n]*debian/ {
           sub(/(^|\n)Types:[ \t]*deb[ \t]*(\n|$)/, "\nTypes: deb-src\n"); sub(/^\n/, ""); print }' "$f" >>"$tmp"
  done
  if [ -s "$tmp" ]; then
    $SUDO cp "$tmp" "$list.sources"
  fi
  # One-line entries.
  if [ -f /etc/apt/sources.list ] && grep -Eq '^deb [^#]*debian' /etc/apt/sources.list; then
    grep -E '^deb [^#]*debian' /etc/apt/sources.list | sed 's/^deb /deb-src /' >"$tmp"
    $SUDO cp "$tmp" "$list.list"
  fi
  rm -f "$tmp"
  $SUDO apt-get update -qq
fi

work="$cache/qt-source-build"
mkdir -p "$work"
cd "$work"
# The original tree (qtbase-everywhere-src-6.4.2) without Debian's patches.
orig=$(ls qt6-base_"$qt_version"*.orig.tar.* 2>/dev/null | head -n 1 || true)
if [ -z "$orig" ]; then
  apt-get source --download-only qt6-base </dev/null
  orig=$(ls qt6-base_"$qt_version"*.orig.tar.* 2>/dev/null | head -n 1 || true)
  [ -n "$orig" ] || { say "apt-get source qt6-base brought no Qt $qt_version source"; exit 1; }
fi
rm -rf src build
mkdir src
tar -xf "$orig" -C src
top=$(ls src) # qtbase-everywhere-src-6.4.2

rm -rf "$prefix"
cmake -S "src/$top" -B build -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
  -DFEATURE_sql=OFF -DFEATURE_opengl=OFF -DFEATURE_dynamicgl=OFF -DFEATURE_dbus=OFF \
  -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_network=OFF \
  -DFEATURE_tabletevent=OFF \
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
  -DFEATURE_system_freetype=OFF -DFEATURE_system_jpeg=OFF
cmake --build build --parallel "$(nproc)"
cmake --install build
echo "built from Debian's qt6-base source ($(basename "$orig"))" >"$stamp"
# The build tree is large; the downloaded source stays for a rebuild.
rm -rf "$work/build" "$work/src"
say "built into $prefix"
echo "$prefix"
