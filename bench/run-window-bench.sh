#!/usr/bin/env bash
# The run window against the console: the same copy of many small files run
# by corvane-cmd, the stand-in console that shows a run today, and by
# Corvane's run window (build/bench/bench_run_window: the listing beside the
# run, the output read, counted and shown). Each copy goes into a fresh
# destination; the two take turns, RUN_BENCH_REPS times (default 5). Prints
# each time, the medians, the ratio and whether the window stayed within
# the target (at most 5 % longer), and the run window's peak memory.
#
#   RUN_BENCH_FILES   files of 1 KiB, 1,000 to a folder (default 100000)
#   RUN_BENCH_REPS    runs of each (default 5)
#   RUN_BENCH_PLACE   where the trees go (default /dev/shm: the copy is
#                     quickest there, so the window's share shows most)
#   RUN_BENCH_SWITCHES  more switches for the copy (say "/MT:8" or "/NP")
# Needs only a build (scripts/build.sh); runs headless (offscreen).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
files=${RUN_BENCH_FILES:-100000}
reps=${RUN_BENCH_REPS:-5}
place=${RUN_BENCH_PLACE:-/dev/shm}
switches=${RUN_BENCH_SWITCHES:-}
for program in build/corvane-cmd build/corvane-copy build/bench/bench_run_window; do
  [ -x "$program" ] || { echo "$program is missing: run scripts/build.sh" >&2; exit 1; }
done
work=$(mktemp -d "$place/corvane-run-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
# No ROBOCOPY.EXE along PATH: both run corvane-copy from build/.
export PATH=/usr/sbin:/usr/bin:/sbin:/bin QT_QPA_PLATFORM=offscreen

echo "making $files files of 1 KiB in $work"
python3 - "$work/src" "$files" <<'PY'
import os, sys
root, n = sys.argv[1], int(sys.argv[2])
block = b'x' * 1024
for i in range(n):
    folder = os.path.join(root, 'folder %03d' % (i // 1000))
    if i % 1000 == 0:
        os.makedirs(folder)
    with open(os.path.join(folder, 'file %05d.txt' % i), 'wb') as f:
        f.write(block)
PY

command="cmd.exe /c ROBOCOPY.EXE $work/src $work/dst /E $switches"
run() { # tool: prints the seconds the run took
  rm -rf "$work/dst"
  sync
  local start end
  start=$(date +%s.%N)
  case $1 in
    console) "$root/build/corvane-cmd" "$command" >/dev/null 2>&1 || true ;;
    window) "$root/build/bench/bench_run_window" "$command" >/dev/null 2>"$work/window.err" || true ;;
  esac
  end=$(date +%s.%N)
  local copied
  copied=$(find "$work/dst" -type f | wc -l)
  [ "$copied" -eq "$files" ] || { echo "$1 copied $copied of $files files" >&2; exit 1; }
  echo "$end - $start" | bc
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

console=() window=()
for i in $(seq 1 "$reps"); do
  # Each goes first in turn, so that neither always meets a warm cache.
  if [ $((i % 2)) -eq 1 ]; then order="console window"; else order="window console"; fi
  for tool in $order; do
    t=$(run "$tool")
    printf 'run %d  %-8s %6.2f s\n' "$i" "$tool" "$t"
    if [ "$tool" = console ]; then console+=("$t"); else window+=("$t"); fi
  done
done
c=$(printf '%s\n' "${console[@]}" | median)
w=$(printf '%s\n' "${window[@]}" | median)
ratio=$(echo "scale=3; $w / $c" | bc)
met=$(echo "$ratio <= 1.05" | bc)
echo
printf '| %s files of 1 KiB on %s %s | median of %d runs |\n' "$files" "$place" "$switches" "$reps"
printf '|---|---|\n'
printf '| console (corvane-cmd) | %.2f s |\n' "$c"
printf '| run window | %.2f s |\n' "$w"
printf '| run window / console | %.3f (target <= 1.05: %s) |\n' "$ratio" "$([ "$met" = 1 ] && echo met || echo missed)"
grep -h 'peak memory' "$work/window.err" || true
