#!/usr/bin/env bash
# Installs with apt-get whatever the build and the tests need and is not there yet.
# Sourced by run.sh and test.sh; safe to run again.
set -euo pipefail

# file: CPack's Debian generator; lintian and help2man: the package and its manual pages;
# clang-format: the test command checks the sources' format.
kelmor_packages=(cmake build-essential qt6-base-dev qt6-serialport-dev libqcustomplot-dev
                 fonts-liberation2 qt6-translations-l10n desktop-file-utils file lintian help2man
                 clang-format-14)
if [[ "${KELMOR_WITH_FUZZ:-0}" == 1 ]]; then
    kelmor_packages+=(clang-14 libclang-rt-14-dev)
fi
if [[ "${KELMOR_WITH_BENCH:-0}" == 1 ]]; then
    # X servers to draw on as on a desktop, the tools to drive a window there, and the
    # serial terminal the monitor is compared with.
    kelmor_packages+=(xvfb xdotool x11-xserver-utils cutecom)
fi

missing=()
for p in "${kelmor_packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    sudo_cmd=()
    [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
fi
