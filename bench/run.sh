#!/usr/bin/env bash
# Measures vlboot against the limits of the serial line and prints one table:
#   1 paced     vlboot-cli programs a 256 KiB image into vlboot-sim --baud 115200;
#               wall time / the simulator's summed wire time (one run), and
#               the same ratio of bench/baseline.py, a minimal client that
#               replays the tool's frames with open(2) and select(2)
#   2 unpaced   the same against the simulator answering at once; wall time
#               per exchange (median of the runs), the port's close and
#               re-open before every frame included, and the CPU time of the
#               whole run; then again while another program writes to the
#               same disk and syncs every block (dd oflag=sync in a loop)
#   3 idle      a run against a silent line with the 12-second time-out (it
#               waits twice: detection and boot-mode entry); CPU time
#   4 size      the checking pass over a 100 MB file (Google Benchmark, median
#               of 5) and the peak memory of a whole vlboot-cli run over it
#   5 adapters  the summary line with the median round trip is printed
#   6 line      a production line: the paced 256 KiB run on one port alone,
#               then on four ports at once (four simulators); wall time of
#               the four / wall time of the one
#
# Builds what it needs into build-bench (Release). Environment:
#   VLBOOT_BENCH_RUNS=N   runs of the timed items (default 5)
#   VLBOOT_BENCH_ITEMS="1 6"  measure only these items (default: all)
#   VLBOOT_BENCH_BIN=DIR  measure the programs in DIR instead (for example an
#                         older build); the checking-pass benchmark still
#                         comes from build-bench unless DIR has one
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"
runs=${VLBOOT_BENCH_RUNS:-5}
work="$build/bench-work"

# --- tools and build -------------------------------------------------------
"$root/scripts/deps.sh"
"$root/scripts/install-packages.sh" time python3
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVLBOOT_BENCH=ON -DVLBOOT_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target vlboot-cli vlboot-sim vlboot-mkfw vlboot-bench-check >/dev/null

bin=${VLBOOT_BENCH_BIN:-$build/bin}
checkbench="$bin/vlboot-bench-check"
[ -x "$checkbench" ] || checkbench="$build/bin/vlboot-bench-check"

rm -rf "$work"
mkdir -p "$work"
sim_pid=""
line_pids=()
disk_load=""
# stop_disk_load: ends the disk-load loop and the dd it runs.
stop_disk_load() {
  if [ -n "$disk_load" ]; then
    kill "$disk_load" 2>/dev/null || true
    pkill -P "$disk_load" 2>/dev/null || true
    wait "$disk_load" 2>/dev/null || true
    disk_load=""
  fi
}
cleanup() {
  if [ -n "$sim_pid" ]; then kill -TERM "$sim_pid" 2>/dev/null || true; fi
  for p in "${line_pids[@]}"; do kill -TERM "$p" 2>/dev/null || true; done
  stop_disk_load
  rm -f "$work"/*.ldr "$work/disk-load"
}
trap cleanup EXIT

# --- helpers ---------------------------------------------------------------
# start_sim ARGS...: starts vlboot-sim; sets sim_pid and pty.
start_sim() {
  : >"$work/sim.out"
  "$bin/vlboot-sim" --ignore-stdin "$@" >"$work/sim.out" 2>"$work/sim.err" </dev/null &
  sim_pid=$!
  for _ in $(seq 1 200); do
    pty=$(head -n1 "$work/sim.out")
    [ -n "$pty" ] && return 0
    sleep 0.025
  done
  echo "bench: vlboot-sim did not start" >&2
  exit 1
}
# stop_sim: ends the simulator; its summary line is in sim.err.
stop_sim() {
  kill -TERM "$sim_pid"
  wait "$sim_pid" || true
  sim_pid=""
}
sim_field() { # sim_field NAME: the number after NAME in the summary line
  sed -n "s/.*$1 \([0-9.]*\).*/\1/p" "$work/sim.err" | tail -n1
}
# cli ARGS...: runs vlboot-cli into cli.out and cli.err; sets cli_rc, wall
# (seconds, microsecond clock), cpu (user + system seconds of everything it
# started, to the millisecond) and rss_mb (its peak resident memory).
cli() {
  rm -rf "$work/cfg"
  mkdir -p "$work/cfg"
  local t0=$EPOCHREALTIME
  (
    set +e
    /usr/bin/time -o "$work/cli.time" -f "%M" \
      "$bin/vlboot-cli" --config-dir "$work/cfg" --port "$pty" "$@" >"$work/cli.out" 2>"$work/cli.err" </dev/null
    echo "$?"
    times
  ) >"$work/cli.meta"
  local t1=$EPOCHREALTIME
  cli_rc=$(head -n1 "$work/cli.meta")
  wall=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.6f", b - a }')
  # the children's line of `times`: "0m0.012s 0m0.004s"
  cpu=$(tail -n1 "$work/cli.meta" | awk '{ s = 0; for (i = 1; i <= 2; i++) { split($i, p, "m"); s += p[1] * 60 + p[2] } printf "%.3f", s }')
  # (time puts "Command exited with non-zero status N" above the figure)
  rss_mb=$(tail -n1 "$work/cli.time" | awk '{ printf "%.1f", $1 / 1024 }')
}
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
verdict() { awk -v v="$1" -v t="$2" -v op="$3" 'BEGIN { ok = (op == "<=") ? v <= t : (op == "<") ? v < t : v >= t; print ok ? "pass" : "FAIL" }'; }
rows=()
row() { rows+=("$1|$2|$3|$4"); }
note() { echo "bench: $*" >&2; }
want() { [[ " ${VLBOOT_BENCH_ITEMS:-1 2 3 4 5 6} " == *" $1 "* ]]; }

