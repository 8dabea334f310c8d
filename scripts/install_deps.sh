#!/usr/bin/env bash
# Installs what building and running Quillon needs on Debian, when missing;
# given package names, those instead.
set -euo pipefail
packages=(g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 cmake ninja-build wine wine64 xvfb
          googletest imagemagick
          cups ghostscript poppler-utils)  # the printing tests' private scheduler, ps2pdf, pdftotext
[ $# -gt 0 ] && packages=("$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi
