#!/usr/bin/env bash
# Fetches the PCRE2 sources from Debian's bookworm archive with apt's own
# source client and unpacks them into build-deps/ (shared by the Windows and
# the fuzz builds). The apt configuration is private, under build-deps/apt:
# the machine's sources, lists and cache are neither read nor changed. apt
# checks the tarball against the signed index. Does nothing once unpacked.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
deps=$root/build-deps
version=10.42
sources=$deps/pcre2-$version
[ -f "$sources/CMakeLists.txt" ] && exit 0

apt_dir=$deps/apt
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/sources.list.d" "$apt_dir/download"
echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main" \
  >"$apt_dir/sources.list"
apt_options=(-o "Dir::Etc::sourcelist=$apt_dir/sources.list" -o "Dir::Etc::sourceparts=$apt_dir/sources.list.d"
             -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache"
             -o "APT::Sandbox::User=$(id -un)")
apt-get "${apt_options[@]}" -qq update
(cd "$apt_dir/download" && apt-get "${apt_options[@]}" -qq source --download-only "pcre2")
tarball=$(ls "$apt_dir/download"/pcre2_"$version".orig.tar.* 2>/dev/null | head -1)
if [ -z "$tarball" ]; then
  echo "fetch_pcre2.sh: no pcre2 $version sources in bookworm" >&2
  exit 1
fi
# Unpacked beside, then moved in whole: an interrupted run leaves no half tree.
rm -rf "$deps/unpacking"
mkdir -p "$deps/unpacking"
tar -xf "$tarball" -C "$deps/unpacking"
rm -rf "$sources"
mv "$deps/unpacking/pcre2-$version" "$sources"
rm -rf "$deps/unpacking"
