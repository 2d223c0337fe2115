#!/usr/bin/env bash
# Proves on freshly bootstrapped minimal Debian 12 roots (debootstrap --variant=minbase)
# what the README promises, and times it:
#   1. in a first root, the README's two commands: scripts/run.sh --demo (offscreen, as
#      KELMOR_DEMO_SMOKE=1 runs it: built, started, ran 3 s) and scripts/test.sh; then
#      the Debian package is built there;
#   2. in a second root, apt-get install ./monitor-kelmor_*.deb pulls every dependency,
#      both programs start, and apt-get purge leaves no file behind.
# Needs root and debootstrap on a Debian host; takes as long as two full builds.
#   scripts/fresh-root.sh [WORK_DIR]     (default /var/tmp/kelmor-fresh-root)
# The environment may set MIRROR (default: the host's first Debian mirror) and
# KELMOR_KEEP_ROOTS=1 (keep the roots for a look afterwards; mounts are always undone).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
work=${1:-/var/tmp/kelmor-fresh-root}
mirror=${MIRROR:-$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources \
    2>/dev/null | grep -E '^(URIs:|deb )' | grep -oE 'https?://[^ ]*/debian/?( |$)' | grep -v security |
    head -n1 | tr -d ' ' || true)}
mirror=${mirror:-http://deb.debian.org/debian}
[[ $(id -u) == 0 ]] || { echo "fresh-root: needs root (debootstrap, chroot, mounts)" >&2; exit 1; }
command -v debootstrap >/dev/null || apt-get install -y -qq debootstrap </dev/null

mkdir -p "$work"
report=$work/report.txt
: >"$report"
say() { echo "$*" | tee -a "$report"; }

mounted=()
mount_into() { # ROOT: proc and the host's /dev (pseudo-terminals, shared memory)
    mount -t proc proc "$1/proc" && mounted+=("$1/proc")
    mount --rbind /dev "$1/dev" && mount --make-rslave "$1/dev" && mounted+=("$1/dev")
}
unmount_all() {
    local m
    for m in "${mounted[@]}"; do umount -R "$m" 2>/dev/null || umount -lR "$m" || true; done
    mounted=()
}
cleanup() {
    unmount_all
    [[ "${KELMOR_KEEP_ROOTS:-0}" == 1 ]] || rm -rf --one-file-system -- "$work/root1" "$work/root2"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Runs a command in a root with a clean environment, as a login on that machine would.
in_root() {
    local r=$1
    shift
    chroot "$r" /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        TERM=dumb LANG=C.UTF-8 /bin/bash -c "$*"
}
timed() { # LABEL ROOT COMMAND
    local label=$1 r=$2 start end status=0
    shift 2
    start=$(date +%s)
    in_root "$r" "$@" >"$work/$label.log" 2>&1 || status=$?
    end=$(date +%s)
    say "$label: exit status $status after $((end - start)) s ($*)"
    return "$status"
}
bootstrap() {
    rm -rf --one-file-system -- "$1"
    local start=$(date +%s)
    debootstrap --variant=minbase bookworm "$1" "$mirror" >"$work/debootstrap-$(basename "$1").log" 2>&1
    say "debootstrap --variant=minbase bookworm $1 $mirror: $(($(date +%s) - start)) s"
}

say "fresh-root: $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, mirror $mirror"
r1=$work/root1
bootstrap "$r1"
mkdir -p "$r1/root/Monitor_Kelmor"
# The sources as they are checked out, with what is not committed yet, without builds.
(cd "$root" && git ls-files -z --cached --others --exclude-standard |
    tar --null -T - -cf -) | tar -xf - -C "$r1/root/Monitor_Kelmor"
mount_into "$r1"
status=0
timed run-demo "$r1" 'cd /root/Monitor_Kelmor && KELMOR_DEMO_SMOKE=1 scripts/run.sh --demo' || status=1
timed run-demo-again "$r1" 'cd /root/Monitor_Kelmor && KELMOR_DEMO_SMOKE=1 scripts/run.sh --demo' || status=1
timed test "$r1" 'cd /root/Monitor_Kelmor && scripts/test.sh' || status=1
grep -E 'tests passed|tests failed|\*\*\*Failed|Not Run' "$work/test.log" | tee -a "$report" || true
timed cpack "$r1" 'cd /root/Monitor_Kelmor/build && cpack -G DEB' || status=1
deb=$(ls "$r1"/root/Monitor_Kelmor/build/monitor-kelmor_*.deb)
cp "$deb" "$work/"
deb=$work/$(basename "$deb")
unmount_all

r2=$work/root2
bootstrap "$r2"
mount_into "$r2"
cp "$deb" "$r2/root/"
name=$(basename "$deb")
# Every file of the root but the ones apt and dpkg keep for themselves.
snapshot() {
    in_root "$r2" 'find / -xdev \( -path /proc -o -path /dev -o -path /var/cache/apt -o -path /var/lib/apt/lists \
        -o -path /var/log -o -path /var/lib/dpkg -o -path /root \) -prune -o -print | sort'
}
in_root "$r2" 'apt-get update -qq' >"$work/apt-update.log" 2>&1
snapshot >"$work/files-before.txt"
timed install "$r2" "cd /root && DEBIAN_FRONTEND=noninteractive apt-get install -y ./$name" || status=1
say "install: $(grep -c '^Setting up' "$work/install.log") packages set up"
check() { # LABEL EXPECTED_STATUS COMMAND
    local got=0
    in_root "$r2" "$3" >"$work/$1.log" 2>&1 || got=$?
    say "$1: exit status $got (expected $2): $(head -c 200 "$work/$1.log" | head -n1)"
    [[ $got == "$2" ]] || status=1
}
check version-monitor 0 'monitor-kelmor --version'
check version-sim 0 'kelmor-gauge-sim --version'
check help-monitor 0 'monitor-kelmor --help'
check no-display 1 'monitor-kelmor'
check wrong-option 2 'monitor-kelmor --demo'
# Started offscreen, it waits in its settings dialog until the time-out ends it.
check offscreen 124 'QT_QPA_PLATFORM=offscreen timeout 5 monitor-kelmor'
check man-page 0 'MANWIDTH=80 zcat /usr/share/man/man1/monitor-kelmor.1.gz | head -n 5'
timed purge "$r2" 'DEBIAN_FRONTEND=noninteractive apt-get purge -y --autoremove monitor-kelmor' || status=1
snapshot >"$work/files-after.txt"
check purged 1 'dpkg-query -W monitor-kelmor'
# Nothing of the package may stay. Debian's own packages pulled in with it (systemd and
# dbus through the recommendations) leave a few files of theirs when purged, such as
# /etc/machine-id and adduser's backups, and programs that ran leave runtime folders:
# listed for the record.
left=0
while IFS= read -r f; do
    if [[ -e "$r2$f" || -L "$r2$f" ]]; then say "purge: $f of the package is still there"; left=1; fi
done < <(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's/^\.//' | grep -v '/$')
((left == 0)) && say "purge: no file of the package is left" || status=1
if diff "$work/files-before.txt" "$work/files-after.txt" >"$work/files.diff"; then
    say "purge: the root holds the same files as before the installation"
else
    say "purge: new since before the installation: $(grep '^>' "$work/files.diff" | cut -c3- | tr '\n' ' ')"
    grep -q '^<' "$work/files.diff" && { say "purge: files of the fresh root are gone"; status=1; }
fi
# On a real display too: Xvfb, installed only now so that it brought nothing the package
# needs.
in_root "$r2" "cd /root && DEBIAN_FRONTEND=noninteractive apt-get install -y ./$name xvfb xauth" \
    >"$work/install-xvfb.log" 2>&1 || status=1
check xvfb 124 'xvfb-run -a timeout 5 monitor-kelmor'
unmount_all
say "fresh-root: $( ((status == 0)) && echo passed || echo FAILED); logs in $work"
exit "$status"
