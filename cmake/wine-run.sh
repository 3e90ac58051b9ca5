#!/bin/sh
# Runs a Windows program under wine in the build's own prefix (made on first use), quietly.
# The program's output goes through a file: wine's helper processes (wineserver, services)
# outlive the program and would hold a pipe of the caller's open, so that CTest, reading its
# tests' output through pipes, would wait for them.
# Usage: wine-run.sh PREFIX PROGRAM.exe [ARGUMENTS...]
set -u
WINEPREFIX=$1
shift
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
(
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        wineboot -i >/dev/null 2>&1 </dev/null
        wineserver -w
    fi
) 9>"$WINEPREFIX.lock"
out=$(mktemp)
wine "$@" >"$out" 2>&1 </dev/null
rc=$?
cat "$out"
rm -f "$out"
exit $rc
