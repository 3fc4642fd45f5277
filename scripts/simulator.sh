# Sourced by the scripts that program the sample into vlboot-sim: a scratch
# folder $work removed at exit (with the simulator, if it still runs), and
# the simulator started and stopped.

work=$(mktemp -d)
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# start_simulator BIN_DIR DUMP_DIR: the simulated amplifier dumping its flash
# into DUMP_DIR; sets $port to its pseudo-terminal ("" when it did not start;
# its standard error is then in $work/sim.err).
start_simulator() {
  mkdir -p "$2"
  "$1/vlboot-sim" --device amplifier --dump "$2" >"$work/sim.out" 2>"$work/sim.err" &
  sim_pid=$!
  for _ in $(seq 1 100); do
    [ -s "$work/sim.out" ] && break
    sleep 0.05
  done
  port=$(head -n 1 "$work/sim.out")
}

# stop_simulator: ends it with SIGTERM, which writes its dump.
stop_simulator() {
  kill -TERM "$sim_pid"
  wait "$sim_pid" 2>/dev/null || true
  sim_pid=""
}
