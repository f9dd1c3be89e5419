#!/usr/bin/env bash
# Runs one libFuzzer target for a while: scripts/fuzz.sh <target> [seconds] [processes].
# With several processes (one per core, say) they share the work folder and
# pick up each other's inputs; each writes build/fuzz/<target>-<n>.log.
# Targets: the folders under fuzz/ (tasm, batchline, frameloader, savedfolder).
# New inputs go to build/fuzz/work/<target>; crashes to build/fuzz/crashes.
# Inputs worth keeping are copied into fuzz/<target>/corpus by hand.
set -euo pipefail
cd "$(dirname "$0")/.."

target=${1:?usage: scripts/fuzz.sh <target> [seconds] [processes]}
seconds=${2:-60}
processes=${3:-1}
if [ ! -f "fuzz/$target/CMakeLists.txt" ]; then
    echo "no fuzz target '$target'; there are: $(cd fuzz && ls -d */ | tr -d / | tr '\n' ' ')" >&2
    exit 2
fi

scripts/deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "fuzz_$target" -j2

work=build/fuzz/work/$target
mkdir -p "$work" build/fuzz/crashes
run() {
    "build/fuzz/fuzz/fuzz_$target" "$work" "fuzz/$target/corpus" \
        -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix=build/fuzz/crashes/"$target"- -print_final_stats=1 "$@"
}
if [ "$processes" -le 1 ]; then
    run
    exit
fi
pids=()
for n in $(seq 1 "$processes"); do
    run -seed="$n" > "build/fuzz/$target-$n.log" 2>&1 &
    pids+=($!)
done
status=0
for pid in "${pids[@]}"; do
    wait "$pid" || status=$?
done
grep -h 'stat::number_of_executed_units\|stat::average_exec_per_sec' build/fuzz/"$target"-*.log
exit "$status"
