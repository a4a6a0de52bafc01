#!/usr/bin/env bash
# A private PostgreSQL for the tests: pg-test.sh start DIR | stop DIR.
# start: initdb into DIR/data, listen only on a Unix socket in DIR (no TCP), print the connection URI of
# the superuser kvx_admin (trusted on the socket; every other role signs in with a SCRAM password).
# As root the server runs as an unprivileged user (initdb and postgres refuse root): kvxpg when it exists
# (scripts/deps.sh creates it), else nobody.
set -euo pipefail
cmd=${1:?start or stop}
DIR=${2:?folder}
BIN=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
[ -n "$BIN" ] && [ -x "$BIN/initdb" ] || { echo "pg-test: PostgreSQL server not installed" >&2; exit 3; }
RUN=()
if [ "$(id -u)" -eq 0 ]; then
  user=kvxpg
  id "$user" >/dev/null 2>&1 || user=nobody
  RUN=(runuser -u "$user" --)
fi
case "$cmd" in
start)
  mkdir -p "$DIR"
  [ ${#RUN[@]} -gt 0 ] && chown "${RUN[2]}" "$DIR"
  chmod 0700 "$DIR"
  "${RUN[@]}" "$BIN/initdb" -D "$DIR/data" -U kvx_admin -A scram-sha-256 --auth-local=trust -E UTF8 \
    --locale=C --no-sync >"$DIR/initdb.log" 2>&1 || { cat "$DIR/initdb.log" >&2; exit 1; }
  # Only the admin is trusted on the socket; the server roles of the tests use passwords.
  cat >"$DIR/data/pg_hba.conf" <<HBA
local all kvx_admin trust
local all all scram-sha-256
HBA
  "${RUN[@]}" "$BIN/pg_ctl" -D "$DIR/data" -l "$DIR/server.log" -w -t 60 \
    -o "-c listen_addresses='' -c unix_socket_directories='$DIR' -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c max_connections=300 -c shared_buffers=64MB" \
    start >/dev/null || { cat "$DIR/server.log" >&2; exit 1; }
  # The socket folder must be reachable by the test processes (root in CI, or the invoking user).
  chmod 0755 "$DIR"
  echo "postgresql://kvx_admin@/postgres?host=$DIR"
  ;;
stop)
  [ -f "$DIR/data/postmaster.pid" ] && "${RUN[@]}" "$BIN/pg_ctl" -D "$DIR/data" -m immediate -w stop >/dev/null 2>&1 || true
  rm -rf "$DIR"
  ;;
*) echo "pg-test: start or stop" >&2; exit 2 ;;
esac
