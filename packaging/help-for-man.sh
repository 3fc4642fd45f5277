#!/usr/bin/env bash
# help2man runs this as the program: "help-for-man.sh PROGRAM --help" (or
# --version) prints the program's own text as its manual page shows it. The
# program is called by its name alone (not by the path it was built at), a
# usage that runs over several lines becomes one line for the synopsis, and
# two parts are left out: the exit statuses (the manual's EXIT STATUS section
# has them) and the settings folder in use, which depends on where the
# program runs.
set -euo pipefail
program=$1
shift
(exec -a "$(basename "$program")" "$program" "$@") | awk '
  /^Usage:/ { usage = $0; inUsage = 1; next }
  inUsage && /^ +\[/ { sub(/^ +/, " "); usage = usage $0; next }
  inUsage { print usage; inUsage = 0 }
  /^Exit status:/ { skip = 1 }
  skip && /^$/ { skip = 0 }
  skip || /^Settings folder in use:/ { next }
  { print }
  END { if (inUsage) print usage }
'
