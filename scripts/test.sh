#!/usr/bin/env bash
# Builds everything and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
cmake --preset ci
cmake --build --preset ci
ctest --preset ci "$@"