fw="$work/fw256k.ldr"
"$bin/vlboot-mkfw" --blocks 4 --bytes-per-block 65536 --record-size 32 "$fw" >/dev/null

# --- 1 paced, 2 unpaced ----------------------------------------------------
# paced_item: one paced run of vlboot-cli, and one of bench/baseline.py (the
# same frames, replayed from a traffic log of the tool, with open(2) and
# select(2) and nothing else) against a simulator of its own.
paced_item() {
  note "1 paced: 256 KiB image at 115200 baud, vlboot-cli and the baseline client"
  start_sim --baud 115200
  cli "$fw"
  stop_sim
  [ "$cli_rc" -eq 0 ] || { echo "bench: the paced run failed (exit $cli_rc)" >&2; cat "$work/cli.err" >&2; exit 1; }
  local wire ratio base_wire base_wall base_ratio paced_wall=$wall
  wire=$(sim_field "wire time")
  ratio=$(awk -v w="$wall" -v t="$wire" 'BEGIN { printf "%.3f", w / t }')
  paced_summary=$(grep 'median round trip' "$work/cli.err" || true)

  # the frames to replay: an unpaced run with the traffic log
  start_sim
  cli --log "$fw"
  stop_sim
  cp "$work/cfg/Log.txt" "$work/traffic.log"
  start_sim --baud 115200
  local t0=$EPOCHREALTIME
  python3 "$root/bench/baseline.py" "$work/traffic.log" "$pty" >/dev/null
  local t1=$EPOCHREALTIME
  stop_sim
  base_wall=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.6f", b - a }')
  base_wire=$(sim_field "wire time")
  base_ratio=$(awk -v w="$base_wall" -v t="$base_wire" 'BEGIN { printf "%.3f", w / t }')
  local ok
  ok=$(awk -v r="$ratio" -v b="$base_ratio" 'BEGIN { print (r <= 1.08 && r < b) ? "pass" : "FAIL" }')
  row "1 paced 115200 baud: wall / wire time" "$ratio (${paced_wall%????} s / $wire s); baseline client $base_ratio (${base_wall%????} s / $base_wire s)" \
    "<= 1.08 and < baseline" "$ok"
}
# unpaced_item LABEL: `runs` unpaced runs; wall per exchange and CPU per run.
unpaced_item() {
  note "2 unpaced: $runs runs$1"
  : >"$work/per-exchange"
  : >"$work/run-cpu"
  local requests per spread run_cpu
  for _ in $(seq 1 "$runs"); do
    start_sim
    cli "$fw"
    stop_sim
    [ "$cli_rc" -eq 0 ] || { echo "bench: an unpaced run failed (exit $cli_rc)" >&2; cat "$work/cli.err" >&2; exit 1; }
    requests=$(sim_field requests)
    awk -v w="$wall" -v r="$requests" 'BEGIN { printf "%.4f\n", w / r * 1000 }' >>"$work/per-exchange"
    echo "$cpu" >>"$work/run-cpu"
  done
  per=$(median <"$work/per-exchange")
  run_cpu=$(median <"$work/run-cpu")
  spread=$(sort -g "$work/per-exchange" | awk 'NR == 1 { lo = $1 } { hi = $1 } END { printf "%s..%s", lo, hi }')
  row "2 unpaced: wall / exchange (median of $runs)$1" "$per ms ($spread; $requests exchanges)" "<= $2 ms" "$(verdict "$per" "$2" "<=")"
  if [ -n "$3" ]; then
    row "2 unpaced: CPU of the whole run (median of $runs)$1" "$run_cpu s" "<= $3 s" "$(verdict "$run_cpu" "$3" "<=")"
  fi
}
if want 1; then paced_item; fi
if want 2; then
unpaced_item "" 0.10 0.8

