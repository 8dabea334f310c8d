# Sourced: CUPS with the cups-pdf printer "PDF" as the default printer, for the
# printing tests, which print through Wine and read back what was printed.
# Starts the scheduler directly when it is not running (there is no systemd to
# ask), points cups-pdf at one folder, exported as QUILLON_PDF_DIR, where each
# job becomes the text pdftotext reads from its PDF: <title>...txt, pages ended
# by form feeds. It needs root, or sudo without a password; without them the
# printing tests skip.
cups_start() {
  local out=/var/spool/cups-pdf/quillon conf=/etc/cups/cups-pdf.conf as_root=""
  local post=/usr/local/lib/quillon/pdf-to-text
  if [ "$(id -u)" -ne 0 ]; then
    if sudo -n true 2>/dev/null; then as_root="sudo -n"; else
      echo "warning: neither root nor sudo: no CUPS printer, the printing tests skip" >&2
      return 0
    fi
  fi
  if [ ! -x /usr/sbin/cupsd ] || [ ! -f "$conf" ]; then
    echo "warning: CUPS or cups-pdf missing: the printing tests skip" >&2
    return 0
  fi
  if ! lpstat -r 2>/dev/null | grep -q 'is running'; then
    $as_root /usr/sbin/cupsd </dev/null >/dev/null 2>&1 || true  # it forks into the background
    for _ in $(seq 100); do lpstat -r 2>/dev/null | grep -q 'is running' && break; sleep 0.1; done
  fi
  $as_root mkdir -p "${post%/*}"
  printf '#!/bin/sh\n# cups-pdf post-processing: the PDF becomes its text.\n%s -layout "$1" "$1.part" && mv "$1.part" "${1%%.pdf}.txt"\nrm -f "$1"\n' \
    "$(command -v pdftotext || echo /usr/bin/pdftotext)" | $as_root tee "$post" >/dev/null
  $as_root chmod 755 "$post"
  cups_pdf_set Out "$out"
  cups_pdf_set PostProcessing "$post"
  # cups-pdf writes as the job's owner.
  $as_root mkdir -p "$out" && $as_root chmod 1777 "$out" || true
  if ! lpstat -p PDF >/dev/null 2>&1; then
    $as_root lpadmin -p PDF -E -v cups-pdf:/ -m lsb/usr/cups-pdf/CUPS-PDF_opt.ppd >/dev/null 2>&1 || true
  fi
  $as_root lpadmin -d PDF >/dev/null 2>&1 || true
  if lpstat -p PDF >/dev/null 2>&1; then
    export QUILLON_PDF_DIR=$out
  else
    echo "warning: the CUPS printer PDF could not be set up: the printing tests skip" >&2
  fi
}

cups_pdf_set() {  # key value: one line in cups-pdf.conf
  grep -qx "$1 $2" "$conf" && return 0
  $as_root sed -i "/^$1[[:space:]]/d" "$conf"
  echo "$1 $2" | $as_root tee -a "$conf" >/dev/null
}
