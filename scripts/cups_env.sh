# Sourced: a private CUPS scheduler for the printing tests, kept in the build
# folder with its own configuration, spool, logs and a local socket (no network
# port), so the machine's own printing is neither used nor changed. Its one
# PostScript queue "Quillon", the default, prints to a file there; Wine's
# printing reaches it through CUPS_SERVER. A watcher turns each finished job
# into text for the tests: $QUILLON_PRINT_DIR/<document title>.txt, pages ended
# by form feeds. cups_stop ends both.
cups_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cups_dir=${QUILLON_BUILD:-$cups_root/build}/cups
cups_pid=""
cups_watch_pid=""

cups_start() {
  if [ ! -x /usr/sbin/cupsd ] || ! command -v ps2pdf >/dev/null || ! command -v pdftotext >/dev/null; then
    echo "error: cupsd, ps2pdf or pdftotext missing (scripts/install_deps.sh installs them)" >&2
    return 1
  fi
  cups_stop_stale
  rm -rf "$cups_dir"
  mkdir -p "$cups_dir"
  local dir=$cups_dir
  # As root the scheduler runs its filters as lp, which must reach the spool;
  # and a socket's path has room for about 100 bytes.
  if [ ${#dir} -gt 90 ] || { [ "$(id -u)" -eq 0 ] && ! setpriv --reuid=lp --regid=lp --clear-groups test -x "$dir"; }; then
    dir=$(mktemp -d /tmp/quillon-cups.XXXXXX) && chmod 755 "$dir" && ln -s "$dir" "$cups_dir/tree" || return 1
  fi
  mkdir -p "$dir"/{conf/ppd,conf/ssl,spool/tmp,cache,state,log,out}
  cat >"$dir/conf/cups-files.conf" <<EOF
ServerRoot $dir/conf
ServerKeychain $dir/conf/ssl
RequestRoot $dir/spool
TempDir $dir/spool/tmp
CacheDir $dir/cache
StateDir $dir/state
AccessLog $dir/log/access_log
ErrorLog $dir/log/error_log
PageLog $dir/log/page_log
Printcap $dir/state/printcap
CreateSelfSignedCerts no
FileDevice Yes
EOF
  cat >"$dir/conf/cupsd.conf" <<EOF
Listen $dir/cups.sock
Browsing No
BrowseLocalProtocols none
WebInterface No
DefaultAuthType None
ErrorPolicy abort-job
PreserveJobHistory No
<Location />
Order Allow,Deny
Allow all
</Location>
<Policy default>
<Limit All>
Order Deny,Allow
</Limit>
</Policy>
EOF
  /usr/sbin/cupsd -f -c "$dir/conf/cupsd.conf" -s "$dir/conf/cups-files.conf" </dev/null >"$dir/log/cupsd.out" 2>&1 &
  cups_pid=$!
  echo "$cups_pid" >"$cups_dir/pid"
  export CUPS_SERVER=$dir/cups.sock
  local _
  for _ in $(seq 100); do lpstat -r 2>/dev/null | grep -q 'is running' && break; sleep 0.1; done
  # Raw queues print nothing to a file device: the sample PostScript driver does.
  if ! lpadmin -p Quillon -E -v "file:$dir/out/job.ps" -m drv:///sample.drv/generic.ppd 2>/dev/null ||
     ! lpadmin -d Quillon 2>/dev/null; then
    echo "error: the private CUPS scheduler did not take the printer Quillon; see $dir/log" >&2
    return 1
  fi
  cups_watch "$dir/out" </dev/null >/dev/null 2>"$dir/log/watch.log" &
  cups_watch_pid=$!
  export QUILLON_PRINT_DIR=$dir/out
}

# A job's file is complete once the queue holds no unfinished job; the tests
# print one job at a time and wait for its text.
cups_watch() {
  local out=$1 jobs title
  set +e
  while :; do
    if [ -s "$out/job.ps" ] && jobs=$(lpstat -o Quillon 2>/dev/null) && [ -z "$jobs" ]; then
      mv "$out/job.ps" "$out/done.ps"
      title=$(sed -n '/^%%EndComments/q;s/^%%Title: *//p' "$out/done.ps" | head -n 1 | tr -d '\r')
      title=${title#(} title=${title%)}  # a title the filter wrote is a PostScript string
      title=${title//[^A-Za-z0-9._-]/_}
      ps2pdf "$out/done.ps" "$out/done.pdf" && pdftotext -layout "$out/done.pdf" "$out/${title:-untitled}.part" &&
        mv "$out/${title:-untitled}.part" "$out/${title:-untitled}.txt"
      rm -f "$out/done.ps" "$out/done.pdf"
    fi
    sleep 0.1
  done
}

# A scheduler left by an interrupted run of this build folder.
cups_stop_stale() {
  local pid dir
  dir=$(readlink "$cups_dir/tree" 2>/dev/null) || dir=$cups_dir
  pid=$(cat "$cups_dir/pid" 2>/dev/null) || pid=""
  if [ -n "$pid" ] && tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -qF "/usr/sbin/cupsd -f -c $dir/conf/cupsd.conf"; then
    kill "$pid" 2>/dev/null || true
  fi
  [ "$dir" != "$cups_dir" ] && rm -rf "$dir"
  return 0
}

cups_stop() {
  [ -n "$cups_watch_pid" ] && kill "$cups_watch_pid" 2>/dev/null || true
  if [ -n "$cups_pid" ]; then
    kill "$cups_pid" 2>/dev/null || true
    local _
    for _ in $(seq 50); do kill -0 "$cups_pid" 2>/dev/null || break; sleep 0.1; done
  fi
  local tree
  tree=$(readlink "$cups_dir/tree" 2>/dev/null) && rm -rf "$tree"
  rm -f "$cups_dir/pid" "$cups_dir/tree"
  cups_pid="" cups_watch_pid=""
  return 0
}
