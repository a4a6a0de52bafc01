#!/usr/bin/env bash
# Starts what the build has: the shell with the module; when the module cannot open its window yet (or
# the shell is missing), the configuration report, saying so. Without a display the shell renders the
# program window to a PNG instead of failing.
set -uo pipefail
BUILD=$1; shift
if [ -x "$BUILD/bin/pellan" ] && [ -f "$BUILD/lib/QLDI05C.so" ]; then
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    shot=${KVX_SCREENSHOT:-$BUILD/program.png}
    echo "No display available: rendering the program window to $shot instead." >&2
    QT_QPA_PLATFORM=offscreen "$BUILD/bin/pellan" --screenshot "$shot" "$@"
  else
    "$BUILD/bin/pellan" "$@"
  fi
  rc=$?
  [ $rc -eq 0 ] && exit 0
  echo "pellan could not open the program (exit $rc); showing the client configuration instead." >&2
fi
if [ -x "$BUILD/bin/kvx-config" ]; then
  exec "$BUILD/bin/kvx-config"
fi
echo "Nothing runnable is built yet." >&2
exit 1
