#!/usr/bin/env bash
# The demo: builds vlboot, starts the simulated amplifier on a
# pseudo-terminal, programs the bundled sample firmware into it with
# vlboot-cli, and checks the simulator's flash against the file.
# With --gui (and a display, or under xvfb-run) it opens the vlboot window
# wired to the simulator instead. With --line it opens the production window
# on four simulated fixture ports (two amplifiers, two fixtures) whose units
# arrive every few seconds and are taken off after they are programmed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

gui=0
line=0
[ "${1:-}" = "--gui" ] && gui=1
[ "${1:-}" = "--line" ] && line=1

scripts/build.sh build >&2
bin="$root/build/bin"
sample="$root/samples/velmora-sample.ldr"

. scripts/simulator.sh
mkdir -p "$work/config"
if [ "$line" = 1 ]; then
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: run it as  xvfb-run -a scripts/demo.sh --line  or on a desktop." >&2
    exit 1
  fi
  ports=""
  map=""
  pids=()
  for n in 1 2 3 4; do
    device=amplifier
    [ "$n" -gt 2 ] && device=fixture
    "$bin/vlboot-sim" --device "$device" --baud 115200 --start-absent --absent "$((n + 1))" \
      --leave-after-exit 2 >"$work/sim$n.out" 2>"$work/sim$n.err" &
    pids+=($!)
    for _ in $(seq 1 100); do [ -s "$work/sim$n.out" ] && break; sleep 0.05; done
    map="${map}COM$n=$(head -n 1 "$work/sim$n.out")\r\n"
    ports="${ports:+$ports, }COM$n"
  done
  trap 'kill "${pids[@]}" 2>/dev/null || true; cleanup' EXIT
  printf "[Ports]\r\n${map}[Velmsettings]\r\nSerial=1000\r\n[Production]\r\nPorts=%s\r\nFirmwareFile=%s\r\nStation=demo line\r\n" \
    "$ports" "$sample" >"$work/config/setup.ini"
  echo "COM1..COM4 are simulated fixture ports; press Start and watch units arrive."
  "$bin/vlboot" --line --config-dir "$work/config"
  exit 0
fi

start_simulator "$bin" "$work/flash"
[ -n "$port" ] || { echo "the simulator did not start" >&2; cat "$work/sim.err" >&2; exit 1; }
echo "Simulated amplifier on $port"

if [ "$gui" = 1 ]; then
  printf '[Ports]\r\nCOM1=%s\r\n[Velmsettings]\r\nFirmwareFile=%s\r\n' "$port" "$sample" >"$work/config/setup.ini"
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: run it as  xvfb-run -a scripts/demo.sh --gui  or on a desktop." >&2
    exit 1
  fi
  echo "COM1 is the simulator; press Start to program $sample."
  "$bin/vlboot" --config-dir "$work/config"
  exit 0
fi

status=0
"$bin/vlboot-cli" --config-dir "$work/config" --port "$port" "$sample" || status=$?
stop_simulator
echo "Simulator: $(tail -n 1 "$work/sim.err")"
if [ "$status" -ne 0 ]; then
  echo "Programming failed (exit status $status)."
  exit "$status"
fi
echo "Checking the simulator's flash against $sample:"
"$bin/vlboot-mkfw" --verify "$work/flash" "$sample"
echo "Demo passed: the sample firmware was programmed and verified."
