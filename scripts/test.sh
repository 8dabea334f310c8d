#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite under Wine,
# headless when no display is set, with a private CUPS scheduler and printer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install_deps.sh"
"$root/scripts/build.sh"
source "$root/scripts/cups_env.sh"
source "$root/scripts/wine_env.sh"
trap 'wine_env_stop; cups_stop' EXIT
cups_start  # before Wine starts: its printers come from CUPS_SERVER
wine_env_start
build=${QUILLON_BUILD:-$root/build}
wine_keep_desktop "$build/tests/desktop_keeper.exe"
cd "$build"
ctest --output-on-failure --timeout 300 -j2 "$@" </dev/null
