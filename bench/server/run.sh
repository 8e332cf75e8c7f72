#!/usr/bin/env bash
# Prints the sync service's figures: 1,000 WebSocket clients on 500 keys over loopback, each sending
# SET_DAY that the service fans out to the key's other client; sustained SET_DAY/s, p50/p99 push
# latency, memory per idle connection. Targets on 2 cores: >= 20,000 SET_DAY/s with p99 < 10 ms,
# < 50 KB per idle connection. The same load against a python3-websockets relay (no storage) gives
# the ratios. The service runs twice: with its default --sync full (every change fsynced before it is
# pushed) and with --sync normal (committed to the WAL file without fsync). Then both again over TLS
# (a certificate made here for 127.0.0.1; the load generator verifies it and encrypts too, on the
# same cores), beside their plain figures. Target: TLS costs under 30% of the plain throughput.
# Bounded: five runs of about 15 s each.
# Then the flood cases (sync_flood): one client pipelines thousands of requests at a fresh service
# (never reading, reading everything, or writing) while another asks for its note every 20 ms; the
# service's resident memory (VmRSS/VmHWM) before, at its peak and after, and the other client's
# slowest answer. Target: a single client grows the service by < 64 MiB and the other client's slowest
# answer stays in the milliseconds. About 15 s more.
# Then the same load on PostgreSQL (a throwaway cluster from scripts/pg-cluster.sh): one instance, and
# two instances on one database with the two clients of every key on different instances, so every
# push crosses from one instance to the other; the paced phase runs at 5,000 SET_DAY/s. Targets on 2
# cores: two instances >= 1.5x one instance's sustained rate, p99 cross-instance push < 20 ms at
# 5,000/s, CPU per SET_DAY of the instances and the database together <= 60 us; the cores each
# process used are printed beside. With 4 cores or more the pair runs again with the load, the
# database and each instance pinned to a core of its own; with fewer cores but a writable cgroup, with
# a CPU quota per process standing in for its own core. About 30 s more (60 s pinned). Set
# WL_BENCH_PG=0 to leave it out, WL_BENCH_PG=only to run only this part.
# Usage: bench/server/run.sh <build dir> [seconds per measured phase, default 4]
set -euo pipefail
build=${1:?build dir}
secs=${2:-4}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
work=$(mktemp -d)
pids=()
cg_groups=()  # cgroups made for the shared runs
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  [ -f "$work/pg/cluster" ] && "$root/scripts/pg-cluster.sh" stop "$work/pg" >/dev/null 2>&1
  for g in "${cg_groups[@]}"; do rmdir "$g" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
ulimit -n 8192 2>/dev/null || true

# Port from a "... listening on 127.0.0.1:PORT" line.
wait_port() {
  for _ in $(seq 100); do
    port=$(sed -n 's/.*listening on [0-9.]*:\([0-9]*\).*/\1/p' "$1" 2>/dev/null)
    [ -n "$port" ] && { echo "$port"; return 0; }
    sleep 0.1
  done
  echo "no listening line in $1" >&2
  return 1
}

load_pin=()  # a taskset command the load generator runs under, or nothing
load() {  # port pid label [sync_load options]
  local port=$1 pid=$2 label=$3
  shift 3
  "${load_pin[@]}" timeout 120 "$build/bench/server/sync_load" --port "$port" --pid "$pid" --seconds "$secs" --label "$label" \
    "$@" >"$work/$label.txt"
  grep -v '^RESULT' "$work/$label.txt"
}

# A test CA and a certificate for 127.0.0.1 (EC keys: made in milliseconds).
make_certificate() {
  local key="-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
  openssl req -x509 $key -keyout "$work/ca.key" -out "$work/ca.pem" -days 2 -subj "/CN=bench CA" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign >/dev/null 2>&1
  openssl req $key -keyout "$work/tls.key" -out "$work/tls.csr" -subj "/CN=127.0.0.1" >/dev/null 2>&1
  printf 'subjectAltName=IP:127.0.0.1\n' >"$work/tls.ext"
  openssl x509 -req -in "$work/tls.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" -set_serial 1 -days 2 \
    -extfile "$work/tls.ext" -out "$work/tls.pem" >/dev/null 2>&1
}

