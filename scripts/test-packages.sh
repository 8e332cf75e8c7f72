#!/usr/bin/env bash
# The Debian packages as an administrator meets them: builds both (scripts/package.sh), checks
# them with lintian, desktop-file-validate and appstreamcli, installs them with dpkg, runs the
# installed programs, starts the installed service the way its systemd unit does (by hand: CI has
# no running systemd), talks to it with an independent WebSocket client, stops it with SIGTERM,
# then removes and purges both packages and checks that the service's database is still there.
# Needs root. Prints one PASS or FAIL line per check; exits 1 when any check failed.
# Usage: scripts/test-packages.sh [BUILD_DIR]   (default build/default)
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
packages=build/packages
work=$(mktemp -d /tmp/weekleaf-packages.XXXXXX)
failures=0
service_pid=

pass() { printf 'PASS  %s\n' "$*"; }
fail() {
  printf 'FAIL  %s\n' "$*"
  failures=$((failures + 1))
}
# check NAME COMMAND...: PASS when the command succeeds, FAIL with its output otherwise.
check() {
  local name=$1
  shift
  if "$@" >"$work/out" 2>&1; then
    pass "$name"
  else
    fail "$name"
    sed 's/^/      /' "$work/out" | head -40
  fi
}
saved_state=
cleanup() {
  [ -n "$service_pid" ] && kill -KILL "$service_pid" 2>/dev/null
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null
  # The test's database goes; a state folder that was there before comes back as it was.
  if [ -n "${state:-}" ] && [ -d "$state" ]; then rm -rf "$state"; fi
  [ -n "$saved_state" ] && mv "$saved_state" "$state"
  rm -rf "$work"
}
trap cleanup EXIT

if [ "$(id -u)" -ne 0 ]; then
  echo "test-packages: needs root (dpkg -i)" >&2
  exit 1
