#!/usr/bin/env bash
# Installs what is missing, builds, and starts Corvane. Without a display the
# program runs on a virtual one and a screenshot of its window is saved.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec ./build/corvane
fi

shot="$PWD/corvane-screenshot.png"
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  ./build/corvane &
  pid=$!
  id=$(timeout 30 xdotool search --sync --onlyvisible --name "^Corvane$" | head -n 1)
  sleep 1
  import -window "$id" "$1"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
' _ "$shot"
echo "$shot"