if [ "${WL_BENCH_PG:-1}" != only ]; then
echo "load: 1000 clients, 500 keys, loopback, $(nproc) cores"
make_certificate
for run in full normal full-tls normal-tls; do
  mode=${run%-tls}
  label=weekleaf-sync
  [ "$run" = full ] || label=weekleaf-sync-$run
  server_tls=() client_tls=()
  if [ "$run" != "$mode" ]; then
    server_tls=(--tls-cert "$work/tls.pem" --tls-key "$work/tls.key")
    client_tls=(--tls-ca "$work/ca.pem")
  fi
  "$build/server/weekleaf-sync" --listen 127.0.0.1:0 --db "$work/$run.db" --sync "$mode" "${server_tls[@]}" \
    >"$work/$run.out" 2>"$work/$run.err" &
  pid=$!
  pids+=("$pid")
  load "$(wait_port "$work/$run.out")" "$pid" "$label" "${client_tls[@]}"
  kill -TERM "$pid"
  wait "$pid"
done

py=""
for candidate in /usr/bin/python3 python3; do
  if "$candidate" -c 'import websockets' 2>/dev/null; then py=$candidate; break; fi
done
if [ -z "$py" ]; then
  echo "relay: python3 with websockets not installed, no ratios"
else
  "$py" "$here/relay.py" >"$work/relay.out" 2>&1 &
  rpid=$!
  pids+=("$rpid")
  load "$(wait_port "$work/relay.out")" "$rpid" python-relay
  kill -TERM "$rpid" 2>/dev/null || true
fi

"${py:-python3}" - "$work" <<'PY'
import os, sys
work = sys.argv[1]

def result(label):
    path = os.path.join(work, label + ".txt")
    if not os.path.exists(path):
        return None
    for line in open(path):
        if line.startswith("RESULT "):
            return {k: (v if k == "label" else float(v)) for k, v in (f.split("=") for f in line.split()[1:])}
    return None

ours, relay = result("weekleaf-sync"), result("python-relay")
if ours is None:
    sys.exit("no figures from weekleaf-sync")
def verdict(ok):
    return "met" if ok else "MISSED"
for label in ("weekleaf-sync", "weekleaf-sync-normal"):
    r = result(label)
    if r is None:
        continue
    print("targets (%s): sustained %.0f SET_DAY/s >= 20000: %s; p99 %.2f ms at 20000/s < 10 ms: %s; "
          "%.1f KB per idle connection < 50: %s"
          % (label, r["max_rate"], verdict(r["max_rate"] >= 20000), r["paced_p99_ms"],
             verdict(r["paced_p99_ms"] < 10 and r["paced_rate"] >= 19000), r["kb_per_conn"],
             verdict(r["kb_per_conn"] < 50)))
for plain in ("weekleaf-sync", "weekleaf-sync-normal"):
    p, t = result(plain), result(plain.replace("-normal", "") + ("-normal-tls" if "normal" in plain else "-full-tls"))
    if p is None or t is None or p["max_rate"] <= 0:
        continue
    cost = 1 - t["max_rate"] / p["max_rate"]
    print("TLS beside plain (%s): sustained %.0f vs %.0f SET_DAY/s (TLS/plain %.2f), p99 push latency at "
          "%.0f/s %.2f vs %.2f ms, service CPU %.1f vs %.1f us per SET_DAY (%.2fx); target: TLS costs "
          "< 30%% of the plain throughput: %.0f%%, %s"
          % (plain, t["max_rate"], p["max_rate"], t["max_rate"] / p["max_rate"], t["paced_rate"],
             t["paced_p99_ms"], p["paced_p99_ms"], t.get("cpu_us", 0), p.get("cpu_us", 0),
             t.get("cpu_us", 0) / p["cpu_us"] if p.get("cpu_us") else 0, 100 * cost, verdict(cost < 0.30)))
