#!/usr/bin/env bash
# Builds the benchmark into its own folder and runs it once under a private
# Wine prefix, started and stopped here. Prints the detail of each part, then
# the table: metric | Quillon | baseline | goal. Takes about three minutes.
#
#   bench/run.sh                 parts 1 to 7 (browsing b, find f, stopping a find s and go to time t
#                                only when asked)
#   bench/run.sh --parts 34      only some (1 throughput, 2 open, 3 delay, 4 rate, 5 idle CPU,
#                                6 delay seen from another process, 7 start to final rows,
#                                b browsing a 1 GiB log: earlier rows, around a line, memory,
#                                f find through a 1 GiB log, s Esc during a costly find and in a 3 GiB
#                                line, t go to time on a 6 GiB log)
#
#   QUILLON_BENCH_BUILD    build folder (default: build-bench at the top)
#   QUILLON_BENCH_PREFIX   Wine prefix (default: /tmp/benchwp)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

export QUILLON_BUILD=${QUILLON_BENCH_BUILD:-$root/build-bench}
if ! build_log=$("$root/scripts/build.sh" quillon_bench tessel 2>&1); then
  printf '%s\n' "$build_log" >&2
  exit 1
fi

export QUILLON_WINEPREFIX=${QUILLON_BENCH_PREFIX:-/tmp/benchwp}
source "$root/scripts/wine_env.sh"
trap wine_env_stop EXIT
wine_env_start

# Our wineserver is the one started for this prefix; its CPU is read from /proc.
server_pid=0
for pid in $(pgrep -x 'wineserver(64)?' || true); do
  if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
    server_pid=$pid
    break
  fi
done

# Other work on the machine skews every figure here; say how busy it was.
echo "load average before the run: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) CPUs"
wine_program=$(command -v wine64 || { [ -x /usr/lib/wine/wine64 ] && echo /usr/lib/wine/wine64; } || echo wine)
"$wine_program" "$QUILLON_BUILD/bench/quillon_bench.exe" \
  --wineserver-pid "$server_pid" --clock-ticks "$(getconf CLK_TCK)" "$@" </dev/null
