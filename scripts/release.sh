#!/usr/bin/env bash
# Packs the built modules into dist/: a zip for Windows and a tar.gz for
# Linux, each holding the module, bell.wav, the user guide, the licence, the
# module's third-party notices and the changelog; a tar.gz of
# the two modules' debug files for maintainers; a text naming what built
# them; and their SHA-256 checksums.
# The archives are reproducible: fixed order, owners and times (those of the
# last commit), and the builds give the same modules and debug files for the
# same commit, so one commit gives one set of sums.
#
# usage: release.sh [LINUX_BUILD_DIR [WIN32_BUILD_DIR]]   (build/linux build/win32)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
linux_build=$(realpath "${1:-$root/build/linux}")
win32_build=$(realpath "${2:-$root/build/win32}")
cd "$root"

for file in "$linux_build"/{Tollwick.so,Tollwick.so.debug,bell.wav,version.txt,tools.txt} \
  "$win32_build"/{Tollwick.dll,Tollwick.dll.debug,bell.wav,version.txt,tools.txt}; do
  [ -f "$file" ] || { echo "release: $file is missing; build both presets first" >&2; exit 1; }
done
# The version each build was configured with (project() in CMakeLists.txt).
version=$(cat "$linux_build/version.txt")
win32_version=$(cat "$win32_build/version.txt")
[ "$version" = "$win32_version" ] || {
  echo "release: the Linux build is version $version, the Windows build $win32_version;" \
    "configure both from one commit" >&2
  exit 1
}
# Entry times: SOURCE_DATE_EPOCH if set, else the last commit's. Outside a
# checkout there is no commit to take them from, and today's time makes
# archives that no other build reproduces.
if ! stamp=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null)} || [ -z "$stamp" ]; then
  stamp=$(date +%s)
  echo "release: not a git checkout, so the archives carry today's time and will not" \
    "match another build; set SOURCE_DATE_EPOCH to the commit's time" >&2
fi

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/win32" "$stage/linux" "$stage/debug"
shipped_texts=(user-guide.txt LICENSE THIRD-PARTY-NOTICES.txt CHANGELOG.md)
# stage_texts FOLDER MODULE: the texts that travel with MODULE.
stage_texts() {
  cp docs/user-guide.txt LICENSE CHANGELOG.md "$stage/$1/"
  cp "notices/$2.txt" "$stage/$1/THIRD-PARTY-NOTICES.txt"
}
cp "$win32_build/Tollwick.dll" "$win32_build/bell.wav" "$stage/win32/"
stage_texts win32 Tollwick.dll
# Windows' own editors want CR LF.
(cd "$stage/win32" && sed -i 's/$/\r/' "${shipped_texts[@]}")
cp "$linux_build/Tollwick.so" "$linux_build/bell.wav" "$stage/linux/"
stage_texts linux Tollwick.so
# The builds ship the modules stripped, each naming its debug file.
cp "$win32_build/Tollwick.dll.debug" "$linux_build/Tollwick.so.debug" "$stage/debug/"
chmod 644 "$stage"/*/*
touch -d "@$stamp" "$stage"/*/*

mkdir -p dist
win32_zip=Tollwick-$version-win32.zip
linux_tar=Tollwick-$version-linux-x86_64.tar.gz
debug_tar=Tollwick-$version-debug.tar.gz
build_info=Tollwick-$version-build-info.txt
rm -f "dist/$win32_zip" "dist/$linux_tar" "dist/$debug_tar" "dist/$build_info" dist/SHA256SUMS
(cd "$stage/win32" && TZ=UTC zip -q -X -D "$root/dist/$win32_zip" Tollwick.dll bell.wav "${shipped_texts[@]}")
# pack_tar FOLDER ARCHIVE FILE...
pack_tar() {
  local folder=$1 archive=$2
  shift 2
  tar -C "$stage/$folder" --sort=name --owner=0 --group=0 --numeric-owner --mtime="@$stamp" \
    -cf - "$@" | gzip -9n >"dist/$archive"
}
pack_tar linux "$linux_tar" Tollwick.so bell.wav "${shipped_texts[@]}"
pack_tar debug "$debug_tar" Tollwick.dll.debug Tollwick.so.debug

# The Linux library loads only where the C and C++ runtimes are at least as
# new as the ones it was built with: the release it was built on matters.
# highest_version PREFIX: the highest version of that name the library needs.
highest_version() {
  readelf -V --wide "$linux_build/Tollwick.so" | sed -n "s/.* Name: \($1[0-9.]*\) .*/\1/p" |
    sort -V | tail -n 1
}
# tool_versions FILE: the version of each tool that FILE names, as the tool
# gives it and as the Debian package it comes from.
tool_versions() {
  local tool package
  while read -r tool; do
    package=$(dpkg-query -S "$(readlink -f "$(command -v "$tool")")" | sed 's/:.*//')
    echo "$("$tool" --version | head -n 1); package $(dpkg-query -W -f='${Package} ${Version}' "$package")"
  done <"$1"
}
{
  echo "Tollwick $version, built on $(. /etc/os-release && echo "$PRETTY_NAME")" \
    "($(cat /etc/debian_version 2>/dev/null || echo "version unknown"))"
  echo "Linux module:"
  tool_versions "$linux_build/tools.txt" | sed 's/^/  /'
  echo "  Tollwick.so needs at most $(highest_version GLIBC_) and $(highest_version GLIBCXX_)"
  echo "Windows module:"
  tool_versions "$win32_build/tools.txt" | sed 's/^/  /'
  echo "  mingw-w64 $(dpkg-query -W -f='${Version}' mingw-w64-i686-dev)"
} >"dist/$build_info"

(cd dist && sha256sum "$win32_zip" "$linux_tar" "$debug_tar" "$build_info" >SHA256SUMS &&
  sha256sum --quiet -c SHA256SUMS)

echo "== Release $version in dist/"
(cd dist && unzip -l "$win32_zip" && tar -tvzf "$linux_tar" && tar -tvzf "$debug_tar" &&
  cat "$build_info" SHA256SUMS)
