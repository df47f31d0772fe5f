#!/usr/bin/env bash
# Makes the recorded outputs of corvane-copy in this folder (corvane-*.txt),
# which test_run_window reads back: one small tree copied with a different
# switch set each time. Run as root after a build:
#     tests/run/data/record.sh build/corvane-copy
# The runs are real, so the dates, times and the scratch folder's name in
# the files change with each recording; the counts the test expects do not.
set -euo pipefail
copy=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d /tmp/corvane-record.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"

make_trees() {
  rm -rf src dst
  mkdir -p src/sub/deep src/m.dat.d dst/olddir dst/m.dat
  printf '%100s' a >src/a.txt
  printf '%2000s' b >src/b.txt
  head -c $((3 * 1024 * 1024)) /dev/zero >src/sub/c.bin
  printf '%10s' d >src/sub/deep/d.txt
  printf 'same' >src/e.txt
  cp -p src/e.txt dst/e.txt
  printf 'newer' >src/f.txt
  printf 'old' >dst/f.txt
  touch -d '2020-01-01' dst/f.txt
  printf 'file' >src/m.dat          # a folder of that name waits in the destination
  printf 'extra' >dst/x_extra.txt
  printf 'gone' >dst/olddir/old.txt
}

record() { # name switches...
  local name=$1
  shift
  make_trees
  "$copy" "$scratch/src" "$scratch/dst" "$@" >"$here/corvane-$name.txt" || true
}

record copy /E
record mt /E /MT:4
record np-bytes /E /NP /BYTES
record nfl-ndl /E /NFL /NDL
record list-v-ts-fp /E /L /V /TS /FP
record ns-nc-eta /E /NS /NC /ETA
# Only extras to delete: the destination holds everything of the source.
make_trees
"$copy" "$scratch/src" "$scratch/dst" /E /NJH /NJS >/dev/null || true
rm -rf dst/m.dat
mkdir -p dst/olddir && printf 'gone' >dst/olddir/old.txt && printf 'extra' >dst/x_extra.txt
"$copy" "$scratch/src" "$scratch/dst" /MIR /NP >"$here/corvane-mirror-deletes.txt" || true
# A file the copy cannot read, by a user who may not: errors, a retry, failures.
make_trees
chmod 000 src/b.txt
chmod -R a+rwX dst
chmod 755 "$scratch"
setpriv --reuid=nobody --regid=nogroup --clear-groups "$copy" "$scratch/src" "$scratch/dst" /E /R:1 /W:0 \
  >"$here/corvane-errors.txt" || true
