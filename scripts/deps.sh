#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the window need,
# when any of them is missing. Safe to run again: it installs nothing twice.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-image-formats-plugins qt6-multimedia-dev libgl-dev
    libgtest-dev libgmock-dev
    libz80ex-dev pasmo binutils-z80 libtifiles-dev libticalcs-dev libticables-dev libusb-1.0-0-dev
    libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev ffmpeg
    clang libclang-rt-14-dev
    xvfb xauth x11-xserver-utils fonts-wine
    dpkg-dev file desktop-file-utils appstream
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if ((${#missing[@]} == 0)); then
    exit 0
fi

sudo=()
if [ "$(id -u)" -ne 0 ]; then
    sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
echo "Installing: ${missing[*]}"
if ! "${sudo[@]}" apt-get install -y -q "${missing[@]}"; then
    "${sudo[@]}" apt-get update -q
    "${sudo[@]}" apt-get install -y -q "${missing[@]}"
fi
