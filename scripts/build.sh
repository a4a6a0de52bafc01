#!/usr/bin/env bash
# Configures and builds one build tree: build.sh [DIR] [extra cmake args...]
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
DIR=${1:-$ROOT/build}
shift || true
# ccache: paths relative to the checkout, so that another clone of the same sources hits the same cache.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$ROOT} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-true}
# Configure every time: cheap, and it picks up folders that gained a CMakeLists.txt.
if [ -f "$DIR/CMakeCache.txt" ]; then
  cmake -S "$ROOT" -B "$DIR" "$@" >/dev/null
else
  cmake -S "$ROOT" -B "$DIR" -G Ninja "$@" >/dev/null
fi
cmake --build "$DIR" -j "${KVX_JOBS:-$(nproc)}"
