#!/usr/bin/env bash
# Cross-builds VARNO414Editor.exe and varno414.exe (static), the core and
# their unit tests for Windows with mingw-w64; packs both programs with README
# and licence texts into a zip and into an installer (NSIS); runs the tests
# under wine (in a scratch WINEPREFIX, on a virtual X display for the window's
# tests), then installs, checks and uninstalls the installer there. Without
# wine the tests are skipped with a message and the exit status is 77.
#   tools/windows.sh [--build-only] [build folder]
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)

run_tests=yes
if [ "${1:-}" = --build-only ]; then run_tests=no; shift; fi
build_dir=$(mkdir -p "${1:-$source_dir/build/windows}" && cd "${1:-$source_dir/build/windows}" && pwd)
jobs=${VARNO_JOBS:-$(nproc)}

# The factory sounds are synthesised by a generator that runs on this machine,
# and the program's icon is rendered here from the Qt window's own drawing.
cmake -S "$source_dir" -B "$build_dir/host" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DVARNO_BUILD_EDITOR=ON -DVARNO_BUILD_CLI=OFF -DVARNO_BUILD_TESTS=OFF >/dev/null
cmake --build "$build_dir/host" -j "$jobs" --target varno_factory_generator varno_render_icon >/dev/null
generator=$build_dir/host/data/varno_factory_generator
icon=$build_dir/VARNO414Editor.ico
"$build_dir/host/packaging/varno_render_icon" --ico "$icon" 16 24 32 48 64 256
echo "windows: rendered $icon ($(file -b "$icon" | cut -d, -f1))"

