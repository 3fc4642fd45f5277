#!/usr/bin/env bash
# The Windows build checked end to end under Wine (Debian's wine64), from a
# fresh machine: installs Wine and the X tools it needs, makes the Windows
# package (scripts/windows.sh) and the Linux simulator (scripts/build.sh),
# unpacks the zip into a fresh Wine prefix and runs the programs from there
# against vlboot-sim through a COM port linked to its pseudo-terminal:
#   vlboot-cli.exe --version, --help, --list-ports; the sample programmed
#   and its flash verified (9600, and 115200 paced); a fixture given its
#   serial number; a silent device; a port that does not exist; a port held
#   by another program; the production database refused; vlboot.exe under
#   Xvfb: the window, setup.ini beside it, a run started with Start; the
#   installer.
# Everything it keeps is in build-win/wine-checks/ (screenshots, outputs).
# Ends with "wine-checks: N passed, M failed"; exit status 1 on any failure.
#
# --measure  instead: the paced 256 KiB run at 115200 baud, wall time / the
#            simulator's wire time, under Wine and on Linux (the README's
#            figures).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
measure=0
[ "${1:-}" = --measure ] && measure=1

packages=(wine64 wine xvfb xauth xdotool x11-apps imagemagick unzip)
scripts/install-packages.sh "${packages[@]}"

t_start=$SECONDS
scripts/windows.sh >/dev/null
scripts/build.sh build --target vlboot-sim vlboot-mkfw vlboot-cli >/dev/null
t_built=$SECONDS
bin=$root/build/bin
zip=$(ls "$root"/build-win/vlboot-*-win64.zip)

out=$root/build-win/wine-checks
rm -rf "$out"
mkdir -p "$out"
export WINEPREFIX=$out/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
sim_pid=""
xvfb_pid=""
gui_pid=""
holder_pid=""
cleanup() {
  for p in $gui_pid $holder_pid $sim_pid $xvfb_pid; do kill "$p" 2>/dev/null || true; done
  wineserver -k 2>/dev/null || true
  if [ -n "${other_prefix:-}" ]; then
    runuser -u "$other_user" -- env WINEPREFIX="$other_prefix" wineserver -k 2>/dev/null || true
  fi
}
trap cleanup EXIT

# A fresh prefix, its wineserver kept for the whole run (and its output kept
# out of ours); the zip unpacked into a folder of its own.
wineboot -i >/dev/null 2>&1
wineserver -p 600 >"$out/wineserver.log" 2>&1 || true
unzip -q "$zip" -d "$out"
app=$(ls -d "$out"/vlboot-*-win64)
winpath() { echo "Z:$1"; }
cli=(wine "$app/vlboot-cli.exe")

passed=0
failed=0
check() { # check NAME CONDITION...: runs the condition, counts and says
  local name=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
    echo "ok: $name"
  else
    failed=$((failed + 1))
    echo "FAIL: $name" >&2
  fi
}
has() { grep -q -- "$2" "$1"; }

# start_sim ARGS...: vlboot-sim on a pseudo-terminal, linked as COM5 (and
# COM1); sets sim_pid and pty.
start_sim() {
  : >"$out/sim.out"
  "$bin/vlboot-sim" --ignore-stdin "$@" >"$out/sim.out" 2>"$out/sim.err" </dev/null &
  sim_pid=$!
  pty=""
  for _ in $(seq 1 100); do
    pty=$(head -n1 "$out/sim.out")
    [ -n "$pty" ] && break
    sleep 0.05
  done
  ln -sf "$pty" "$WINEPREFIX/dosdevices/com5"
  ln -sf "$pty" "$WINEPREFIX/dosdevices/com1"
}
stop_sim() {
  kill -TERM "$sim_pid"
  wait "$sim_pid" 2>/dev/null || true
  sim_pid=""
}
# run_cli NAME ARGS...: vlboot-cli.exe with a settings folder of its own
# (out/NAME/cfg); its outputs in out/NAME/out and err, its status in rc.
run_cli() {
  local name=$1
  shift
  mkdir -p "$out/$name/cfg"
  [ -f "$out/$name.ini" ] && cp "$out/$name.ini" "$out/$name/cfg/setup.ini"
  set +e
  timeout 300 "${cli[@]}" --config-dir "$(winpath "$out/$name/cfg")" "$@" >"$out/$name/out" 2>"$out/$name/err"
  rc=$?
  set -e
}
wall_of() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }
sim_field() { sed -n "s/.*$1 \([0-9.]*\).*/\1/p" "$out/sim.err" | tail -n1; }

