#!/usr/bin/env bash
# Installs what is missing, builds, creates the installation tree and runs the whole test suite.
# KVX_SANITIZE=1 builds and tests the ASan/UBSan configuration in build-asan/ instead.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")" && pwd)
"$ROOT/scripts/deps.sh"
if [ "${KVX_SANITIZE:-0}" = 1 ]; then
  DIR=$ROOT/build-asan
  "$ROOT/scripts/build.sh" "$DIR" -DKVX_SANITIZE=ON -DKVX_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
else
  DIR=$ROOT/build
  "$ROOT/scripts/build.sh" "$DIR"
fi
"$ROOT/scripts/install-tree.sh" "$DIR"
# Naming rule (docs/architecture.md): checked when clang-tidy is installed, once (the sanitizer build has the
# same sources).
if [ "${KVX_SANITIZE:-0}" != 1 ] && command -v "${CLANG_TIDY:-clang-tidy}" >/dev/null; then
  "$ROOT/scripts/naming-check.sh" "$DIR"
fi
# A private PostgreSQL for the tests that run on both engines (labelled "postgres"), when the server
# package is installed: a Unix socket in a temporary folder only, stopped whatever the tests do.
if [ -z "${KVX_TEST_PG:-}" ] && ls /usr/lib/postgresql/*/bin/initdb >/dev/null 2>&1; then
  PGDIR=$(mktemp -d /tmp/kvx-pg.XXXXXX)
  trap '"$ROOT/scripts/pg-test.sh" stop "$PGDIR"' EXIT
  rmdir "$PGDIR"
  KVX_TEST_PG=$("$ROOT/scripts/pg-test.sh" start "$PGDIR")
  export KVX_TEST_PG
fi
cd "$DIR"
ctest --output-on-failure -j "${KVX_JOBS:-$(nproc)}" "$@"
