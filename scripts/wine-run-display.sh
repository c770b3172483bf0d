#!/bin/sh
# Runs a test program under Wine on the display of the test run: the virtual
# display that scripts/test.sh started, on which Wine's desktop lives.
if [ -z "${UNINSTALL_TEST_DISPLAY:-}" ]; then
    echo "wine-run-display: no test display; run the tests through scripts/test.sh" >&2
    exit 2
fi
DISPLAY=$UNINSTALL_TEST_DISPLAY exec "$(dirname "$0")/wine-run.sh" "$@"
