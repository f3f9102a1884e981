#!/usr/bin/env bash
# Installs what is missing, builds the dependencies (cached) and the project
# into build/ (or $VL_BUILD_DIR).
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"
bash scripts/install-packages.sh
prefix="$(bash scripts/build-deps.sh | tail -n1)"
build="${VL_BUILD_DIR:-$top/build}"
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
    -DVL_DEPS_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j "$(nproc)"
