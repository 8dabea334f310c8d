#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite under Wine,
# headless when no display is set, with CUPS and its PDF printer running.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install_deps.sh"
"$root/scripts/build.sh"
source "$root/scripts/cups_env.sh"
cups_start
source "$root/scripts/wine_env.sh"
trap wine_env_stop EXIT
wine_env_start
build=${QUILLON_BUILD:-$root/build}
wine_keep_desktop "$build/tests/desktop_keeper.exe"
cd "$build"
ctest --output-on-failure --timeout 300 -j2 "$@" </dev/null
