#!/usr/bin/env bash
# Builds the release into dist/ (or $QUILLON_DIST): the per-user installer
# quillon-<version>-win64.msi, the portable quillon-<version>-win64.zip, and
# SHA256SUMS over both. The version is the build's (cmake/version.cmake), or
# QUILLON_VERSION for a test build; the program is built in build/ (or
# $QUILLON_BUILD) as the other scripts build it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILLON_BUILD:-$root/build}
dist=${QUILLON_DIST:-$root/dist}
"$root/scripts/install_deps.sh"
"$root/scripts/install_deps.sh" wixl msitools zip
"$root/scripts/build.sh" tessel
version=$(sed -n 's/^#define QUILLON_VERSION_FULL_TEXT "\(.*\)"$/\1/p' "$build/generated/quillon_version.h")
[ -n "$version" ] || { echo "package.sh: no version in $build/generated/quillon_version.h" >&2; exit 1; }
name=quillon-$version-win64

# What both forms hold, with Windows line ends for Notepad.
stage=$build/package
rm -rf "$stage"
mkdir -p "$stage" "$dist"
crlf() { sed 's/\r$//; s/$/\r/' "$@"; }
cp "$build/tessel.exe" "$stage/"
cp "$root/resources/icons/A.ico" "$stage/quillon.ico"
sed "s/@VERSION@/$version/g" "$root/packaging/README.txt" | crlf >"$stage/README.txt"
crlf "$root/LICENSE" >"$stage/LICENSE.txt"

# The licences of what is linked into tessel.exe: PCRE2 as built, and the
# MinGW-w64 runtime (its C runtime start-up and winpthreads) with GCC's
# libgcc and libstdc++, from the packages that hold the libraries linked.
notices() {
  local pcre2 compiler=x86_64-w64-mingw32-g++ library package copyright seen=" "
  pcre2=$(ls -d "$root"/build-deps/pcre2-*/ | head -1)
  cat <<TEXT
Third-party notices for Quillon $version

tessel.exe is linked statically with the libraries below. Their licences
follow, each as its source or its Debian package states it.

TEXT
  printf '=%.0s' {1..78}; printf '\n'
  echo "PCRE2 $(basename "$pcre2" | sed 's/^pcre2-//') (regular expressions)"
  printf '=%.0s' {1..78}; printf '\n\n'
  cat "$pcre2/LICENCE"
  for library in libmingw32.a libmsvcrt.a libwinpthread.a libgcc.a libstdc++.a; do
    package=$(dpkg -S "$(readlink -f "$($compiler -print-file-name=$library)")" | head -1 | cut -d: -f1)
    copyright=$(readlink -f "/usr/share/doc/$package/copyright")
    case $seen in *" $copyright "*) continue ;; esac
    seen="$seen$copyright "
    printf '\n'; printf '=%.0s' {1..78}; printf '\n'
    case $library in
      libmingw32.a | libmsvcrt.a | libwinpthread.a) echo "MinGW-w64 runtime and winpthreads (Debian package $package)" ;;
      *) echo "GCC runtime libraries, libgcc and libstdc++ (Debian package $package)" ;;
    esac
    printf '=%.0s' {1..78}; printf '\n\n'
    cat "$copyright"
  done
}
notices | crlf >"$stage/THIRD-PARTY-NOTICES.txt"

# wixl reads its sources relative to where it runs, and honours neither
# IncludeMaximum nor MigrateFeatures: the upgrade row that removes older
# versions is given both afterwards, so that a package of the same version
# (Windows Installer compares three fields) replaces rather than adds one.
rm -f "$dist/$name.msi" "$dist/$name.zip"
files=(tessel.exe README.txt LICENSE.txt THIRD-PARTY-NOTICES.txt)
size_kb=$(cd "$stage" && cat "${files[@]}" | wc -c | awk '{ print int(($1 + 1023) / 1024) }')
(cd "$stage" && wixl -a x64 -D Version="$version" -D Stage=. -D SizeKb="$size_kb" -o "$stage/$name.msi" \
  "$root/packaging/quillon.wxs")
msiinfo export "$stage/$name.msi" Upgrade |
  awk -F'\t' 'BEGIN { OFS = "\t" } NR > 3 && $7 ~ /^OLDER_VERSION_FOUND\r?$/ { $5 = 1 + 256 + 512 } { print }' \
  >"$stage/Upgrade.idt"
msibuild "$stage/$name.msi" -i "$stage/Upgrade.idt"
msiinfo export "$stage/$name.msi" Upgrade | grep -q $'\t769\t' || { echo "package.sh: upgrade row not set" >&2; exit 1; }
mv "$stage/$name.msi" "$dist/"
(cd "$stage" && zip -q -X "$dist/$name.zip" "${files[@]}")
(cd "$dist" && sha256sum "$name.msi" "$name.zip" >SHA256SUMS)
ls -l "$dist/$name.msi" "$dist/$name.zip" "$dist/SHA256SUMS" | awk '{ print $5, $NF }'