if relay:
    def ratio(a, b):
        return "%.3gx" % (a / b) if b > 0 else "n/a"
    print("ratios weekleaf-sync (--sync full) / python3-websockets relay: sustained rate %s (higher is better); "
          "push latency at 20000/s p50 %s, p99 %s; memory per idle connection %s (lower is better)"
          % (ratio(ours["max_rate"], relay["max_rate"]), ratio(ours["paced_p50_ms"], relay["paced_p50_ms"]),
             ratio(ours["paced_p99_ms"], relay["paced_p99_ms"]), ratio(ours["kb_per_conn"], relay["kb_per_conn"])))
PY

echo
echo "flood: one client pipelining at a fresh service (--sync full), another asking every 20 ms"
timeout 300 "$build/bench/server/sync_flood" "$build/server/weekleaf-sync" --sync full 2>/dev/null \
  | tee "$work/flood.txt"
awk 'NR > 1 && $4 + 0 >= 64 { bad = bad " " $1 } END {
  print "target (flood): growth < 64 MiB per client: " (bad == "" ? "met" : "MISSED by" bad) }' "$work/flood.txt"

fi
[ "${WL_BENCH_PG:-1}" = 0 ] && exit 0
echo
echo "postgresql: the same load on a throwaway cluster, paced at 5000 SET_DAY/s; one instance, then two"
echo "on one database with the two clients of every key on different instances"
"$root/scripts/pg-cluster.sh" start "$work/pg" >/dev/null
pg_uri=$(cat "$work/pg/uri")
start_instance() {  # database label [limit, see confine]: its port goes to $port
  "$build/server/weekleaf-sync" --listen 127.0.0.1:0 --db "$1" >"$work/$2.out" 2>"$work/$2.err" &
  pids+=("$!")
  confine "$2" "${3:-}" "$!"
  port=$(wait_port "$work/$2.out")
}
database() {  # name -> a fresh database's URI
  psql -X -q -d "$pg_uri" -c "CREATE DATABASE $1" >/dev/null
  echo "$pg_uri" | sed "s|/weekleaf?|/$1?|"
}
# Every process of the cluster (the postmaster, its helpers and one per connection), joined by "+".
postgres_pids() {
  local main
  main=$(head -n 1 "$(cat "$work/pg/cluster")/data/postmaster.pid")
  echo "$main" $(pgrep -P "$main") | tr ' ' '+'
}
stop_instances() {
  for p in "$@"; do kill -TERM "$p"; wait "$p" || true; done
}
# Where the machine has fewer cores than processes, a CPU quota per process stands in for a core of
# its own: a cgroup (v1 "cpu" or v2) per process, with a short period so that the quota throttles in
# small steps rather than in 100 ms stalls.
cg_v1=/sys/fs/cgroup/cpu
cg_v2=/sys/fs/cgroup
cgroup_v1() { [ -w "$cg_v1" ] && [ -f "$cg_v1/cgroup.procs" ]; }
cgroup_usable() {
  cgroup_v1 && return 0
  [ -f "$cg_v2/cgroup.controllers" ] && grep -qw cpu "$cg_v2/cgroup.controllers" && [ -w "$cg_v2" ]
}
cgroup_for() {  # name fraction: makes the group with that fraction of one core's time in $cg_dir
  local period=10000 quota
  quota=$(awk -v f="$2" -v p="$period" 'BEGIN { printf "%d", f * p }')
  if cgroup_v1; then
    cg_dir="$cg_v1/wlbench-$$-$1"
    mkdir -p "$cg_dir"
    echo "$period" >"$cg_dir/cpu.cfs_period_us"
    echo "$quota" >"$cg_dir/cpu.cfs_quota_us"
  else
    grep -qw cpu "$cg_v2/cgroup.subtree_control" || echo +cpu >"$cg_v2/cgroup.subtree_control"
    cg_dir="$cg_v2/wlbench-$$-$1"
    mkdir -p "$cg_dir"
    echo "$quota $period" >"$cg_dir/cpu.max"
  fi
  cg_groups+=("$cg_dir")
}
# Puts processes under a limit: "cores:<list>" pins them to those cores, "share:<fraction>" gives
# them together that fraction of one core's time; an empty limit leaves them as they are.
confine() {  # name limit pid...
  local name=$1 limit=$2 p
  shift 2
  case "$limit" in
    cores:*) for p in "$@"; do taskset -apc "${limit#cores:}" "$p" >/dev/null; done ;;
    share:*)
      cgroup_for "$name" "${limit#share:}"
      for p in "$@"; do echo "$p" >"$cg_dir/cgroup.procs"; done ;;
  esac
}
# The cluster's processes now; those it forks later inherit a cgroup, not a pinning.
confine_database() {  # limit
  [ -z "$1" ] || confine database "$1" $(postgres_pids | tr '+' ' ')
}
# One instance, then two on one database, each process under the limit given for it (see confine).
# The labels get the suffix $1.
pair() {  # suffix [load limit, database limit, instance-a limit, instance-b limit]
  local suffix=$1 load_limit=${2:-} db_limit=${3:-} a_limit=${4:-} b_limit=${5:-}
  load_pin=()
  case "$load_limit" in cores:*) load_pin=(taskset -c "${load_limit#cores:}") ;; esac
  confine_database "$db_limit"
  start_instance "$(database "bench_one${suffix//-/_}")" "pg-one$suffix" "$a_limit"
  local one=${pids[-1]}
  confine_database "$db_limit"
  load "$port" "$one" "postgresql-one-instance$suffix" --rate 5000 --cpu "weekleaf-sync=$one" \
    --cpu "postgres=$(postgres_pids)"
  stop_instances "$one"
  local two
  two=$(database "bench_two${suffix//-/_}")
  start_instance "$two" "pg-a$suffix" "$a_limit"
  local a=${pids[-1]} port_a=$port
  start_instance "$two" "pg-b$suffix" "$b_limit"
  local b=${pids[-1]} port_b=$port
  confine_database "$db_limit"
  load "$port_a" 0 "postgresql-two-instances$suffix" --rate 5000 --port2 "$port_b" \
    --cpu "instance-a=$a" --cpu "instance-b=$b" --cpu "postgres=$(postgres_pids)"
  stop_instances "$a" "$b"
}
pair ""
cores=$(nproc)
if [ "$cores" -ge 4 ]; then
  echo
  echo "postgresql pinned: the load on core 0, the database on core 1, the instances on cores 2 and 3"
  pair -pinned cores:0 cores:1 cores:2 cores:3
