#!/usr/bin/env bash
# Installs what is missing, builds the optimised command and runs the main job: the demo,
# which serves its own sample pages on a loopback port and walks every scraper and builder.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target pelmo
exec build/release/pelmo demo
