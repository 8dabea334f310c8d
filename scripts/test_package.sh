#!/usr/bin/env bash
# Builds the release and installs it for real under Wine, in a fresh prefix of
# its own (build/package-test/wineprefix): a silent install, the program run
# from where it was installed, a file association made through it and kept by
# an upgrade's removal, an upgrade by a package of a higher version that keeps
# the settings, a silent uninstall that takes the association back, and the
# zip unpacked and run. Prints each check; fails when any fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILLON_BUILD:-$root/build}
work=$build/package-test
rm -rf "$work"
mkdir -p "$work/logs"

# The release as package.sh makes it, and one of a higher version (Windows
# Installer compares three fields: the third is raised), built apart.
"$root/scripts/package.sh"
"$root/scripts/build.sh" package_probe
version=$(sed -n 's/^#define QUILLON_VERSION_FULL_TEXT "\(.*\)"$/\1/p' "$build/generated/quillon_version.h")
IFS=. read -r major minor patch build_number <<<"$version"
[ "$patch" -lt 255 ] || { echo "test_package.sh: no higher third field after $version" >&2; exit 1; }
next=$major.$minor.$((patch + 1)).$build_number
QUILLON_VERSION=$next QUILLON_BUILD=$work/build-next QUILLON_DIST=$work/dist-next \
  QUILLON_CMAKE_ARGS="${QUILLON_CMAKE_ARGS:-} -DBUILD_TESTING=OFF" "$root/scripts/package.sh"
first_msi=$root/dist/quillon-$version-win64.msi
next_msi=$work/dist-next/quillon-$next-win64.msi

export QUILLON_WINEPREFIX=$work/wineprefix
source "$root/scripts/wine_env.sh"
trap wine_env_stop EXIT
wine_env_start

