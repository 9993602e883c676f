#!/usr/bin/env bash
# Fetches Debian's current amd64 kernel package into CACHE (no installation on
# the host) and unpacks the kernel image and the sound modules, with a
# modules.dep made by depmod. Prints the kernel version. Idempotent.
set -euo pipefail
cache=${1:?usage: fetch-kernel.sh CACHE}
mkdir -p "$cache"

pkg=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ {print $2; exit}')
if [ -z "$pkg" ]; then
  echo "fetch-kernel: apt-cache knows no linux-image-amd64 (run apt-get update)" >&2
  exit 1
fi
version=${pkg#linux-image-}
root="$cache/$version"
if [ ! -f "$root/.complete" ]; then
  rm -rf "$root" "$cache"/download
  mkdir -p "$cache/download" "$root"
  # apt's sandbox user cannot write into most build trees; the download is
  # still verified against the archive's signed index.
  (cd "$cache/download" && apt-get download -q "$pkg" 2>&1 | grep -v 'unsandboxed' >&2) || true
  deb=$(ls "$cache"/download/"$pkg"_*.deb 2>/dev/null | head -n1)
  if [ -z "$deb" ]; then
    echo "fetch-kernel: apt-get download $pkg failed" >&2
    exit 1
  fi
  # Only the image and the sound modules: the whole package unpacks to 400 MB.
  dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$root" --wildcards \
    './boot/vmlinuz-*' './lib/modules/*/modules.*' './lib/modules/*/kernel/sound/*'
  /sbin/depmod -b "$root" "$version"
  rm -rf "$cache/download"
  touch "$root/.complete"
fi
echo "$version"
