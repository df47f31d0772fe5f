#!/usr/bin/env bash
# Installs Corvane as a user would, from the build and from the Debian
# package, into scratch folders, and checks what a desktop needs of it.
# Usage: check_packaging.sh BUILD-DIR APP-ID LINK
set -euo pipefail
build=$1
id=$2
link=$3 # the About window's: a web address, or a document relative to the program
scratch=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

echo "-- desktop entry and metadata"
desktop-file-validate "$build/packaging/linux/$id.desktop"
appstreamcli validate --no-net "$build/packaging/linux/$id.metainfo.xml"

echo "-- cmake --install"
prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
installed=(bin/corvane bin/corvane-cmd bin/corvane-copy share/applications/$id.desktop share/metainfo/$id.metainfo.xml
           share/mime/packages/$id.xml share/icons/hicolor/scalable/apps/$id.svg share/doc/corvane/README.md
           share/doc/corvane/docs/corvane.png share/bash-completion/completions/corvane-copy
           share/man/man1/corvane.1.gz share/man/man1/corvane-cmd.1.gz share/man/man1/corvane-copy.1.gz)
for f in "${installed[@]}"; do
  [ -f "$prefix/$f" ] || fail "$f is not installed"
done
# The About window's link opens the installed README.
web_link() { [[ $link == *://* || $link == www.* ]]; }
web_link || [ "$(realpath "$prefix/bin/$link")" = "$(realpath "$prefix/share/doc/corvane/README.md")" ] ||
  fail "the About link $link does not name the installed README"
for size in 16 24 32 48 64 128 256; do
  png=$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png
  [ "$(identify -format '%wx%h' "$png")" = "${size}x${size}" ] || fail "$png is not ${size}x${size}"
done
grep -qx 'Exec=corvane %f' "$prefix/share/applications/$id.desktop" || fail "the entry does not open files"
# The MIME types the entry names are defined, and a job file is recognised as one.
update-mime-database "$prefix/share/mime"
grep -q '^application/x-robocopy-job$' "$prefix/share/mime/types" || fail "job file type not registered"
grep -q '\*\.rcj' "$prefix/share/mime/globs" || fail "job file pattern not registered"

echo "-- cpack -G DEB"
(cd "$build" && cpack -G DEB -B "$scratch/deb" >/dev/null)
deb=$(ls "$scratch"/deb/corvane_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for p in libqt6widgets6 libqt6gui6 libqt6core6 qt6-qpa-plugins; do
  grep -q "\b$p\b" <<<"$depends" || fail "the package does not depend on $p"
done
root=$scratch/root
dpkg -x "$deb" "$root"
[ -x "$root/usr/bin/corvane-cmd" ] || fail "corvane-cmd is not beside the program"
[ -x "$root/usr/bin/corvane-copy" ] || fail "corvane-copy is not beside the program"
for f in "${installed[@]}"; do
  [ -f "$root/usr/$f" ] || fail "the package lacks $f"
done
web_link || [ -f "$root/usr/bin/$link" ] || fail "the packaged About link $link names no file"
[ "$(dpkg-deb -f "$deb" Maintainer)" != "" ] || fail "the package names no maintainer"

echo "-- the packaged corvane-copy copies"
mkdir -p "$scratch/tree/sub"
echo one > "$scratch/tree/a"
echo two > "$scratch/tree/sub/b"
set +e
"$root/usr/bin/corvane-copy" "$scratch/tree" "$scratch/copy" /MIR /NP >"$scratch/copy.log"
code=$?
set -e
[ "$code" = 1 ] || { cat "$scratch/copy.log"; fail "corvane-copy ended with $code, not 1"; }
diff -r "$scratch/tree" "$scratch/copy" || fail "corvane-copy did not copy the tree"

echo "-- the installed program starts"
home=$scratch/home
mkdir -p "$home"
HOME=$home XDG_CONFIG_HOME=$home/.config QT_QPA_PLATFORM=offscreen "$root/usr/bin/corvane" &
pid=$!
# At start-up the store settles where the settings go: Settings.ini beside
# the program when that folder is writable, else the per-user store.
for _ in $(seq 100); do
  [ -f "$root/usr/bin/Settings.ini" ] || [ -f "$home/.config/Corvane/Corvane.conf" ] && break
  kill -0 "$pid" 2>/dev/null || fail "the installed program ended at start-up"
  sleep 0.2
done
[ -f "$root/usr/bin/Settings.ini" ] || [ -f "$home/.config/Corvane/Corvane.conf" ] || fail "no settings store was set up"
sleep 1
kill -0 "$pid" 2>/dev/null || fail "the installed program did not keep running"
echo "PASS"
