#!/usr/bin/env bash
# A throwaway PostgreSQL cluster for tests and benchmarks.
#
#   scripts/pg-cluster.sh start DIR   creates a cluster in a fresh temporary folder, starts it on a
#                                     free loopback port and writes into DIR:
#                                       uri           superuser URI over the cluster's unix socket
#                                                     (no password: local connections are trusted)
#                                       password-uri  URI of the role weekleaf_pw over TCP (it needs a
#                                                     password: scram-sha-256)
#                                       password      that role's password
#                                       cluster       the temporary folder (data, socket, log)
#   scripts/pg-cluster.sh stop DIR    stops the cluster and removes the temporary folder
#
# The server refuses to run as root, so as root it runs as the postgres user (or nobody), and the
# folder it owns lives under /tmp where that user can reach it whatever DIR's parents allow.
# Durability is switched off: the cluster only lives as long as the tests.
set -euo pipefail

usage() {
  echo "usage: $0 start|stop DIR" >&2
  exit 2
}
[ $# -eq 2 ] || usage
command=$1
dir=$2

bindir() {
  local found
  found=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
  if [ -z "$found" ] || [ ! -x "$found/initdb" ]; then
    echo "pg-cluster: no PostgreSQL server found under /usr/lib/postgresql (install postgresql)" >&2
    exit 1
  fi
  echo "$found"
}

run_as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u "$owner" -- "$@"
  else
    "$@"
  fi
}

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

start() {
  local bin cluster port
  bin=$(bindir)
  owner=$(id -un)
  if [ "$(id -u)" -eq 0 ]; then
    owner=nobody
    getent passwd postgres >/dev/null && owner=postgres
  fi
  mkdir -p "$dir"
  if [ -f "$dir/cluster" ]; then stop; fi
  cluster=$(mktemp -d /tmp/weekleaf-pg.XXXXXX)
  chmod 755 "$cluster"
  [ "$(id -u)" -eq 0 ] && chown "$owner" "$cluster"
  echo "$cluster" >"$dir/cluster"
  run_as_owner "$bin/initdb" -D "$cluster/data" -U weekleaf -E UTF8 --locale=C.UTF-8 \
    --auth-local=trust --auth-host=scram-sha-256 --no-sync >"$cluster/initdb.log" 2>&1 || {
    cat "$cluster/initdb.log" >&2
    exit 1
  }
  port=$(free_port)
  cat >>"$cluster/data/postgresql.conf" <<EOF
listen_addresses = '127.0.0.1'
port = $port
unix_socket_directories = '$cluster'
max_connections = 300
shared_buffers = 32MB
fsync = off
synchronous_commit = off
full_page_writes = off
EOF
  run_as_owner "$bin/pg_ctl" -D "$cluster/data" -l "$cluster/server.log" -w -t 30 start >/dev/null || {
    cat "$cluster/server.log" >&2
    exit 1
  }
  local password
  password=$(python3 -c 'import secrets; print(secrets.token_hex(12))')
  "$bin/psql" -X -q -v ON_ERROR_STOP=1 -h "$cluster" -p "$port" -U weekleaf -d postgres <<EOF
CREATE DATABASE weekleaf;
CREATE ROLE weekleaf_pw LOGIN PASSWORD '$password';
GRANT ALL ON DATABASE weekleaf TO weekleaf_pw;
\c weekleaf
GRANT ALL ON SCHEMA public TO weekleaf_pw;
EOF
  echo "postgresql://weekleaf@/weekleaf?host=$cluster&port=$port" >"$dir/uri"
  echo "postgresql://weekleaf_pw@127.0.0.1:$port/weekleaf" >"$dir/password-uri"
  echo "$password" >"$dir/password"
  echo "pg-cluster: running on port $port, $dir/uri"
}

stop() {
  [ -f "$dir/cluster" ] || return 0
  local bin cluster
  bin=$(bindir)
  cluster=$(cat "$dir/cluster")
  owner=$(stat -c %U "$cluster" 2>/dev/null || id -un)
  if [ -d "$cluster/data" ]; then
    run_as_owner "$bin/pg_ctl" -D "$cluster/data" -m immediate -w stop >/dev/null 2>&1 || true
  fi
  case "$cluster" in
    /tmp/weekleaf-pg.*) rm -rf "$cluster" ;;
  esac
  rm -f "$dir/cluster" "$dir/uri" "$dir/password-uri" "$dir/password"
}

case "$command" in
  start) start ;;
  stop) stop ;;
  *) usage ;;
esac
