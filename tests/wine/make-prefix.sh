#!/usr/bin/env bash
# make-prefix.sh DIR: a fresh Wine prefix for the Windows tests (made once).
set -euo pipefail
export WINEPREFIX="$1" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    rm -rf "$WINEPREFIX"
    wineboot -i
fi
wineserver -w
test -d "$WINEPREFIX/dosdevices"
