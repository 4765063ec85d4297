#!/usr/bin/env bash
# Installs every Debian package that building, testing and running LabCore
# needs. Idempotent: installs nothing when everything is already present.
set -euo pipefail

packages=(
    cmake g++ make ninja-build clang
    qt6-base-dev libqt6sql6-sqlite qt6-declarative-dev qt6-serialport-dev
    qt6-l10n-tools qt6-tools-dev qt6-tools-dev-tools libgl-dev
    sqlite3 python3
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if ((${#missing[@]} == 0)); then
    exit 0
fi

echo "Installing: ${missing[*]}"
if [[ $(id -u) -ne 0 ]]; then
    SUDO=sudo
else
    SUDO=
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
