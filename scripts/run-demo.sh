#!/usr/bin/env bash
# Installs what is needed, builds, and runs the tool's main job on a built-in simulated adaptor:
# the window's demo when a display is present, otherwise the whole update journey on the command line.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/bootstrap.sh

cmake --preset default
cmake --build --preset default -j 2

bin=build/default/app
if [ -n "${DISPLAY:-}" ] && [ -x "$bin/qt/corvane-update-tool" ]; then
  exec "$bin/qt/corvane-update-tool" --simulate kts260
fi
"$bin/cli/corvane-update" list --simulate kts260
"$bin/cli/corvane-update" update --simulate kts260 --yes
