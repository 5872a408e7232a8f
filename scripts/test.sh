#!/usr/bin/env bash
# The project's test command: installs what is missing, configures and builds
# from scratch in build/, then runs the whole test suite. Fails when any test fails.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
rm -rf build
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure -j"$(nproc)"
