#!/usr/bin/env bash
# ctest entry: fetches the kernel (cached), builds the initramfs around the
# guest program and runs one scenario. Exit 77 (skipped) when the host lacks
# the tools to run a virtual machine.
set -euo pipefail
mode=${1:?usage: run-vm.sh bank|unpaced|interface GUEST WORKDIR VARNO414 [run_vm.py options]}
guest=${2:?}
work=${3:?}
varno414=${4:?}
shift 4
[ "$varno414" = none ] && varno414=
here=$(cd "$(dirname "$0")" && pwd)

if [ -n "${VARNO_SKIP_VM_TESTS:-}" ]; then
  echo "SKIPPED: VARNO_SKIP_VM_TESTS is set"
  exit 77
fi
for tool in qemu-system-x86_64 busybox cpio gzip apt-get dpkg-deb /sbin/depmod /sbin/modprobe; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "SKIPPED: $tool is missing (tools/install-deps.sh test installs it)"
    exit 77
  fi
done

mkdir -p "$work"
start=$(date +%s)
# Two scenarios may run at once: fetch under a lock.
kversion=$(flock "$work/.fetch.lock" "$here/fetch-kernel.sh" "$work/kernel-cache")
kroot="$work/kernel-cache/$kversion"
"$here/make-initramfs.sh" "$kroot" "$kversion" "$guest" "$work/$mode-initramfs.gz" "$varno414"
echo "kernel $kversion, image ready after $(( $(date +%s) - start )) s"
exec /usr/bin/python3 "$here/run_vm.py" --mode "$mode" --guest "$guest" --work "$work" \
  --kernel "$kroot/boot/vmlinuz-$kversion" --initrd "$work/$mode-initramfs.gz" "$@"
