# Sourced: a private Wine prefix with its own persistent wineserver, started
# with every standard stream on /dev/null so that nothing inherits our pipes,
# and an X display (Xvfb when none is set). wine_env_stop undoes it.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${QUILLON_WINEPREFIX:-$root/build/wineprefix}
export WINEDEBUG=-all
export WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
wineserver_bin=$(command -v wineserver || echo /usr/lib/wine/wineserver)
started_xvfb=""

wine_env_start() {
  mkdir -p "$WINEPREFIX"
  if [ -z "${DISPLAY:-}" ]; then
    local n
    for n in $(seq 90 140); do
      [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
      Xvfb :$n -screen 0 1280x800x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
      started_xvfb=$!
      export DISPLAY=:$n
      break
    done
    for _ in $(seq 50); do [ -e /tmp/.X11-unix/X${DISPLAY#:} ] && break; sleep 0.1; done
  fi
  "$wineserver_bin" -p </dev/null >/dev/null 2>&1
  wineboot </dev/null >/dev/null 2>&1 || true
  # A program that crashes ends at once instead of waiting on Wine's debugger,
  # which would hold a test until CTest's time-out.
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d '' /f \
    </dev/null >/dev/null 2>&1 || true
  if [ -n "$started_xvfb" ]; then
    # No window manager on Xvfb: unmanaged windows, or Wine waits two seconds
    # for one whenever a window is hidden or destroyed.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 || true
  fi
}

# Runs a program that keeps a window on Wine's desktop, so that the desktop
# process is not restarted for every program that follows, and waits until it
# is up: a program that starts the desktop hands it its pipes, and a test run
# by CTest would then never seem to end.
wine_keep_desktop() {
  local ready="$WINEPREFIX/drive_c/desktop-ready"
  rm -f "$ready"
  wine "$1" 'C:\desktop-ready' </dev/null >/dev/null 2>&1 &
  for _ in $(seq 200); do [ -e "$ready" ] && return 0; sleep 0.1; done
  echo "warning: Wine's desktop did not come up within 20 s" >&2
}

wine_env_stop() {
  "$wineserver_bin" -k </dev/null >/dev/null 2>&1 || true
  [ -n "$started_xvfb" ] && kill "$started_xvfb" 2>/dev/null || true
}
