#!/usr/bin/env bash
# Installs the Debian/Ubuntu packages that are missing for a profile:
#   run   what building and starting the editor needs
#   test  everything ./test.sh needs (sanitizers, peers, cross compiler, fuzzing)
# As root or with sudo it runs apt-get; otherwise it prints the packages to install.
set -euo pipefail

profile=${1:-run}
run_pkgs=(cmake ninja-build g++ pkg-config libasound2-dev libsndfile1-dev qt6-base-dev)
test_pkgs=("${run_pkgs[@]}" libgtest-dev libgmock-dev libbenchmark-dev sox python3-mido
           g++-mingw-w64-x86-64-posix clang-14 libclang-rt-14-dev clang-tidy
           qemu-system-x86 busybox-static cpio kmod)
case "$profile" in
  run) wanted=("${run_pkgs[@]}") ;;
  test) wanted=("${test_pkgs[@]}") ;;
  *) echo "usage: $0 run|test" >&2; exit 2 ;;
esac

missing=()
for pkg in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  apt_get=(apt-get)
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
  apt_get=(sudo apt-get)
else
  echo "Please install these packages first (for example with sudo apt-get install):" >&2
  echo "  ${missing[*]}" >&2
  exit 1
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${apt_get[@]}" update -qq
"${apt_get[@]}" install -y -qq --no-install-recommends "${missing[@]}"
