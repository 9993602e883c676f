#!/usr/bin/env bash
# Installs the Debian/Ubuntu packages that are missing for a profile:
#   run      what building and starting the editor needs
#   package  run, and what building the Debian package needs
#   test     everything ./test.sh needs (sanitizers, peers, cross compiler,
#            wine with a virtual X display and the installer's compiler,
#            fuzzing, the package checks)
# As root or with sudo it runs apt-get; otherwise it says what to install.
set -euo pipefail

profile=${1:-run}
run_pkgs=(cmake ninja-build g++ pkg-config libasound2-dev libsndfile1-dev libsystemd-dev qt6-base-dev)
# CPack's Debian generator finds the binaries with file and their
# dependencies with dpkg-shlibdeps.
package_pkgs=("${run_pkgs[@]}" dpkg-dev file)
test_pkgs=("${package_pkgs[@]}" libgtest-dev libgmock-dev googletest libbenchmark-dev sox python3-mido
           g++-mingw-w64-x86-64-posix wine64 xvfb xauth nsis clang-14 libclang-rt-14-dev clang-tidy
           qemu-system-x86 busybox-static cpio kmod lintian appstream)
case "$profile" in
  run) wanted=("${run_pkgs[@]}") ;;
  package) wanted=("${package_pkgs[@]}") ;;
  test) wanted=("${test_pkgs[@]}") ;;
  *) echo "usage: $0 run|package|test" >&2; exit 2 ;;
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
elif command -v sudo >/dev/null 2>&1; then
  echo "Please install these packages first (sudo apt-get install ...):" >&2
  echo "  ${missing[*]}" >&2
  exit 1
else
  echo "These packages are missing; installing them needs root. Ask an administrator to install" >&2
  echo "them, or as root run: su -c 'apt-get install ${missing[*]}'" >&2
  exit 1
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# Other installs may hold apt's lock for a while; wait for it rather than fail.
"${apt_get[@]}" -o DPkg::Lock::Timeout=600 update -qq
"${apt_get[@]}" -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"
