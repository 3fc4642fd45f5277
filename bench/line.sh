#!/usr/bin/env bash
# Measures a production line left running and prints one table:
#   7 watch     16 ports watched by vlboot-cli --watch, paced at 115200 baud,
#               200 units arriving on a jittered schedule: the median time
#               from a unit's first answer (the watch's detection request)
#               to its boot-mode entry request; every unit programmed once
#   8 batch     one vlboot-cli programming a 64 KiB image on 16 ports at
#               once (16 simulators paced at 115200 baud) against one port
#               alone: wall time of the 16 / wall time of the one
#   9 idle      CPU of vlboot-cli --watch over 30 s on 16 ports with no unit
#  10 window    the production window (vlboot-bench-window, offscreen) over
#               500 units on 16 unpaced ports: its resident memory after 100
#               and after 500 units
#  11 http      the 16-port paced watch (64 KiB, one unit per port) with
#               --http, alone and with 200 requests a second to /api/status
#               and 20 open event streams (bench/http_load.py): the time of
#               a unit's run (first answer to its boot-mode exit, mean of
#               the 16), median of the runs
#  12 events    from a unit's end (its boot-mode exit request) to its result
#               on /api/events, under that load
#
# Builds what it needs into build-bench (Release). Environment:
#   VLBOOT_BENCH_RUNS=N        runs of item 8 and of each side of 11 (default 3)
#   VLBOOT_BENCH_ITEMS="7 9"   measure only these items (default: all)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"
runs=${VLBOOT_BENCH_RUNS:-3}
work="$build/line-work"

"$root/scripts/deps.sh"
"$root/scripts/install-packages.sh" python3
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVLBOOT_BENCH=ON -DVLBOOT_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target vlboot-cli vlboot-sim vlboot-mkfw vlboot-bench-window >/dev/null
bin="$build/bin"