if [ "$measure" = 1 ]; then
  fw=$out/fw256k.ldr
  "$bin/vlboot-mkfw" --blocks 4 --bytes-per-block 65536 --record-size 32 "$fw" >/dev/null
  start_sim --baud 115200
  t0=$EPOCHREALTIME
  run_cli paced-wine --port COM5 --speed 115200 --quiet "$(winpath "$fw")"
  t1=$EPOCHREALTIME
  stop_sim
  [ "$rc" = 0 ] || { echo "the paced run under Wine failed ($rc)" >&2; cat "$out/paced-wine/err" >&2; exit 1; }
  wine_wall=$(wall_of "$t0" "$t1")
  wine_wire=$(sim_field "wire time")
  start_sim --baud 115200
  mkdir -p "$out/paced-linux"
  t0=$EPOCHREALTIME
  "$bin/vlboot-cli" --config-dir "$out/paced-linux" --port "$pty" --speed 115200 --quiet "$fw" >/dev/null
  t1=$EPOCHREALTIME
  stop_sim
  linux_wall=$(wall_of "$t0" "$t1")
  linux_wire=$(sim_field "wire time")
  ratio() { awk -v w="$1" -v t="$2" 'BEGIN { printf "%.3f", w / t }'; }
  echo "paced 256 KiB at 115200 baud, wall / wire time:"
  echo "  Wine:  $(ratio "$wine_wall" "$wine_wire") ($wine_wall s / $wine_wire s)"
  echo "  Linux: $(ratio "$linux_wall" "$linux_wire") ($linux_wall s / $linux_wire s)"
  exit 0
fi

# --- the command-line tool ---------------------------------------------------
version=$(basename "$app" | sed 's/^vlboot-\(.*\)-win64$/\1/')
run_cli version --version
check "vlboot-cli.exe --version" has "$out/version/out" "^vlboot-cli $version"
run_cli help --help
check "vlboot-cli.exe --help: usage, exit statuses, settings folder" \
  eval 'has "$out/help/out" "^Usage: vlboot-cli" && has "$out/help/out" "^  69 " && has "$out/help/out" "Settings folder in use: .*cfg"'

start_sim --device amplifier --dump "$out/flash"
run_cli list --list-ports
# (Wine reports the ports it set up at start: COM1)
check "vlboot-cli.exe --list-ports: the ports by their COMn" eval '[ "$rc" = 0 ] && tr -d "\r" <"$out/list/out" | grep -Eq "^COM1 .* COM1$"'

run_cli sample --port COM5 "$(winpath "$app/velmora-sample.ldr")"
stop_sim
check "the sample programmed at 9600 baud: \"Done with succes\"" eval '[ "$rc" = 0 ] && has "$out/sample/out" "^Done with succes"'
check "the sample's flash equals the file" "$bin/vlboot-mkfw" --verify "$out/flash" "$app/velmora-sample.ldr"
check "runs.csv holds the run" has "$out/sample/cfg/runs.csv" ",vlboot-cli,$version,COM5,COM5,9600,.*,Done with succes,"

rm -rf "$out/flash"
start_sim --device amplifier --baud 115200 --dump "$out/flash"
run_cli paced --port COM5 --speed 115200 "$(winpath "$app/velmora-sample.ldr")"
stop_sim
check "the sample programmed at 115200 baud, paced" eval '[ "$rc" = 0 ] && has "$out/paced/out" "^Done with succes"'
check "the paced run's flash equals the file" "$bin/vlboot-mkfw" --verify "$out/flash" "$app/velmora-sample.ldr"

