#!/usr/bin/env bash
# Installs what is needed, builds with warnings as errors, runs every test, and checks that the
# portable core still cross-compiles for Windows.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/bootstrap.sh

cmake --preset ci
cmake --build --preset ci -j 2
ctest --preset ci -j 2 --timeout 900

# The portable core must not pick up anything Linux-only.
cmake --preset mingw-core
cmake --build --preset mingw-core -j 2
echo "portable core cross-compiled for Windows: ok"
