#!/usr/bin/env bash
# Starts the real window under Xvfb, shows each page, converts the sample,
# presses "Send to Calculator" (the search, and its message when no
# calculator answers), opens its preview on the calculator and saves PNG
# pictures of the windows into build/<preset>/screenshots/ for review.
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
for component in TASM TASM.exe DEVPAC8X DEVPAC8X.exe; do
    if [ -e "$bin/$component" ]; then
        cp "$bin/$component" "$app/"
    fi
done
# The player's source: its main loop and a part for each format and storage.
cp "$bin"/*.z80 "$app/" 2>/dev/null || true

# A clip for the import dialog, too long for the calculator's RAM, when the
# ffmpeg command is there.
if command -v ffmpeg >/dev/null; then
    ffmpeg -hide_banner -loglevel error -f lavfi -i "testsrc2=size=640x360:rate=30:duration=20,noise=alls=10:allf=t" \
        -c:v libx264 -pix_fmt yuv420p "$app/clip.mp4"
fi

out="$(pwd)/$build/screenshots"
rm -rf "$out"
mkdir -p "$out"
shoot() {  # shoot FOLDER DPI [VAR=VALUE...]: one set of pictures
    local folder="$1" dpi="$2"
    shift 2
    rm -f "$app"/*.cfg
    # A desktop tells its programs the screen's resolution through Xft.dpi.
    xvfb-run -a -s "-screen 0 2048x1536x24 -dpi $dpi -noreset" \
        sh -c 'echo "Xft.dpi: $1" | xrdb -merge; shift; exec env -u QT_QPA_PLATFORM "$@"' \
        sh "$dpi" "$@" "$app/zoetra2" --screenshots "$folder"
}
shoot "$out" 96
# The fixed layout must stay whole at other display scales: Qt's scale
# factor, and a 144-dpi screen.
shoot "$out/scale-1.5" 96 QT_SCALE_FACTOR=1.5
shoot "$out/scale-2" 96 QT_SCALE_FACTOR=2
shoot "$out/dpi-144" 144
echo "Screenshots in $out"
