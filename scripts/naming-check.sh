#!/usr/bin/env bash
# Runs the naming checks of .clang-tidy over the module's sources (src/) in parallel and fails on a violation.
#   naming-check.sh [BUILD_DIR]   (the build tree's compile_commands.json and generated headers are used)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
DIR=${1:-$ROOT/build}
TIDY=${CLANG_TIDY:-clang-tidy}
cd "$ROOT"
# clang-tidy reports on stdout; its stderr only counts the diagnostics it suppressed in system headers.
find src -name '*.cpp' -print0 | sort -z |
  xargs -0 -P "${KVX_JOBS:-$(nproc)}" -n 4 "$TIDY" -p "$DIR" --quiet 2>/dev/null