rm -rf "$work"
mkdir -p "$work"
sim_pids=()
ptys=()
watch_pid=""
load_pid=""
cleanup() {
  for p in "${sim_pids[@]}" $watch_pid $load_pid; do kill -TERM "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

note() { echo "bench: $*" >&2; }
want() { [[ " ${VLBOOT_BENCH_ITEMS:-7 8 9 10 11 12} " == *" $1 "* ]]; }
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
verdict() { awk -v v="$1" -v t="$2" 'BEGIN { print (v <= t) ? "pass" : "FAIL" }'; }
rows=()
row() { rows+=("$1|$2|$3|$4"); }

# start_sims N ARGS...: N simulators, the K-th with --units-log u<K>.log and
# --jitter-seed K; sets sim_pids and ptys.
start_sims() {
  local n=$1 k
  shift
  sim_pids=()
  ptys=()
  for k in $(seq 1 "$n"); do
    : >"$work/sim$k.out"
    "$bin/vlboot-sim" --ignore-stdin --units-log "$work/u$k.log" --jitter-seed "$k" "$@" \
      >"$work/sim$k.out" 2>"$work/sim$k.err" </dev/null &
    sim_pids+=($!)
  done
  for k in $(seq 1 "$n"); do
    for _ in $(seq 1 200); do [ -s "$work/sim$k.out" ] && break; sleep 0.025; done
    ptys+=("$(head -n1 "$work/sim$k.out")")
  done
}
stop_sims() {
  for p in "${sim_pids[@]}"; do kill -TERM "$p" 2>/dev/null || true; done
  for p in "${sim_pids[@]}"; do wait "$p" 2>/dev/null || true; done
  sim_pids=()
}
# wait_sims SECONDS: until every simulator has ended by itself (its --units
# came and left); false when they did not in time.
wait_sims() {
  local deadline=$((SECONDS + $1)) p
  for p in "${sim_pids[@]}"; do
    while kill -0 "$p" 2>/dev/null; do
      [ "$SECONDS" -lt "$deadline" ] || return 1
      sleep 0.2
    done
    wait "$p" 2>/dev/null || true
  done
  sim_pids=()
}
port_args() { local p; for p in "${ptys[@]}"; do printf -- '--port\n%s\n' "$p"; done; }
fresh_config() {
  rm -rf "$work/cfg"
  mkdir -p "$work/cfg"
  printf '[Velmsettings]\r\nSerial=1\r\n' >"$work/cfg/setup.ini"
}
# start_watch ARGS...: vlboot-cli --watch on the simulators' ports.
start_watch() {
  fresh_config
  mapfile -t pargs < <(port_args)
  "$bin/vlboot-cli" --config-dir "$work/cfg" --watch --json "${pargs[@]}" "$@" >"$work/watch.out" 2>"$work/watch.err" </dev/null &
  watch_pid=$!
}
stop_watch() {
  kill -INT "$watch_pid" 2>/dev/null || true
  wait "$watch_pid" 2>/dev/null || true
  watch_pid=""
}
# units_of: the simulators' units logs as one JSON line per unit.
units_of() { cat "$work"/u*.log; }

fw4k="$work/fw4k.ldr"
fw64k="$work/fw64k.ldr"
"$bin/vlboot-mkfw" --blocks 1 --bytes-per-block 4096 "$fw4k" >/dev/null
"$bin/vlboot-mkfw" --blocks 1 --bytes-per-block 65536 "$fw64k" >/dev/null

# --- 7 watch ----------------------------------------------------------------
watch_item() {
  note "7 watch: 16 ports, 200 units arriving (absent 1.5 s +-30 %), paced at 115200 baud"
  rm -f "$work"/u*.log
  local k units
  sim_pids=()
  ptys=()
  # 13 units on the first 8 ports, 12 on the others: 200
  for k in $(seq 1 16); do
    units=$((k <= 8 ? 13 : 12))
    : >"$work/sim$k.out"
    "$bin/vlboot-sim" --ignore-stdin --baud 115200 --start-absent --absent 1.5 --leave-after-exit 0.3 --jitter 0.3 \
      --jitter-seed "$k" --units "$units" --units-log "$work/u$k.log" >"$work/sim$k.out" 2>"$work/sim$k.err" </dev/null &
    sim_pids+=($!)
  done
  for k in $(seq 1 16); do
    for _ in $(seq 1 200); do [ -s "$work/sim$k.out" ] && break; sleep 0.025; done
    ptys+=("$(head -n1 "$work/sim$k.out")")
  done
  start_watch "$fw4k"
  wait_sims 300 || { echo "bench: the units did not all come and go in 300 s" >&2; exit 1; }
  stop_watch
  units_of | python3 -c '
import json, statistics, sys
units = [json.loads(l) for l in sys.stdin if l.strip()]
lag = sorted(u["boot_entry"] - u["first_answer"] for u in units if u["boot_entry"] is not None and u["first_answer"] is not None)
once = sum(1 for u in units if u["boot_entries"] == 1 and u["complete_runs"] == 1)
print(len(units), once, "%.3f" % statistics.median(lag), "%.3f" % lag[-1])
' >"$work/watch.result"
  local n once med worst
  read -r n once med worst <"$work/watch.result"
  row "7 watch, 16 ports: first answer to boot-mode entry (median of $n units)" "$med s (slowest $worst s)" "<= 0.5 s" "$(verdict "$med" 0.5)"
  row "7 watch: units programmed exactly once" "$once of $n arrived" "200 of 200" \
    "$([ "$n" -eq 200 ] && [ "$once" -eq 200 ] && echo pass || echo FAIL)"
}
if want 7; then watch_item; fi

# --- 8 batch ----------------------------------------------------------------
# batch_run N: one vlboot-cli on N paced simulators; prints its wall time.
batch_run() {
  start_sims "$1" --baud 115200
  fresh_config
  mapfile -t pargs < <(port_args)
  local t0=$EPOCHREALTIME rc=0
  "$bin/vlboot-cli" --config-dir "$work/cfg" "${pargs[@]}" "$fw64k" >"$work/batch.out" 2>"$work/batch.err" </dev/null || rc=$?
  local t1=$EPOCHREALTIME
  stop_sims
  [ "$rc" -eq 0 ] || { echo "bench: the $1-port run failed (exit $rc)" >&2; cat "$work/batch.err" >&2; exit 1; }
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f\n", b - a }'
}
batch_item() {
  note "8 batch: 64 KiB at 115200 baud, one port alone and 16 at once, $runs runs each"
  : >"$work/one"
  : >"$work/sixteen"
  for _ in $(seq 1 "$runs"); do
    batch_run 1 >>"$work/one"
    batch_run 16 >>"$work/sixteen"
  done
  local one sixteen ratio
  one=$(median <"$work/one")
  sixteen=$(median <"$work/sixteen")
  ratio=$(awk -v s="$sixteen" -v o="$one" 'BEGIN { printf "%.3f", s / o }')
  row "8 batch: 16 ports at once / one alone, 64 KiB (medians of $runs)" "$ratio ($sixteen s / $one s)" "<= 1.05" "$(verdict "$ratio" 1.05)"
}
if want 8; then batch_item; fi

# --- 9 idle -----------------------------------------------------------------
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
idle_item() {
  note "9 idle: vlboot-cli --watch on 16 ports without a unit, 30 s"
  start_sims 16 --start-absent
  start_watch "$fw4k"
  sleep 5
  local a b hz
  a=$(ticks "$watch_pid")
  sleep 30
  b=$(ticks "$watch_pid")
  stop_watch
  stop_sims
  hz=$(getconf CLK_TCK)
  local pct
  pct=$(awk -v a="$a" -v b="$b" -v hz="$hz" 'BEGIN { printf "%.2f", (b - a) / hz / 30 * 100 }')
  row "9 idle: CPU watching 16 empty ports (30 s)" "$pct % of one core" "<= 1 %" "$(verdict "$pct" 1)"
}
if want 9; then idle_item; fi

# --- 10 window --------------------------------------------------------------
window_item() {
  note "10 window: the production window over 500 units on 16 unpaced ports"
  start_sims 16 --absent 0.8 --leave-after-exit 0.05
  rm -rf "$work/wcfg"
  mkdir -p "$work/wcfg"
  {
    printf '[Ports]\r\n'
    local k
    for k in $(seq 1 16); do printf 'COM%d=%s\r\n' "$k" "${ptys[$((k - 1))]}"; done
    printf '[Production]\r\nPorts=%s\r\nFirmwareFile=%s\r\n' "$(seq -s, -f 'COM%g' 1 16)" "$fw4k"
  } >"$work/wcfg/setup.ini"
  local rc=0
  QT_QPA_PLATFORM=offscreen "$bin/vlboot-bench-window" "$work/wcfg" 500 50 "$bin/vlboot-cli" >"$work/window.out" 2>"$work/window.err" || rc=$?
  stop_sims
  [ "$rc" -eq 0 ] || { echo "bench: the window's line failed (exit $rc)" >&2; cat "$work/window.err" >&2; exit 1; }
  local at100 at500 growth
  at100=$(sed -n 's/^units=100 rss_kb=//p' "$work/window.out")
  at500=$(sed -n 's/^units=500 rss_kb=//p' "$work/window.out")
  growth=$(awk -v a="$at100" -v b="$at500" 'BEGIN { printf "%.1f", (b - a) / 1024 }')
  row "10 window: resident memory after 100 and 500 units (16 tiles)" \
    "$(awk -v a="$at100" -v b="$at500" 'BEGIN { printf "%.1f MB, %.1f MB", a / 1024, b / 1024 }'): $growth MB more" "<= 1 MB more" \
    "$(verdict "$growth" 1)"
}
if want 10; then window_item; fi

# --- 11 http, 12 events ------------------------------------------------------
# http_run quiet|loaded: the 16 units arrive 2 s after the start (the load
# is on by then) and are programmed once each; prints the mean time of their
# runs (first answer to the run's boot-mode exit), and under load the latency of each result event into events.lat.
http_run() {
  rm -f "$work"/u*.log
  start_sims 16 --baud 115200 --start-absent --absent 2 --units 1 --leave-after-exit 0.2
  start_watch --http 127.0.0.1:0 "$fw64k"
  local url="" k
  for _ in $(seq 1 200); do
    url=$(grep -o 'http://[^ ]*' "$work/watch.err" | head -n1 || true)
    [ -n "$url" ] && break
    sleep 0.025
  done
  [ -n "$url" ] || { echo "bench: the watch's HTTP server did not start" >&2; cat "$work/watch.err" >&2; exit 1; }
  if [ "$1" = loaded ]; then
    python3 "$root/bench/http_load.py" "${url%/}" "$work/events.txt" 2>"$work/load.err" &
    load_pid=$!
  fi
  wait_sims 120 || { echo "bench: the 16 units did not come and go in 120 s" >&2; exit 1; }
  if [ -n "$load_pid" ]; then
    kill -TERM "$load_pid"
    wait "$load_pid" || true
    load_pid=""
  fi
  stop_watch
  : >"$work/ports.map"
  for k in $(seq 1 16); do echo "${ptys[$((k - 1))]} $work/u$k.log" >>"$work/ports.map"; done
  python3 - "$1" "$work" <<'PY'
import json, sys
mode, work = sys.argv[1], sys.argv[2]
units = {}
for line in open(work + "/ports.map"):
    port, log = line.split()
    u = json.loads(open(log).readline())
    units[port] = u
assert all(u["complete_runs"] == 1 for u in units.values()), "a unit was not programmed"
# a unit's run: from its first answer to the boot-mode exit of its run
print("%.4f" % (sum(u["run_end"] - u["first_answer"] for u in units.values()) / len(units)))
if mode == "loaded":
    with open(work + "/events.lat", "a") as out:
        for line in open(work + "/events.txt"):
            at, port, outcome = line.split()
            u = units[port]
            out.write("%.1f\n" % ((float(at) - (u["start_epoch"] + u["run_end"])) * 1000))
PY
}
http_item() {
  note "11 http: 16 ports paced, one 64 KiB unit each, $runs runs alone and $runs under load"
  : >"$work/quiet"
  : >"$work/loaded"
  : >"$work/events.lat"
  for _ in $(seq 1 "$runs"); do
    http_run quiet >>"$work/quiet"
    http_run loaded >>"$work/loaded"
  done
  local quiet loaded change
  quiet=$(median <"$work/quiet")
  loaded=$(median <"$work/loaded")
  change=$(awk -v q="$quiet" -v l="$loaded" 'BEGIN { printf "%.2f", (l - q) / q * 100 }')
  local abs
  abs=$(awk -v c="$change" 'BEGIN { printf "%.2f", c < 0 ? -c : c }')
  row "11 http: a unit's run, 16 ports at once, under 200 req/s + 20 event streams (mean of 16, median of $runs runs)" \
    "$change % ($loaded s against $quiet s; $(tail -n1 "$work/load.err" | sed 's/^http_load: //'))" "within 1 %" "$(verdict "$abs" 1)"
  local count med worst
  count=$(wc -l <"$work/events.lat")
  med=$(median <"$work/events.lat")
  worst=$(sort -g "$work/events.lat" | tail -n1)
  row "12 events: a unit's end to its result on /api/events ($count units)" "median $med ms, slowest $worst ms" "<= 50 ms" \
    "$(verdict "$worst" 50)"
}
if want 11 || want 12; then http_item; fi

# --- table -------------------------------------------------------------------
echo
echo "vlboot production-line benchmarks  $(date -u '+%Y-%m-%d %H:%M UTC')  $(nproc) cores  load $(cut -d' ' -f1-3 /proc/loadavg)"
echo
printf '| %s | %s | %s | %s |\n' "item" "measured" "target" "result"
printf '|---|---|---|---|\n'
for r in "${rows[@]}"; do
  IFS='|' read -r item measured target result <<<"$r"
  printf '| %s | %s | %s | %s |\n' "$item" "$measured" "$target" "$result"
done
