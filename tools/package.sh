#!/usr/bin/env bash
# Builds the Debian package (build/package/varno414editor_VERSION_ARCH.deb)
# from a release build with Debian's hardening flags. With --check it also proves the package: unpacked into
# a scratch folder, its varno414 runs; its desktop entry, icons and AppStream
# metainfo agree and validate; lintian finds no error (warnings are printed).
#   tools/package.sh [--check]
set -euo pipefail
cd "$(dirname "$0")/.."

check=no
case "${1:-}" in
  "") ;;
  --check) check=yes ;;
  *) echo "usage: $0 [--check]" >&2; exit 2 ;;
esac
if [ "$check" = yes ]; then tools/install-deps.sh test; else tools/install-deps.sh package; fi

build=build/package
flags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"; }
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVARNO_BUILD_TESTS=OFF \
  -DCMAKE_CXX_FLAGS="$(flags CPPFLAGS) $(flags CXXFLAGS)" -DCMAKE_C_FLAGS="$(flags CPPFLAGS) $(flags CFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)" >/dev/null
cmake --build "$build" -j "${VARNO_JOBS:-$(nproc)}"
rm -f "$build"/varno414editor_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/varno414editor_*.deb)
echo "package: $deb ($(du -k "$deb" | cut -f1) KiB)"
[ "$check" = yes ] || exit 0

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
dpkg-deb -x "$deb" "$scratch/root"
root=$scratch/root
version=$(dpkg-deb -f "$deb" Version)
fail() { echo "package: $*" >&2; exit 1; }
depends=$(dpkg-deb -f "$deb" Depends)
echo "package: Depends: $depends"
case "$depends" in *qt6-qpa-plugins*) ;; *) fail "the package does not depend on Qt's display plugins" ;; esac

[ "$("$root/usr/bin/varno414" --version)" = "varno414 $version" ] || fail "varno414 --version does not say $version"
"$root/usr/bin/varno414" new "$scratch/kit.mid" --bank S05
"$root/usr/bin/varno414" show "$scratch/kit.mid" | grep -q '^S05 ' || fail "varno414 show does not list bank S05"
echo "package: the unpacked varno414 made and showed a bank"

# The menu entry, its icon and the metainfo name one another.
id=org.varno414.varno414editor
desktop=$root/usr/share/applications/$id.desktop
metainfo=$root/usr/share/metainfo/$id.metainfo.xml
grep -qx "Icon=$id" "$desktop" || fail "the desktop entry's Icon= is not $id"
for size in 16 24 32 48 64 128 256; do
  [ -s "$root/usr/share/icons/hicolor/${size}x$size/apps/$id.png" ] || fail "no ${size}x$size icon"
done
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" || fail "the metainfo launches no $id.desktop"
appstreamcli validate --no-net --pedantic "$metainfo"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop"
else
  echo "package: skipped desktop-file-validate (desktop-file-utils is not installed)"
fi

# Errors fail; warnings and notes are shown for the record.
lintian --fail-on error "$deb"
echo "package: lintian found no error"
