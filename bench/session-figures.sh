# Figures of a running program's whole session (the program and every process it started), shared
# by the benchmark scripts. Source it; the caller sets app_pid to the session leader.

session_pids() { ps -o pid= -s "$app_pid" | tr -d ' '; }

# Proportional memory of the session in kB.
session_pss_kb() {
  local pss=0 kb
  for p in $(session_pids); do
    kb=$(awk '/^Pss:/ {print $2}' "/proc/$p/smaps_rollup" 2>/dev/null || echo 0)
    pss=$((pss + ${kb:-0}))
  done
  echo "$pss"
}

# CPU ticks (user + system) the session has used so far.
session_ticks() {
  local sum=0 u s
  for p in $(session_pids); do
    read -r u s < <(awk '{print $14, $15}' "/proc/$p/stat" 2>/dev/null || echo "0 0")
    sum=$((sum + u + s))
  done
  echo "$sum"
}

# Percent of one core that TICKS ticks over SECONDS seconds come to.
core_percent() {
  awk -v d="$1" -v hz="$(getconf CLK_TCK)" -v s="$2" 'BEGIN { printf "%.2f", 100 * d / hz / s }'
}
