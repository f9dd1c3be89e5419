#!/usr/bin/env bash
# Starts the real window under Xvfb, shows each page, converts the sample,
# opens its preview on the calculator and saves PNG pictures of the windows
# into build/<preset>/screenshots/ for review.
# Usage: scripts/screenshots.sh [preset]   (default: dev)
set -euo pipefail
cd "$(dirname "$0")/.."

preset="${1:-dev}"
build="build/$preset"
bin="$build/bin"
if [ ! -x "$bin/zoetra2" ]; then
    echo "No $bin/zoetra2: build first (cmake --preset $preset && cmake --build --preset $preset)." >&2
    exit 1
fi
command -v xvfb-run >/dev/null || { echo "xvfb-run is missing: run scripts/deps.sh." >&2; exit 1; }

# The window runs from an application folder of its own, so the build's
# folder keeps no generated files and no remembered folders.
app="$(mktemp -d)"
trap 'rm -rf "$app"' EXIT
cp "$bin/zoetra2" "$bin"/sample* "$app/"
for component in TASM TASM.exe DEVPAC8X DEVPAC8X.exe VID.z80; do
    if [ -e "$bin/$component" ]; then
        cp "$bin/$component" "$app/"
    fi
done

out="$(pwd)/$build/screenshots"
rm -rf "$out"
mkdir -p "$out"
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" \
    env -u QT_QPA_PLATFORM "$app/zoetra2" --screenshots "$out"
echo "Screenshots in $out"
