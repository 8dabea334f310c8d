#!/usr/bin/env bash
# Installs what is missing, builds, and starts Quillon following LOG (several
# LOGs: one view of them all, merged by time). Without LOG it follows a demo
# log that a bundled writer keeps appending to. Without a display it runs on
# Xvfb, saves a screenshot after a few seconds and stops.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install_deps.sh"
"$root/scripts/build.sh" tessel
build=${QUILLON_BUILD:-$root/build}

writer=""
logs=()
if [ $# -ge 1 ]; then
  for given in "$@"; do logs+=("$(realpath "$given")"); done
else
  mkdir -p "$build/demo"
  logs=("$build/demo/demo.log")
  : > "${logs[0]}"
  "$root/scripts/demo_writer.sh" "${logs[0]}" &
  writer=$!
  sleep 1
fi

headless=""
[ -z "${DISPLAY:-}" ] && headless=1
export QUILLON_WINEPREFIX=${QUILLON_WINEPREFIX:-$HOME/.local/share/quillon/wineprefix}
source "$root/scripts/wine_env.sh"
cleanup() {
  [ -n "$writer" ] && kill "$writer" 2>/dev/null || true
  wine_env_stop
}
trap cleanup EXIT
wine_env_start

arguments=()
for log in "${logs[@]}"; do arguments+=("$(winepath -w "$log")"); done
if [ -z "$headless" ]; then
  wine "$build/tessel.exe" "${arguments[@]}" </dev/null >/dev/null 2>&1
else
  wine "$build/tessel.exe" "${arguments[@]}" </dev/null >/dev/null 2>&1 &
  sleep 6
  shot=$build/screenshot.png
  import -display "$DISPLAY" -window root "$shot"
  echo "No display: Quillon ran on Xvfb following ${logs[*]}."
  echo "Screenshot: $shot"
fi
