#!/usr/bin/env bash
# Fetches Debian's PCRE2 source (the regular-expression engine of the folder
# rules) for the Windows build, which compiles it with the cross toolchain.
# The tarball is cached under build/ and never committed; prints the folder
# of the unpacked source.
set -euo pipefail
cd "$(dirname "$0")/.."
cache=build/pcre2-source
mkdir -p "$cache"
cache=$(cd "$cache" && pwd)
source_dir=$cache/pcre2-10.42
if [ ! -f "$source_dir/CMakeLists.txt" ]; then
  tarball=$(ls "$cache"/pcre2_*.orig.tar.* 2>/dev/null | head -n1 || true)
  if [ -z "$tarball" ]; then
    # The machine's own deb entries (whatever mirror it is set up with) as
    # deb-src entries in a private apt state: same URIs, suites, components
    # and keyrings, one-line and deb822 files alike.
    parts=$cache/apt
    rm -rf "$parts/sources"
    mkdir -p "$parts/lists/partial" "$parts/sources"
    eval "$(apt-config shell list Dir::Etc::sourcelist/f sourceparts Dir::Etc::sourceparts/d)"
    for file in "$list" "$sourceparts"*.list "$sourceparts"*.sources; do
      [ -f "$file" ] || continue
      case "$file" in
        *.sources) sed -E 's/^Types:.*/Types: deb-src/' "$file" ;;
        *) sed -nE 's/^[[:space:]]*deb[[:space:]]+/deb-src /p' "$file" ;;
      esac > "$parts/sources/$(basename "$file")"
    done
    apt_options=(-o "Dir::Etc::SourceParts=$parts/sources" -o Dir::Etc::SourceList=/dev/null
                 -o "Dir::State::Lists=$parts/lists" -o APT::Sandbox::User=root)
    # A repository without sources (a vendor's) fails its part only.
    apt-get "${apt_options[@]}" update -qq >&2 || true
    # Only the upstream tarball is built from: a mirror that lacks the
    # newest revision's Debian files still gives it.
    (cd "$cache" && apt-get "${apt_options[@]}" source --download-only pcre2 >&2) || true
    tarball=$(ls "$cache"/pcre2_*.orig.tar.* | head -n1)
  fi
  tar -xf "$tarball" -C "$cache"
fi
echo "$source_dir"
