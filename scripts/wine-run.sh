#!/bin/sh
# Runs one Windows program under Wine, and only inside a test prefix made by
# scripts/test.sh: never the user's own prefix, never a prefix whose drive Z:
# still maps this machine's root (a faulty delete would reach it).
if [ -z "${WINEPREFIX:-}" ]; then
    echo "wine-run: WINEPREFIX is not set; run the tests through scripts/test.sh" >&2
    exit 2
fi
if [ ! -f "$WINEPREFIX/.uninstall-test-prefix" ]; then
    echo "wine-run: $WINEPREFIX is not a test prefix made by scripts/test.sh" >&2
    exit 2
fi
if [ -e "$WINEPREFIX/dosdevices/z:" ] || [ -L "$WINEPREFIX/dosdevices/z:" ]; then
    echo "wine-run: $WINEPREFIX maps Z: to the machine's root; refusing to run" >&2
    exit 2
fi
export WINEDEBUG=-all
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec wine "$@"
