#!/usr/bin/env bash
# Runs one libFuzzer target for a while: scripts/fuzz.sh <target> [seconds].
# Targets: the folders under fuzz/ (tasm, batchline, frameloader, savedfolder).
# New inputs go to build/fuzz/work/<target>; crashes to build/fuzz/crashes.
# Inputs worth keeping are copied into fuzz/<target>/corpus by hand.
set -euo pipefail
cd "$(dirname "$0")/.."

target=${1:?usage: scripts/fuzz.sh <target> [seconds]}
seconds=${2:-60}
if [ ! -f "fuzz/$target/CMakeLists.txt" ]; then
    echo "no fuzz target '$target'; there are: $(cd fuzz && ls -d */ | tr -d / | tr '\n' ' ')" >&2
    exit 2
fi

scripts/deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "fuzz_$target" -j2

work=build/fuzz/work/$target
mkdir -p "$work" build/fuzz/crashes
exec "build/fuzz/fuzz/fuzz_$target" "$work" "fuzz/$target/corpus" \
    -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix=build/fuzz/crashes/"$target"- -print_final_stats=1
