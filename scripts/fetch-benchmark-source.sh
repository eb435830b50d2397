#!/usr/bin/env bash
# Puts Google Benchmark's sources, the version Debian packages for this machine, where the
# 32-bit Windows release build compiles them for the target (no mingw build of it is packaged).
# The sources come from Debian's archive (`apt-get source`); a deb-src entry is added if missing.
# Prints the folder.
set -euo pipefail
dest=${VRNKE_BENCHMARK_SOURCE:-/usr/local/src/vrnke-benchmark}
if [[ -f "$dest/CMakeLists.txt" ]]; then
  echo "$dest"
  exit 0
fi
if ! apt-get source --print-uris benchmark >/dev/null 2>&1; then
  . /etc/os-release
  cat >/etc/apt/sources.list.d/vrnke-deb-src.sources <<SRC
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: ${VERSION_CODENAME}
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  apt-get update -qq >&2
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
(cd "$tmp" && apt-get source --download-only benchmark >&2)
orig=$(ls "$tmp"/benchmark_*.orig.tar.gz)
mkdir -p "$dest"
tar -xzf "$orig" -C "$dest" --strip-components=1
echo "$dest"