printf '[Velmsettings]\r\nSerial=4711\r\n' >"$out/fixture.ini"
start_sim --device fixture --dump "$out/fixture-dump"
run_cli fixture --port COM5 "$(winpath "$app/velmora-sample.ldr")"
stop_sim
stored=$(od -An -tx1 -j $((0x7FFB)) -N5 "$out/fixture-dump/memory.bin" | tr -d ' \n')
check "a fixture is given serial number 4711 (stored in it, counter at 4712)" \
  eval '[ "$rc" = 0 ] && has "$out/fixture/err" "^serial number: 4711" && [ "$stored" = 0b00001267 ] && has "$out/fixture/cfg/setup.ini" "^Serial=4712"'

# A production line: two ports at once, each unit a vlboot-cli.exe of its
# own; the fixture's serial number from the shared counter.
mkdir -p "$out/line-amp" "$out/line-fix"
"$bin/vlboot-sim" --ignore-stdin --device amplifier --dump "$out/line-amp" >"$out/line-amp.out" 2>/dev/null </dev/null &
line_amp=$!
"$bin/vlboot-sim" --ignore-stdin --device fixture --dump "$out/line-fix" >"$out/line-fix.out" 2>/dev/null </dev/null &
line_fix=$!
sleep 0.5
ln -sf "$(head -n1 "$out/line-amp.out")" "$WINEPREFIX/dosdevices/com6"
ln -sf "$(head -n1 "$out/line-fix.out")" "$WINEPREFIX/dosdevices/com7"
printf '[Velmsettings]\r\nSerial=100\r\n' >"$out/line.ini"
run_cli line --port COM6 --port COM7 "$(winpath "$app/velmora-sample.ldr")"
kill -TERM "$line_amp" "$line_fix"
wait "$line_amp" "$line_fix" 2>/dev/null || true
check "a production line of two ports: both \"Done with succes\", the fixture given 100" \
  eval '[ "$rc" = 0 ] && has "$out/line/out" "^COM6: Done with succes" && has "$out/line/out" "^COM7: Done with succes" && has "$out/line/err" "^COM7: serial number: 100" && [ "$(grep -c ",Done with succes," "$out/line/cfg/runs.csv")" = 2 ]'
check "the line's amplifier flash equals the file" "$bin/vlboot-mkfw" --verify "$out/line-amp" "$app/velmora-sample.ldr"

start_sim --device silent
run_cli silent --port COM5 --reply-timeout 1 "$(winpath "$app/velmora-sample.ldr")"
check "a silent device: \"COM timeout\", exit status 2" eval '[ "$rc" = 2 ] && has "$out/silent/out" "^COM timeout"'
run_cli absent --port COM9 --reply-timeout 1 "$(winpath "$app/velmora-sample.ldr")"
check "a port that does not exist: \"Comm Port not available!\"" eval '[ "$rc" = 2 ] && has "$out/absent/err" "Comm Port not available!"'

# The port held by another program: vlboot-cli of the Linux build holds the
# pseudo-terminal (its exclusive mode refuses other users' opens; root is
# never refused, so the Windows program then runs as an ordinary user, in a
# prefix of its own).
chmod 666 "$pty"
"$bin/vlboot-cli" --config-dir "$out" --port "$pty" --reply-timeout 60 "$app/velmora-sample.ldr" >"$out/holder.out" 2>&1 &
holder_pid=$!
sleep 1
held_cmd=("${cli[@]}" --config-dir "$(winpath "$out/held")" --port COM5 --reply-timeout 1 "$(winpath "$app/velmora-sample.ldr")")
mkdir -p "$out/held"
set +e
if [ "$(id -u)" -eq 0 ]; then
  other_user=vlboot-wine
  id "$other_user" >/dev/null 2>&1 || useradd -m "$other_user"
  other_prefix=$(getent passwd "$other_user" | cut -d: -f6)/wine-checks
  chmod 777 "$out/held"
  chmod 755 "$out"
  runuser -u "$other_user" -- env WINEPREFIX="$other_prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    sh -c 'wineboot -i >/dev/null 2>&1; ln -sf "$1" "$WINEPREFIX/dosdevices/com5"; shift; exec "$@"' \
    sh "$pty" "${held_cmd[@]}" >"$out/held/out" 2>"$out/held/err"
else
  "${held_cmd[@]}" >"$out/held/out" 2>"$out/held/err"
