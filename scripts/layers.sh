#!/usr/bin/env bash
# Prints which program folders include which, and fails when an include points
# up the layers: each folder may use only the folders below it (and the
# resource ids, which every layer may name).
set -euo pipefail
cd "$(dirname "$0")/.."
layers=(core engine ui extras commands shell)
status=0
for ((i = 0; i < ${#layers[@]}; i++)); do
  folder=${layers[i]}
  used=$(grep -ho '^#include "[a-z_]*/' "$folder"/*.h "$folder"/*.cpp | sed 's/#include "//; s#/##' | sort -u |
         grep -vx -e "$folder" -e resources || true)
  printf '%-9s -> %s\n' "$folder" "$(echo $used)"
  for other in $used; do
    allowed=no
    for ((j = 0; j < i; j++)); do [ "${layers[j]}" = "$other" ] && allowed=yes; done
    if [ $allowed = no ]; then
      echo "  $folder must not include $other:" >&2
      grep -n "^#include \"$other/" "$folder"/*.h "$folder"/*.cpp | sed 's/^/    /' >&2
      status=1
    fi
  done
done
# The core builds without windows.
if grep -ln -e '<windows.h>' -e '"resources/' core/*; then
  echo "  core must not include windows.h or the resource ids" >&2
  status=1
fi
exit $status