# The same while another program writes to the same disk and syncs every
# block, as other work on a production PC does: nothing of it may reach the
# line.
note "2 unpaced under disk load: dd oflag=sync in a loop on the disk of $work"
(
  while :; do
    dd if=/dev/zero of="$work/disk-load" bs=64k count=16 oflag=sync conv=notrunc status=none
  done
) &
disk_load=$!
unpaced_item ", another program writing and syncing to the same disk" 0.15 ""
stop_disk_load
rm -f "$work/disk-load"
fi

# --- 3 idle ----------------------------------------------------------------
idle_runs=$(( runs < 3 ? runs : 3 ))
if want 3; then
note "3 idle: $idle_runs runs against a silent line (about 24 s each)"
: >"$work/idle-cpu"
for _ in $(seq 1 "$idle_runs"); do
  start_sim --device silent
  cli "$fw"
  stop_sim
  [ "$cli_rc" -eq 2 ] || { echo "bench: the silent run did not end with a time-out (exit $cli_rc)" >&2; exit 1; }
  echo "$cpu $wall" >>"$work/idle-cpu"
done
idle_cpu=$(awk '{ print $1 }' "$work/idle-cpu" | median)
idle_wall=$(awk '{ printf "%.1f\n", $2 }' "$work/idle-cpu" | median)
per_wait=$(awk -v c="$idle_cpu" 'BEGIN { printf "%.3f", c / 2 }')
row "3 idle: CPU per 12 s wait (2 waits, median of $idle_runs)" "$per_wait s (run: $idle_cpu s CPU in $idle_wall s)" "< 0.1 s" "$(verdict "$per_wait" 0.1 "<")"
fi

# --- 4 size ----------------------------------------------------------------
if want 4; then
note "4 size: 100 MB file"
big="$work/fw100m.ldr"
"$bin/vlboot-mkfw" --blocks 635 --bytes-per-block 65536 --record-size 32 "$big" >/dev/null
big_mb=$(stat -c %s "$big" | awk '{ printf "%.1f", $1 / 1e6 }')
"$checkbench" "$big" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_out="$work/check.json" --benchmark_out_format=json >/dev/null
# bytes_per_second of the "median" aggregate in the JSON output
rate=$(awk '/"aggregate_name": "median"/ { m = 1 } m && /"bytes_per_second"/ { gsub(/[^0-9.e+]/, "", $2); printf "%.0f", $2 / 1e6; exit }' "$work/check.json")
row "4 size: checking pass over $big_mb MB (median of 5)" "$rate MB/s" ">= 100 MB/s" "$(verdict "$rate" 100 ">=")"

