#!/usr/bin/env bash
# Builds every target with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/
# and runs the whole test suite there; any finding fails its test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLANLAN_SANITIZE=ON -DLANLAN_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -j"$(nproc)"
cd build-asan && ctest --output-on-failure -j"$(nproc)" --timeout 600
