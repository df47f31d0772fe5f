#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need,
# and only when one of them is missing. With --windows, also what the
# Windows build and its tests under Wine need.
set -euo pipefail

packages=(
  cmake make g++ pkg-config
  clang libclang-rt-14-dev
  qt6-base-dev libgl1-mesa-dev fonts-dejavu-core
  xvfb xauth xdotool xclip imagemagick
  g++-mingw-w64-x86-64
  desktop-file-utils appstream shared-mime-info dpkg-dev groff-base man-db   # packaging; man pages checked
  perl rsync strace time   # the copy soak (bench/copy-soak.sh) and benchmark (bench/copy-bench.sh)
  systemd cron             # scheduled commands: systemd-analyze judges the units, crontab the fallback
  exfat-fuse exfatprogs ntfs-3g   # the copy engine's tests on Windows file systems (tests/copy/)
)
if [ "${1:-}" = "--windows" ]; then
  # Wine's own fonts (Tahoma, Marlett) make the window look as on Windows.
  packages+=(g++-mingw-w64-x86-64-posix ninja-build wine64 fonts-wine)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
fi
