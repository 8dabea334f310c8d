#!/usr/bin/env bash
# Installs what is missing, builds, and starts Quillon following LOG. Without
# LOG it follows a demo log that a bundled writer keeps appending to. Without a
# display it runs on Xvfb, saves a screenshot after a few seconds and stops.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install_deps.sh"
"$root/scripts/build.sh" tessel
build=${QUILLON_BUILD:-$root/build}

writer=""
if [ $# -ge 1 ]; then
  log=$(realpath "$1")
else
  mkdir -p "$build/demo"
  log=$build/demo/demo.log
  : > "$log"
  "$root/scripts/demo_writer.sh" "$log" &
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

if [ -z "$headless" ]; then
  wine "$build/tessel.exe" "$(winepath -w "$log")" </dev/null >/dev/null 2>&1
else
  wine "$build/tessel.exe" "$(winepath -w "$log")" </dev/null >/dev/null 2>&1 &
  sleep 6
  shot=$build/screenshot.png
  import -display "$DISPLAY" -window root "$shot"
  echo "No display: Quillon ran on Xvfb following $log."
  echo "Screenshot: $shot"
fi