fi
start=$(date +%s)
version=$(sed -n 's/^project(Weekleaf VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

# ---- build and static checks ----------------------------------------------------------------------
if ! bash scripts/package.sh "$build" >"$work/package.log" 2>&1; then
  cat "$work/package.log"
  echo "FAIL  scripts/package.sh"
  exit 1
fi
app_deb=$(ls "$packages"/weekleaf_*.deb)
sync_deb=$(ls "$packages"/weekleaf-sync_*.deb)
pass "scripts/package.sh built $(basename "$app_deb") and $(basename "$sync_deb")"
check "lintian: no errors or warnings" lintian --fail-on error,warning "$app_deb" "$sync_deb"
check "weekleaf Depends computed from the shared libraries" \
  bash -c "dpkg-deb -f '$app_deb' Depends | grep -q libqt6widgets6"
check "weekleaf-sync Depends computed from the shared libraries" \
  bash -c "dpkg-deb -f '$sync_deb' Depends | grep -q libsqlite3-0"
check "binaries are stripped" bash -c "dpkg-deb -x '$app_deb' '$work/x' && dpkg-deb -x '$sync_deb' '$work/x' &&
  ! file -L '$work'/x/usr/bin/weekleaf-sync '$work'/x/usr/bin/weekleaf-render '$work'/x/usr/libexec/weekleaf/* | grep -q 'not stripped'"

# ---- installing ---------------------------------------------------------------------------------
# A user's data folder and an earlier database must come through install, upgrade and removal.
data=$work/home/Weekleaf
mkdir -p "$data"
printf '{"10.12.2026":"<p>keep me</p>"}' >"$data/Data.json"
cp "$data/Data.json" "$work/Data.json.before"

check "dpkg -i both packages" dpkg -i "$app_deb" "$sync_deb"
check "dpkg -i both again (an upgrade in place)" dpkg -i "$app_deb" "$sync_deb"
check "desktop-file-validate" desktop-file-validate /usr/share/applications/org.weekleaf.Weekleaf.desktop
check "appstreamcli validate" appstreamcli validate --no-net /usr/share/metainfo/org.weekleaf.Weekleaf.metainfo.xml
check "/usr/bin/weekleaf --version" bash -c "[ \"\$(/usr/bin/weekleaf --version)\" = 'weekleaf $version' ]"
check "/usr/bin/weekleaf-sync --version" bash -c "[ \"\$(/usr/bin/weekleaf-sync --version)\" = 'weekleaf-sync $version' ]"
check "/usr/bin/weekleaf-render --version" bash -c "[ \"\$(/usr/bin/weekleaf-render --version)\" = 'weekleaf-render $version' ]"
check "the restarter sits beside the installed program" test -x "$(dirname "$(readlink -f /usr/bin/weekleaf)")/weekleaf-restarter"
for page in weekleaf.1 weekleaf-render.1 weekleaf-sync.8; do
  check "manual page $page" test -s "/usr/share/man/man${page##*.}/$page.gz"
done
if command -v convert >/dev/null; then
  convert -size 1024x768 xc:'#1e5aa0' "BMP3:$work/wall.bmp"
  check "installed weekleaf-render draws a week" bash -c "/usr/bin/weekleaf-render --data '$data' \
    --wallpaper '$work/wall.bmp' --out '$work/week.bmp' --size 800x600 --today 10.12.2026 && test -s '$work/week.bmp'"
fi

# The installed planner on a private X server: its main window (or the first-start dialog) shows.
if command -v Xvfb >/dev/null && command -v xdotool >/dev/null; then
  display=:$((90 + RANDOM % 100))
  Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  sleep 1
  mkdir -p "$work/app/Weekleaf"
  DISPLAY=$display AppData=$work/app HOME=$work/app XDG_CONFIG_HOME=$work/app/config \
    QTWEBENGINE_DISABLE_SANDBOX=1 QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu \
    timeout 40 /usr/bin/weekleaf >"$work/app.log" 2>&1 &
  app_pid=$!
  shown=""
  for _ in $(seq 60); do
    shown=$(DISPLAY=$display xdotool search --onlyvisible --class 'TfmMain|Weekleaf' 2>/dev/null | head -1)
    [ -n "$shown" ] && break
    sleep 0.5
  done
  kill "$app_pid" 2>/dev/null
  wait "$app_pid" 2>/dev/null
  kill "$xvfb_pid" 2>/dev/null
  wait "$xvfb_pid" 2>/dev/null
  xvfb_pid=
  if [ -n "$shown" ]; then pass "installed weekleaf shows its window under Xvfb"; else
    fail "installed weekleaf shows its window under Xvfb"
    tail -20 "$work/app.log" | sed 's/^/      /'
  fi
fi

# ---- the service from its unit file ---------------------------------------------------------------
unit=/lib/systemd/system/weekleaf-sync.service
if command -v systemd-analyze >/dev/null; then
  check "systemd-analyze verify $unit" systemd-analyze verify "$unit"
fi
[ -d /run/systemd/system ] && deb-systemd-invoke stop weekleaf-sync.service >/dev/null 2>&1
state=/var/lib/$(sed -n 's/^StateDirectory=//p' "$unit")
read -r -a exec_start <<<"$(sed -n 's/^ExecStart=//p' "$unit")"
db=$(sed -n 's/^db *= *//p' /etc/weekleaf-sync/weekleaf-sync.conf)
check "the config file keeps the database in the state directory" test "$(dirname "$db")" = "$state"
if [ -e "$state" ]; then
  saved_state=$state.saved-by-test-packages
  mv "$state" "$saved_state"
fi
mkdir -p "$state"
peer=tests/server/peer_client.py
python=/usr/bin/python3 # the system's, with python3-websockets

# Starts the unit's command with a free port instead of the configured one (the command line
# wins over the config file) and any further ARGS, and sets $port from its start line.
start_service() {
  "${exec_start[@]}" --listen 127.0.0.1:0 "$@" >"$work/service.out" 2>"$work/service.err" &
  service_pid=$!
  port=""
  for _ in $(seq 100); do
    port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/service.out")
    [ -n "$port" ] && return 0
    kill -0 "$service_pid" 2>/dev/null || break
    sleep 0.1
  done
  cat "$work/service.err"
  return 1
}
# SIGTERM and the exit status, at most 10 s.
stop_service() {
  kill -TERM "$service_pid"
  for _ in $(seq 100); do
    kill -0 "$service_pid" 2>/dev/null || break
    sleep 0.1
  done
  wait "$service_pid"
  local status=$?
  service_pid=
  return $status
}

check "the unit's ExecStart starts the service" start_service
check "the service answers a WebSocket client and stores its changes" timeout 30 "$python" "$peer" 127.0.0.1 "$port" persist-write
check "SIGTERM ends the service with status 0" stop_service
check "the service logged its stop" grep -q "weekleaf-sync: stopped" "$work/service.err"
check "the database is in the state directory, written by this run" \
  bash -c "test -s '$db' && [ \$(stat -c %Y '$db') -ge $start ]"
check "started again, the service still has the changes" bash -c "$(declare -f start_service); $(declare -p exec_start work);
  start_service && timeout 30 '$python' '$peer' 127.0.0.1 \"\$port\" persist-read; s=\$?; kill -TERM \$service_pid; wait \$service_pid; exit \$s"

# TLS as the packaged config file's commented lines describe it, with a certificate for
# 127.0.0.1 made here; the independent client trusts only that certificate.
if command -v openssl >/dev/null; then
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 \
    -addext "subjectAltName=IP:127.0.0.1,DNS:localhost" \
    -keyout "$work/key.pem" -out "$work/cert.pem" >/dev/null 2>&1
  sed -e "s|^#tls-cert = .*|tls-cert = $work/cert.pem|" -e "s|^#tls-key = .*|tls-key = $work/key.pem|" \
    /etc/weekleaf-sync/weekleaf-sync.conf >"$work/tls.conf"
  check "the packaged config file's TLS lines, filled in, start a wss service" start_service --config "$work/tls.conf"
  check "a client that checks the certificate talks to it over wss" \
    timeout 30 "$python" "$peer" 127.0.0.1 "$port" handshake "$work/cert.pem"
  check "SIGTERM ends the TLS service with status 0" stop_service
fi

# ---- removing and purging -------------------------------------------------------------------------
check "dpkg -r both packages" dpkg -r weekleaf weekleaf-sync
check "removing keeps the config file" test -f /etc/weekleaf-sync/weekleaf-sync.conf
check "dpkg -P both packages" dpkg -P weekleaf weekleaf-sync
check "purging removes the config file" test ! -e /etc/weekleaf-sync/weekleaf-sync.conf
check "the programs are gone" test ! -e /usr/bin/weekleaf -a ! -e /usr/bin/weekleaf-sync -a ! -e /usr/libexec/weekleaf
check "purging forgets the service's enablement" test ! -e /etc/systemd/system/multi-user.target.wants/weekleaf-sync.service
check "the service's database survives removal and purge" test -s "$db"
check "the database still holds the changes" "$python" -c "import sqlite3, sys
c = sqlite3.connect('file:' + sys.argv[1] + '?mode=ro', uri=True)
tables = [t for (t,) in c.execute(\"select name from sqlite_master where type='table'\")]
sys.exit(0 if sum(c.execute('select count(*) from \"%s\"' % t).fetchone()[0] for t in tables) > 0 else 1)" "$db"
check "the user's data folder is untouched" cmp "$data/Data.json" "$work/Data.json.before"

echo "test-packages: $failures failed, $(($(date +%s) - start)) s"
[ "$failures" -eq 0 ]
