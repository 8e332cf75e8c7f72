#!/usr/bin/env bash
# Figures of editing the week on the desktop, on a private 1920 x 1080 X server (Xvfb) with the
# openbox window manager, the blocks on and eight stored texts, no sync service:
#   hot key (Ctrl+6) to the overlay on the screen with all eight texts painted (read back from the
#   screen), first opening and the median of three later ones; proportional memory (PSS) of the
#   program and its browser processes with the overlay open; CPU use and files written while the
#   overlay is open and nothing is typed (default 30 s; set BENCH_IDLE_SECONDS to change it).
# Usage: bench/deskedit/run.sh BUILD_DIR
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../session-figures.sh"
build=$(cd "${1:?build dir}" && pwd)
app="$build/src/app/weekleaf"
painted="$build/bench/deskedit/deskedit_blocks_painted"
[ -x "$app" ] && [ -x "$painted" ] || { echo "deskedit: $app or $painted not built"; exit 0; }
for tool in Xvfb xdotool openbox; do
  command -v "$tool" >/dev/null || { echo "deskedit: $tool missing, skipped"; exit 0; }
done
idle=${BENCH_IDLE_SECONDS:-30}

work=$(mktemp -d)
pids=()
app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill -KILL -- "-$app_pid" 2>/dev/null || true
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(head -n1 "$work/display")"
export AppData="$work/data"
export QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu
[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
unset XDG_CURRENT_DESKTOP WAYLAND_DISPLAY
openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
sleep 1

mkdir -p "$AppData/Weekleaf/Wpp"
# The notes page and the seven days of this week, each with a few formatted lines.
entries='"note":"<p><b>Заметки</b></p><ul><li>позвонить</li><li>купить</li></ul>"'
monday=$(date -d "$(( $(date +%u) - 1 )) days ago" +%s)
for i in 0 1 2 3 4 5 6; do
  day=$(date -d "@$((monday + i * 86400))" +%d.%m.%Y)
  entries+=",\"$day\":\"<p><b>9:00</b> встреча $i</p><p>отчёт</p><p><font color=\\\"#ff0000\\\">важно</font></p>\""
done
printf '{%s}\r\n' "$entries" >"$AppData/Weekleaf/Data.json"
printf '%s\r\n' StartWithOS=0 HideOnStart=-1 ShowBloks=-1 Key= "WppDateToChange=01.01.2100 0:00:00" WppToChange=4 \
  WppRandom=0 WppCurIndex=0 UseHotKey=-1 HotKeyMain=0 HotKeyNote=9 HotKeyTemplate=8 HotKeyBlock=7 HotKeyEditor=6 \
  Font=Tahoma FontSize=8 HotKeyBold=B HotKeyItalic=I HotKeyStriceOut=R ALPHABLEND_VALUE=125 CheckUpdate=0 SyncPort=1 \
  >"$AppData/Weekleaf/Config.ini"

setsid "$app" >"$work/app.log" 2>&1 &
app_pid=$!
for _ in $(seq 400); do [ -f "$AppData/Weekleaf/Weekleaf-Modifed.bmp" ] && break; sleep 0.05; done
sleep 2  # the first drawing run is done and the main window's browser is up

shown() { xdotool search --onlyvisible --name '^Weekleaf Editor$' >/dev/null 2>&1; }
# Ctrl+6 and the milliseconds until every block shows its text on the screen.
open_ms() {
  local t0
  t0=$(date +%s%N)
  xdotool key ctrl+6
  "$painted" >/dev/null || { echo "no picture"; return; }
  echo $(( ($(date +%s%N) - t0) / 1000000 ))
}
close_overlay() {
  xdotool key ctrl+6
  for _ in $(seq 400); do shown || break; sleep 0.01; done
  sleep 1
}

first=$(open_ms)
close_overlay
times=()
for _ in 1 2 3; do
  times+=("$(open_ms)")
  close_overlay
done
median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n 2p)
echo "deskedit: Ctrl+6 to overlay shown with all eight texts painted: first ${first} ms, then median ${median} ms" \
  "(runs: ${times[*]} ms; target < 1000)"

open_ms >/dev/null
sleep 3
pss=$(session_pss_kb)
echo "deskedit: memory with the overlay open: $((pss / 1024)) MB PSS over $(session_pids | wc -l) processes" \
  "(target < 450)"

touch "$work/marker"
c0=$(session_ticks)
sleep "$idle"
c1=$(session_ticks)
written=$(find "$AppData" -type f -newer "$work/marker" -printf '%f ' | sed 's/ $//')
echo "deskedit: CPU with the overlay open and nothing typed: $(core_percent $((c1 - c0)) "$idle")% of one core over ${idle} s (target < 1);" \
  "files written: ${written:-none} (target none)"
