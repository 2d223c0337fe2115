#!/usr/bin/env bash
# Builds the Debian package from this build folder, runs lintian on it, unpacks it and
# checks what an installation needs: both programs (stripped and hardened in a release
# build), their manual pages, the desktop entry, the icon, the copyright file and the
# changelog, the description and the declared dependencies.
#   package_test.sh BUILD_DIR release|other
set -euo pipefail
build=$1
kind=${2:-release}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cpack -G DEB -B "$work/out" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 || {
    cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/out/*.deb)
echo "package: $(basename "$deb")"
dpkg-deb -x "$deb" "$work/root"
version=$(dpkg-deb -f "$deb" Version)

fail=0
complain() { echo "$*"; fail=1; }
check() { if [[ -f "$work/root$1" ]]; then echo "ok   $1"; else complain "MISSING $1"; fi; }

doc=/usr/share/doc/monitor-kelmor
required=(/usr/bin/monitor-kelmor /usr/bin/kelmor-gauge-sim
          /usr/share/man/man1/monitor-kelmor.1.gz /usr/share/man/man1/kelmor-gauge-sim.1.gz
          /usr/share/applications/monitor-kelmor.desktop
          /usr/share/icons/hicolor/32x32/apps/monitor-kelmor.png
          $doc/README.md $doc/copyright $doc/changelog.gz)
for f in "${required[@]}"; do check "$f"; done
# Nothing else, but the pictures and reports the README links to.
while IFS= read -r f; do
    [[ " ${required[*]} " == *" $f "* || "$f" == $doc/docs/*.png || "$f" == $doc/docs/*.md ]] || complain "unexpected file $f"
done < <(cd "$work/root" && find . -type f | sed 's/^\.//' | sort)

for bin in monitor-kelmor kelmor-gauge-sim; do
    f=$work/root/usr/bin/$bin
    [[ -x "$f" ]] || complain "$bin is not executable"
    # Whole outputs first: grep -q leaving early would fail the pipe under pipefail.
    sections=$(readelf -S -W "$f")
    if grep -q '\.debug_info' <<<"$sections"; then complain "$bin is not stripped"; fi
    if grep -q ' \.comment ' <<<"$sections"; then complain "$bin keeps the compilers' notes"; fi
    if [[ $kind == release ]]; then
        grep -q GNU_RELRO <<<"$(readelf -l -W "$f")" || complain "$bin: no relro"
        grep -q 'BIND_NOW\|FLAGS_1.*NOW' <<<"$(readelf -d -W "$f")" || complain "$bin: no bind-now"
        grep -q 'Type:.*DYN' <<<"$(readelf -h -W "$f")" || complain "$bin: not PIE"
        symbols=$(readelf --dyn-syms -W "$f")
        grep -q '__stack_chk_fail' <<<"$symbols" || complain "$bin: no stack protector"
        grep -q '__[a-z_]*_chk@' <<<"$symbols" || complain "$bin: not fortified"
    fi
    # The manual page is the program's own --help, made at build time.
    page=$(gzip -dc "$work/root/usr/share/man/man1/$bin.1.gz" 2>/dev/null || true)
    grep -q "^\.TH \"\?${bin^^}\"\? " <<<"$page" || complain "$bin.1: no title line"
    grep -q -- '-\\-version' <<<"$page" || complain "$bin.1: does not list --version"
done
# The build folder keeps its debug information for the developer.
if grep -qx 'CMAKE_BUILD_TYPE:STRING=\(RelWithDebInfo\|Debug\)' "$build/CMakeCache.txt"; then
    grep -q '\.debug_info' <<<"$(readelf -S -W "$build/src/app/monitor-kelmor")" ||
        complain "the build folder's monitor-kelmor lost its debug information"
fi
grep -q 'grafische Sitzung' <<<"$(gzip -dc "$work/root/usr/share/man/man1/monitor-kelmor.1.gz" 2>/dev/null || true)" ||
    complain "monitor-kelmor.1 lacks the German help"

desktop-file-validate "$work/root/usr/share/applications/monitor-kelmor.desktop" || fail=1
grep -q '^Icon=monitor-kelmor$' "$work/root/usr/share/applications/monitor-kelmor.desktop" ||
    complain "the desktop entry does not name the icon"
grep -q '^Exec=monitor-kelmor' "$work/root/usr/share/applications/monitor-kelmor.desktop" ||
    complain "the desktop entry does not start monitor-kelmor"

grep -qs '^License: GPL-3+$' "$work/root$doc/copyright" || complain "copyright: no GPL-3+ licence"
grep -qs '/usr/share/common-licenses/GPL-3' "$work/root$doc/copyright" ||
    complain "copyright: no pointer to the licence text"
top=$(gzip -dc "$work/root$doc/changelog.gz" 2>/dev/null || true)
top=${top%%$'\n'*}
[[ "$top" == "monitor-kelmor ($version) "* ]] ||
    complain "changelog: the latest entry is not version $version: $top"

description=$(dpkg-deb -f "$deb" Description)
grep -q 'Servicetechniker' <<<"$description" || complain "description: no German part"
grep -q 'service technician' <<<"$description" || complain "description: no English part"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for need in libqt6widgets6 libqt6serialport6 libqcustomplot2.1-qt6 fonts-liberation2 qt6-translations-l10n; do
    [[ "$depends" == *"$need"* ]] || complain "Depends lacks $need"
done
[[ "$version" == 1.2.3* ]] || complain "wrong version $version"

if [[ $kind == release ]]; then
    # Errors and warnings fail; the informational tags are shown for the record.
    echo "lintian:"
    status=0
    # lintian leaves folders of its own in TMPDIR.
    mkdir "$work/lintian-tmp"
    TMPDIR=$work/lintian-tmp lintian --fail-on error,warning --display-info "$deb" \
        >"$work/lintian.log" 2>&1 || status=$?
    grep -v 'running with root privileges' "$work/lintian.log" || true
    ((status == 0)) || complain "lintian: exit status $status"
    if grep -q '^[EW]: ' "$work/lintian.log"; then complain "lintian reports errors or warnings"; fi
else
    echo "lintian: not run: not an optimised build without sanitizers, as shipped"
fi

if ((fail)); then echo "package check failed"; exit 1; fi
echo "package check passed"