elif cgroup_usable; then
  echo
  echo "postgresql shared: $cores cores cannot give each process a core of its own; instead each"
  echo "instance gets 0.3 of a core's time and the database 0.7 (cgroup CPU quotas), the load the rest"
  pair -shared "" share:0.7 share:0.3 share:0.3
else
  echo "postgresql pinned: needs 4 cores (load, database and two instances each on its own) or a"
  echo "writable cgroup to share them out; this machine has $cores cores and none"
fi

"${py:-python3}" - "$work" <<'PY'
import os, sys
work = sys.argv[1]
def result(label):
    path = os.path.join(work, label + ".txt")
    if os.path.exists(path):
        for line in open(path):
            if line.startswith("RESULT "):
                return {k: (v if k == "label" else float(v)) for k, v in (f.split("=") for f in line.split()[1:])}
    return None
for suffix in ("", "-pinned", "-shared"):
    one, two = result("postgresql-one-instance" + suffix), result("postgresql-two-instances" + suffix)
    if one is None or two is None:
        if not suffix:
            sys.exit("no figures from the PostgreSQL runs")
        continue
    ratio = two["max_rate"] / one["max_rate"] if one["max_rate"] > 0 else 0
    print("targets (postgresql%s): two instances %.0f SET_DAY/s vs one %.0f: %.2fx >= 1.5x: %s; "
          "p99 cross-instance push %.2f ms at %.0f of 5000 SET_DAY/s < 20 ms: %s; CPU per SET_DAY "
          "(instances + database) one %.1f us, two %.1f us <= 60 us: %s"
          % (suffix, two["max_rate"], one["max_rate"], ratio, "met" if ratio >= 1.5 else "MISSED",
             two["paced_p99_ms"], two["paced_rate"],
             "met" if two["paced_p99_ms"] < 20 and two["paced_rate"] >= 4750 else "MISSED",
             one["all_cpu_us"], two["all_cpu_us"],
             "met" if max(one["all_cpu_us"], two["all_cpu_us"]) <= 60 else "MISSED"))
PY
