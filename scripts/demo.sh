#!/usr/bin/env bash
# Installs what is missing, builds and installs LabCore into ./_install and
# runs the main job.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"
cmake --install build --prefix _install

cmake -S examples/settingsdemo -B build-example -G Ninja -DCMAKE_PREFIX_PATH="$PWD/_install"
cmake --build build-example
mkdir -p demo && (cd demo && ../build-example/settingsdemo)