# The whole run over the same file with one bad line at its end: the check
# streams all of it, then the run ends with "Fault" before boot mode.
printf ':00000001FE\r\n' >>"$big"
lines=$(wc -l <"$big")
: >"$work/rss"
for _ in $(seq 1 "$idle_runs"); do
  start_sim
  cli "$big"
  stop_sim
  if [ "$cli_rc" -ne 1 ] || ! grep -q "line $lines:" "$work/cli.err"; then
    echo "bench: the run over the 100 MB file did not end at its last line" >&2
    cat "$work/cli.err" >&2
    exit 1
  fi
  echo "$rss_mb" >>"$work/rss"
done
rss=$(median <"$work/rss")
rss=$(awk -v r="$rss" 'BEGIN { printf "%.1f", r }')
row "4 size: peak memory of a run over it" "$rss MB (whole file read, Fault at its last line)" "< 30 MB" "$(verdict "$rss" 30 "<")"
rm -f "$big"
fi

# --- 5 adapters ------------------------------------------------------------
if ! want 1 || ! want 5; then
  :
elif [ -n "$paced_summary" ]; then
  rtt=$(sed -n 's/.*median round trip \([0-9.]*\) ms.*/\1/p' <<<"$paced_summary")
  row "5 adapters: summary line with the median round trip" "present: $rtt ms per exchange at 115200 baud" "present" "pass"
else
  row "5 adapters: summary line with the median round trip" "missing" "present" "FAIL"
fi

# --- 6 production line -----------------------------------------------------
# line_item: the paced run on one port alone, then the same on four ports
# at once, each port a simulator of its own.
line_item() {
  note "6 production line: 256 KiB image at 115200 baud, one port alone, then four ports at once"
  start_sim --baud 115200
  cli "$fw"
  stop_sim
  [ "$cli_rc" -eq 0 ] || { echo "bench: the one-port run failed (exit $cli_rc)" >&2; exit 1; }
  local alone=$wall ports=() i pty4
  for i in 1 2 3 4; do
    : >"$work/line$i.out"
    "$bin/vlboot-sim" --ignore-stdin --baud 115200 >"$work/line$i.out" 2>"$work/line$i.err" </dev/null &
    line_pids+=($!)
  done
  for i in 1 2 3 4; do
    pty4=""
    for _ in $(seq 1 200); do
      pty4=$(head -n1 "$work/line$i.out")
      [ -n "$pty4" ] && break
      sleep 0.025
    done
    [ -n "$pty4" ] || { echo "bench: vlboot-sim did not start" >&2; exit 1; }
    ports+=(--port "$pty4")
  done
  rm -rf "$work/cfg"
  mkdir -p "$work/cfg"
  local t0=$EPOCHREALTIME rc=0
  "$bin/vlboot-cli" --config-dir "$work/cfg" "${ports[@]}" "$fw" >"$work/line.out" 2>"$work/line.err" </dev/null || rc=$?
  local t1=$EPOCHREALTIME
  for i in "${line_pids[@]}"; do kill -TERM "$i"; wait "$i" || true; done
  line_pids=()
  [ "$rc" -eq 0 ] || { echo "bench: the four-port run failed (exit $rc)" >&2; cat "$work/line.err" >&2; exit 1; }
  local four ratio
  four=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }')
  ratio=$(awk -v f="$four" -v a="$alone" 'BEGIN { printf "%.3f", f / a }')
  row "6 production line: four ports at once / one alone (115200 baud)" "$ratio ($four s / ${alone%???} s)" "<= 1.10" \
    "$(verdict "$ratio" 1.10 "<=")"
}
if want 6; then line_item; fi

# --- table -----------------------------------------------------------------
echo
lockfs=$(stat -f -c %T /run/lock/ 2>/dev/null || echo "(none)")
echo "vlboot benchmarks  $(date -u '+%Y-%m-%d %H:%M UTC')  $(nproc) cores  load $(cut -d' ' -f1-3 /proc/loadavg)  /run/lock on $lockfs"
echo
printf '| %s | %s | %s | %s |\n' "item" "measured" "target" "result"
printf '|---|---|---|---|\n'
for r in "${rows[@]}"; do
  IFS='|' read -r item measured target result <<<"$r"
  printf '| %s | %s | %s | %s |\n' "$item" "$measured" "$target" "$result"
done
