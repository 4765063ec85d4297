#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite: once as a
# plain build, a short fuzzing run of the curve reader, and once more under
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

# Fuzz the curve reader with clang's libFuzzer for a bounded time. New
# inputs go to the build folder; the regression corpus in fuzz/results/corpus
# is only read here (the test suite replays it).
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DLABCORE_FUZZ=ON -DLABCORE_SANITIZE=ON -DLABCORE_BUILD_TESTS=OFF -DLABCORE_BUILD_BENCH=OFF
cmake --build build-fuzz -j "$jobs" --target fuzz_curvebuffer
mkdir -p build-fuzz/corpus/curvebuffer
build-fuzz/fuzz/results/fuzz_curvebuffer -max_total_time=20 -max_len=2048 \
    build-fuzz/corpus/curvebuffer fuzz/results/corpus

cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DLABCORE_SANITIZE=ON -DLABCORE_BUILD_BENCH=OFF
cmake --build build-sanitize -j "$jobs"
ctest --test-dir build-sanitize --output-on-failure -j "$jobs"
