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
    parts=$cache/apt
    mkdir -p "$parts/lists/partial" "$parts/sources"
    printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
      > "$parts/sources/src.sources"
    apt_options=(-o "Dir::Etc::SourceParts=$parts/sources" -o Dir::Etc::SourceList=/dev/null
                 -o "Dir::State::Lists=$parts/lists" -o APT::Sandbox::User=root)
    apt-get "${apt_options[@]}" update -qq >&2
    (cd "$cache" && apt-get "${apt_options[@]}" source --download-only pcre2 >&2)
    tarball=$(ls "$cache"/pcre2_*.orig.tar.* | head -n1)
  fi
  tar -xf "$tarball" -C "$cache"
fi
echo "$source_dir"
