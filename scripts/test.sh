#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs the dependencies, builds everything and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh test
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON
cmake --build build -j"$(nproc)"
cd build && ctest --output-on-failure -j"$(nproc)"