failures=0
check() {  # check "what is checked" command...
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what" >&2; failures=$((failures + 1)); fi
}
same_file() { cmp -s "$1" "$2"; }
fails() { ! "$@"; }
windows_path() { winepath -w "$1" 2>/dev/null; }
folder_of() { winepath -u "$(wine cmd /c echo "%$1%" 2>/dev/null | tr -d '\r')" 2>/dev/null; }
msiexec_quiet() { wine msiexec "$1" "$(windows_path "$2")" /qn "${@:3}" </dev/null >/dev/null 2>&1; }
# A value's data (the key's default with an empty name), empty when missing.
reg_value() {
  local options=(/v "$2")
  [ -z "$2" ] && options=(/ve)
  wine reg query "$1" "${options[@]}" 2>/dev/null | tr -d '\r' | awk -F'    ' 'NF >= 4 && !done { print $4; done = 1 }' || true
}
key_exists() { wine reg query "$1" >/dev/null 2>&1; }
# The keys of the installed programs list's entries named Quillon, for this user or the machine.
list_entries() {
  local hive
  for hive in HKCU HKLM; do
    wine reg query "$hive\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall" /s 2>/dev/null | tr -d '\r' |
      awk -F'    ' '/^HKEY_/ { key = $0 } $2 == "DisplayName" && $4 == "Quillon" { print key }' || true
  done
}
one_entry_of_version() {
  local entries
  mapfile -t entries < <(list_entries)
  [ ${#entries[@]} -eq 1 ] && [ "$(reg_value "${entries[0]}" DisplayVersion)" = "$1" ] &&
    [ "$(reg_value "${entries[0]}" Publisher)" = Morvane ]
}
# The size as Windows Installer counts it, or as the package states it.
entry_has_size() {
  local entry
  entry=$(list_entries | head -1)
  [ $(($(reg_value "$entry" EstimatedSize))) -gt 0 ] || [ "$(reg_value "$entry" Size)" -gt 0 ] 2>/dev/null
}
# The entry's icon: DisplayIcon, or the product's registered icon, an icon file that is there.
entry_has_icon() {
  local entry icon
  entry=$(list_entries | head -1)
  icon=$(reg_value "$entry" DisplayIcon)
  [ -n "$icon" ] || icon=$(wine reg query 'HKCU\Software\Microsoft\Installer\Products' /s 2>/dev/null | tr -d '\r' |
    awk -F'    ' '/^HKEY_/ { icon = "" } $2 == "ProductIcon" { icon = $4 }
                  $2 == "ProductName" && $4 == "Quillon" { quillon = icon } END { print quillon }' || true)
  [ -n "$icon" ] && [ "$(head -c 4 "$(winepath -u "${icon%,*}")" | od -An -tx1 | tr -d ' ')" = 00000100 ]
}
settings() { wine reg query 'HKCU\Software\Morvane\Quillon' 2>/dev/null | tr -d '\r' | grep -v '^HKEY_' || true; }
shortcut_points_at() { [ -f "$shortcut" ] && { strings -a "$shortcut"; strings -a -el "$shortcut"; } | grep -iF "$1" >/dev/null; }
# .log points at Quillon's file type for the user, which opens the installed program.
associated() {
  [ "$(reg_value 'HKCU\Software\Classes\.log' '')" = Kavex.Quillon.1 ] &&
    [[ "$(reg_value 'HKCU\Software\Classes\Kavex.Quillon.1\shell\open\command' '')" == *"$installed_path"* ]]
}
probe() { wine "$(windows_path "$build/tests/package_probe.exe")" "$(windows_path "$1")" "$(windows_path "$log")" "$2" \
            'first row' 'second row' </dev/null; }

log=$work/logs/app.log
printf 'first row\r\nsecond row\r\n' >"$log"
programs=$(folder_of LOCALAPPDATA)/Programs/Quillon
shortcut="$(folder_of APPDATA)/Microsoft/Windows/Start Menu/Programs/Quillon.lnk"
installed_path='Programs\Quillon\tessel.exe'

echo "== install $version"
check "msiexec /i installs silently" msiexec_quiet /i "$first_msi"
check "tessel.exe installed, as built" same_file "$programs/tessel.exe" "$build/tessel.exe"
for file in README.txt LICENSE.txt THIRD-PARTY-NOTICES.txt; do
  check "$file installed beside it" same_file "$programs/$file" "$build/package/$file"
done
check "a Start menu shortcut to it" shortcut_points_at "$installed_path"
check "one entry in the installed programs, version $version, publisher Morvane" one_entry_of_version "$version"
check "the entry has a size" entry_has_size
check "the entry has the program's icon" entry_has_icon
check "the installed program shows the log's rows" probe "$programs/tessel.exe" 0
check "and its associations dialog saves .log as Quillon's" probe "$programs/tessel.exe" 1
check ".log is Quillon's for the user" associated
wine reg add 'HKCU\Software\Morvane\Quillon' /v 'lines limit' /t REG_DWORD /d 4321 /f >/dev/null 2>&1
kept=$(settings)
check "there are settings to keep (the history the program stored, a value written here)" \
  bash -c '[[ "$1" == *"history 0"*app.log* && "$1" == *"lines limit"* ]]' - "$kept"

# An upgrade removes the older product with UPGRADINGPRODUCTCODE set, and the
# associations stay; Wine's upgrade does not set it (and so takes them back),
# so the removal an upgrade makes on Windows is made here by hand.
echo "== removed as an upgrade removes it"
check "msiexec /x with UPGRADINGPRODUCTCODE removes it" \
  msiexec_quiet /x "$first_msi" 'UPGRADINGPRODUCTCODE={00000000-0000-0000-0000-000000000001}'
check "its files are gone" test ! -e "$programs/tessel.exe"
check "the association stays for the version that follows" associated
check "and it installs again" msiexec_quiet /i "$first_msi"

echo "== upgrade to $next"
check "msiexec /i of the higher version installs silently" msiexec_quiet /i "$next_msi"
check "tessel.exe replaced by the higher version's" same_file "$programs/tessel.exe" "$work/build-next/tessel.exe"
check "one entry in the installed programs, version $next" one_entry_of_version "$next"
check "the shortcut stays" shortcut_points_at "$installed_path"
check "the settings are kept" test "$(settings)" = "$kept"
check "the associations dialog of the higher version saves .log as Quillon's" probe "$programs/tessel.exe" 1
check ".log is Quillon's for the user" associated

echo "== uninstall"
check "msiexec /x uninstalls silently" msiexec_quiet /x "$next_msi"
check "the program's folder is gone" test ! -e "$programs"
check "the shortcut is gone" test ! -e "$shortcut"
check "no entry in the installed programs" test -z "$(list_entries)"
check ".log no longer opens Quillon" test "$(reg_value 'HKCU\Software\Classes\.log' '')" != Kavex.Quillon.1
check "Quillon's file type is gone" fails key_exists 'HKCU\Software\Classes\Kavex.Quillon.1'
check "the settings stay" test "$(settings)" = "$kept"

# Wine forgets an upgraded product's upgrade code (its removal of the older
# one deletes the code's whole key), so the refusal is seen on a fresh install.
echo "== an older package over a newer one"
check "the higher version installs again" msiexec_quiet /i "$next_msi"
check "the older package refuses to go over it" fails msiexec_quiet /i "$first_msi"
check "still one entry, version $next" one_entry_of_version "$next"
check "and it uninstalls" msiexec_quiet /x "$next_msi"
check "no entry in the installed programs" test -z "$(list_entries)"

echo "== the zip"
mkdir -p "$work/portable"
unzip -q "$root/dist/quillon-$version-win64.zip" -d "$work/portable"
check "the zip holds tessel.exe as built and the three texts" \
  bash -c 'cmp -s "$1/tessel.exe" "$2" && ls "$1" | sort | tr "\n" " " | grep -qx "LICENSE.txt README.txt THIRD-PARTY-NOTICES.txt tessel.exe "' \
  - "$work/portable" "$build/tessel.exe"
check "the unpacked program shows the log's rows" probe "$work/portable/tessel.exe" 0

[ $failures -eq 0 ] && echo "test_package.sh: all checks passed" || { echo "test_package.sh: $failures checks failed" >&2; exit 1; }
