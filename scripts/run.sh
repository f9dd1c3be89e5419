#!/usr/bin/env bash
# Builds everything and starts the program on the bundled sample: the window
# when a display is there, otherwise the headless converter.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
cmake --preset dev
cmake --build --preset dev

app=build/dev/bin
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$app/zoetra2" ]; then
    exec "$app/zoetra2" "$@"
fi
mkdir -p build/dev/output
exec "$app/zoetra2-convert" --output build/dev/output "$@"
