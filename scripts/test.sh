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
# One virtual display for the run. Wine's desktop is started on it, so that
# the tests that need windows can have them (scripts/wine-run-display.sh);
# every other test runs without a display, where message boxes return at once.
unset DISPLAY
display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
export UNINSTALL_TEST_DISPLAY=":$display"
# One wineserver for the whole run; it and the display are stopped at the
# end, whatever happens.
wineserver -p
trap 'wineserver -k 2>/dev/null || true; kill $xvfb_pid 2>/dev/null || true' EXIT
# The first program starts Wine's background services and desktop, which
# inherit its output: start them here, detached, so no test's output pipe is
# held open.
DISPLAY=$UNINSTALL_TEST_DISPLAY wine cmd.exe /c exit 0 </dev/null >/dev/null 2>&1
ctest --test-dir "$root/build/x86_64" --output-on-failure -j 2 "$@"
