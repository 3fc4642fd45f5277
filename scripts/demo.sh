#!/usr/bin/env bash
# The demo: builds vlboot, starts the simulated amplifier on a
# pseudo-terminal, programs the bundled sample firmware into it with
# vlboot-cli, and checks the simulator's flash against the file.
# With --gui (and a display, or under xvfb-run) it opens the vlboot window
# wired to the simulator instead.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

gui=0
[ "${1:-}" = "--gui" ] && gui=1

scripts/build.sh build >&2
bin="$root/build/bin"
sample="$root/samples/velmora-sample.ldr"

. scripts/simulator.sh
mkdir -p "$work/config"
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
