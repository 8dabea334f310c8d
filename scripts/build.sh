#!/usr/bin/env bash
# Configures and builds everything into build/ (or $QUILLON_BUILD).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILLON_BUILD:-$root/build}
"$root/scripts/fetch_pcre2.sh"
cmake -G Ninja -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
  -DQUILLON_VERSION="${QUILLON_VERSION:-}" \
  -DCMAKE_BUILD_TYPE=Release ${QUILLON_CMAKE_ARGS:-} >/dev/null
ninja -C "$build" "$@"
