#!/usr/bin/env bash
# Installs what is missing, builds, creates the installation tree on first use and runs the program.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")" && pwd)
"$ROOT/scripts/deps.sh"
"$ROOT/scripts/build.sh" "$ROOT/build"
"$ROOT/scripts/install-tree.sh" "$ROOT/build"
exec "$ROOT/scripts/launch.sh" "$ROOT/build" "$@"