fi
rc=$?
set -e
kill "$holder_pid" 2>/dev/null || true
wait "$holder_pid" 2>/dev/null || true
holder_pid=""
stop_sim
check "a port held by another program: \"Comm Port already open\"" eval '[ "$rc" = 2 ] && has "$out/held/err" "Comm Port already open"'

run_cli database --database "host=db.example" "$(winpath "$app/velmora-sample.ldr")"
check "--database: not in this build, exit status 69" \
  eval '[ "$rc" = 69 ] && has "$out/database/err" "the production database is not available in this build"'
run_cli records --records
check "--records: exit status 69" eval '[ "$rc" = 69 ]'
t_cli=$SECONDS

# --- the window --------------------------------------------------------------
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
sleep 1
shot() { xwd -root -silent | convert xwd:- "$out/$1.png"; }
rm -rf "$out/flash"
start_sim --device amplifier --dump "$out/flash"
# (no setup.ini yet: the window writes its defaults beside the program;
# COM1, the default port, is the simulator)
wine "$app/vlboot.exe" "$(winpath "$app/velmora-sample.ldr")" >"$out/vlboot.log" 2>&1 &
gui_pid=$!
window=""
for _ in $(seq 1 150); do
  window=$(xdotool search --name "^Velmora Bootloader$" 2>/dev/null | head -n1 || true)
  [ -n "$window" ] && break
  sleep 0.2
done
check "vlboot.exe shows the window \"Velmora Bootloader\"" test -n "$window"
if [ -n "$window" ]; then
  sleep 2
  shot vlboot-start
  eval "$(xdotool getwindowgeometry --shell "$window")"
  # 11295 x 4810 twips at 96 dpi: 753 x 321 pixels with the frame; Wine's
  # X window is what lies inside the frame.
  check "the window's size: 753 x 321 pixels with its frame (${WIDTH} x ${HEIGHT} inside)" \
    eval '[ "$WIDTH" -le 753 ] && [ "$WIDTH" -ge 737 ] && [ "$HEIGHT" -le 321 ] && [ "$HEIGHT" -ge 281 ]'
  check "setup.ini beside the program, with its defaults" \
    eval 'has "$app/setup.ini" "^DevAdr=1" && has "$app/setup.ini" "^ComPort=1" && has "$app/setup.ini" "^ComSpeed=9600" && has "$app/setup.ini" "^Debug=0"'
  # The Start button: right of the status caption.
  xdotool mousemove --window "$window" $((WIDTH - 69)) 180 click 1
  for _ in $(seq 1 300); do
    grep -q "Done with succes\|,Fault,\|COM timeout" "$app/runs.csv" 2>/dev/null && break
    sleep 0.2
  done
  sleep 0.5
  shot vlboot-done
  check "Start runs the sample: \"Done with succes\" (runs.csv beside the program)" \
    has "$app/runs.csv" ",vlboot,$version,COM1,COM1,9600,.*,Done with succes,"
fi
kill "$gui_pid" 2>/dev/null || true
wait "$gui_pid" 2>/dev/null || true
gui_pid=""
stop_sim
check "the window's run: flash equals the file" "$bin/vlboot-mkfw" --verify "$out/flash" "$app/velmora-sample.ldr"
t_gui=$SECONDS

# --- the installer -----------------------------------------------------------
setup=$(ls "$root"/build-win/vlboot-*-win64-setup.exe)
wine "$setup" /S >"$out/setup.log" 2>&1 || true
installed=$WINEPREFIX/drive_c/Program\ Files/vlboot
check "the installer: programs, Start-menu entry, uninstaller" \
  eval '[ -f "$installed/vlboot.exe" ] && [ -f "$installed/uninstall.exe" ] && ls "$WINEPREFIX"/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/Velmora\ Bootloader/*.lnk >/dev/null'
check "the installed vlboot-cli.exe runs" eval 'wine "$installed/vlboot-cli.exe" --version | grep -q "^vlboot-cli $version"'
t_end=$SECONDS

echo "wine-checks: times: build $((t_built - t_start)) s, command line $((t_cli - t_built)) s, window $((t_gui - t_cli)) s, installer $((t_end - t_gui)) s; kept in $out"
echo "wine-checks: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
