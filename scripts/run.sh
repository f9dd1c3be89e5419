#!/usr/bin/env bash
# Builds the program, the converter, their tools, the player and the sample
# (not the tests, benchmarks or fuzzers: scripts/test.sh builds everything)
# and starts the program on the bundled sample: the window when a display
# is there, otherwise the headless converter.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
cmake --preset dev
cmake --build --preset dev --target zoetra2 zoetra2-convert TASM DEVPAC8X player_source sample_frames

app=build/dev/bin
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$app/zoetra2" ]; then
    exec "$app/zoetra2" "$@"
fi
mkdir -p build/dev/output
exec "$app/zoetra2-convert" --output build/dev/output "$@"
