#!/usr/bin/env bash
# The test command: installs what is missing, builds both widths, and runs
# every test program under 64-bit Wine in a prefix made for this run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/packages.sh"
"$root/scripts/build.sh"

export WINEPREFIX=$root/build/wineprefix-test
"$root/scripts/wine-prefix.sh" "$WINEPREFIX"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Without a display message boxes return at once; the tests expect that.
unset DISPLAY
# One wineserver for the whole run; stopped at the end, whatever happens.
wineserver -p
trap 'wineserver -k 2>/dev/null || true' EXIT
# The first program starts Wine's background services, which inherit its
# output; start them here, detached, so no test's output pipe is held open.
wine cmd.exe /c exit 0 </dev/null >/dev/null 2>&1
ctest --test-dir "$root/build/x86_64" --output-on-failure -j 2 "$@"
