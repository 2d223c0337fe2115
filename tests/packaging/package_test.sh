#!/usr/bin/env bash
# Builds the Debian package from this build folder, unpacks it and checks what an
# installation needs: both programs, the desktop entry, the icon, the declared
# dependencies.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cpack -G DEB -B "$work/out" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 || {
    cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/out/*.deb)
echo "package: $(basename "$deb")"
dpkg-deb -x "$deb" "$work/root"

fail=0
check() { if [[ -e "$work/root$1" ]]; then echo "ok   $1"; else echo "MISSING $1"; fail=1; fi; }
check /usr/bin/monitor-kelmor
check /usr/bin/kelmor-gauge-sim
check /usr/share/applications/monitor-kelmor.desktop
check /usr/share/icons/hicolor/32x32/apps/monitor-kelmor.png
check /usr/share/doc/monitor-kelmor/README.md
[[ -x "$work/root/usr/bin/monitor-kelmor" ]] || { echo "monitor-kelmor is not executable"; fail=1; }

desktop-file-validate "$work/root/usr/share/applications/monitor-kelmor.desktop" || fail=1
grep -q '^Icon=monitor-kelmor$' "$work/root/usr/share/applications/monitor-kelmor.desktop" || {
    echo "the desktop entry does not name the icon"; fail=1; }
grep -q '^Exec=monitor-kelmor' "$work/root/usr/share/applications/monitor-kelmor.desktop" || {
    echo "the desktop entry does not start monitor-kelmor"; fail=1; }

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for need in libqt6widgets6 libqt6serialport6 libqcustomplot2.1-qt6 fonts-liberation2; do
    [[ "$depends" == *"$need"* ]] || { echo "Depends lacks $need"; fail=1; }
done
[[ "$(dpkg-deb -f "$deb" Version)" == 1.2.3* ]] || { echo "wrong version"; fail=1; }

if ((fail)); then echo "package check failed"; exit 1; fi
echo "package check passed"
