#!/usr/bin/env bash
# Checks the Debian package (default: the vlboot_*.deb at the top of the
# source tree) as CI does: lintian (no errors; its warnings are printed),
# desktop-file-validate, appstreamcli validate and the MIME type; then, from
# the package unpacked into a scratch root: the programs' versions, a demo run
# (the sample firmware programmed into the unpacked simulator through a
# pseudo-terminal, settings in the unpacked program's own folder), the window
# started by the desktop entry's command line with the sample, every manual
# page, and the bash completion.
set -euo pipefail
cd "$(dirname "$0")/.."

debs=("${1:-}")
[ -n "${debs[0]}" ] || debs=(vlboot_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "check-package: no single vlboot_*.deb to check" >&2; exit 1; }
deb=${debs[0]}
echo "Checking $deb ($(du -h "$deb" | cut -f1))"

. scripts/simulator.sh
fail() { echo "check-package: $*" >&2; exit 1; }

echo "== lintian"
lintian --fail-on error "$deb" || fail "lintian reports errors"

root="$work/root"
dpkg-deb -x "$deb" "$root"
bin="$root/usr/bin"
share="$root/usr/share"
desktop="$share/applications/com.velmora.vlboot.desktop"
sample="$share/vlboot/velmora-sample.ldr"

echo "== desktop entry, AppStream metadata, MIME type"
desktop-file-validate "$desktop"
appstreamcli validate --no-net --pedantic "$share/metainfo/com.velmora.vlboot.metainfo.xml"
update-mime-database "$share/mime" >"$work/mime.log" 2>&1 || { cat "$work/mime.log" >&2; fail "update-mime-database failed"; }
grep -qx 'application/x-velmora-firmware:\*\.ldr' "$share/mime/globs" || fail "*.ldr is not mapped to its MIME type"
grep -q '^MimeType=application/x-velmora-firmware;$' "$desktop" || fail "the desktop entry does not open *.ldr files"
for size in 16x16 32x32 48x48 256x256 scalable; do
  ls "$share/icons/hicolor/$size/apps/vlboot."* >/dev/null || fail "no $size icon"
done

echo "== the unpacked programs"
for p in vlboot vlboot-cli vlboot-sim vlboot-mkfw; do
  out=$("$bin/$p" --version)
  [ "$out" = "$p $(dpkg-deb -f "$deb" Version)" ] || fail "$p --version says '$out'"
  echo "$out"
done
# Run from an unpacked folder, a program keeps its settings beside itself.
"$bin/vlboot-cli" --help | grep -qF "Settings folder in use: $bin (the program's own folder)" \
  || fail "vlboot-cli --help does not name its own folder"

echo "== demo: the sample into the unpacked simulator"
start_simulator "$bin" "$work/flash"
[ -n "$port" ] || { cat "$work/sim.err" >&2; fail "the simulator did not start"; }
"$bin/vlboot-cli" --quiet --port "$port" "$sample" || fail "programming the sample failed"
stop_simulator
"$bin/vlboot-mkfw" --verify "$work/flash" "$sample"
[ -f "$bin/setup.ini" ] || fail "vlboot-cli did not keep setup.ini in its own folder"

echo "== the window from the desktop entry's command line"
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
read -r -a command <<<"${exec_line//%f/$sample}"
mkdir -m 700 "$work/runtime"
mkdir "$work/gui"
PATH="$bin:$PATH" QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/runtime" \
  "${command[@]}" --config-dir "$work/gui" --quit-after-startup || fail "'$exec_line' did not start"
grep -qF "FirmwareFile=$sample" "$work/gui/setup.ini" || fail "the window did not take the file it was opened with"

echo "== manual pages"
for page in "$share"/man/man1/*.1.gz; do
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >"$work/page.txt") || fail "man -l $page failed"
  [ -z "$warnings" ] || fail "man -l $page: $warnings"
  for section in NAME SYNOPSIS DESCRIPTION "EXIT STATUS" FILES; do
    grep -q "^$section" "$work/page.txt" || fail "$(basename "$page") has no $section section"
  done
  echo "$(basename "$page"): $(wc -l <"$work/page.txt") lines"
done
[ "$(ls "$share"/man/man1/*.1.gz | wc -l)" -eq 4 ] || fail "not four manual pages"

echo "== bash completion"
mkdir -p "$work/complete/fw"
touch "$work/complete/a.ldr" "$work/complete/b.txt"
printf '[Ports]\r\nCOM3=%s\r\n' "$sample" >"$work/complete/setup.ini"
complete_words() { # the completions of the command line "$@" (the last word is being typed)
  (cd "$work/complete" && PATH="$bin:$PATH" bash -c '
    source /usr/share/bash-completion/bash_completion
    source "$0"
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
    _vlboot_cli vlboot-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}" 2>/dev/null
    printf "%s\n" "${COMPREPLY[@]}" | sort | tr "\n" " "' \
    "$share/bash-completion/completions/vlboot-cli" "$@")
}
expect() { # expect WANTED WORDS...: exactly WANTED
  local got; got=$(complete_words "${@:2}")
  [ "$got" = "$1" ] || fail "completing '${*:2}' gave '$got', not '$1'"
}
expect "115200 " vlboot-cli --speed 11
expect "--list-ports --log " vlboot-cli --l
expect "--strict " vlboot-cli --st
expect "a.ldr fw " vlboot-cli ""
# The machine's own ports come first; the [Ports] entry of the named folder
# is offered too.
ports=" $(complete_words vlboot-cli --config-dir . --port "")"
[[ $ports == *" COM3 "* && $ports == *" $sample "* ]] || fail "completing --port gave '$ports'"
echo "completion of options, speeds, ports and *.ldr files works"

echo "Package checks passed."
