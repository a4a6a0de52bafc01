#!/usr/bin/env bash
# Starts what the build has: the shell with the module when both exist, else the configuration report.
set -euo pipefail
BUILD=$1; shift
if [ -x "$BUILD/bin/pellan" ] && [ -f "$BUILD/lib/QLDI05C.so" ]; then
  exec "$BUILD/bin/pellan" "$@"
fi
if [ -x "$BUILD/bin/kvx-config" ]; then
  echo "The program window is not built yet; showing the client configuration instead."
  exec "$BUILD/bin/kvx-config" "$@"
fi
echo "Nothing runnable is built yet." >&2
exit 1
