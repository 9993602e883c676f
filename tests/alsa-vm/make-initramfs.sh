#!/usr/bin/env bash
# Builds the test machine's initramfs (cpio newc, gzip): static busybox as
# shell and tools, the sound modules in dependency order, the guest program
# with the shared libraries it needs, and alsa-lib's configuration.
set -euo pipefail
kroot=${1:?usage: make-initramfs.sh KERNELROOT KVERSION GUEST OUTPUT [VARNO414]}
kversion=${2:?}
guest=${3:?}
output=${4:?}
tool=${5:-}
here=$(cd "$(dirname "$0")" && pwd)

stage=$(mktemp -d "${output}.stage.XXXXXX")
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage"/{bin,dev,proc,sys,tmp,etc,lib,lib64,usr/share}

busybox=$(command -v busybox)
if ldd "$busybox" >/dev/null 2>&1; then # ldd fails on a static binary
  echo "make-initramfs: $busybox is not static (install busybox-static)" >&2
  exit 1
fi
cp "$busybox" "$stage/bin/busybox"
for applet in $("$busybox" --list); do
  # The list names busybox itself, which must stay the real binary.
  [ "$applet" = busybox ] || ln -sf busybox "$stage/bin/$applet"
done

# Modules in load order: each wanted module after what it depends on.
: > "$stage/etc/alsavm-modules"
declare -A seen=()
# The loopback card comes last, after the MIDI cards' numbers are taken.
for wanted in snd-hrtimer snd-seq-dummy snd-seq-midi snd-seq-virmidi snd-virmidi snd-serial-u16550 snd-aloop; do
  while read -r _ path _; do
    rel=${path#"$kroot"}
    [ -n "${seen[$rel]:-}" ] && continue
    seen[$rel]=1
    mkdir -p "$stage$(dirname "$rel")"
    cp "$path" "$stage$rel"
    args=
    # Second UART, legacy address, generic adaptor. The generic adaptor adds
    # a part select (F5 01) now and then, which the host removes; the plain
    # MS-124T adaptor (1) would be cleaner, but this kernel's driver writes
    # outside its status array on the second channel message and oopses.
    case "$rel" in */snd-serial-u16550.ko) args="port=0x2f8 irq=3 adaptor=4" ;; esac
    echo "$rel $args" >> "$stage/etc/alsavm-modules"
  done < <(/sbin/modprobe -d "$kroot" -S "$kversion" --show-depends "$wanted")
done

cp "$guest" "$stage/bin/alsavm_guest"
programs=("$guest")
if [ -n "$tool" ]; then
  cp "$tool" "$stage/bin/varno414"
  programs+=("$tool")
fi
# The dynamic loader and every library the programs name, at the same
# paths as on this Debian host (the guest runs the same release).
for lib in $(for program in "${programs[@]}"; do ldd "$program"; done | grep -o '/[^ ]*' | sort -u); do
  mkdir -p "$stage$(dirname "$lib")"
  cp -L "$lib" "$stage$lib"
done
# alsa-lib reads alsa.conf (and dlopens nothing for the "default" sequencer,
# nor for the loopback card's "default" PCM: plug, softvol and dmix are built in).
cp -r /usr/share/alsa "$stage/usr/share/alsa"
# dmix, behind the loopback card's "default", shares its buffer with the group "audio".
printf 'root:x:0:\naudio:x:29:\n' > "$stage/etc/group"

install -m 0755 "$here/init.sh" "$stage/init"
(cd "$stage" && find . -print0 | cpio --null -o -H newc --quiet) | gzip -1 > "$output.tmp"
mv "$output.tmp" "$output"
