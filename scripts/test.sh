#!/usr/bin/env bash
# Installs the dependencies, builds everything and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh test
# Configuring the tests fails, naming the package, when a part is missing.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON
cmake --build build -j"$(nproc)"
# The JUnit file says how each test ended; .ci/run checks its groups from it.
cd build && ctest --output-on-failure -j"$(nproc)" --output-junit "$PWD/ctest-junit.xml"