wine=$(command -v wine64 || true)
[ -z "$wine" ] && [ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64
emulator=()
if [ -n "$wine" ]; then
  # No mono or gecko prompts; no debug chatter. wine maps file names through
  # the locale's character set: without a UTF-8 locale it cannot create "Bänke ✓".
  emulator=(-DCMAKE_CROSSCOMPILING_EMULATOR="env;LC_ALL=C.UTF-8;WINEPREFIX=$build_dir/wineprefix;WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml=;$wine")
fi

# GCC 12 at -O2 and up warns falsely about libstdc++'s own inlined string and
# vector copies; those three stay warnings.
cmake -S "$source_dir" -B "$build_dir" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$source_dir/tools/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DVARNO_WERROR=ON \
  -DCMAKE_CXX_FLAGS="-Wno-error=restrict -Wno-error=array-bounds -Wno-error=stringop-overflow" \
  -DVARNO_BUILD_EDITOR=ON -DVARNO_WINDOWS_ICON="$icon" -DVARNO_BUILD_BENCH=OFF \
  -DVARNO_HOST_FACTORY_GENERATOR="$generator" "${emulator[@]}" >/dev/null
cmake --build "$build_dir" -j "$jobs"

# The Windows artifacts: the portable zip and the installer, of the same files.
version=$(sed -n 's/.*kVarnoVersion = "\(.*\)";/\1/p' "$build_dir/generated/varno_version.h")
name=varno414-$version-windows-x86_64
rm -rf "${build_dir:?}/$name" "$build_dir/$name.zip" "$build_dir/$name-setup.exe"
mkdir -p "$build_dir/$name"
editor_exe=$build_dir/editor/win32/VARNO414Editor.exe
if [ ! -f "$editor_exe" ]; then
  echo "windows: the cross build made no $editor_exe" >&2
  exit 1
fi
x86_64-w64-mingw32-strip -o "$build_dir/$name/VARNO414Editor.exe" "$editor_exe"
x86_64-w64-mingw32-strip -o "$build_dir/$name/varno414.exe" "$build_dir/cli/varno414.exe"
cp "$source_dir/README.md" "$source_dir/LICENSE" "$source_dir/packaging/NOTICES-windows.txt" "$build_dir/$name/"
(cd "$build_dir" && cmake -E tar cf "$name.zip" --format=zip "$name")
echo "windows: built $build_dir/$name.zip ($(du -k "$build_dir/$name.zip" | cut -f1) KiB)"

if ! command -v makensis >/dev/null; then
  echo "windows: makensis is not installed (tools/install-deps.sh test)" >&2
  exit 1
fi
setup=$build_dir/$name-setup.exe
nsis_defines=(-DVERSION="$version" -DSTAGE="$build_dir/$name" -DICON="$icon" -DOUTFILE="$setup")
makensis -V2 -WX -INPUTCHARSET UTF8 "${nsis_defines[@]}" "$source_dir/packaging/windows/installer.nsi"
echo "windows: built $setup ($(du -k "$setup" | cut -f1) KiB)"

[ "$run_tests" = yes ] || exit 0
if [ -z "$wine" ]; then
  echo "windows: SKIPPED the tests and the installer's test under wine: wine64 is not installed (tools/install-deps.sh test)"
  exit 77
fi
if ! command -v xvfb-run >/dev/null; then
  echo "windows: xvfb-run is not installed (tools/install-deps.sh test)" >&2
  exit 1
fi

# winemenubuilder would copy the installer's Start-menu entry and "Open
# with" into this user's desktop menu and MIME settings.
export WINEPREFIX=$build_dir/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" LC_ALL=C.UTF-8
wineserver=$(dirname "$wine")/wineserver
export VARNO_WINESERVER=$wineserver VARNO_WINE=$wine
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  start=$(date +%s)
  "$wine" wineboot --init >/dev/null 2>&1
  echo "windows: made a wine prefix in $(( $(date +%s) - start )) s"
fi

# The ports that wine's winmm offers (none without an ALSA sequencer).
ports=$("$wine" "$build_dir/cli/varno414.exe" ports 2>/dev/null | tr -d '\r')
echo "windows: 'varno414 ports' under wine: $ports"
if [ -z "$ports" ] || grep -Evqx 'no output ports detected(: .*)?|[0-9]+: .*|input ports:' <<<"$ports"; then
  echo "windows: that is no port list" >&2
  exit 1
fi
# Each run on a virtual display starts a wine server of its own and waits for
# it to end before the display goes: wine's desktop process must not outlive
# its X server.
"$wineserver" -w

# On a virtual X display: the window's tests open windows. One wine server
# stays up for all of them: one that ends as the next test starts resets
# that test's connection ("wine client error: recvmsg"). Its services are
# started first with no output, so that none holds a test's output open.
xvfb-run -a bash -c '"$VARNO_WINESERVER" -p; "$VARNO_WINE" cmd.exe /c exit </dev/null >/dev/null 2>&1
  status=0; ctest "$@" || status=$?
  "$VARNO_WINESERVER" -k; "$VARNO_WINESERVER" -w; exit $status' ctest \
  --test-dir "$build_dir" --output-on-failure -j "$jobs"
# The tests of names outside ASCII once more with no locale from the caller.
env -i PATH=/usr/bin:/bin ctest --test-dir "$build_dir" --output-on-failure --no-tests=error \
  -R 'NamesOutsideAscii|NamesAreLatin1|LoadContentNamesAfterTheFile'
"$wineserver" -w

# The installer: a silent install, what it put where, the programs it
# installed, and a silent uninstall that takes all of it away.
program_files=$WINEPREFIX/drive_c/Program\ Files/VARNO414Editor
start_menu=$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/VARNO414Editor.lnk
install_dir='C:\Program Files\VARNO414Editor'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VARNO414Editor'
application_key='HKLM\Software\Classes\Applications\VARNO414Editor.exe'
open_with_key='HKLM\Software\Classes\.mid\OpenWithList\VARNO414Editor.exe'
failed=0
check() {
  local what=$1
  shift
  if "$@"; then
    echo "windows: installer: ok: $what"
  else
    echo "windows: installer: FAILED: $what"
    failed=$((failed + 1))
  fi
}
# The value's data as reg prints it ("    NAME    REG_SZ    DATA"); empty
# when the key or the value is not there.
reg_value() {
  { "$wine" reg query "$1" "${@:2}" 2>/dev/null || true; } | tr -d '\r' |
    sed -n 's/^ *[^ ].*  *REG_[A-Z_]*  *//; T; s/^(value not set)$//; p; q'
}
reg_is() { [ "$(reg_value "$1" "${@:3}")" = "$2" ]; }
key_exists() { "$wine" reg query "$1" >/dev/null 2>&1; }
key_missing() { ! key_exists "$1"; }
prints_version() {
  local out
  out=$(with_display "$wine" "$install_dir\\$1" --version 2>/dev/null | tr -d '\r')
  echo "windows: installer:   $1 --version: $out"
  [ "$out" = "${1%.exe} $version" ]
}
with_display() { xvfb-run -a bash -c 'status=0; "$@" || status=$?; "$VARNO_WINESERVER" -w; exit $status' with_display "$@"; }

# A run that failed half-way may have left an installation behind.
rm -rf "$program_files" "$start_menu"
for key in "$uninstall_key" "$application_key" "$open_with_key"; do
  "$wine" reg delete "$key" /f >/dev/null 2>&1 || true
done
mid_key='HKLM\Software\Classes\.mid'
mid_before=$(reg_value "$mid_key" /ve)
mid_existed=no
key_exists "$mid_key" && mid_existed=yes

# NSIS installers return only when they are done.
check "silent install exits 0" with_display "$wine" "$setup" /S
for file in varno414.exe README.md LICENSE NOTICES-windows.txt Uninstall.exe; do
  check "installed $install_dir\\$file" test -f "$program_files/$file"
done
check "uninstall key's DisplayName is VARNO414Editor" reg_is "$uninstall_key" VARNO414Editor /v DisplayName
check "uninstall key's DisplayVersion is $version" reg_is "$uninstall_key" "$version" /v DisplayVersion
check "uninstall key's Publisher" reg_is "$uninstall_key" "The VARNO414Editor developers" /v Publisher
check "uninstall key's InstallLocation" reg_is "$uninstall_key" "$install_dir" /v InstallLocation
check "uninstall key's UninstallString" reg_is "$uninstall_key" "\"$install_dir\\Uninstall.exe\"" /v UninstallString
check "the installed varno414.exe --version names $version" prints_version varno414.exe
check "installed $install_dir\\VARNO414Editor.exe" test -f "$program_files/VARNO414Editor.exe"
check "uninstall key's DisplayIcon" reg_is "$uninstall_key" "$install_dir\\VARNO414Editor.exe,0" /v DisplayIcon
check "Start-menu entry VARNO414Editor.lnk" test -f "$start_menu"
check "\"Open with\" command" reg_is "$application_key\\shell\\open\\command" "\"$install_dir\\VARNO414Editor.exe\" \"%1\"" /ve
check "\"Open with\" list of .mid names VARNO414Editor.exe" key_exists "$open_with_key"
check "the installed VARNO414Editor.exe --version names $version" prints_version VARNO414Editor.exe
check ".mid's default program is unchanged (\"$mid_before\")" reg_is "$mid_key" "$mid_before" /ve

# The uninstaller copies itself to the temporary folder, starts that copy and
# returns at once; with_display waits for the copy too, as it waits for every
# process of the wine server.
check "silent uninstall exits 0" with_display "$wine" "$install_dir\\Uninstall.exe" /S
check "install folder is gone" test ! -e "$program_files"
check "Start-menu entry is gone" test ! -e "$start_menu"
check "uninstall key is gone" key_missing "$uninstall_key"
check "\"Open with\" application key is gone" key_missing "$application_key"
check "\"Open with\" list entry of .mid is gone" key_missing "$open_with_key"
check ".mid's default program is unchanged (\"$mid_before\")" reg_is "$mid_key" "$mid_before" /ve
[ "$mid_existed" = yes ] || check ".mid key, there only for \"Open with\", is gone" key_missing "$mid_key"
if [ "$failed" -ne 0 ]; then
  echo "windows: installer: $failed checks FAILED" >&2
  exit 1
fi
echo "windows: installer: all checks passed"
