#!/usr/bin/env bash
# Configures and builds into build/. Arguments go to CMake as they are
# (./test.sh passes -DCORVANE_WERROR=ON).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build build -j "$(nproc)"
