#!/usr/bin/env bash
# Figures of the desktop app on a private X server (Xvfb), with the blocks on and no sync service:
#   start to visible main window (median of 3 starts), proportional memory (PSS) of the program and
#   its browser processes with the main window open, CPU use while idle (default 60 s; set
#   BENCH_IDLE_SECONDS to change it). Usage: bench/app/run.sh BUILD_DIR
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../session-figures.sh"
build=$(cd "${1:?build dir}" && pwd)
app="$build/src/app/weekleaf"
[ -x "$app" ] || { echo "app: $app not built"; exit 0; }
command -v Xvfb >/dev/null && command -v xdotool >/dev/null || { echo "app: Xvfb/xdotool missing, skipped"; exit 0; }
idle=${BENCH_IDLE_SECONDS:-60}

work=$(mktemp -d)
xvfb_pid=""
app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill -KILL -- "-$app_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(head -n1 "$work/display")"
export AppData="$work/data"
export QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu
[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
unset XDG_CURRENT_DESKTOP WAYLAND_DISPLAY

mkdir -p "$AppData/Weekleaf/Wpp"
printf '{"note":"<p>bench</p>"}\r\n' >"$AppData/Weekleaf/Data.json"
printf '%s\r\n' StartWithOS=0 HideOnStart=0 ShowBloks=-1 Key= "WppDateToChange=01.01.2100 0:00:00" WppToChange=4 \
  WppRandom=0 WppCurIndex=0 UseHotKey=0 HotKeyMain=0 HotKeyNote=9 HotKeyTemplate=8 HotKeyBlock=7 HotKeyEditor=6 \
  Font=Tahoma FontSize=8 HotKeyBold=B HotKeyItalic=I HotKeyStriceOut=R ALPHABLEND_VALUE=125 CheckUpdate=0 SyncPort=1 \
  >"$AppData/Weekleaf/Config.ini"

start_app() {
  setsid "$app" >"$work/app.log" 2>&1 &
  app_pid=$!
}
stop_app() {
  kill -TERM "$app_pid" 2>/dev/null || true
  for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
  kill -KILL -- "-$app_pid" 2>/dev/null || true
  wait "$app_pid" 2>/dev/null || true
  app_pid=""
}

times=()
for _ in 1 2 3; do
  t0=$(date +%s%N)
  start_app
  until xdotool search --onlyvisible --classname '^TfmMain$' >/dev/null 2>&1; do sleep 0.01; done
  times+=($(( ($(date +%s%N) - t0) / 1000000 )))
  stop_app
done
median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n 2p)
echo "app: start to visible main window: ${median} ms (runs: ${times[*]} ms; target < 1500)"

start_app
until xdotool search --onlyvisible --classname '^TfmMain$' >/dev/null 2>&1; do sleep 0.05; done
sleep 8  # the editor's browser is up and the first drawing run is done
pss=$(session_pss_kb)
echo "app: memory with the main window open: $((pss / 1024)) MB PSS over $(session_pids | wc -l) processes (target < 300)"

[ -f "$AppData/Weekleaf/Weekleaf-Modifed.bmp" ] && drawn=yes || drawn=no
c0=$(session_ticks)
sleep "$idle"
c1=$(session_ticks)
echo "app: CPU while idle with the blocks on (drawn: $drawn): $(core_percent $((c1 - c0)) "$idle")% of one core over ${idle} s (target < 1)"
stop_app
